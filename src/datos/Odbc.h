// What the ODBC connection and its record sets share: handles, the UTF-16
// texts of the wide-character API, the driver's messages as ErrorBD, and
// values bound to and read from statements. Internal to the ODBC engine.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "comun/Variant.h"
#include "datos/ControladorSqlite.h"
#include "datos/DAO_Conexion.h"
#include "datos/Recordset.h"
#include "datos/ValoresSqlite.h"

namespace datos::odbc {

using comun::Variant;
using Ancho = std::basic_string<SQLWCHAR>;

Ancho ancho(std::string_view utf8);
std::string angosto(const SQLWCHAR* texto, size_t n);
std::string angosto(const Ancho& texto);

// The SQL the source speaks: Access SQL (the statements go as they are
// written) or SQLite's (they go through the translator).
enum class Dialecto { Access, Sqlite };

// Owns one ODBC handle; frees it when it goes.
class Manija {
  public:
    Manija() = default;
    Manija(SQLSMALLINT tipo, SQLHANDLE padre);
    Manija(Manija&& o) noexcept : tipo_(o.tipo_), h_(o.h_) { o.h_ = SQL_NULL_HANDLE; }
    Manija& operator=(Manija&& o) noexcept;
    ~Manija() { liberar(); }
    void liberar();
    SQLHANDLE get() const { return h_; }
    SQLSMALLINT tipo() const { return tipo_; }

  private:
    SQLSMALLINT tipo_ = SQL_HANDLE_STMT;
    SQLHANDLE h_ = SQL_NULL_HANDLE;
};

// The driver's diagnostics of the last call on `h` as an ErrorBD naming
// `sentencia`; a failure of the connection, of memory or of a lock past the
// wait is one of the database itself.
// A SQLite source gives SQLite's own result code as the native error, which
// tells the same failures the SQLite engine tells.
ErrorBD errorOdbc(SQLSMALLINT tipo, SQLHANDLE h, std::string sentencia,
                  Dialecto d = Dialecto::Access);
// Throws errorOdbc unless `rc` is a success.
void verificar(SQLRETURN rc, SQLSMALLINT tipo, SQLHANDLE h, const std::string& sentencia,
               Dialecto d = Dialecto::Access);
inline bool exito(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// What the connection's record sets reach it through; it outlives none of
// them: when the connection closes, the record sets still open are closed.
struct EstadoOdbc {
    SQLHDBC dbc = SQL_NULL_HANDLE;
    Dialecto dialecto = Dialecto::Sqlite;
    // Statement texts go through the narrow API, as UTF-8: the SQLite ODBC
    // driver that Debian ships has no wide entry points, and the driver
    // manager would cut each character of the text to one byte on the way.
    // Values and results stay wide (the driver converts those itself).
    bool sqlAngosto = false;
    std::set<class RecordsetOdbc*> abiertos;
};

// SQLPrepare and SQLExecDirect of a statement text, by the API the source
// takes its texts through (see EstadoOdbc::sqlAngosto).
SQLRETURN prepararSql(SQLHSTMT st, const std::string& texto, const EstadoOdbc& e);
SQLRETURN ejecutarSql(SQLHSTMT st, const std::string& texto, const EstadoOdbc& e);

// One value bound to a "?": its buffer lives as long as the statement runs.
struct Enlace {
    SQLSMALLINT tipoC = SQL_C_CHAR;
    SQLSMALLINT tipoSql = SQL_VARCHAR;
    SQLULEN tamano = 0;
    SQLSMALLINT decimales = 0;
    std::vector<unsigned char> dato;
    SQLLEN indicador = 0;
};

// A value as it is bound: `v` is what the SQLite engine would bind, `tipo`
// the column kind it goes to (Yes/No, dates and Currency bind as the
// source's own kinds of them) and `moneda` the exact amount of a Currency.
struct ValorOdbc {
    sqlite::ValorSql v;
    TipoColumna tipo = TipoColumna::Otro;
    bool esMoneda = false;
    comun::Moneda moneda;
};

Enlace enlaceDe(const ValorOdbc& valor, Dialecto d);
// Binds `enlaces` (kept alive by the caller) to the statement, in order.
void enlazar(SQLHSTMT st, std::vector<Enlace>& enlaces, const std::string& sentencia);
// What one element of a parameter list binds, or nothing (the same rule as
// the SQLite engine's: Null, Empty, Currency and objects give no parameter).
std::optional<ValorOdbc> valorParametro(const Variant& v);

// A column of a result, as the driver describes it.
struct ColumnaOdbc {
    sqlite::Columna c;
    SQLSMALLINT tipoSql = SQL_VARCHAR;
};

std::vector<ColumnaOdbc> describirColumnas(SQLHSTMT st, Dialecto d, const std::string& sentencia);
// Column j (0-based) of the current row, read as its kind.
Variant leerValor(SQLHSTMT st, int j, const ColumnaOdbc& c, Dialecto d,
                  const std::string& sentencia);
// An amount written in decimal ("-12.3456", "1e-3"), exactly when it can be.
comun::Moneda monedaDeTexto(const std::string& texto);

// An identifier quoted for the source: [name] for Access, "name" for SQLite
// (as the SQLite engine writes the statements it makes itself).
std::string citar(std::string_view nombre, Dialecto d);

}  // namespace datos::odbc
