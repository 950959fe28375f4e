#include "datos/Odbc.h"
#include "ValoresSqlite.h"

#include <cstring>
#include <limits>

#include "comun/Texto.h"

namespace datos::odbc {

Ancho ancho(std::string_view utf8) {
    Ancho r;
    r.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t c = comun::leerCodigo(utf8, pos);
        if (c >= 0x10000) {
            c -= 0x10000;
            r.push_back(static_cast<SQLWCHAR>(0xD800 + (c >> 10)));
            r.push_back(static_cast<SQLWCHAR>(0xDC00 + (c & 0x3FF)));
        } else {
            r.push_back(static_cast<SQLWCHAR>(c));
        }
    }
    return r;
}

std::string angosto(const SQLWCHAR* texto, size_t n) {
    std::string r;
    r.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        char32_t c = texto[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && texto[i + 1] >= 0xDC00 &&
            texto[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (texto[i + 1] - 0xDC00);
            ++i;
        }
        comun::escribirCodigo(r, c);
    }
    return r;
}

std::string angosto(const Ancho& texto) {
    return angosto(texto.data(), texto.size());
}

Manija::Manija(SQLSMALLINT tipo, SQLHANDLE padre) : tipo_(tipo) {
    if (!exito(SQLAllocHandle(tipo, padre, &h_))) {
        h_ = SQL_NULL_HANDLE;
        throw ErrorBD("The ODBC driver manager could not allocate a handle.", {}, true);
    }
}

Manija& Manija::operator=(Manija&& o) noexcept {
    if (this != &o) {
        liberar();
        tipo_ = o.tipo_;
        h_ = o.h_;
        o.h_ = SQL_NULL_HANDLE;
    }
    return *this;
}

void Manija::liberar() {
    if (h_ != SQL_NULL_HANDLE) {
        if (tipo_ == SQL_HANDLE_DBC) SQLDisconnect(h_);
        SQLFreeHandle(tipo_, h_);
    }
    h_ = SQL_NULL_HANDLE;
}

namespace {

// The driver's text as the engine gives it: without the leading
// "[vendor][driver]" marks ODBC adds ("[Microsoft][ODBC Microsoft Access
// Driver] ...", "[SQLite]...") nor the native code the SQLite driver appends
// (" (10)"), so users read the messages they know from the engine itself.
std::string sinPrefijos(std::string texto, SQLINTEGER nativo) {
    while (!texto.empty() && texto.front() == '[') {
        const size_t fin = texto.find(']');
        if (fin == std::string::npos) break;
        texto.erase(0, fin + 1);
    }
    texto = comun::recortar(texto);
    const std::string codigo = " (" + std::to_string(nativo) + ")";
    if (texto.size() > codigo.size() &&
        texto.compare(texto.size() - codigo.size(), codigo.size(), codigo) == 0)
        texto.erase(texto.size() - codigo.size());
    return texto;
}

}  // namespace

ErrorBD errorOdbc(SQLSMALLINT tipo, SQLHANDLE h, std::string sentencia, Dialecto d) {
    std::string mensaje, estado;
    SQLINTEGER primerNativo = 0;
    for (SQLSMALLINT i = 1; i <= 4; ++i) {
        SQLWCHAR sqlstate[6] = {};
        SQLINTEGER nativo = 0;
        SQLWCHAR texto[1024] = {};
        SQLSMALLINT largo = 0;
        SQLRETURN rc = SQLGetDiagRecW(tipo, h, i, sqlstate, &nativo, texto,
                                      static_cast<SQLSMALLINT>(std::size(texto)), &largo);
        if (!exito(rc)) break;
        const size_t n = std::min<size_t>(static_cast<size_t>(largo), std::size(texto) - 1);
        if (i == 1) {
            estado = angosto(sqlstate, 5);
            primerNativo = nativo;
        }
        if (!mensaje.empty()) mensaje += " ";
        mensaje += sinPrefijos(angosto(texto, n), nativo);
    }
    if (mensaje.empty()) mensaje = "The ODBC driver reported a failure without a message.";
    // 08: the connection; HY001: memory; HYT00/HYT01: a lock or the link past
    // its wait; 40001: a conflict with another writer. None is the fault of
    // the statement or its values.
    bool deLaBase = estado.rfind("08", 0) == 0 || estado == "HY001" || estado == "HYT00" ||
                    estado == "HYT01" || estado == "40001";
    if (d == Dialecto::Sqlite) deLaBase = deLaBase || sqlite::esFallaDeLaBase(primerNativo);
    return ErrorBD(mensaje, std::move(sentencia), deLaBase);
}

void verificar(SQLRETURN rc, SQLSMALLINT tipo, SQLHANDLE h, const std::string& sentencia,
               Dialecto d) {
    if (!exito(rc)) throw errorOdbc(tipo, h, sentencia, d);
}

SQLRETURN prepararSql(SQLHSTMT st, const std::string& texto, const EstadoOdbc& e) {
    if (e.sqlAngosto)
        return SQLPrepare(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(texto.c_str())),
                          SQL_NTS);
    return SQLPrepareW(st, ancho(texto).data(), SQL_NTS);
}

SQLRETURN ejecutarSql(SQLHSTMT st, const std::string& texto, const EstadoOdbc& e) {
    if (e.sqlAngosto)
        return SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(texto.c_str())),
                             SQL_NTS);
    return SQLExecDirectW(st, ancho(texto).data(), SQL_NTS);
}

namespace {

template <class T>
void copiar(Enlace& e, const T& valor) {
    e.dato.resize(sizeof(T));
    std::memcpy(e.dato.data(), &valor, sizeof(T));
    e.indicador = sizeof(T);
}

void textoAncho(Enlace& e, const std::string& texto, bool memo) {
    Ancho w = ancho(texto);
    e.tipoC = SQL_C_WCHAR;
    // Long texts go as long data, which both drivers take for a Memo; a
    // short one as a plain text.
    e.tipoSql = memo || w.size() > 255 ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
    e.tamano = std::max<size_t>(w.size(), 1);
    e.dato.resize((w.size() + 1) * sizeof(SQLWCHAR));
    std::memcpy(e.dato.data(), w.c_str(), e.dato.size());
    e.indicador = static_cast<SQLLEN>(w.size() * sizeof(SQLWCHAR));
}

}  // namespace

Enlace enlaceDe(const ValorOdbc& valor, Dialecto d) {
    Enlace e;
    if (valor.esMoneda) {
        // The exact amount as its decimal text, never a binary double.
        const std::string t = Variant(valor.moneda).CStr();
        e.tipoC = SQL_C_CHAR;
        e.tipoSql = SQL_DECIMAL;
        e.tamano = 19;
        e.decimales = 4;
        e.dato.assign(t.begin(), t.end());
        e.dato.push_back(0);
        e.indicador = static_cast<SQLLEN>(t.size());
        return e;
    }
    const sqlite::ValorSql& v = valor.v;
    switch (v.clase) {
        case sqlite::ValorSql::Clase::Nulo:
            e.tipoC = SQL_C_CHAR;
            e.tipoSql = SQL_VARCHAR;
            e.tamano = 1;
            e.indicador = SQL_NULL_DATA;
            e.dato.assign(1, 0);
            return e;
        case sqlite::ValorSql::Clase::Entero:
            if (valor.tipo == TipoColumna::SiNo && d == Dialecto::Access) {
                // Access's Yes/No is its own bit type.
                e.tipoC = SQL_C_BIT;
                e.tipoSql = SQL_BIT;
                copiar(e, static_cast<unsigned char>(v.entero != 0 ? 1 : 0));
                return e;
            }
            if (v.entero >= std::numeric_limits<int32_t>::min() &&
                v.entero <= std::numeric_limits<int32_t>::max()) {
                e.tipoC = SQL_C_SLONG;
                e.tipoSql = SQL_INTEGER;
                e.tamano = 10;
                copiar(e, static_cast<SQLINTEGER>(v.entero));
                return e;
            }
            if (d == Dialecto::Access) {
                // The Access drivers take no 64-bit integers: the exact
                // digits go as a decimal.
                const std::string t = std::to_string(v.entero);
                e.tipoC = SQL_C_CHAR;
                e.tipoSql = SQL_DECIMAL;
                e.tamano = 19;
                e.dato.assign(t.begin(), t.end());
                e.dato.push_back(0);
                e.indicador = static_cast<SQLLEN>(t.size());
                return e;
            }
            e.tipoC = SQL_C_SBIGINT;
            e.tipoSql = SQL_BIGINT;
            e.tamano = 19;
            copiar(e, static_cast<SQLBIGINT>(v.entero));
            return e;
        case sqlite::ValorSql::Clase::Real:
            e.tipoC = SQL_C_DOUBLE;
            e.tipoSql = SQL_DOUBLE;
            e.tamano = 15;
            copiar(e, v.real);
            return e;
        case sqlite::ValorSql::Clase::Texto:
            if (valor.tipo == TipoColumna::Fecha && d == Dialecto::Access) {
                comun::Fecha f;
                if (comun::leerFecha(v.texto, f)) {
                    SQL_TIMESTAMP_STRUCT ts{};
                    ts.year = static_cast<SQLSMALLINT>(f.anio);
                    ts.month = static_cast<SQLUSMALLINT>(f.mes);
                    ts.day = static_cast<SQLUSMALLINT>(f.dia);
                    ts.hour = static_cast<SQLUSMALLINT>(f.hora);
                    ts.minute = static_cast<SQLUSMALLINT>(f.minuto);
                    ts.second = static_cast<SQLUSMALLINT>(f.segundo);
                    e.tipoC = SQL_C_TYPE_TIMESTAMP;
                    e.tipoSql = SQL_TYPE_TIMESTAMP;
                    e.tamano = 19;
                    copiar(e, ts);
                    return e;
                }
            }
            // Dates of a SQLite source keep the form the SQLite engine
            // stores (yyyy-mm-dd[ hh:mm:ss]): they bind as that text.
            textoAncho(e, v.texto, valor.tipo == TipoColumna::Memo);
            return e;
    }
    return e;
}

void enlazar(SQLHSTMT st, std::vector<Enlace>& enlaces, const std::string& sentencia) {
    SQLUSMALLINT n = 0;
    for (Enlace& e : enlaces) {
        ++n;
        SQLRETURN rc =
            SQLBindParameter(st, n, SQL_PARAM_INPUT, e.tipoC, e.tipoSql, e.tamano, e.decimales,
                             e.dato.data(), static_cast<SQLLEN>(e.dato.size()), &e.indicador);
        verificar(rc, SQL_HANDLE_STMT, st, sentencia);
    }
}

std::optional<ValorOdbc> valorParametro(const Variant& v) {
    auto s = sqlite::valorParametro(v);
    if (!s) return std::nullopt;
    ValorOdbc r;
    r.v = std::move(*s);
    if (v.tipo() == comun::TipoVariant::Date) r.tipo = TipoColumna::Fecha;
    if (v.tipo() == comun::TipoVariant::Boolean) r.tipo = TipoColumna::SiNo;
    return r;
}

namespace {

std::string atributoTexto(SQLHSTMT st, SQLUSMALLINT col, SQLUSMALLINT campo) {
    SQLWCHAR buf[512] = {};
    SQLSMALLINT largo = 0;
    if (!exito(SQLColAttributeW(st, col, campo, buf, sizeof(buf), &largo, nullptr))) return {};
    size_t n = std::min<size_t>(static_cast<size_t>(largo) / sizeof(SQLWCHAR), 511);
    return angosto(buf, n);
}

SQLLEN atributoNumero(SQLHSTMT st, SQLUSMALLINT col, SQLUSMALLINT campo) {
    SQLLEN n = 0;
    if (!exito(SQLColAttributeW(st, col, campo, nullptr, 0, nullptr, &n))) return 0;
    return n;
}

// The kind of a column the driver names by its SQL type only.
TipoColumna tipoDeSql(SQLSMALLINT tipo, SQLULEN tamano, SQLSMALLINT decimales) {
    switch (tipo) {
        case SQL_BIT:
            return TipoColumna::SiNo;
        case SQL_TYPE_TIMESTAMP:
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
        case SQL_TIMESTAMP:
        case SQL_DATE:
        case SQL_TIME:
            return TipoColumna::Fecha;
        case SQL_TINYINT:
        case SQL_SMALLINT:
            return TipoColumna::Integer;
        case SQL_INTEGER:
            return TipoColumna::Long;
        case SQL_REAL:
            return TipoColumna::Single;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return TipoColumna::Double;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            // Access reports Currency as a decimal of 19 digits, 4 of them
            // after the point.
            return tamano == 19 && decimales == 4 ? TipoColumna::Moneda : TipoColumna::Double;
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
            return TipoColumna::Texto;
        case SQL_LONGVARCHAR:
        case SQL_WLONGVARCHAR:
            return TipoColumna::Memo;
        default:
            return TipoColumna::Otro;
    }
}

}  // namespace

std::vector<ColumnaOdbc> describirColumnas(SQLHSTMT st, Dialecto d, const std::string& sentencia) {
    SQLSMALLINT n = 0;
    verificar(SQLNumResultCols(st, &n), SQL_HANDLE_STMT, st, sentencia);
    std::vector<ColumnaOdbc> r;
    for (SQLUSMALLINT j = 1; j <= static_cast<SQLUSMALLINT>(n); ++j) {
        ColumnaOdbc c;
        SQLWCHAR nombre[512] = {};
        SQLSMALLINT largo = 0, tipo = 0, decimales = 0, nulos = 0;
        SQLULEN tamano = 0;
        verificar(SQLDescribeColW(st, j, nombre, 512, &largo, &tipo, &tamano, &decimales, &nulos),
                  SQL_HANDLE_STMT, st, sentencia);
        c.c.nombre = angosto(nombre, std::min<size_t>(static_cast<size_t>(largo), 511));
        c.tipoSql = tipo;
        c.c.origen = atributoTexto(st, j, SQL_DESC_BASE_COLUMN_NAME);
        if (atributoTexto(st, j, SQL_DESC_BASE_TABLE_NAME).empty()) c.c.origen.clear();
        // The declared type first: a SQLite source reports "YESNO",
        // "CURRENCY" or "TEXT(10)" as it was written, Access its own names
        // ("BIT", "COUNTER", "CURRENCY", "LONGCHAR").
        const std::string declarado = atributoTexto(st, j, SQL_DESC_TYPE_NAME);
        c.c.tipo = tipoDeclarado(declarado, c.c.longitud);
        if (c.c.tipo == TipoColumna::Otro) c.c.tipo = tipoDeSql(tipo, tamano, decimales);
        // An expression has the kind of its value, as the SQLite engine has
        // it; the SQLite driver names a kind for it all the same.
        if (c.c.origen.empty() && d == Dialecto::Sqlite) c.c.tipo = TipoColumna::Otro;
        // The length of a TEXT(n): the drivers give it as the column's size
        // (65536 and more for unbounded text).
        if (c.c.tipo == TipoColumna::Texto && c.c.longitud == 0 && tamano > 0 && tamano < 65536)
            c.c.longitud = static_cast<int>(tamano);
        if (atributoNumero(st, j, SQL_DESC_AUTO_UNIQUE_VALUE) == SQL_TRUE && !c.c.origen.empty())
            c.c.tipo = TipoColumna::Contador;
        r.push_back(std::move(c));
    }
    return r;
}

namespace {

// The whole value of column j as UTF-16 text, read in pieces; nullopt for
// Null.
std::optional<std::string> leerTexto(SQLHSTMT st, int j, Dialecto d, const std::string& sentencia) {
    Ancho todo;
    SQLWCHAR buf[2048];
    for (;;) {
        SQLLEN ind = 0;
        SQLRETURN rc =
            SQLGetData(st, static_cast<SQLUSMALLINT>(j + 1), SQL_C_WCHAR, buf, sizeof(buf), &ind);
        if (rc == SQL_NO_DATA) break;
        verificar(rc, SQL_HANDLE_STMT, st, sentencia, d);
        if (ind == SQL_NULL_DATA) return std::nullopt;
        const size_t caben = std::size(buf) - 1;
        if (ind == SQL_NO_TOTAL || static_cast<size_t>(ind) / sizeof(SQLWCHAR) > caben) {
            todo.append(buf, caben);
            continue;
        }
        todo.append(buf, static_cast<size_t>(ind) / sizeof(SQLWCHAR));
        if (rc == SQL_SUCCESS) break;
    }
    return angosto(todo);
}

template <class T>
std::optional<T> leerFijo(SQLHSTMT st, int j, SQLSMALLINT tipoC, Dialecto d,
                          const std::string& sentencia) {
    T v{};
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(st, static_cast<SQLUSMALLINT>(j + 1), tipoC, &v, sizeof(T), &ind);
    verificar(rc, SQL_HANDLE_STMT, st, sentencia, d);
    if (ind == SQL_NULL_DATA) return std::nullopt;
    return v;
}

Variant deEntero(int64_t v) {
    if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
        return Variant(static_cast<int32_t>(v));
    return Variant(static_cast<double>(v));
}

bool esEnteroSql(SQLSMALLINT t) {
    return t == SQL_INTEGER || t == SQL_SMALLINT || t == SQL_TINYINT || t == SQL_BIGINT ||
           t == SQL_BIT;
}

bool esRealSql(SQLSMALLINT t) {
    return t == SQL_REAL || t == SQL_FLOAT || t == SQL_DOUBLE || t == SQL_NUMERIC ||
           t == SQL_DECIMAL;
}

// A value the column's kind cannot hold is given as the text it is, as the
// SQLite engine gives it.
Variant comoTexto(const std::optional<std::string>& t) {
    return t ? Variant(*t) : Variant::Null();
}

}  // namespace

comun::Moneda monedaDeTexto(const std::string& texto) {
    std::string t = comun::recortar(texto);
    size_t i = 0;
    bool negativo = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) negativo = t[i++] == '-';
    uint64_t entero = 0;
    constexpr uint64_t kTope = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    int decimales = -1;
    int cifrasDespues = 0;
    bool redondeo = false, resto = false;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c == '.' && decimales < 0) {
            decimales = 0;
            continue;
        }
        if (c < '0' || c > '9') return comun::Moneda::desdeDouble(Variant(t).CDbl());
        if (decimales >= 0 && cifrasDespues >= 4) {
            // Past the fourth decimal: round half to even, as the runtime does.
            if (cifrasDespues == 4) redondeo = c >= '5';
            if (cifrasDespues == 4) resto = c > '5';
            if (cifrasDespues > 4 && c != '0') resto = true;
            ++cifrasDespues;
            continue;
        }
        if (entero > kTope / 10) throw comun::ErrorTipo("Overflow");
        entero = entero * 10 + static_cast<uint64_t>(c - '0');
        if (decimales >= 0) ++cifrasDespues;
    }
    for (int k = std::min(cifrasDespues, 4); k < 4; ++k) {
        if (entero > kTope / 10) throw comun::ErrorTipo("Overflow");
        entero *= 10;
    }
    if (redondeo && (resto || (entero % 2) != 0)) ++entero;
    if (entero > kTope) throw comun::ErrorTipo("Overflow");
    return comun::Moneda{negativo ? -static_cast<int64_t>(entero) : static_cast<int64_t>(entero)};
}

Variant leerValor(SQLHSTMT st, int j, const ColumnaOdbc& c, Dialecto d,
                  const std::string& sentencia) {
    const bool sqlEntero = esEnteroSql(c.tipoSql);
    const bool sqlNumero = sqlEntero || esRealSql(c.tipoSql);
    switch (c.c.tipo) {
        case TipoColumna::SiNo:
        case TipoColumna::Integer:
        case TipoColumna::Long:
        case TipoColumna::Contador:
        case TipoColumna::Single:
        case TipoColumna::Double:
        case TipoColumna::Moneda:
        case TipoColumna::Fecha: {
            // Read as text and converted here: a SQLite source may hold a
            // text in a number column, which its driver would refuse to
            // convert, and an Access amount reads exactly this way.
            if (d == Dialecto::Access && c.c.tipo == TipoColumna::Fecha) {
                auto ts = leerFijo<SQL_TIMESTAMP_STRUCT>(st, j, SQL_C_TYPE_TIMESTAMP, d, sentencia);
                if (!ts) return Variant::Null();
                comun::Fecha f{ts->year, ts->month, ts->day, ts->hour, ts->minute, ts->second};
                return Variant(f);
            }
            auto t = leerTexto(st, j, d, sentencia);
            if (!t) return Variant::Null();
            const Variant texto(*t);
            if (c.c.tipo == TipoColumna::Fecha) {
                comun::Fecha f;
                if (comun::leerFecha(*t, f)) return Variant(f);
                if (comun::IsNumeric(texto))
                    return Variant(comun::Fecha::desdeSerial(texto.CDbl()));
                return texto;
            }
            if (!comun::IsNumeric(texto) || t->empty()) return texto;
            try {
                switch (c.c.tipo) {
                    case TipoColumna::SiNo:
                        return Variant(texto.CDbl() != 0);
                    case TipoColumna::Integer: {
                        if (t->find_first_of(".eE") != std::string::npos)
                            return Variant(texto.CDbl());
                        const int64_t v = texto.CLngLng();
                        if (v >= std::numeric_limits<int16_t>::min() &&
                            v <= std::numeric_limits<int16_t>::max())
                            return Variant(static_cast<int16_t>(v));
                        return deEntero(v);
                    }
                    case TipoColumna::Long:
                        if (t->find_first_of(".eE") != std::string::npos)
                            return Variant(texto.CDbl());
                        return deEntero(texto.CLngLng());
                    case TipoColumna::Contador: {
                        if (t->find_first_of(".eE") != std::string::npos)
                            return Variant(texto.CDbl());
                        const int64_t v = texto.CLngLng();
                        if (v >= std::numeric_limits<int32_t>::min() &&
                            v <= std::numeric_limits<int32_t>::max())
                            return Variant(static_cast<int32_t>(v));
                        return Variant(comun::Decimal{std::to_string(v)});
                    }
                    case TipoColumna::Single:
                        return Variant(static_cast<float>(texto.CDbl()));
                    case TipoColumna::Double:
                        return Variant(texto.CDbl());
                    case TipoColumna::Moneda:
                        return Variant(monedaDeTexto(*t));
                    default:
                        break;
                }
            } catch (const comun::ErrorTipo&) {
            }
            return texto;
        }
        case TipoColumna::Texto:
        case TipoColumna::Memo:
            return comoTexto(leerTexto(st, j, d, sentencia));
        case TipoColumna::Otro:
            break;
    }
    // A computed column: by what the driver says it is.
    auto t = leerTexto(st, j, d, sentencia);
    if (!t) return Variant::Null();
    if (!sqlNumero || !comun::IsNumeric(Variant(*t))) return Variant(*t);
    try {
        if (sqlEntero || t->find_first_of(".eE") == std::string::npos)
            return deEntero(Variant(*t).CLngLng());
        return Variant(Variant(*t).CDbl());
    } catch (const comun::ErrorTipo&) {
        return Variant(*t);
    }
}

std::string citar(std::string_view nombre, Dialecto d) {
    if (d == Dialecto::Sqlite) return sqlite::citar(nombre);
    std::string r = "[";
    for (char c : nombre)
        if (c != ']') r += c;
    return r + "]";
}

}  // namespace datos::odbc
