// The Access-dialect translator on arbitrary statement texts: it translates
// or refuses with its own error, the same every time, and SQLite can prepare
// what it writes against the site schema or says why not. Translations that
// only read are also run (bounded), so the dialect's SQL functions and the
// text collation see what the statements hand them.
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Exigir.h"
#include "datos/Esquema.h"
#include "datos/sql/FuncionesSqlite.h"
#include "datos/sql/Traductor.h"

namespace {

using fuzz::exigir;

// The site schema in memory, with the dialect's functions and collation.
class Base : public datos::sql::InfoEsquema {
  public:
    Base() {
        exigir(sqlite3_open(":memory:", &db_) == SQLITE_OK, "an in-memory database opens");
        datos::sql::registrarFunciones(db_);
        const std::string esquema(datos::sqlSitio());
        char* error = nullptr;
        if (sqlite3_exec(db_, esquema.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::fprintf(stderr, "%s\n", error ? error : "");
            exigir(false, "the site schema loads");
        }
        // A statement that only reads runs at most this many steps of
        // SQLite's machine (a recursive query would otherwise never end).
        sqlite3_progress_handler(
            db_, 1000, [](void* pasos) { return ++*static_cast<int*>(pasos) > 100 ? 1 : 0; },
            &pasos_);
    }
    ~Base() override { sqlite3_close(db_); }

    bool esColumnaFecha(std::string_view tabla, std::string_view columna) const override {
        for (const auto& [nombre, tipo] : info(tabla)) {
            if (sqlite3_stricmp(nombre.c_str(), std::string(columna).c_str()) == 0)
                return tipo.find("DATE") != std::string::npos;
        }
        return false;
    }
    std::vector<std::string> columnas(std::string_view tabla) const override {
        std::vector<std::string> r;
        for (const auto& par : info(tabla)) r.push_back(par.first);
        return r;
    }

    // Prepares `sql`; when it only reads, runs it within the step bound.
    void probar(const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        const char* resto = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &st, &resto) !=
            SQLITE_OK) {
            exigir(sqlite3_errmsg(db_) != nullptr, "a refused statement says why");
            return;
        }
        if (st && sqlite3_stmt_readonly(st)) {
            pasos_ = 0;
            while (sqlite3_step(st) == SQLITE_ROW) {
                for (int i = 0; i < sqlite3_column_count(st); ++i) sqlite3_column_text(st, i);
            }
        }
        sqlite3_finalize(st);
    }

  private:
    std::vector<std::pair<std::string, std::string>> info(std::string_view tabla) const {
        std::vector<std::pair<std::string, std::string>> r;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db_, "SELECT name, upper(type) FROM pragma_table_info(?1)", -1, &st,
                           nullptr);
        sqlite3_bind_text(st, 1, tabla.data(), static_cast<int>(tabla.size()), SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW) {
            r.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                           reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        }
        sqlite3_finalize(st);
        return r;
    }

    sqlite3* db_ = nullptr;
    int pasos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t tamano) {
    static Base base;
    const std::string_view texto(reinterpret_cast<const char*>(datos), tamano);
    std::string traducido;
    try {
        traducido = datos::sql::traducir(texto, &base);
    } catch (const datos::sql::ErrorTraduccion&) {
        return 0;
    }
    exigir(datos::sql::traducir(texto, &base) == traducido, "translation is repeatable");
    base.probar(traducido);
    return 0;
}
