// Translation of statements in the Access SQL dialect (as the system writes
// them) into SQLite statements with the same meaning. The translated text
// relies on the functions and the collation of FuncionesSqlite.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "datos/sql/Tokenizador.h"

namespace datos::sql {

// What the translator needs to know of the schema: which columns hold dates,
// so that a date text written into one ('07/12/2026') is stored in the
// canonical ISO form that date literals compare with.
class InfoEsquema {
  public:
    virtual ~InfoEsquema() = default;
    // Whether `columna` of `tabla` is a date column (names as written in the
    // statement; compare them without regard to case).
    virtual bool esColumnaFecha(std::string_view tabla, std::string_view columna) const = 0;
    // The columns of `tabla` in stored order; empty when the table is unknown.
    virtual std::vector<std::string> columnas(std::string_view tabla) const = 0;
};

// Translates one statement. A text that is only a table name gives
// "SELECT * FROM" that table. "?" placeholders become numbered ones
// (?1, ?2, ...) in their order, so binding stays positional even where the
// translation repeats a clause. Throws ErrorTraduccion for a text it cannot
// read. Nothing is kept: a connection keeps the translations (and the
// prepared statements) of the texts it runs.
std::string traducir(std::string_view sqlAccess, const InfoEsquema* info = nullptr);

}  // namespace datos::sql
