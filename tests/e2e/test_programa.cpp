// The headless program as a service manager sees it: how it starts, refuses
// to start, and stops.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "soporte/BaseDePrueba.h"
#include "soporte/Entorno.h"

namespace prueba {
namespace {

fs::path programa() {
    return carpetaBinarios() / "sincronizador";
}

TEST(Programa, UnaInstanciaPorArchivoDeConfiguracion) {
    CarpetaTemporal carpeta;
    ServidorReferencia servidor(carpeta.ruta());
    const Sitio a = crearSitio(carpeta.ruta(), "900100", "001");
    const Sitio b = crearSitio(carpeta.ruta(), "900100", "002");

    Proceso primero({programa(), "--sin-ventana", "--acceso", a.acceso, "--servidor",
                     servidor.direccion(), "--socio", servidor.direccion(), "--intervalo", "50"},
                    carpeta.ruta() / "primero.log");
    ASSERT_TRUE(esperarTexto(carpeta.ruta() / "primero.log", "r=servicio/getData", 20s));

    // The same configuration file: refused at once, the first one untouched.
    const Resultado segundo =
        correr({programa(), "--sin-ventana", "--acceso", a.acceso, "--servidor",
                servidor.direccion(), "--intervalo", "50", "--ciclos", "1"});
    EXPECT_NE(segundo.codigo, 0);
    EXPECT_NE(segundo.salida.find("La Aplicación ya esta en ejecución"), std::string::npos);
    EXPECT_TRUE(primero.vivo());

    // Another site's file runs side by side.
    const Resultado otro = sincronizar(b, servidor.direccion(), 1, 50);
    EXPECT_EQ(otro.codigo, 0) << otro.salida;

    // SIGTERM ends the first one cleanly.
    EXPECT_EQ(primero.detener(), 0);
}

// Sets an environment variable for the children started while it lives.
class VariableDeEntorno {
  public:
    VariableDeEntorno(const char* nombre, const std::string& valor) : nombre_(nombre) {
        if (const char* antes = std::getenv(nombre)) anterior_ = antes;
        setenv(nombre, valor.c_str(), 1);
    }
    ~VariableDeEntorno() {
        if (anterior_)
            setenv(nombre_, anterior_->c_str(), 1);
        else
            unsetenv(nombre_);
    }
    VariableDeEntorno(const VariableDeEntorno&) = delete;
    VariableDeEntorno& operator=(const VariableDeEntorno&) = delete;

  private:
    const char* nombre_;
    std::optional<std::string> anterior_;
};

// A lock file that cannot be created is reported as such, not as another
// instance running.
TEST(Programa, BloqueoQueNoSePuedeCrearNoEsOtraInstancia) {
    CarpetaTemporal carpeta;
    const Sitio a = crearSitio(carpeta.ruta(), "900100", "001");
    const fs::path noEsCarpeta = carpeta.ruta() / "no-es-carpeta";
    std::ofstream(noEsCarpeta) << "x";

    std::optional<Proceso> proceso;
    {
        // The temporary folder, where the lock lives, is a plain file.
        const VariableDeEntorno tmpdir("TMPDIR", noEsCarpeta.string());
        proceso.emplace(
            std::vector<std::string>{programa(), "--sin-ventana", "--acceso", a.acceso,
                                     "--servidor", "127.0.0.1:" + std::to_string(puertoCerrado()),
                                     "--intervalo", "20", "--ciclos", "1"},
            carpeta.ruta() / "salida.log");
    }
    const std::optional<int> codigo = proceso->esperar(20s);
    const std::string salida = proceso->salida();
    ASSERT_TRUE(codigo) << salida;
    EXPECT_NE(*codigo, 0) << salida;
    EXPECT_EQ(salida.find("La Aplicación ya esta en ejecución"), std::string::npos) << salida;
    EXPECT_NE(salida.find("lock file"), std::string::npos) << salida;
}

TEST(Programa, SinConfiguracionOSinBaseNoArranca) {
    CarpetaTemporal carpeta;

    // No configuration file: the message, no cycle, a non-zero exit.
    const Resultado sinAcceso = correr(
        {programa(), "--sin-ventana", "--acceso", carpeta.ruta() / "Acceso", "--ciclos", "1"}, 20s);
    EXPECT_NE(sinAcceso.codigo, 0);
    EXPECT_NE(sinAcceso.salida.find("No se encuentra archivo de configuracion"), std::string::npos);
    EXPECT_NE(sinAcceso.salida.find("No se encuentra la base de datos"), std::string::npos);

    // A configuration file naming a database that does not exist: the
    // error names the path, and no empty database is created.
    const fs::path acceso = carpeta.ruta() / "Acceso2";
    const fs::path base = carpeta.ruta() / "no-existe.db";
    std::ofstream(acceso) << base.string() << "\r\n";
    const Resultado sinBase =
        correr({programa(), "--sin-ventana", "--acceso", acceso, "--ciclos", "1"}, 20s);
    EXPECT_NE(sinBase.codigo, 0);
    EXPECT_NE(sinBase.salida.find(base.string()), std::string::npos) << sinBase.salida;
    EXPECT_FALSE(fs::exists(base));

    // A bad server address is refused before anything starts.
    const Resultado malServidor =
        correr({programa(), "--sin-ventana", "--acceso", acceso, "--servidor", "host:99999"});
    EXPECT_EQ(malServidor.codigo, 2);
}

// An administrator's look at a damaged database says what the engine says
// and fails, instead of printing nothing as if the table were empty.
TEST(Programa, EjecutarSobreUnaBaseDanadaFallaConElMensajeDelMotor) {
    CarpetaTemporal carpeta;
    const Sitio a = crearSitio(carpeta.ruta(), "900100", "001");
    prueba::corromperTabla(a.base.string(), "Productos");
    const Resultado r = correr(
        {programa(), "ejecutar", a.base, "SELECT CodigoAB, NombreProducto FROM PRODUCTOS"}, 20s);
    EXPECT_NE(r.codigo, 0) << r.salida;
    EXPECT_NE(r.salida.find("database disk image is malformed"), std::string::npos) << r.salida;
}

// Placing a delivery order from the command line: the customer's text is
// stored as typed, a side dish that is not a code refuses the whole order,
// and an unknown product or operation is an error exit.
// ejecutar at a terminal (run here under script(1), which gives it one)
// shows a header and aligned columns, accented names counted as one
// character; into a pipe the same rows stay in the a|b form scripts read.
TEST(Programa, EjecutarEnUnaTerminalAlineaLasColumnas) {
    CarpetaTemporal carpeta;
    const Sitio a = crearSitio(carpeta.ruta(), "900100", "001");
    escribirProducto(a, "T-1", "Piña colada");
    escribirProducto(a, "T-22", "Té");
    const std::string sql =
        "SELECT CodigoAB, NombreProducto, PrecioUnidad FROM PRODUCTOS WHERE CodigoAB IN ('T-1', "
        "'T-22') "
        "ORDER BY CodigoAB";

    const Resultado tuberia = correr({programa(), "ejecutar", a.base, sql});
    ASSERT_EQ(tuberia.codigo, 0) << tuberia.salida;
    EXPECT_EQ(tuberia.salida, "T-1|Piña colada|12500\nT-22|Té|12500\n");

    const std::string orden =
        "'" + programa().string() + "' ejecutar '" + a.base.string() + "' \"" + sql + "\"";
    const Resultado terminal = correr({"/usr/bin/script", "-qec", orden, "/dev/null"});
    ASSERT_EQ(terminal.codigo, 0) << terminal.salida;
    EXPECT_NE(terminal.salida.find("CodigoAB | NombreProducto | PrecioUnidad\r\n"
                                   "---------+----------------+-------------\r\n"
                                   "T-1      | Piña colada    |        12500\r\n"
                                   "T-22     | Té             |        12500\r\n"
                                   "(2 rows)"),
              std::string::npos)
        << terminal.salida;
}

TEST(Programa, ServicioPedidoDesdeLaLineaDeOrdenes) {
    CarpetaTemporal carpeta;
    const Sitio a = crearSitio(carpeta.ruta(), "900100", "001");
    const std::string telefono = "300' OR '1'='1";
    const Resultado bien = correr({programa(), "servicio", a.base, "pedido", "2001", "1", "", "Ana",
                                   "Calle 1", telefono, "1005"});
    ASSERT_EQ(bien.codigo, 0) << bien.salida;
    EXPECT_NE(bien.salida.find("mesa=2002"), std::string::npos) << bien.salida;
    EXPECT_EQ(valor(a, "SELECT COUNT(*) FROM TERCEROS WHERE Telefono1 = '300'' OR ''1''=''1'"),
              "1");
    EXPECT_EQ(valor(a, "SELECT COUNT(*) FROM ACOMPANAMIENTOS"), "1");

    const Resultado acompanamiento = correr({programa(), "servicio", a.base, "pedido", "2001", "1",
                                             "", "Ana", "Calle 1", telefono, "1005", "papas"});
    EXPECT_EQ(acompanamiento.codigo, 1);
    EXPECT_NE(acompanamiento.salida.find("'papas'"), std::string::npos) << acompanamiento.salida;
    const Resultado desconocido = correr(
        {programa(), "servicio", a.base, "pedido", "77", "1", "", "Ana", "Calle 1", telefono});
    EXPECT_EQ(desconocido.codigo, 1);
    EXPECT_EQ(valor(a, "SELECT COUNT(*) FROM COMANDAS WHERE Tercero IS NOT NULL"), "1");
    EXPECT_EQ(correr({programa(), "servicio", a.base, "nada"}).codigo, 2);
}

// Sites run with a comma-decimal locale (es_CO writes 1.234,5). Whatever the
// locale says, the programs write and read numbers with "." in SQL, on the
// wire and on the console: a product's price and a stock movement go from one
// site to the other with every program running under es_CO.
TEST(Programa, LosNumerosNoDependenDelLocale) {
    const std::string kLocale = "es_CO.UTF-8";
    const bool hayLocale = std::setlocale(LC_ALL, kLocale.c_str()) != nullptr;
    std::setlocale(LC_ALL, "C");
    if (!hayLocale) GTEST_SKIP() << kLocale << " is not installed (scripts/setup generates it)";
    const VariableDeEntorno lcAll("LC_ALL", kLocale);
    const VariableDeEntorno lang("LANG", kLocale);

    CarpetaTemporal carpeta;
    ServidorReferencia servidor(carpeta.ruta());
    const Sitio a = crearSitio(carpeta.ruta(), "900100", "001");
    const Sitio b = crearSitio(carpeta.ruta(), "900100", "002");

    // As the point of sale of A queues them: a product for every site, and
    // a delivery of 4 units of flour costing 10 for B, whose supply cost
    // becomes 10 / -4.
    ejecutar(a,
             "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, "
             "Campo1, Campo2, Campo3, Campo4, Campo7, Campo8, Campo9, Campo11, Campo13) VALUES "
             "(2, 2, '" +
                 a.codigo +
                 "', '000000000000000', 'A', False, 'LOC-P', 'Pan de bono', 'PANES', 'COCINA', "
                 "'1', '0', '12500.75', '0', '12500.75')");
    ejecutar(a,
             "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, "
             "Campo2, Campo3, Campo5, Campo6, Campo7, Campo9, Campo14, Campo18, Campo19) VALUES "
             "(2, 16, '" +
                 a.codigo + "', '" + b.codigo +
                 "', 'A', False, 'LOC-1', 'Harina', '4', '10', '07/12/2026', 'Remision', '1.5', "
                 "'R-77', '10.25')");
    ejecutar(b, "INSERT INTO Insumos (Codigo, Nombre) VALUES ('LOC-1', 'Harina')");

    const Resultado ra = sincronizar(a, servidor.direccion(), 2, 50);
    ASSERT_EQ(ra.codigo, 0) << ra.salida;
    const Resultado rb = sincronizar(b, servidor.direccion(), 2, 50);
    ASSERT_EQ(rb.codigo, 0) << rb.salida;

    // On the wire, as the consoles show the requests and answers.
    EXPECT_NE(ra.salida.find("12500.75"), std::string::npos) << ra.salida;
    EXPECT_NE(rb.salida.find("12500.75"), std::string::npos) << rb.salida;
    for (const char* coma : {"12500,75", "10,25", "1,5", "2,5"}) {
        EXPECT_EQ(ra.salida.find(coma), std::string::npos) << coma << "\n" << ra.salida;
        EXPECT_EQ(rb.salida.find(coma), std::string::npos) << coma << "\n" << rb.salida;
    }
    EXPECT_EQ(servidor.salida().find("12500,75"), std::string::npos) << servidor.salida();

    // Stored at B through the column conversions and the SQL the apply step
    // writes, and printed back by the program under the same locale.
    EXPECT_EQ(valor(b, "SELECT PrecioUnidad FROM PRODUCTOS WHERE CodigoAB = 'LOC-P'"), "12500.75")
        << rb.salida;
    EXPECT_EQ(consultar(b,
                        "SELECT Cantidad, Costo, Factor, Total FROM MovInvHoy WHERE NUMERORR = "
                        "'R-77'"),
              (std::vector<std::vector<std::string>>{{"-4", "10", "1.5", "10.25"}}))
        << rb.salida;
    EXPECT_EQ(valor(b, "SELECT Costo FROM Insumos WHERE Codigo = 'LOC-1'"), "-2.5") << rb.salida;
    EXPECT_EQ(valor(b, "SELECT 0.5 * 3"), "1.5");
}

// Without --sin-ventana the program opens its window and runs the same
// cycle there (offscreen here): the product written at the site reaches the
// server and leaves the queue.
TEST(Programa, LaVentanaCorreElCiclo) {
    CarpetaTemporal carpeta;
    ServidorReferencia servidor(carpeta.ruta());
    const Sitio a = crearSitio(carpeta.ruta(), "900100", "001");
    escribirProducto(a, "VEN-001", "Jugo de lulo");

    Proceso ventana({programa(), "--acceso", a.acceso, "--servidor", servidor.direccion(),
                     "--socio", servidor.direccion(), "--intervalo", "50", "--ciclos", "2"},
                    carpeta.ruta() / "ventana.log");
    EXPECT_EQ(ventana.esperar(60s), 0) << ventana.salida();
    EXPECT_EQ(valor(a, "SELECT COUNT(*) FROM COMUNICACIONES WHERE Origen = '" + a.codigo + "'"),
              "0");

    // With no display at all the window face says so instead of aborting.
    const VariableDeEntorno sinQpa("QT_QPA_PLATFORM", "");
    const VariableDeEntorno sinX("DISPLAY", "");
    const VariableDeEntorno sinWayland("WAYLAND_DISPLAY", "");
    const Resultado sinPantalla = correr({programa(), "--acceso", a.acceso, "--ciclos", "1"});
    EXPECT_EQ(sinPantalla.codigo, 2);
    EXPECT_NE(sinPantalla.salida.find("--sin-ventana"), std::string::npos) << sinPantalla.salida;
}

}  // namespace
}  // namespace prueba
