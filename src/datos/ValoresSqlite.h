// Values between the site's column kinds and SQLite: what a parameter or an
// assigned field binds, how a stored value reads back as the column's kind,
// and how an assigned value is converted to what the column stores. Internal
// to the SQLite driver.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comun/Variant.h"
#include "datos/DAO_Conexion.h"
#include "datos/Recordset.h"

namespace datos::sqlite {

using comun::Variant;

// ADO's own texts, so callers and users see the messages they know.
inline constexpr const char* kCerrado = "Operation is not allowed when the object is closed.";
inline constexpr const char* kSinFila =
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
    "requires a current record.";
inline constexpr const char* kNoActualizable =
    "Current Recordset does not support updating. This may be a limitation of the provider, or "
    "of the selected locktype.";
inline constexpr const char* kFilaPerdida =
    "Row cannot be located for updating. Some values may have been changed since it was last "
    "read.";
inline constexpr const char* kCampoPequeno =
    "The field is too small to accept the amount of data you attempted to add. Try inserting or "
    "pasting less data.";
inline constexpr const char* kFaltanParametros =
    "No value given for one or more required parameters.";
inline constexpr const char* kSobranParametros = "Too many parameters for the statement.";
inline constexpr const char* kNoEscribible = "Field cannot be updated.";

std::string mayus(std::string_view s);
// An identifier quoted for SQLite.
std::string citar(std::string_view identificador);

// A value ready to be bound to a statement.
struct ValorSql {
    enum class Clase { Nulo, Entero, Real, Texto } clase = Clase::Nulo;
    int64_t entero = 0;
    double real = 0;
    std::string texto;

    static ValorSql nulo() { return {}; }
    static ValorSql deEntero(int64_t v) {
        ValorSql r;
        r.clase = Clase::Entero;
        r.entero = v;
        return r;
    }
    static ValorSql deReal(double v) {
        ValorSql r;
        r.clase = Clase::Real;
        r.real = v;
        return r;
    }
    static ValorSql deTexto(std::string v) {
        ValorSql r;
        r.clase = Clase::Texto;
        r.texto = std::move(v);
        return r;
    }
};

// A column of a result: its name, the column of the underlying table it
// comes from (when there is one) and the kind declared by the schema.
struct Columna {
    std::string nombre;  // as the engine reports it
    std::string origen;  // column of the underlying table, when there is one
    TipoColumna tipo = TipoColumna::Otro;
    int longitud = 0;  // TEXT(n)
};

// The engine's last error on `db` as an ErrorBD naming `sentencia`, marked
// as a failure of the database itself when the engine's code says so.
// Whether a SQLite result code (extended or not) is a failure of the
// database itself (disk, lock, memory, damage) rather than of the statement.
bool esFallaDeLaBase(int codigo);

ErrorBD errorDelMotor(sqlite3* db, std::string sentencia);

int enlazarValor(sqlite3_stmt* st, int indice, const ValorSql& v);
// What one element of a parameter list binds, or nothing: Null, Empty,
// Currency, Decimal and objects give no parameter (the later elements move
// to earlier placeholders).
std::optional<ValorSql> valorParametro(const Variant& v);
void enlazarParametros(sqlite3* db, sqlite3_stmt* st, const std::vector<Variant>& parametros,
                       std::string_view sentencia);

// A stored value read back as the column's kind: Yes/No as Boolean, dates as
// Fecha, numbers by their width. A value the column's kind cannot hold (a
// text in a number column written by another program) is returned as it is.
Variant leerValor(sqlite3_stmt* st, int j, TipoColumna tipo);
// A ValorSql shown as the Variant the column would give back (fields of a
// row being added or edited, before Update).
Variant variantDeValor(const ValorSql& v, TipoColumna tipo);
// Converts an assigned value to what the column stores, as the Access
// engine would: date texts into date columns, numeric texts into number
// columns, numbers into text columns as their text. A value the column
// cannot take raises comun::ErrorTipo (type mismatch); a text longer than a
// TEXT(n) column raises ErrorBD.
ValorSql convertirParaColumna(const Columna& c, const Variant& v);

}  // namespace datos::sqlite
