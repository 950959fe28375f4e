// What only the ODBC engine has: the Access driver's LIKE patterns, the
// choice of driver for an Access file, exact amounts through the driver and
// the kinds a SQLite source reports through it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "datos/ControladorOdbc.h"
#include "datos/DAO_Conexion.h"
#include "datos/Odbc.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/Motor.h"

using comun::Variant;
using datos::DAO_Conexion;
using datos::ErrorBD;

namespace {

TEST(Odbc, LosComodinesDeJetSeDanALDriverComoLosDeOdbc) {
    EXPECT_EQ(datos::sentenciaParaAccess("DELETE FROM RZS WHERE TIPO like 'Pr?n*' AND X = '*'"),
              "DELETE FROM RZS WHERE TIPO like 'Pr_n%' AND X = '*'");
    // A literal % or _, a digit, Jet's classes and a quote in the pattern.
    EXPECT_EQ(datos::sentenciaParaAccess("SELECT * FROM T WHERE A LIKE \"1_0%#[a-c]*\""),
              "SELECT * FROM T WHERE A LIKE \"1[_]0[%][0-9][a-c]%\"");
    EXPECT_EQ(datos::sentenciaParaAccess("SELECT [like] FROM T WHERE N LIKE 'O''N*'"),
              "SELECT [like] FROM T WHERE N LIKE 'O''N%'");
    // Everything else goes as written.
    const std::string sin = "SELECT TOP 5 * FROM C WHERE ENVIADO = False AND F = #2026/12/07#";
    EXPECT_EQ(datos::sentenciaParaAccess(sin), sin);
}

// Our own tables in Access's DDL: made only when missing, their indexes
// with them, no triggers.
TEST(Odbc, TablasPropiasEnElDdlDeAccess) {
    std::set<std::string> nuevas;
    auto existe = [](const std::string& t) { return t == "ESTADO_SINCRONIZADOR"; };
    const std::string tabla = datos::definicionAccess(
        "CREATE TABLE IF NOT EXISTS CUARENTENA (\n    Id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
        "    Fecha DATETIME DEFAULT (datetime('now', 'localtime')),\n    Texto LONGTEXT\n)",
        nuevas, existe);
    EXPECT_EQ(tabla,
              "CREATE TABLE CUARENTENA (\n    Id COUNTER PRIMARY KEY,\n"
              "    Fecha DATETIME DEFAULT Now(),\n    Texto LONGTEXT\n)");
    EXPECT_EQ(
        datos::definicionAccess(
            "CREATE INDEX IF NOT EXISTS CUARENTENA_Id ON CUARENTENA (IdServidor)", nuevas, existe),
        "CREATE INDEX CUARENTENA_Id ON CUARENTENA (IdServidor)");
    for (const char* fuera :
         {"CREATE TABLE IF NOT EXISTS ESTADO_SINCRONIZADOR (Interlocutor TEXT(20))",
          "CREATE UNIQUE INDEX IF NOT EXISTS E_I ON ESTADO_SINCRONIZADOR (Interlocutor)",
          "CREATE TRIGGER IF NOT EXISTS C_E AFTER INSERT ON COMUNICACIONES BEGIN SELECT 1; END",
          "INSERT OR IGNORE INTO COMUNICACIONES_PENDIENTES (Id, Encolado) SELECT Id, 1 FROM C"})
        EXPECT_EQ(datos::definicionAccess(fuera, nuevas, existe), "") << fuera;
}

TEST(Odbc, ImportesExactosDeTexto) {
    using datos::odbc::monedaDeTexto;
    EXPECT_EQ(monedaDeTexto("1234567890123.4567").diezmilesimas, 12345678901234567);
    EXPECT_EQ(monedaDeTexto("-0.5").diezmilesimas, -5000);
    EXPECT_EQ(monedaDeTexto("2.00005").diezmilesimas, 20000);  // half to even
    EXPECT_EQ(monedaDeTexto("2.00015").diezmilesimas, 20002);
    EXPECT_EQ(monedaDeTexto("2.000051").diezmilesimas, 20001);
    EXPECT_EQ(monedaDeTexto("1e-3").diezmilesimas, 10);
    EXPECT_THROW(monedaDeTexto("99999999999999999999"), comun::ErrorTipo);
}

// Without the Access Database Engine (this machine, a site without it), an
// Access file is a clear error that names both drivers, whatever the case
// of its extension.
TEST(Odbc, ArchivoAccessSinDriverNombraAmbos) {
    const auto carpeta = std::filesystem::temp_directory_path() / "sinc-odbc-access";
    std::filesystem::create_directories(carpeta);
    for (const char* nombre : {"sitio.ACCDB", "sitio.mdb"}) {
        const std::string ruta = (carpeta / nombre).string();
        std::ofstream(ruta) << "no es una base";
        DAO_Conexion c;
        c.dataFile(ruta);
        try {
            c.conectar();
            GTEST_SKIP() << "an Access driver is installed here";
        } catch (const ErrorBD& e) {
            const std::string m = e.what();
            EXPECT_NE(m.find("Microsoft Access Driver (*.mdb, *.accdb)"), std::string::npos) << m;
            EXPECT_NE(m.find("Microsoft Access Driver (*.mdb)\""), std::string::npos) << m;
            EXPECT_NE(m.find(ruta), std::string::npos) << m;
        }
        EXPECT_FALSE(c.conectado());
    }
    std::filesystem::remove_all(carpeta);
    DAO_Conexion c;
    c.dataFile("ODBC;DSN=sinc-no-existe");
    EXPECT_THROW(c.conectar(), ErrorBD);
}

// Through the SQLite ODBC driver: amounts stay exact both ways, kinds read
// as the SQLite engine reads them, and a statement's own failure is no
// failure of the database.
TEST(Odbc, FuenteSqliteComoElMotorDirecto) {
    prueba::BaseDePrueba base;
    for (const bool odbc : {false, true}) {
#ifdef _WIN32
        if (odbc) continue;  // the Windows build has no SQLite ODBC driver to go through
#endif
        DAO_Conexion c;
        c.dataFile(odbc ? "ODBC;Driver=SQLite3;Database=" + base.ruta() +
                              ";LoadExt=" SINC_LIB_DIR "/access.so;"
                        : base.ruta());
        c.conectar();
        EXPECT_EQ(c.admiteSavepoints(), !odbc);
        c.comando(
            "CREATE TABLE Caja (Id INTEGER PRIMARY KEY AUTOINCREMENT, Monto CURRENCY, "
            "Abierta YESNO, Dia DATETIME, Nota TEXT(5))");
        auto rs = c.Query("Caja");
        rs->AddNew();
        rs->asignar("Monto", "123456789.1234");
        rs->asignar("Abierta", true);
        rs->asignar("Dia", "07/12/2026");
        EXPECT_THROW(rs->asignar("Nota", "seis ch"), ErrorBD);
        rs->Update();
        EXPECT_EQ((*rs)["Id"], Variant(int32_t{1}));
        EXPECT_EQ((*rs)["Monto"], Variant(comun::Moneda{1234567891234}));
        EXPECT_EQ((*rs)["Abierta"], Variant(true));
        EXPECT_EQ((*rs)["Dia"], Variant(comun::Fecha{2026, 12, 7}));
        rs->asignar("Monto", Variant(comun::Moneda{-1}));
        rs->Update();
        rs.reset();
        auto leido = c.Query("SELECT Monto, Abierta FROM Caja WHERE Abierta = True");
        ASSERT_FALSE(DAO_Conexion::RsVacio(leido));
        EXPECT_EQ((*leido)["Monto"], Variant(comun::Moneda{-1}));
        try {
            c.comando("INSERT INTO NoExiste (A) VALUES (1)");
            ADD_FAILURE();
        } catch (const ErrorBD& e) {
            EXPECT_FALSE(e.deLaBase()) << e.what();
            EXPECT_NE(std::string(e.what()).find("no such table"), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).find("[SQLite]"), std::string::npos) << e.what();
        }
        c.comando("DROP TABLE Caja");
    }
}

}  // namespace
