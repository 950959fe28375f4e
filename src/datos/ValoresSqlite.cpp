#include "datos/ValoresSqlite.h"

#include <cctype>
#include <limits>

#include "comun/Texto.h"
#include "datos/ControladorSqlite.h"
#include "datos/DAO_Conexion.h"

namespace datos::sqlite {

namespace {

Variant variantDeEntero(int64_t v) {
    if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
        return Variant(static_cast<int32_t>(v));
    return Variant(static_cast<double>(v));
}

// A counter beyond 32 bits is kept exact, as a decimal of its digits: a row
// id past 2^53 would not survive a double.
Variant variantDeContador(int64_t v) {
    if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
        return Variant(static_cast<int32_t>(v));
    return Variant(comun::Decimal{std::to_string(v)});
}

bool esEnteroDecimal(const std::string& digitos) {
    const size_t inicio = !digitos.empty() && digitos[0] == '-' ? 1 : 0;
    if (digitos.size() == inicio || digitos.size() - inicio > 19) return false;
    for (size_t i = inicio; i < digitos.size(); ++i)
        if (digitos[i] < '0' || digitos[i] > '9') return false;
    return true;
}

Variant leerGenerico(sqlite3_stmt* st, int j) {
    switch (sqlite3_column_type(st, j)) {
        case SQLITE_NULL:
            return Variant::Null();
        case SQLITE_INTEGER:
            return variantDeEntero(sqlite3_column_int64(st, j));
        case SQLITE_FLOAT:
            return Variant(sqlite3_column_double(st, j));
        default: {
            const unsigned char* t = sqlite3_column_text(st, j);
            return Variant(std::string(t ? reinterpret_cast<const char*>(t) : "",
                                       static_cast<size_t>(sqlite3_column_bytes(st, j))));
        }
    }
}

bool textoVacio(const Variant& v) {
    return v.esTexto() && v.comoTexto().empty();
}

}  // namespace

std::string mayus(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

std::string citar(std::string_view identificador) {
    std::string r = "\"";
    for (char c : identificador) {
        if (c == '"') r += '"';
        r += c;
    }
    return r + "\"";
}

bool esFallaDeLaBase(int codigo) {
    switch (codigo & 0xff) {
        case SQLITE_PERM:
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_NOMEM:
        case SQLITE_READONLY:
        case SQLITE_INTERRUPT:
        case SQLITE_IOERR:
        case SQLITE_CORRUPT:
        case SQLITE_FULL:
        case SQLITE_CANTOPEN:
        case SQLITE_PROTOCOL:
        case SQLITE_NOTADB:
            return true;
        default:
            return false;
    }
}

ErrorBD errorDelMotor(sqlite3* db, std::string sentencia) {
    const bool deLaBase = esFallaDeLaBase(sqlite3_errcode(db));
    return ErrorBD(sqlite3_errmsg(db), std::move(sentencia), deLaBase);
}

int enlazarValor(sqlite3_stmt* st, int indice, const ValorSql& v) {
    switch (v.clase) {
        case ValorSql::Clase::Nulo:
            return sqlite3_bind_null(st, indice);
        case ValorSql::Clase::Entero:
            return sqlite3_bind_int64(st, indice, v.entero);
        case ValorSql::Clase::Real:
            return sqlite3_bind_double(st, indice, v.real);
        case ValorSql::Clase::Texto:
            return sqlite3_bind_text(st, indice, v.texto.data(), static_cast<int>(v.texto.size()),
                                     SQLITE_TRANSIENT);
    }
    return SQLITE_OK;
}

std::optional<ValorSql> valorParametro(const Variant& v) {
    switch (v.tipo()) {
        case comun::TipoVariant::String:
            // A text binds whole, whatever it holds.
            return ValorSql::deTexto(v.comoTexto());
        case comun::TipoVariant::Double:
        case comun::TipoVariant::Single:
            return ValorSql::deReal(v.CDbl());
        case comun::TipoVariant::Integer:
        case comun::TipoVariant::Long:
            return ValorSql::deEntero(v.CLng());
        case comun::TipoVariant::Decimal: {
            // A whole number binds exactly (a row id read back from its
            // counter); any other as the nearest double.
            const std::string& digitos = std::get<comun::Decimal>(v.interno()).digitos;
            if (esEnteroDecimal(digitos)) {
                try {
                    return ValorSql::deEntero(v.CLngLng());
                } catch (const comun::ErrorTipo&) {
                }
            }
            return ValorSql::deReal(v.CDbl());
        }
        case comun::TipoVariant::Date:
            return ValorSql::deTexto(v.CDate().iso());
        case comun::TipoVariant::Boolean:
            return ValorSql::deEntero(std::get<bool>(v.interno()) ? 1 : 0);
        default:
            return std::nullopt;
    }
}

void enlazarParametros(sqlite3* db, sqlite3_stmt* st, const std::vector<Variant>& parametros,
                       std::string_view sentencia) {
    const int esperados = sqlite3_bind_parameter_count(st);
    int n = 0;
    for (const Variant& elemento : parametros) {
        auto v = valorParametro(elemento);
        if (!v) continue;
        if (++n > esperados) throw ErrorBD(kSobranParametros, std::string(sentencia));
        if (enlazarValor(st, n, *v) != SQLITE_OK) throw errorDelMotor(db, std::string(sentencia));
    }
    if (n < esperados) throw ErrorBD(kFaltanParametros, std::string(sentencia));
}

Variant leerValor(sqlite3_stmt* st, int j, TipoColumna tipo) {
    const int clase = sqlite3_column_type(st, j);
    if (clase == SQLITE_NULL) return Variant::Null();
    const bool numero = clase == SQLITE_INTEGER || clase == SQLITE_FLOAT;
    switch (tipo) {
        case TipoColumna::SiNo:
            if (numero) return Variant(sqlite3_column_double(st, j) != 0);
            break;
        case TipoColumna::Fecha:
            if (clase == SQLITE_TEXT) {
                comun::Fecha f;
                if (comun::leerFecha(reinterpret_cast<const char*>(sqlite3_column_text(st, j)), f))
                    return Variant(f);
            } else if (numero) {
                return Variant(comun::Fecha::desdeSerial(sqlite3_column_double(st, j)));
            }
            break;
        case TipoColumna::Integer:
            if (clase == SQLITE_INTEGER) {
                int64_t v = sqlite3_column_int64(st, j);
                if (v >= std::numeric_limits<int16_t>::min() &&
                    v <= std::numeric_limits<int16_t>::max())
                    return Variant(static_cast<int16_t>(v));
                return variantDeEntero(v);
            }
            break;
        case TipoColumna::Contador:
            if (clase == SQLITE_INTEGER) return variantDeContador(sqlite3_column_int64(st, j));
            break;
        case TipoColumna::Long:
            if (clase == SQLITE_INTEGER) return variantDeEntero(sqlite3_column_int64(st, j));
            break;
        case TipoColumna::Single:
            if (numero) return Variant(static_cast<float>(sqlite3_column_double(st, j)));
            break;
        case TipoColumna::Double:
            if (numero) return Variant(sqlite3_column_double(st, j));
            break;
        case TipoColumna::Moneda:
            if (numero) return Variant(comun::Moneda::desdeDouble(sqlite3_column_double(st, j)));
            break;
        case TipoColumna::Texto:
        case TipoColumna::Memo: {
            const unsigned char* t = sqlite3_column_text(st, j);
            return Variant(std::string(t ? reinterpret_cast<const char*>(t) : "",
                                       static_cast<size_t>(sqlite3_column_bytes(st, j))));
        }
        case TipoColumna::Otro:
            break;
    }
    return leerGenerico(st, j);
}

Variant variantDeValor(const ValorSql& v, TipoColumna tipo) {
    switch (v.clase) {
        case ValorSql::Clase::Nulo:
            return Variant::Null();
        case ValorSql::Clase::Entero:
            if (tipo == TipoColumna::SiNo) return Variant(v.entero != 0);
            if (tipo == TipoColumna::Integer) return Variant(static_cast<int16_t>(v.entero));
            return variantDeEntero(v.entero);
        case ValorSql::Clase::Real:
            if (tipo == TipoColumna::Single) return Variant(static_cast<float>(v.real));
            if (tipo == TipoColumna::Moneda) return Variant(comun::Moneda::desdeDouble(v.real));
            return Variant(v.real);
        case ValorSql::Clase::Texto:
            if (tipo == TipoColumna::Fecha) {
                comun::Fecha f;
                if (comun::leerFecha(v.texto, f)) return Variant(f);
            }
            return Variant(v.texto);
    }
    return Variant::Null();
}

ValorSql convertirParaColumna(const Columna& c, const Variant& v) {
    if (v.esNull() || v.esEmpty()) return ValorSql::nulo();
    if (v.esObjeto()) throw comun::ErrorTipo("Type mismatch");
    switch (c.tipo) {
        case TipoColumna::Contador:
            throw ErrorBD(kNoEscribible);
        case TipoColumna::SiNo:
            if (textoVacio(v)) return ValorSql::deEntero(0);
            return ValorSql::deEntero(v.CBool() ? 1 : 0);
        case TipoColumna::Fecha: {
            if (textoVacio(v)) return ValorSql::nulo();
            if (v.esTexto()) {
                comun::Fecha f;
                std::string t = comun::recortar(v.comoTexto());
                if (comun::leerFecha(t, f)) return ValorSql::deTexto(f.iso());
                if (!comun::IsNumeric(t)) throw comun::ErrorTipo("Type mismatch");
                // A number as text is a serial day, as a number would be.
                return ValorSql::deTexto(comun::Fecha::desdeSerial(v.CDbl()).iso());
            }
            return ValorSql::deTexto(v.CDate().iso());
        }
        case TipoColumna::Integer:
        case TipoColumna::Long:
            if (textoVacio(v)) return ValorSql::nulo();
            if (v.esTexto() && !comun::IsNumeric(v)) throw comun::ErrorTipo("Type mismatch");
            return ValorSql::deEntero(c.tipo == TipoColumna::Integer ? v.CInt() : v.CLng());
        case TipoColumna::Single:
        case TipoColumna::Double:
        case TipoColumna::Moneda:
            if (textoVacio(v)) return ValorSql::nulo();
            if (v.esTexto() && !comun::IsNumeric(v)) throw comun::ErrorTipo("Type mismatch");
            if (c.tipo == TipoColumna::Moneda) return ValorSql::deReal(v.CCur().aDouble());
            if (c.tipo == TipoColumna::Single) return ValorSql::deReal(v.CSng());
            return ValorSql::deReal(v.CDbl());
        case TipoColumna::Texto:
        case TipoColumna::Memo: {
            std::string t = v.CStr();
            if (c.longitud > 0 && comun::longitudCaracteres(t) > static_cast<size_t>(c.longitud))
                throw ErrorBD(kCampoPequeno);
            return ValorSql::deTexto(std::move(t));
        }
        case TipoColumna::Otro:
            break;
    }
    auto p = valorParametro(v);
    if (p) return *p;
    if (v.tipo() == comun::TipoVariant::Currency) return ValorSql::deReal(v.CDbl());
    return ValorSql::deTexto(v.CStr());
}

}  // namespace datos::sqlite

namespace datos {

TipoColumna tipoDeclarado(std::string_view declarado, int& longitud) {
    longitud = 0;
    std::string d = sqlite::mayus(comun::recortar(declarado));
    std::string base = d;
    auto par = d.find('(');
    if (par != std::string::npos) {
        base = comun::recortar(d.substr(0, par));
        longitud = std::atoi(d.c_str() + par + 1);
    }
    if (base.find("AUTOINCREMENT") != std::string::npos || base == "COUNTER" ||
        base == "AUTOINCREMENT")
        return TipoColumna::Contador;
    if (base == "YESNO" || base == "BIT" || base == "BOOLEAN" || base == "LOGICAL")
        return TipoColumna::SiNo;
    if (base == "DATETIME" || base == "DATE" || base == "TIME" || base == "TIMESTAMP")
        return TipoColumna::Fecha;
    if (base == "SHORT" || base == "SMALLINT" || base == "BYTE" || base == "INTEGER2")
        return TipoColumna::Integer;
    if (base == "LONG" || base == "INTEGER" || base == "INT" || base == "INTEGER4")
        return TipoColumna::Long;
    if (base == "SINGLE" || base == "REAL" || base == "FLOAT4") return TipoColumna::Single;
    if (base == "DOUBLE" || base == "NUMERIC" || base == "FLOAT" || base == "DECIMAL" ||
        base == "NUMBER")
        return TipoColumna::Double;
    if (base == "CURRENCY" || base == "MONEY") return TipoColumna::Moneda;
    if (base == "MEMO" || base == "LONGTEXT" || base == "LONGCHAR") {
        longitud = 0;
        return TipoColumna::Memo;
    }
    if (base == "TEXT" || base == "VARCHAR" || base == "CHAR" || base == "NVARCHAR" ||
        base == "STRING")
        return TipoColumna::Texto;
    longitud = 0;
    return TipoColumna::Otro;
}

}  // namespace datos
