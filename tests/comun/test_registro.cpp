#include "comun/Registro.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "comun/Archivos.h"
#include "soporte/Reloj.h"

namespace fs = std::filesystem;
using namespace comun;

namespace {

std::string leer(const fs::path& ruta) {
    std::ifstream f(ruta, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// A path as the program takes it: UTF-8 text.
std::string texto(const fs::path& ruta) {
    const std::u8string t = ruta.u8string();
    return {t.begin(), t.end()};
}

class RegistroTest : public ::testing::Test {
  protected:
    // A folder whose name Windows' ANSI code page cannot spell.
    void SetUp() override {
        carpeta = fs::temp_directory_path() /
                  ("registro-año-" + std::to_string(getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(carpeta);
        fs::create_directories(carpeta);
        ruta = carpeta / "sincronizador.log";
    }
    void TearDown() override { fs::remove_all(carpeta); }
    fs::path carpeta;
    fs::path ruta;
    prueba::RelojFijo reloj{{2026, 3, 7, 0, 0, 5}};
};

// The console's pieces become stamped lines with their text unchanged: CR LF
// ends, a line given in two pieces, an empty line, and the unfinished last
// line written when the log is closed.
TEST_F(RegistroTest, CadaLineaConSuSelloYSuTextoIntacto) {
    {
        Registro registro(texto(ruta), reloj);
        std::string error;
        ASSERT_TRUE(registro.abrir(error)) << error;
        registro.escribir("POST /sincronizador/ HTTP/1.0\r\n\r\nr=1--\r\n");
        reloj.momento.segundo = 6;
        registro.escribir("Conectado, ");
        registro.escribir("enviando datos...\r\nRespuesta: ");
        reloj.momento.hora = 14;
        registro.escribir("ñandú | 'x'");
    }
    EXPECT_EQ(leer(ruta),
              "2026-03-07 00:00:05 POST /sincronizador/ HTTP/1.0\n"
              "2026-03-07 00:00:05 \n"
              "2026-03-07 00:00:05 r=1--\n"
              "2026-03-07 00:00:06 Conectado, enviando datos...\n"
              "2026-03-07 14:00:06 Respuesta: ñandú | 'x'\n");
}

// Past the size limit the file moves to .1, .1 to .2, and so on; only the
// fixed number of old files is kept, and no line is split across files.
TEST_F(RegistroTest, RotaPorTamanoYGuardaUnNumeroFijoDeArchivos) {
    const std::string linea(70, 'x');  // 92 bytes with stamp and end: two per file
    {
        Registro registro(texto(ruta), reloj, 200, 2);
        std::string error;
        ASSERT_TRUE(registro.abrir(error));
        for (int i = 0; i < 9; ++i) registro.escribir(linea + std::to_string(i) + "\n");
    }
    // 8 current; 6,7 in .1; 4,5 in .2; 0..3 gone.
    EXPECT_NE(leer(ruta).find(linea + "8"), std::string::npos);
    EXPECT_NE(leer(rutaDe(texto(ruta) + ".1")).find(linea + "6"), std::string::npos);
    EXPECT_NE(leer(rutaDe(texto(ruta) + ".2")).find(linea + "4"), std::string::npos);
    EXPECT_FALSE(fs::exists(rutaDe(texto(ruta) + ".3")));

    // Reopened (the service restarted) it counts what the file already
    // holds: the second new line starts a new file.
    Registro otra(texto(ruta), reloj, 200, 2);
    std::string error;
    ASSERT_TRUE(otra.abrir(error));
    otra.escribir(linea + "9\n" + linea + "10\n");
    EXPECT_NE(leer(ruta).find(linea + "10"), std::string::npos);
    EXPECT_NE(leer(rutaDe(texto(ruta) + ".1")).find(linea + "8"), std::string::npos);
    EXPECT_NE(leer(rutaDe(texto(ruta) + ".2")).find(linea + "6"), std::string::npos);
    for (const std::string& nombre : {texto(ruta), texto(ruta) + ".1", texto(ruta) + ".2"})
        EXPECT_LE(fs::file_size(rutaDe(nombre)), 200u) << nombre;
}

// A folder that cannot be written is said at start; one removed while the
// program runs (an administrator cleaning up) costs lines, and the log
// comes back once the folder does.
TEST_F(RegistroTest, UnArchivoQueNoSePuedeEscribirLoDiceYSeRecupera) {
    const fs::path subcarpeta = carpeta / "logs";
    Registro registro(texto(subcarpeta / "x.log"), reloj, 200, 1);
    std::string error;
    EXPECT_FALSE(registro.abrir(error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;

    fs::create_directories(subcarpeta);
    ASSERT_TRUE(registro.abrir(error)) << error;
    registro.escribir(std::string(100, 'a') + "\n");
#ifdef _WIN32
    // Windows refuses to remove a file held open: the folder stays, and the
    // log goes on writing and rotating in it with nothing lost.
    std::error_code ec;
    fs::remove_all(subcarpeta, ec);
    EXPECT_TRUE(ec);
    for (int i = 0; i < 20; ++i) registro.escribir("sigue\n");
    EXPECT_NE(leer(subcarpeta / "x.log").find("sigue"), std::string::npos);
    EXPECT_NE(leer(subcarpeta / "x.log.1").find("sigue"), std::string::npos);
#else
    fs::remove_all(subcarpeta);
    for (int i = 0; i < 150; ++i) registro.escribir("perdida\n");  // the rotation finds no folder
    fs::create_directories(subcarpeta);
    for (int i = 0; i < 150; ++i) registro.escribir("vuelve\n");
    EXPECT_NE(leer(subcarpeta / "x.log").find("vuelve"), std::string::npos);
#endif
}

}  // namespace
