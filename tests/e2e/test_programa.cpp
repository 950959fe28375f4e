// The headless program as a service manager sees it: how it starts, refuses
// to start, and stops.
#include <gtest/gtest.h>

#include <fstream>

#include "Entorno.h"

namespace e2e {
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

}  // namespace
}  // namespace e2e
