#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comun/Funciones.h"
#include "soporte/Reloj.h"

using namespace comun;

namespace {

double minutoA(int hora, int minuto) {
    return minutoDelServicio(prueba::RelojFijo({2024, 3, 7, hora, minuto, 59}));
}

// A configuration file in a fresh temporary folder, removed at the end.
class ArchivoConfiguracion : public ::testing::Test {
  protected:
    void SetUp() override {
        carpeta_ =
            std::filesystem::temp_directory_path() /
            ("comun_cfg_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(carpeta_);
    }
    void TearDown() override { std::filesystem::remove_all(carpeta_); }

    std::string escribir(const std::string& contenido) {
        const auto ruta = carpeta_ / "Acceso";
        std::ofstream(ruta, std::ios::binary) << contenido;
        return ruta.string();
    }

    std::string leer(const std::string& ruta) {
        return leerConfiguracion(ruta, [this](const std::string& m) { avisos.push_back(m); });
    }

    std::filesystem::path carpeta_;
    std::vector<std::string> avisos;
};

}  // namespace

TEST(Funciones, FormatearFecha) {
    Fecha f;
    f.anio = 2024;
    f.mes = 3;
    f.dia = 7;
    f.hora = 15;
    EXPECT_EQ(formatearFecha(Variant(f)), "2024/03/07");
    EXPECT_EQ(formatearFecha(Variant("07/03/2024 10:30")), "2024/03/07");
    EXPECT_EQ(formatearFecha(Variant("2024-12-31")), "2024/12/31");
    EXPECT_EQ(formatearFecha(Variant("no es fecha")), "");
    EXPECT_EQ(formatearFecha(Variant("31/02/2024")), "");
    EXPECT_EQ(formatearFecha(Variant(45358.0)), "");
    EXPECT_EQ(formatearFecha(Variant::Null()), "");
    EXPECT_EQ(formatearFecha(Variant()), "");
}

TEST(Funciones, MinutoDelServicioCuentaLaMadrugadaComoDiaAnterior) {
    EXPECT_EQ(minutoA(5, 0), 300.0);
    EXPECT_EQ(minutoA(13, 30), 810.0);
    EXPECT_EQ(minutoA(23, 59), 1439.0);
    EXPECT_EQ(minutoA(0, 0), 1440.0);
    EXPECT_EQ(minutoA(1, 30), 1530.0);
    EXPECT_EQ(minutoA(4, 30), 1710.0);
    EXPECT_EQ(minutoA(4, 59), 1739.0);
}

TEST(Funciones, RelojSistemaDaUnaFechaValida) {
    EXPECT_TRUE(RelojSistema().ahora().valida());
}

TEST_F(ArchivoConfiguracion, SoloLaPrimeraLineaSinSuFinal) {
    EXPECT_EQ(leer(escribir("C:\\Datos\\tienda.accdb\r\nsegunda\r\n")), "C:\\Datos\\tienda.accdb");
    EXPECT_EQ(leer(escribir("/datos/sitio.db\nsegunda\n")), "/datos/sitio.db");
    EXPECT_EQ(leer(escribir("/datos/sin_fin_de_linea.db")), "/datos/sin_fin_de_linea.db");
    EXPECT_EQ(leer(escribir("\xEF\xBB\xBF/datos/con_bom.db\r\n")), "/datos/con_bom.db");
    // A path saved in the ANSI code page comes back as UTF-8.
    EXPECT_EQ(leer(escribir("C:\\Dise\xF1o\\base.mdb\r\n")), "C:\\Diseño\\base.mdb");
    EXPECT_EQ(leer(escribir("C:\\Diseño\\base.mdb\r\n")), "C:\\Diseño\\base.mdb");
    EXPECT_TRUE(avisos.empty());
}

TEST_F(ArchivoConfiguracion, VacioOAusente) {
    EXPECT_EQ(leer(escribir("")), "");
    EXPECT_EQ(leer(escribir("\r\n/datos/segunda.db\r\n")), "");
    EXPECT_TRUE(avisos.empty());

    EXPECT_EQ(leer((carpeta_ / "NoExiste").string()), "");
    EXPECT_EQ(leer(carpeta_.string()), "");
    ASSERT_EQ(avisos.size(), 2U);
    EXPECT_EQ(avisos[0], "No se encuentra archivo de configuracion");
    // No callback at all must not crash.
    EXPECT_EQ(leerConfiguracion((carpeta_ / "NoExiste").string(), nullptr), "");
}
