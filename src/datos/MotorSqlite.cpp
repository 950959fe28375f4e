#include "datos/MotorSqlite.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include "comun/Texto.h"
#include "datos/DAO_Conexion.h"
#include "datos/sql/FuncionesSqlite.h"
#include "datos/sql/Traductor.h"

namespace datos {

using comun::Variant;

namespace {

// ADO's own texts, so callers and users see the messages they know.
constexpr const char* kCerrado = "Operation is not allowed when the object is closed.";
constexpr const char* kSinFila =
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
    "requires a current record.";
constexpr const char* kNoActualizable =
    "Current Recordset does not support updating. This may be a limitation of the provider, or "
    "of the selected locktype.";
constexpr const char* kFilaPerdida =
    "Row cannot be located for updating. Some values may have been changed since it was last "
    "read.";
constexpr const char* kCampoPequeno =
    "The field is too small to accept the amount of data you attempted to add. Try inserting or "
    "pasting less data.";
constexpr const char* kFaltanParametros = "No value given for one or more required parameters.";
constexpr const char* kSobranParametros = "Too many parameters for the statement.";
constexpr const char* kNoEscribible = "Field cannot be updated.";

// Rows read per page when a whole table is walked: the first page is small,
// so asking whether a big table is empty costs what it costs for a small
// one; later pages grow to the larger size.
constexpr int kPrimeraPagina = 16;
constexpr int kMaximaPagina = 512;
// Prepared statements kept by the command cache before it is emptied.
constexpr size_t kMaxSentenciasCache = 128;

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

// What one element of a parameter list binds, or nothing: Null, Empty,
// Currency, Decimal and objects give no parameter (the later elements move
// to earlier placeholders).
std::optional<ValorSql> valorParametro(const Variant& v) {
    switch (v.tipo()) {
        case comun::TipoVariant::String: {
            // name::value: the name ends at the first "::"; everything after
            // it, later "::" included, is the value. Callers that bind a text
            // of unknown content give it a name, so it is bound whole.
            const std::string& s = v.comoTexto();
            auto p = s.find("::");
            if (p != std::string::npos) return ValorSql::deTexto(s.substr(p + 2));
            return ValorSql::deTexto(s);
        }
        case comun::TipoVariant::Double:
        case comun::TipoVariant::Single:
            return ValorSql::deReal(v.CDbl());
        case comun::TipoVariant::Integer:
        case comun::TipoVariant::Long:
            return ValorSql::deEntero(v.CLng());
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
        if (enlazarValor(st, n, *v) != SQLITE_OK)
            throw ErrorBD(sqlite3_errmsg(db), std::string(sentencia));
    }
    if (n < esperados) throw ErrorBD(kFaltanParametros, std::string(sentencia));
}

// Whether the rest of a prepared text holds anything but blanks and ";".
bool restoVacio(const char* resto) {
    if (!resto) return true;
    for (; *resto; ++resto) {
        if (!std::isspace(static_cast<unsigned char>(*resto)) && *resto != ';') return false;
    }
    return true;
}

// The few tokens needed to recognise a single-table "SELECT [TOP n] * FROM t
// [WHERE ... | ORDER BY ...]" and a bare table name. Quoted texts become one
// token "'" so their content never counts.
std::vector<std::string> fichas(std::string_view s) {
    std::vector<std::string> r;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (std::isspace(c)) {
            ++i;
        } else if (c == '\'' || c == '"') {
            char cierre = static_cast<char>(c);
            ++i;
            while (i < s.size()) {
                if (s[i] == cierre) {
                    if (i + 1 < s.size() && s[i + 1] == cierre) {
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
            }
            ++i;
            r.push_back("'");
        } else if (c == '[') {
            size_t fin = s.find(']', i);
            if (fin == std::string_view::npos) fin = s.size();
            r.push_back(mayus(s.substr(i + 1, fin - i - 1)));
            i = fin + 1;
        } else if (std::isalnum(c) || c == '_' || c >= 0x80) {
            size_t ini = i;
            while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_' ||
                                    static_cast<unsigned char>(s[i]) >= 0x80))
                ++i;
            r.push_back(mayus(s.substr(ini, i - ini)));
        } else {
            r.push_back(std::string(1, static_cast<char>(c)));
            ++i;
        }
    }
    return r;
}

bool esIdentificador(std::string_view s) {
    if (s.empty()) return false;
    if (std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
               static_cast<unsigned char>(c) >= 0x80;
    });
}

// Name of a bare table (or saved query) reference, or empty.
std::string nombreTablaSola(std::string_view sql) {
    std::string t = comun::recortar(sql);
    if (t.size() > 2 && t.front() == '[' && t.back() == ']') t = t.substr(1, t.size() - 2);
    return esIdentificador(t) ? t : std::string();
}

// The table of a single-table "SELECT [TOP n] * FROM t ..." text, or empty.
std::string tablaDeSelectTodo(std::string_view sql) {
    auto f = fichas(sql);
    size_t i = 0;
    if (f.size() < 4 || f[i++] != "SELECT") return {};
    if (f[i] == "TOP") i += 2;
    if (i + 2 >= f.size() || f[i] != "*" || f[i + 1] != "FROM") return {};
    const std::string& tabla = f[i + 2];
    if (!esIdentificador(tabla)) return {};
    size_t sig = i + 3;
    if (sig < f.size() && f[sig] != "WHERE" && f[sig] != "ORDER" && f[sig] != ";") return {};
    for (size_t k = sig; k < f.size(); ++k) {
        const std::string& x = f[k];
        if (x == "UNION" || x == "JOIN" || x == "GROUP" || x == "HAVING" || x == "FROM") return {};
    }
    return tabla;
}

struct Columna {
    std::string nombre;  // as the engine reports it
    std::string origen;  // column of the underlying table, when there is one
    TipoColumna tipo = TipoColumna::Otro;
    int longitud = 0;  // TEXT(n)
};

Variant variantDeEntero(int64_t v) {
    if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
        return Variant(static_cast<int32_t>(v));
    return Variant(static_cast<double>(v));
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

// A stored value read back as the column's kind: Yes/No as Boolean, dates as
// Fecha, numbers by their width. A value the column's kind cannot hold (a
// text in a number column written by another program) is returned as it is.
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

// A ValorSql shown as the Variant the column would give back (fields of a
// row being added or edited, before Update).
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

bool textoVacio(const Variant& v) {
    return v.esTexto() && v.comoTexto().empty();
}

// Converts an assigned value to what the column stores, as the Access
// engine would: date texts into date columns, numeric texts into number
// columns, numbers into text columns as their text. A value the column
// cannot take raises comun::ErrorTipo (type mismatch); a text longer than a
// TEXT(n) column raises ErrorBD.
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

struct EstadoConexion;

// Owns a prepared statement; finalizes it when it goes.
struct Sentencia {
    sqlite3_stmt* st = nullptr;
    Sentencia() = default;
    explicit Sentencia(sqlite3_stmt* s) : st(s) {}
    Sentencia(Sentencia&& o) noexcept : st(o.st) { o.st = nullptr; }
    Sentencia& operator=(Sentencia&& o) noexcept {
        if (this != &o) {
            liberar();
            st = o.st;
            o.st = nullptr;
        }
        return *this;
    }
    ~Sentencia() { liberar(); }
    void liberar() {
        if (st) sqlite3_finalize(st);
        st = nullptr;
    }
};

// Resets a statement when a use of it ends, so it holds no read lock.
struct Reinicio {
    sqlite3_stmt* st;
    ~Reinicio() {
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
    }
};

class RecordsetSqlite;

// What a connection shares with its record sets: the handle, and the record
// sets still open, which the connection closes when it goes.
struct EstadoConexion {
    sqlite3* db = nullptr;
    std::set<RecordsetSqlite*> abiertos;
};

Sentencia preparar(sqlite3* db, std::string_view texto, std::string_view original) {
    sqlite3_stmt* st = nullptr;
    const char* resto = nullptr;
    int rc = sqlite3_prepare_v2(db, texto.data(), static_cast<int>(texto.size()), &st, &resto);
    Sentencia s(st);
    if (rc != SQLITE_OK) throw ErrorBD(sqlite3_errmsg(db), std::string(original));
    if (!st) throw ErrorBD("Empty statement.", std::string(original));
    if (!restoVacio(resto))
        throw ErrorBD("Only one statement can run at a time.", std::string(original));
    return s;
}

struct Fila {
    int64_t rowid = 0;
    bool cargada = true;  // false: values to be read by rowid when asked
    std::vector<Variant> valores;
};

class RecordsetSqlite : public MotorRecordset {
  public:
    enum class Modo {
        Instantanea,  // read whole at open
        Diferida,     // read whole when the first row is asked for
        Tabla,        // a whole table walked by pages of rowid
    };

    RecordsetSqlite(std::shared_ptr<EstadoConexion> estado, std::string sentencia, Modo modo)
        : estado_(std::move(estado)), sentencia_(std::move(sentencia)), modo_(modo) {
        estado_->abiertos.insert(this);
    }
    ~RecordsetSqlite() override { Close(); }

    // Takes the columns from a prepared statement; `conRowid` when its first
    // column is the hidden rowid.
    void tomarColumnas(sqlite3_stmt* st, bool conRowid) {
        conRowid_ = conRowid;
        const int n = sqlite3_column_count(st);
        for (int j = conRowid ? 1 : 0; j < n; ++j) {
            Columna c;
            const char* nombre = sqlite3_column_name(st, j);
            c.nombre = nombre ? nombre : "";
            const char* tabla = sqlite3_column_table_name(st, j);
            const char* origen = sqlite3_column_origin_name(st, j);
            if (tabla && origen) {
                c.origen = origen;
                const char* decl = nullptr;
                const char* coll = nullptr;
                int noNulo = 0, clave = 0, autoinc = 0;
                if (sqlite3_table_column_metadata(estado_->db, sqlite3_column_database_name(st, j),
                                                  tabla, origen, &decl, &coll, &noNulo, &clave,
                                                  &autoinc) == SQLITE_OK) {
                    c.tipo = tipoDeclarado(decl ? decl : "", c.longitud);
                    if (autoinc || (clave && decl && mayus(decl) == "INTEGER"))
                        c.tipo = TipoColumna::Contador;
                }
            } else {
                const char* decl = sqlite3_column_decltype(st, j);
                if (decl) c.tipo = tipoDeclarado(decl, c.longitud);
            }
            columnas_.push_back(std::move(c));
        }
    }

    void hacerActualizable(std::string tabla) {
        tabla_ = std::move(tabla);
        actualizable_ = true;
    }

    void ponerSentencia(Sentencia s) { st_ = std::move(s); }

    // Reads every row of the held statement and releases it.
    void leerTodo() const {
        if (!st_.st) return;
        sqlite3_stmt* st = st_.st;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) filas_.push_back(leerFila(st));
        std::string error = rc == SQLITE_DONE ? std::string() : sqlite3_errmsg(estado_->db);
        const_cast<RecordsetSqlite*>(this)->st_.liberar();
        cuenta_ = static_cast<long>(filas_.size());
        vacio_ = filas_.empty();
        leido_ = true;
        if (!error.empty()) throw ErrorBD(error, sentencia_);
    }

    bool eof() const override {
        asegurar();
        return pos_ >= filas_.size();
    }
    bool bof() const override {
        asegurar();
        return vacio_;
    }
    size_t numeroCampos() const override {
        verificarAbierto();
        return columnas_.size();
    }
    const std::string& nombreCampo(size_t i) const override {
        verificarAbierto();
        return columnas_.at(i).nombre;
    }
    TipoColumna tipoCampo(size_t i) const override {
        verificarAbierto();
        return columnas_.at(i).tipo;
    }

    Variant valorCampo(size_t i) const override {
        verificarAbierto();
        if (i >= columnas_.size()) throw std::out_of_range("campo");
        if (nuevo_) {
            auto p = pendientes_.find(i);
            return p == pendientes_.end() ? Variant::Null()
                                          : variantDeValor(p->second, columnas_[i].tipo);
        }
        if (eof()) throw ErrorBD(kSinFila, sentencia_);
        auto p = pendientes_.find(i);
        if (p != pendientes_.end()) return variantDeValor(p->second, columnas_[i].tipo);
        const Fila& f = filas_[pos_];
        if (!f.cargada) cargarFila(const_cast<Fila&>(f));
        return f.valores[i];
    }

    void MoveNext() override {
        verificarAbierto();
        if (!pendientes_.empty() || nuevo_) Update();
        if (eof()) throw ErrorBD(kSinFila, sentencia_);
        ++pos_;
        if (modo_ == Modo::Tabla && pos_ >= filas_.size() && !finTabla_) cargarPagina();
    }

    void Close() override {
        if (!estado_) return;
        liberar();
        estado_->abiertos.erase(this);
        estado_.reset();
    }
    // Drops the statements (the connection is going or the set closes).
    void liberar() {
        st_.liberar();
        leerPorRowid_.liberar();
        actualizarFila_.liberar();
        inserciones_.clear();
        cerrado_ = true;
    }
    bool abierto() const override { return !cerrado_; }

    long RecordCount() const override {
        verificarAbierto();
        if (modo_ == Modo::Tabla) return finTabla_ ? cuenta_ : -1;
        asegurar();
        return cuenta_;
    }

    void AddNew() override {
        verificarAbierto();
        if (!actualizable_) throw ErrorBD(kNoActualizable, sentencia_);
        if (nuevo_ || !pendientes_.empty()) Update();
        nuevo_ = true;
    }

    void asignar(size_t i, const Variant& valor) override {
        verificarAbierto();
        if (!actualizable_) throw ErrorBD(kNoActualizable, sentencia_);
        if (i >= columnas_.size()) throw std::out_of_range("campo");
        if (!nuevo_ && eof()) throw ErrorBD(kSinFila, sentencia_);
        if (columnas_[i].origen.empty()) throw ErrorBD(kNoEscribible, sentencia_);
        pendientes_[i] = convertirParaColumna(columnas_[i], valor);
    }

    void Update() override {
        verificarAbierto();
        if (nuevo_) {
            insertar();
        } else if (!pendientes_.empty()) {
            actualizarActual();
        }
    }

    bool actualizable() const override { return !cerrado_ && actualizable_; }

  private:
    void verificarAbierto() const {
        if (cerrado_) throw ErrorBD(kCerrado, sentencia_);
    }

    // Brings the rows in on the first question about them.
    void asegurar() const {
        verificarAbierto();
        if (leido_) return;
        if (modo_ == Modo::Tabla) {
            const_cast<RecordsetSqlite*>(this)->cargarPagina();
            vacio_ = filas_.empty();
            leido_ = true;
        } else {
            leerTodo();
        }
    }

    Fila leerFila(sqlite3_stmt* st) const {
        Fila f;
        int base = conRowid_ ? 1 : 0;
        if (conRowid_) f.rowid = sqlite3_column_int64(st, 0);
        f.valores.reserve(columnas_.size());
        for (size_t j = 0; j < columnas_.size(); ++j)
            f.valores.push_back(leerValor(st, static_cast<int>(j) + base, columnas_[j].tipo));
        return f;
    }

    // Next page of a whole table: the rows after the last rowid seen.
    void cargarPagina() {
        sqlite3_stmt* st = st_.st;
        Reinicio r{st};
        sqlite3_bind_int64(st, 1, ultimoRowid_);
        sqlite3_bind_int(st, 2, pagina_);
        filas_.clear();
        pos_ = 0;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) filas_.push_back(leerFila(st));
        if (rc != SQLITE_DONE) throw ErrorBD(sqlite3_errmsg(estado_->db), sentencia_);
        if (!filas_.empty()) ultimoRowid_ = filas_.back().rowid;
        cuenta_ += static_cast<long>(filas_.size());
        finTabla_ = filas_.size() < static_cast<size_t>(pagina_);
        pagina_ = std::min(pagina_ * 2, kMaximaPagina);
    }

    void cargarFila(Fila& f) const {
        if (!leerPorRowid_.st) {
            std::string texto = "SELECT * FROM " + citar(tabla_) + " WHERE _rowid_ = ?";
            leerPorRowid_ = preparar(estado_->db, texto, sentencia_);
        }
        sqlite3_stmt* st = leerPorRowid_.st;
        Reinicio r{st};
        sqlite3_bind_int64(st, 1, f.rowid);
        int rc = sqlite3_step(st);
        f.valores.assign(columnas_.size(), Variant::Null());
        if (rc == SQLITE_ROW) {
            for (size_t j = 0; j < columnas_.size(); ++j)
                f.valores[j] = leerValor(st, static_cast<int>(j), columnas_[j].tipo);
        } else if (rc != SQLITE_DONE) {
            throw ErrorBD(sqlite3_errmsg(estado_->db), sentencia_);
        }
        f.cargada = true;
    }

    // INSERT of the assigned columns only, so the table's defaults apply to
    // the others. The new row becomes the current one (read back when asked),
    // and the last: a MoveNext after it reaches the end.
    void insertar() {
        std::string clave;
        for (auto& [i, v] : pendientes_) clave += std::to_string(i) + ",";
        auto it = inserciones_.find(clave);
        if (it == inserciones_.end()) {
            std::string texto = "INSERT INTO " + citar(tabla_);
            if (pendientes_.empty()) {
                texto += " DEFAULT VALUES";
            } else {
                std::string nombres, marcas;
                for (auto& [i, v] : pendientes_) {
                    if (!nombres.empty()) {
                        nombres += ", ";
                        marcas += ", ";
                    }
                    nombres += citar(columnas_[i].origen);
                    marcas += "?";
                }
                texto += " (" + nombres + ") VALUES (" + marcas + ")";
            }
            it = inserciones_.emplace(clave, preparar(estado_->db, texto, sentencia_)).first;
        }
        sqlite3_stmt* st = it->second.st;
        {
            Reinicio r{st};
            int k = 0;
            for (auto& [i, v] : pendientes_) enlazarValor(st, ++k, v);
            if (sqlite3_step(st) != SQLITE_DONE)
                throw ErrorBD(sqlite3_errmsg(estado_->db), sentencia_);
        }
        Fila f;
        f.rowid = sqlite3_last_insert_rowid(estado_->db);
        f.cargada = false;
        asegurarSinLeer();
        filas_.clear();
        filas_.push_back(std::move(f));
        pos_ = 0;
        vacio_ = false;
        ++cuenta_;
        if (modo_ == Modo::Tabla) ultimoRowid_ = std::max(ultimoRowid_, filas_.back().rowid);
        pendientes_.clear();
        nuevo_ = false;
    }

    // Before the first append, a lazy set that was never read stays unread:
    // its rows are those appended through it.
    void asegurarSinLeer() {
        if (leido_) return;
        st_.liberar();
        leido_ = true;
        finTabla_ = true;
        cuenta_ = 0;
    }

    void actualizarActual() {
        if (!actualizarFila_.st || claveActualizar_ != claveActual()) {
            std::string texto = "UPDATE " + citar(tabla_) + " SET ";
            bool primero = true;
            for (auto& [i, v] : pendientes_) {
                if (!primero) texto += ", ";
                primero = false;
                texto += citar(columnas_[i].origen) + " = ?";
            }
            texto += " WHERE _rowid_ = ?";
            actualizarFila_ = preparar(estado_->db, texto, sentencia_);
            claveActualizar_ = claveActual();
        }
        sqlite3_stmt* st = actualizarFila_.st;
        Fila& f = filas_[pos_];
        {
            Reinicio r{st};
            int k = 0;
            for (auto& [i, v] : pendientes_) enlazarValor(st, ++k, v);
            sqlite3_bind_int64(st, ++k, f.rowid);
            if (sqlite3_step(st) != SQLITE_DONE)
                throw ErrorBD(sqlite3_errmsg(estado_->db), sentencia_);
        }
        pendientes_.clear();
        if (sqlite3_changes(estado_->db) == 0) throw ErrorBD(kFilaPerdida, sentencia_);
        f.cargada = false;
    }

    std::string claveActual() const {
        std::string clave;
        for (auto& [i, v] : pendientes_) clave += std::to_string(i) + ",";
        return clave;
    }

    std::shared_ptr<EstadoConexion> estado_;
    std::string sentencia_;
    Modo modo_;
    std::vector<Columna> columnas_;
    bool conRowid_ = false;
    bool actualizable_ = false;
    std::string tabla_;
    bool cerrado_ = false;

    mutable Sentencia st_;
    mutable Sentencia leerPorRowid_;
    Sentencia actualizarFila_;
    std::string claveActualizar_;
    std::map<std::string, Sentencia> inserciones_;

    mutable std::vector<Fila> filas_;
    mutable size_t pos_ = 0;
    mutable bool leido_ = false;
    mutable bool vacio_ = false;
    mutable bool finTabla_ = false;
    mutable long cuenta_ = 0;
    int64_t ultimoRowid_ = std::numeric_limits<int64_t>::min();
    int pagina_ = kPrimeraPagina;

    bool nuevo_ = false;
    std::map<size_t, ValorSql> pendientes_;
};

// Tells the translator which columns hold dates, and the columns of a
// table, from the schema of the open file.
class EsquemaSqlite : public sql::InfoEsquema {
  public:
    explicit EsquemaSqlite(sqlite3* db) : db_(db) {}
    bool esColumnaFecha(std::string_view tabla, std::string_view columna) const override {
        std::string t(tabla), c(columna);
        const char* decl = nullptr;
        const char* coll = nullptr;
        int noNulo = 0, clave = 0, autoinc = 0;
        if (sqlite3_table_column_metadata(db_, nullptr, t.c_str(), c.c_str(), &decl, &coll, &noNulo,
                                          &clave, &autoinc) != SQLITE_OK)
            return false;
        int longitud = 0;
        return decl && tipoDeclarado(decl, longitud) == TipoColumna::Fecha;
    }
    std::vector<std::string> columnas(std::string_view tabla) const override {
        std::vector<std::string> r;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, "SELECT name FROM pragma_table_info(?1)", -1, &st, nullptr) !=
            SQLITE_OK) {
            sqlite3_finalize(st);
            return r;
        }
        sqlite3_bind_text(st, 1, tabla.data(), static_cast<int>(tabla.size()), SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW)
            r.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        return r;
    }

  private:
    sqlite3* db_;
};

// The translation of an Access text; a text the translator cannot read is
// an error of the statement like any other.
std::string traducir(std::string_view sql, const sql::InfoEsquema& esquema) {
    try {
        return sql::traducir(sql, &esquema);
    } catch (const sql::ErrorTraduccion& e) {
        throw ErrorBD(e.what(), std::string(sql));
    }
}

class ConexionSqlite : public MotorConexion {
  public:
    ConexionSqlite(sqlite3* db) : estado_(std::make_shared<EstadoConexion>()), esquema_(db) {
        estado_->db = db;
    }
    ~ConexionSqlite() override {
        // Record sets still open become closed; their statements go first.
        for (RecordsetSqlite* rs : estado_->abiertos) rs->liberar();
        cache_.clear();
        // Cached translations are keyed by the schema object, which goes now.
        sql::limpiarCache();
        sqlite3_close_v2(estado_->db);
        estado_->db = nullptr;
    }

    int comando(std::string_view sql, const std::vector<Variant>& parametros) override {
        sqlite3* db = estado_->db;
        sqlite3_stmt* st = sentenciaCache(traducir(sql, esquema_), sql);
        Reinicio r{st};
        enlazarParametros(db, st, parametros, sql);
        // sqlite3_changes keeps the count of the last INSERT, UPDATE or DELETE,
        // so a statement that wrote nothing (a query, CREATE, DROP) must not
        // report it: only a statement that changed rows reports a count.
        const int totalAntes = sqlite3_total_changes(db);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) throw ErrorBD(sqlite3_errmsg(db), std::string(sql));
        if (sqlite3_stmt_readonly(st) || sqlite3_total_changes(db) == totalAntes) return 0;
        return sqlite3_changes(db);
    }

    std::unique_ptr<MotorRecordset> abrir(std::string_view sql,
                                          const std::vector<Variant>& parametros) override {
        sqlite3* db = estado_->db;
        const std::string original(sql);

        std::string tabla = nombreTablaSola(sql);
        if (!tabla.empty()) return abrirTabla(tabla, original);

        const std::string traducido = traducir(sql, esquema_);
        if (parametros.empty()) {
            std::string unica = tablaDeSelectTodo(sql);
            if (!unica.empty()) {
                auto rs = abrirSelectTodo(unica, traducido, original);
                if (rs) return rs;
            }
        }
        auto rs = std::make_unique<RecordsetSqlite>(estado_, original,
                                                    RecordsetSqlite::Modo::Instantanea);
        Sentencia s = preparar(db, traducido, original);
        enlazarParametros(db, s.st, parametros, original);
        rs->tomarColumnas(s.st, false);
        rs->ponerSentencia(std::move(s));
        rs->leerTodo();
        return rs;
    }

    void empezarTransaccion() override {
        // The outermost level takes the write lock at once (waiting through the
        // busy timeout), so a write inside it never fails on a snapshot that
        // another connection changed meanwhile. Inner levels are savepoints.
        if (nivel_ == 0)
            ejecutar("BEGIN IMMEDIATE");
        else
            ejecutar("SAVEPOINT sinc" + std::to_string(nivel_));
        ++nivel_;
    }
    void confirmarTransaccion() override {
        if (nivel_ == 0) throw ErrorBD("No transaction is active.");
        --nivel_;
        if (nivel_ == 0)
            ejecutar("COMMIT");
        else
            ejecutar("RELEASE sinc" + std::to_string(nivel_));
    }
    void revertirTransaccion() override {
        if (nivel_ == 0) throw ErrorBD("No transaction is active.");
        --nivel_;
        if (nivel_ == 0) {
            ejecutar("ROLLBACK");
        } else {
            ejecutar("ROLLBACK TO sinc" + std::to_string(nivel_));
            ejecutar("RELEASE sinc" + std::to_string(nivel_));
        }
    }

  private:
    void ejecutar(const std::string& texto) {
        char* error = nullptr;
        if (sqlite3_exec(estado_->db, texto.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string mensaje = error ? error : sqlite3_errmsg(estado_->db);
            sqlite3_free(error);
            throw ErrorBD(mensaje, texto);
        }
    }

    sqlite3_stmt* sentenciaCache(const std::string& traducido, std::string_view original) {
        auto it = cache_.find(traducido);
        if (it != cache_.end()) return it->second.st;
        Sentencia s = preparar(estado_->db, traducido, original);
        if (cache_.size() >= kMaxSentenciasCache) cache_.clear();
        return cache_.emplace(traducido, std::move(s)).first->second.st;
    }

    std::unique_ptr<MotorRecordset> abrirTabla(const std::string& nombre,
                                               const std::string& original) {
        sqlite3* db = estado_->db;
        std::string tipo, real = nombre;
        {
            Sentencia s = preparar(db,
                                   "SELECT type, name FROM sqlite_master WHERE type IN "
                                   "('table','view') AND name = ?1 COLLATE NOCASE",
                                   original);
            sqlite3_bind_text(s.st, 1, nombre.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(s.st) == SQLITE_ROW) {
                tipo = reinterpret_cast<const char*>(sqlite3_column_text(s.st, 0));
                real = reinterpret_cast<const char*>(sqlite3_column_text(s.st, 1));
            }
        }
        if (tipo == "view") {
            auto rs = std::make_unique<RecordsetSqlite>(estado_, original,
                                                        RecordsetSqlite::Modo::Diferida);
            Sentencia s = preparar(db, "SELECT * FROM " + citar(real), original);
            rs->tomarColumnas(s.st, false);
            rs->ponerSentencia(std::move(s));
            return rs;
        }
        auto rs =
            std::make_unique<RecordsetSqlite>(estado_, original, RecordsetSqlite::Modo::Tabla);
        Sentencia s = preparar(db,
                               "SELECT _rowid_ AS rowid__, * FROM " + citar(real) +
                                   " WHERE _rowid_ > ?1 ORDER BY _rowid_ LIMIT ?2",
                               original);
        rs->tomarColumnas(s.st, true);
        rs->ponerSentencia(std::move(s));
        rs->hacerActualizable(real);
        return rs;
    }

    // A single-table SELECT * opened without parameters: updatable in place,
    // read when the first row is asked for. Null when the translated text
    // does not have the expected shape.
    std::unique_ptr<MotorRecordset> abrirSelectTodo(const std::string& tabla,
                                                    const std::string& traducido,
                                                    const std::string& original) {
        size_t estrella = traducido.find('*');
        if (estrella == std::string::npos) return nullptr;
        if (mayus(comun::recortar(traducido.substr(0, estrella))) != "SELECT") return nullptr;
        std::string texto =
            traducido.substr(0, estrella) + "_rowid_ AS rowid__, " + traducido.substr(estrella);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(estado_->db, texto.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            return nullptr;  // a view or a table without rowid: opened as a snapshot
        }
        Sentencia s(st);
        const char* origen = sqlite3_column_table_name(st, 1);
        auto rs =
            std::make_unique<RecordsetSqlite>(estado_, original, RecordsetSqlite::Modo::Diferida);
        rs->tomarColumnas(st, true);
        rs->ponerSentencia(std::move(s));
        rs->hacerActualizable(origen ? origen : tabla);
        return rs;
    }

    std::shared_ptr<EstadoConexion> estado_;
    EsquemaSqlite esquema_;
    std::unordered_map<std::string, Sentencia> cache_;
    int nivel_ = 0;
};

}  // namespace

TipoColumna tipoDeclarado(std::string_view declarado, int& longitud) {
    longitud = 0;
    std::string d = mayus(comun::recortar(declarado));
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

bool esArchivoSqlite(const std::string& ruta) {
    std::ifstream f(ruta, std::ios::binary);
    if (!f) return false;
    char cabecera[16] = {};
    f.read(cabecera, sizeof cabecera);
    return f.gcount() == 16 && std::memcmp(cabecera, "SQLite format 3\0", 16) == 0;
}

std::unique_ptr<MotorConexion> abrirSqlite(const std::string& ruta, int esperaMs) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(ruta.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        std::string mensaje = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        throw ErrorBD(mensaje + ": '" + ruta + "'");
    }
    auto conexion = std::make_unique<ConexionSqlite>(db);
    sqlite3_extended_result_codes(db, 0);
    sqlite3_busy_timeout(db, esperaMs);
    try {
        sql::registrarFunciones(db);
    } catch (const std::exception& e) {
        throw ErrorBD(std::string(e.what()) + ": '" + ruta + "'");
    }
    char* error = nullptr;
    if (sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, &error) != SQLITE_OK) {
        std::string mensaje = error ? error : "journal mode";
        sqlite3_free(error);
        throw ErrorBD(mensaje + ": '" + ruta + "'");
    }
    return conexion;
}

}  // namespace datos
