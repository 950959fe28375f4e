// The site's own check: every statement of the program runs on a fresh site
// database; a column the site lacks is named; nothing is ever kept.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sstream>

#include "datos/DAO_Conexion.h"
#include "datos/Verificacion.h"
#include "datos/sql/FuncionesSqlite.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/Motor.h"

namespace {

// Every table's definition and rows, read straight from the file.
std::string contenido(const std::string& ruta) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(ruta.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::string r;
    std::vector<std::string> tablas;
    auto leer = [&](const std::string& sql, bool sonTablas) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                r += t ? t : "NULL";
                r += '|';
                if (sonTablas && c == 0) tablas.push_back(t);
            }
            r += '\n';
        }
        sqlite3_finalize(st);
    };
    leer("SELECT name, sql FROM sqlite_master WHERE type = 'table' ORDER BY name", true);
    for (const std::string& t : tablas) leer("SELECT * FROM \"" + t + "\"", false);
    sqlite3_close(db);
    return r;
}

TEST(Verificar, TodasCorrenEnUnaBaseNuevaYNadaQueda) {
    prueba::BaseDePrueba base;
    const std::string antes = contenido(base.ruta());
    datos::DAO_Conexion c;
    c.dataFile(prueba::origen(base.ruta()));
    c.conectar();
    std::ostringstream salida;
    EXPECT_EQ(datos::verificarSentencias(c, salida), 0) << salida.str();
    EXPECT_NE(salida.str().find("ok     "), std::string::npos);
    EXPECT_EQ(salida.str().find("FALLA"), std::string::npos) << salida.str();
    c.desconectar();
    EXPECT_EQ(contenido(base.ruta()), antes);

    // A site whose table lacks a column the program writes: the statements
    // that name it fail with the engine's message naming it; the others run.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(base.ruta().c_str(), &db), SQLITE_OK);
    // The schema names the ACCESS collation.
    datos::sql::registrarFunciones(db, nullptr);
    ASSERT_EQ(
        sqlite3_exec(db, "DROP INDEX MENSAJE_Prioridad; ALTER TABLE MENSAJE DROP COLUMN PRIORIDAD",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    c.conectar();
    const std::string sinColumna = contenido(base.ruta());
    std::ostringstream otra;
    const int fallidas = datos::verificarSentencias(c, otra);
    EXPECT_GT(fallidas, 0);
    EXPECT_NE(otra.str().find("PRIORIDAD"), std::string::npos) << otra.str();
    EXPECT_NE(otra.str().find("ok     "), std::string::npos);
    c.desconectar();
    EXPECT_EQ(contenido(base.ruta()), sinColumna);
}

}  // namespace
