// Running the synchronizer at a site: other programs writing the site
// database through the loadable extension.
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "soporte/Entorno.h"

namespace prueba {
namespace {

const std::string kCliente = "900100";

// The full path of a program found on PATH, or "".
std::string buscarPrograma(const std::string& nombre) {
    const char* ruta = std::getenv("PATH");
    std::istringstream carpetas(ruta ? ruta : "/usr/bin:/bin");
    std::string carpeta;
    while (std::getline(carpetas, carpeta, ':')) {
        const fs::path candidato = fs::path(carpeta) / nombre;
        if (access(candidato.c_str(), X_OK) == 0) return candidato.string();
    }
    return {};
}

// The sqlite3 shell, standing in for the site's own application, writes a
// product and queues it: refused with SQLite's clear message without the
// extension, stored with it, and then carried to the other site.
TEST(ExtensionSqlite, ElShellConLaExtensionEscribeLoQueSeEnviaAlOtroSitio) {
#ifdef SINC_SANITIZADO
    GTEST_SKIP() << "an instrumented extension cannot load into the uninstrumented shell";
#endif
    const std::string shell = buscarPrograma("sqlite3");
    ASSERT_FALSE(shell.empty()) << "the sqlite3 shell is not installed (scripts/setup adds it)";
    CarpetaTemporal carpeta;
    const Sitio a = crearSitio(carpeta.ruta(), kCliente, "001");
    const Sitio b = crearSitio(carpeta.ruta(), kCliente, "002");
    ServidorReferencia servidor(carpeta.ruta());

    const std::string producto =
        "INSERT INTO Productos (CodigoAB, NombreProducto, Categoria, Negocio, impx, "
        "PrecioUnidad, Precio1) VALUES ('SHELL-1', 'Té de jengibre', 'BEBIDAS', 'BAR', 1, 4200, "
        "4200);";
    const std::string cola =
        "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Campo1, Campo2, "
        "Campo3, Campo4, Campo7, Campo8, Campo9, Campo11, Campo13) VALUES (2, 2, '" +
        a.codigo +
        "', '000000000000000', 'A', 'SHELL-1', 'Té de jengibre', 'BEBIDAS', 'BAR', '1', '0', "
        "'4200', '0', '4200');";

    const Resultado sin = correr({shell, a.base.string(), producto + cola});
    EXPECT_NE(sin.codigo, 0);
    EXPECT_NE(sin.salida.find("no such collation sequence: ACCESS"), std::string::npos)
        << sin.salida;
    EXPECT_EQ(valor(a, "SELECT COUNT(*) FROM COMUNICACIONES"), "0");

    const std::string cargar = ".load " + (fs::path(SINC_LIB_DIR) / "access").string();
    const Resultado con = correr({shell, a.base.string(), cargar, producto + cola});
    ASSERT_EQ(con.codigo, 0) << con.salida;

    const Resultado ra = sincronizar(a, servidor.direccion(), 2, 50);
    ASSERT_EQ(ra.codigo, 0) << ra.salida;
    EXPECT_EQ(valor(a, "SELECT COUNT(*) FROM COMUNICACIONES"), "0") << ra.salida;
    const Resultado rb = sincronizar(b, servidor.direccion(), 2, 50);
    ASSERT_EQ(rb.codigo, 0) << rb.salida;
    EXPECT_EQ(valor(b, "SELECT NombreProducto FROM Productos WHERE CodigoAB = 'shell-1'"),
              "Té de jengibre")
        << rb.salida;
}

// The service reads where the server, the partner and the tick are from its
// settings file; an option on the command line wins over the file, and a
// misspelt setting stops the program before it touches anything.
TEST(AjustesDelServicio, ElArchivoDaLasOpcionesYLaLineaDeOrdenesGana) {
    CarpetaTemporal carpeta;
    const Sitio a = crearSitio(carpeta.ruta(), kCliente, "001");
    ServidorReferencia servidor(carpeta.ruta());
    escribirMensaje(a, "Desde los ajustes");
    const fs::path ajustes = carpeta.ruta() / "sincronizador.conf";
    std::ofstream(ajustes) << "# settings of the test site\n"
                           << "acceso = \"" << a.acceso.string() << "\"\n"
                           << "servidor = \"" << servidor.direccion() << "\"\n"
                           << "socio = \"" << servidor.direccion() << "\"\n"
                           << "intervalo = 50\n";
    const std::string programa = (carpetaBinarios() / "sincronizador").string();

    const std::string cerrado = "127.0.0.1:" + std::to_string(puertoCerrado());
    const Resultado ganaLaLinea =
        correr({programa, "--sin-ventana", "--ajustes", ajustes.string(), "--servidor", cerrado,
                "--socio", cerrado, "--ciclos", "1"});
    EXPECT_NE(ganaLaLinea.codigo, -1) << ganaLaLinea.salida;
    EXPECT_NE(ganaLaLinea.salida.find("Error de conexion (10061)"), std::string::npos)
        << ganaLaLinea.salida;
    EXPECT_EQ(valor(a, "SELECT COUNT(*) FROM COMUNICACIONES WHERE Enviado = False"), "1");

    const Resultado conAjustes =
        correr({programa, "--sin-ventana", "--ajustes", ajustes.string(), "--ciclos", "2"});
    EXPECT_EQ(conAjustes.codigo, 0) << conAjustes.salida;
    EXPECT_EQ(valor(a, "SELECT COUNT(*) FROM COMUNICACIONES"), "0") << conAjustes.salida;

    std::ofstream(ajustes, std::ios::app) << "servdor = \"otro\"\n";
    const Resultado errata =
        correr({programa, "--sin-ventana", "--ajustes", ajustes.string(), "--ciclos", "1"});
    EXPECT_NE(errata.codigo, 0);
    EXPECT_NE(errata.salida.find("servdor"), std::string::npos) << errata.salida;
    EXPECT_EQ(errata.salida.find("Peticion HTTP"), std::string::npos) << errata.salida;

    // A file past 1 MiB is no settings file, even one of valid lines: it is
    // refused with a clear message before it is read whole (a device such
    // as /dev/zero never ends).
    const fs::path grande = carpeta.ruta() / "grande.conf";
    {
        std::ofstream g(grande);
        g << "acceso = \"" << a.acceso.string() << "\"\n";
        const std::string comentario = "# " + std::string(1022, '-') + "\n";
        for (int i = 0; i < 1100; ++i) g << comentario;
    }
    const Resultado enorme =
        correr({programa, "--sin-ventana", "--ajustes", grande.string(), "--ciclos", "1"});
    EXPECT_NE(enorme.codigo, 0) << enorme.salida;
    EXPECT_NE(enorme.salida.find("settings file: the file is larger than 1 MiB"), std::string::npos)
        << enorme.salida;
    EXPECT_EQ(enorme.salida.find("Peticion HTTP"), std::string::npos) << enorme.salida;
}

// What an administrator and a monitoring system read of a site: never in
// step before its first exchange, in step after it, out of step once the
// last exchange is older than the limit, and a clear failure when the
// database cannot be read.
TEST(EstadoDelSitio, InformaUltimosIntercambiosColasYPlazo) {
    CarpetaTemporal carpeta;
    const Sitio a = crearSitio(carpeta.ruta(), kCliente, "001");
    ServidorReferencia servidor(carpeta.ruta());
    const std::string programa = (carpetaBinarios() / "sincronizador").string();
    escribirProducto(a, "EST-1", "Arepa");
    escribirMensaje(a, "Hola");

    const Resultado antes = correr({programa, "estado", "--acceso", a.acceso, "--limite", "5"});
    EXPECT_EQ(antes.codigo, 1) << antes.salida;
    EXPECT_NE(antes.salida.find("Last exchange with the server:    never"), std::string::npos)
        << antes.salida;
    EXPECT_NE(antes.salida.find("Unsent outbound records:          2"), std::string::npos);
    EXPECT_NE(antes.salida.find("Oldest unsent record queued:      "), std::string::npos);
    EXPECT_NE(antes.salida.find("NOT IN STEP"), std::string::npos);
    EXPECT_NE(antes.salida.find("Records that failed to apply:     0"), std::string::npos);
    EXPECT_NE(antes.salida.find("Quarantined records:              0"), std::string::npos);
    EXPECT_NE(antes.salida.find("Orders that changed nothing:      0"), std::string::npos);

    ASSERT_EQ(sincronizar(a, servidor.direccion(), 2, 50).codigo, 0);
    const Resultado despues =
        correr({programa, "estado", "--acceso", a.acceso, "--json", "--limite", "5"});
    ASSERT_EQ(despues.codigo, 0) << despues.salida;
    const auto json = nlohmann::json::parse(despues.salida.substr(despues.salida.find('{')));
    EXPECT_EQ(json["sitio"], a.codigo);
    EXPECT_TRUE(json["ultimoIntercambioServidor"].is_string()) << despues.salida;
    EXPECT_EQ(json["minutosDesdeServidor"], 0);
    EXPECT_EQ(json["pendientesEnvio"], 0);
    EXPECT_TRUE(json["encoladoMasAntiguo"].is_null());
    EXPECT_EQ(json["cuarentena"], 0);
    EXPECT_EQ(json["pedidosNoAplicados"], 0);
    EXPECT_EQ(json["enPlazo"], true);

    // An order for a product the site does not sell: listed with why, and
    // counted.
    ejecutar(a,
             "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, "
             "Campo1, Campo2, Campo4, Campo5, Campo6, Campo40) VALUES (2, 22, '900100002', '" +
                 a.codigo + "', 'A', True, 'NO-EXISTE', '1', 'Ana', 'Calle 1', '555', '77')");
    ASSERT_EQ(sincronizar(a, servidor.direccion(), 1, 50).codigo, 0);
    const Resultado pedidos = correr({programa, "pedidos-no-aplicados", a.base.string()});
    ASSERT_EQ(pedidos.codigo, 0) << pedidos.salida;
    EXPECT_NE(pedidos.salida.find("|77|900100002|el producto 'NO-EXISTE' no existe en este sitio|"),
              std::string::npos)
        << pedidos.salida;
    EXPECT_NE(correr({programa, "estado", "--acceso", a.acceso})
                  .salida.find("Orders that changed nothing:      1"),
              std::string::npos);

    ejecutar(a,
             "UPDATE ESTADO_SINCRONIZADOR SET UltimoIntercambio = #2020/01/01# WHERE "
             "Interlocutor = 'servidor'");
    const Resultado tarde = correr({programa, "estado", "--acceso", a.acceso, "--limite", "60"});
    EXPECT_EQ(tarde.codigo, 1) << tarde.salida;
    EXPECT_NE(tarde.salida.find("2020-01-01 ("), std::string::npos) << tarde.salida;
    EXPECT_NE(tarde.salida.find("NOT IN STEP"), std::string::npos);

    // An exchange stamped in the future (the clock was set back since) does
    // not tell that the site is in step.
    ejecutar(a,
             "UPDATE ESTADO_SINCRONIZADOR SET UltimoIntercambio = #2099/01/01# WHERE "
             "Interlocutor = 'servidor'");
    const Resultado futuro =
        correr({programa, "estado", "--acceso", a.acceso, "--json", "--limite", "60"});
    EXPECT_EQ(futuro.codigo, 1) << futuro.salida;
    EXPECT_NE(futuro.salida.find("\"enPlazo\": false"), std::string::npos) << futuro.salida;
    EXPECT_NE(futuro.salida.find("\"minutosDesdeServidor\": -"), std::string::npos)
        << futuro.salida;

    const fs::path acceso = carpeta.ruta() / "Acceso-roto";
    std::ofstream(acceso) << (carpeta.ruta() / "no-existe.db").string() << "\n";
    const Resultado roto = correr({programa, "estado", "--acceso", acceso.string()});
    EXPECT_EQ(roto.codigo, 2) << roto.salida;
    EXPECT_NE(roto.salida.find("no-existe.db"), std::string::npos) << roto.salida;
    EXPECT_FALSE(fs::exists(carpeta.ruta() / "no-existe.db"));
}

}  // namespace
}  // namespace prueba
