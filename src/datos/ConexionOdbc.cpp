// The ODBC engine's connection: opening a source by its connection string
// (or an Access file by its driver), running statements with their values
// bound, record sets, and transactions at the level of the connection.
#include <sqlite3.h>

#include <functional>
#include <set>
#include <sstream>
#include <unordered_map>

#include "comun/Texto.h"
#include "datos/ControladorOdbc.h"
#include "datos/ControladorSqlite.h"
#include "datos/FormaSentencia.h"
#include "datos/RecordsetOdbc.h"
#include "datos/sql/Traductor.h"

namespace datos {

using namespace odbc;

namespace {

constexpr size_t kMaxSentenciasCache = 256;

constexpr const char* kDriverAce = "Microsoft Access Driver (*.mdb, *.accdb)";
constexpr const char* kDriverJet = "Microsoft Access Driver (*.mdb)";

std::string primeraPalabra(std::string_view sql) {
    size_t i = 0;
    while (i < sql.size() && (std::isspace(static_cast<unsigned char>(sql[i])) || sql[i] == '('))
        ++i;
    size_t j = i;
    while (j < sql.size() && std::isalpha(static_cast<unsigned char>(sql[j]))) ++j;
    return comun::mayusculas(sql.substr(i, j - i));
}

// The columns of a table of a SQLite source, from the driver's catalogue,
// for the translator (which needs the date columns and the column order).
class EsquemaOdbc : public sql::InfoEsquema {
  public:
    explicit EsquemaOdbc(SQLHDBC dbc) : dbc_(dbc) {}
    bool esColumnaFecha(std::string_view tabla, std::string_view columna) const override {
        for (const auto& [nombre, tipo] : de(tabla))
            if (comun::mayusculas(nombre) == comun::mayusculas(columna))
                return tipo == TipoColumna::Fecha;
        return false;
    }
    std::vector<std::string> columnas(std::string_view tabla) const override {
        std::vector<std::string> r;
        for (const auto& c : de(tabla)) r.push_back(c.first);
        return r;
    }
    void olvidar() { cache_.clear(); }

  private:
    using Lista = std::vector<std::pair<std::string, TipoColumna>>;
    const Lista& de(std::string_view tabla) const {
        const std::string clave = comun::mayusculas(tabla);
        auto it = cache_.find(clave);
        if (it != cache_.end()) return it->second;
        Lista l;
        try {
            Manija st(SQL_HANDLE_STMT, dbc_);
            Ancho t = ancho(tabla);
            if (exito(
                    SQLColumnsW(st.get(), nullptr, 0, nullptr, 0, t.data(), SQL_NTS, nullptr, 0))) {
                while (exito(SQLFetch(st.get()))) {
                    SQLWCHAR nombre[256] = {}, tipo[256] = {};
                    SQLLEN n1 = 0, n2 = 0;
                    SQLGetData(st.get(), 4, SQL_C_WCHAR, nombre, sizeof(nombre), &n1);
                    SQLGetData(st.get(), 6, SQL_C_WCHAR, tipo, sizeof(tipo), &n2);
                    if (n1 <= 0) continue;
                    int longitud = 0;
                    const std::string declarado =
                        n2 > 0 ? angosto(tipo, static_cast<size_t>(n2) / sizeof(SQLWCHAR)) : "";
                    l.emplace_back(angosto(nombre, static_cast<size_t>(n1) / sizeof(SQLWCHAR)),
                                   tipoDeclarado(declarado, longitud));
                }
            }
        } catch (const ErrorBD&) {
        }
        return cache_.emplace(clave, std::move(l)).first->second;
    }

    SQLHDBC dbc_;
    mutable std::unordered_map<std::string, Lista> cache_;
};

// Whether the driver takes wide statement texts itself (its own
// SQLPrepareW), rather than through the driver manager's conversion.
bool conTextoAncho(SQLHDBC dbc) {
    SQLUSMALLINT tiene = SQL_FALSE;
    // The Access drivers of Windows are Unicode drivers. Under unixODBC the
    // text reaches an ANSI driver cut to Latin-1.
#ifdef _WIN32
    (void)dbc;
    tiene = SQL_TRUE;
#else
    SQLWCHAR nombre[256] = {};
    SQLSMALLINT n = 0;
    if (exito(SQLGetInfoW(dbc, SQL_DRIVER_NAME, nombre, sizeof(nombre), &n))) {
        const std::string driver =
            comun::minusculas(angosto(nombre, static_cast<size_t>(n) / sizeof(SQLWCHAR)));
        // Debian's libsqlite3odbc is the ANSI build; its wide one ends in "w".
        tiene = driver.find("sqlite3odbcw") != std::string::npos ? SQL_TRUE : SQL_FALSE;
    }
#endif
    return tiene == SQL_TRUE;
}

class ConexionOdbc : public ControladorConexion {
  public:
    ConexionOdbc(Manija entorno, Manija dbc, Dialecto dialecto)
        : entorno_(std::move(entorno)),
          dbc_(std::move(dbc)),
          estado_(std::make_shared<EstadoOdbc>()),
          esquema_(dbc_.get()) {
        estado_->dbc = dbc_.get();
        estado_->dialecto = dialecto;
        estado_->sqlAngosto = dialecto == Dialecto::Sqlite && !conTextoAncho(dbc_.get());
    }
    ~ConexionOdbc() override {
        for (RecordsetOdbc* rs : estado_->abiertos) rs->liberar();
        cache_.clear();
        if (nivel_ > 0) SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
        estado_->dbc = SQL_NULL_HANDLE;
    }

    int comando(std::string_view sql, const std::vector<Variant>& parametros) override {
        Preparada& p = preparada(sql);
        const bool defineEsquema = p.defineEsquema;
        const std::string original(sql);
        SQLLEN cambiadas = 0;
        {
            Uso uso{p};
            std::vector<Enlace> enlaces = enlaces_(p, parametros, original);
            enlazar(p.st.get(), enlaces, original);
            SQLRETURN rc = SQLExecute(p.st.get());
            if (rc != SQL_NO_DATA) {
                verificar(rc, SQL_HANDLE_STMT, p.st.get(), original, estado_->dialecto);
                SQLSMALLINT columnas = 0;
                SQLNumResultCols(p.st.get(), &columnas);
                if (columnas == 0 && p.escribe && !exito(SQLRowCount(p.st.get(), &cambiadas)))
                    cambiadas = 0;
            }
        }
        if (defineEsquema) {
            cache_.clear();
            esquema_.olvidar();
        }
        return cambiadas > 0 ? static_cast<int>(cambiadas) : 0;
    }

    std::unique_ptr<ControladorRecordset> abrir(std::string_view sql,
                                                const std::vector<Variant>& parametros) override {
        const std::string original(sql);
        const std::string tabla = nombreTablaSola(sql);
        if (!tabla.empty()) {
            // A table or a saved query by its name: read when first asked.
            auto rs = std::make_unique<RecordsetOdbc>(estado_, original);
            rs->leerAlPedir("SELECT * FROM " + citar(tabla, estado_->dialecto), true);
            rs->hacerActualizable(tabla);
            return rs;
        }
        Preparada& p = preparada(sql);
        auto rs = std::make_unique<RecordsetOdbc>(estado_, original);
        if (parametros.empty()) {
            // A single-table SELECT * is updatable in place, and read when
            // its first row is asked for.
            const std::string unica = tablaDeSelectTodo(sql);
            if (!unica.empty()) {
                rs->leerAlPedir(p.texto, false);
                rs->hacerActualizable(unica);
                return rs;
            }
        }
        Uso uso{p};
        std::vector<Enlace> enlaces = enlaces_(p, parametros, original);
        enlazar(p.st.get(), enlaces, original);
        verificar(SQLExecute(p.st.get()), SQL_HANDLE_STMT, p.st.get(), original, estado_->dialecto);
        rs->leerDe(p.st.get());
        // With bound values a single-table SELECT * is read whole now and
        // stays updatable like the same text without values.
        if (const std::string unica = tablaDeSelectTodo(sql); !unica.empty())
            rs->hacerActualizable(unica);
        return rs;
    }

    bool admiteSavepoints() const override { return false; }

    // The Access drivers have transactions of the connection only: no
    // savepoints. An inner level shares the outer one; when it is rolled
    // back, the whole transaction is, and the outer level cannot be
    // committed any more (its confirmation fails), so nothing of a group is
    // ever half kept. Callers that need one failure not to undo the others
    // ask admiteSavepoints and give each piece its own transaction.
    void empezarTransaccion() override {
        if (nivel_ == 0) {
            cambiarAutocommit(false);
            perdida_ = false;
        }
        ++nivel_;
    }
    void confirmarTransaccion() override {
        if (nivel_ == 0) throw ErrorBD("No transaction is active.");
        if (--nivel_ > 0) return;
        if (perdida_) {
            terminar(SQL_ROLLBACK);
            throw ErrorBD("The transaction was rolled back by the failure of a part of it.");
        }
        terminar(SQL_COMMIT);
    }
    void revertirTransaccion() override {
        if (nivel_ == 0) throw ErrorBD("No transaction is active.");
        --nivel_;
        if (nivel_ == 0) {
            terminar(SQL_ROLLBACK);
            return;
        }
        verificar(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK), SQL_HANDLE_DBC, dbc_.get(),
                  "ROLLBACK");
        perdida_ = true;
    }

    bool existeTabla(std::string_view nombre) override {
        Manija st(SQL_HANDLE_STMT, dbc_.get());
        Ancho t = ancho(nombre);
        Ancho tipos = ancho("TABLE");
        verificar(
            SQLTablesW(st.get(), nullptr, 0, nullptr, 0, t.data(), SQL_NTS, tipos.data(), SQL_NTS),
            SQL_HANDLE_STMT, st.get(), "SQLTables", estado_->dialecto);
        const std::string buscado = comun::mayusculas(nombre);
        while (exito(SQLFetch(st.get()))) {
            SQLWCHAR buf[256] = {};
            SQLLEN n = 0;
            if (exito(SQLGetData(st.get(), 3, SQL_C_WCHAR, buf, sizeof(buf), &n)) && n > 0 &&
                comun::mayusculas(angosto(buf, static_cast<size_t>(n) / sizeof(SQLWCHAR))) ==
                    buscado)
                return true;
        }
        return false;
    }

    void ejecutarGuion(std::string_view guion) override {
        cache_.clear();
        esquema_.olvidar();
        std::set<std::string> nuevas;
        // One statement at a time (the drivers take no more); a trigger's
        // body holds its own ";", so SQLite's own test tells where each ends.
        std::string actual;
        size_t i = 0;
        while (i < guion.size()) {
            size_t fin = guion.find(';', i);
            if (fin == std::string_view::npos) fin = guion.size() - 1;
            actual.append(guion.substr(i, fin - i + 1));
            i = fin + 1;
            if (!sqlite3_complete(actual.c_str()) && i < guion.size()) continue;
            std::string texto = sinComentarios(actual);
            actual.clear();
            if (estado_->dialecto == Dialecto::Access) texto = ddlAccess(texto, nuevas);
            if (texto.empty()) continue;
            Manija st(SQL_HANDLE_STMT, dbc_.get());
            SQLRETURN rc = ejecutarSql(st.get(), texto, *estado_);
            if (rc != SQL_NO_DATA)
                verificar(rc, SQL_HANDLE_STMT, st.get(), texto, estado_->dialecto);
        }
    }

  private:
    std::string ddlAccess(const std::string& texto, std::set<std::string>& nuevas) {
        return definicionAccess(texto, nuevas,
                                [this](const std::string& t) { return existeTabla(t); });
    }

    struct Preparada {
        std::string texto;
        Manija st;
        SQLSMALLINT marcas = -1;  // -1: the driver does not say
        bool defineEsquema = false;
        bool escribe = false;
    };

    // Closes the cursor and drops the bound values when a use ends, so the
    // statement is ready for the next one and holds no lock.
    struct Uso {
        Preparada& p;
        ~Uso() {
            SQLFreeStmt(p.st.get(), SQL_CLOSE);
            SQLFreeStmt(p.st.get(), SQL_RESET_PARAMS);
        }
    };

    static std::string sinComentarios(const std::string& texto) {
        std::string r;
        std::istringstream lineas(texto);
        std::string linea;
        while (std::getline(lineas, linea)) {
            if (comun::recortar(linea).rfind("--", 0) == 0) continue;
            r += linea + "\n";
        }
        r = comun::recortar(r);
        while (!r.empty() &&
               (r.back() == ';' || std::isspace(static_cast<unsigned char>(r.back()))))
            r.pop_back();
        while (!r.empty() && std::isspace(static_cast<unsigned char>(r.front()))) r.erase(0, 1);
        return r;
    }

    std::vector<Enlace> enlaces_(const Preparada& p, const std::vector<Variant>& parametros,
                                 const std::string& original) {
        std::vector<Enlace> enlaces;
        for (const Variant& elemento : parametros) {
            auto v = valorParametro(elemento);
            if (!v) continue;
            enlaces.push_back(enlaceDe(*v, estado_->dialecto));
        }
        if (p.marcas >= 0) {
            if (enlaces.size() > static_cast<size_t>(p.marcas))
                throw ErrorBD(sqlite::kSobranParametros, original);
            if (enlaces.size() < static_cast<size_t>(p.marcas))
                throw ErrorBD(sqlite::kFaltanParametros, original);
        }
        return enlaces;
    }

    // The statement as this source runs it: Access SQL goes as written, to
    // any other source through the translator; prepared once, kept for the
    // next time the same text comes.
    Preparada& preparada(std::string_view sql) {
        std::string clave(sql);
        auto it = cache_.find(clave);
        if (it != cache_.end()) return it->second;
        Preparada p;
        if (estado_->dialecto == Dialecto::Access) {
            p.texto = sentenciaParaAccess(clave);
        } else {
            try {
                p.texto = sql::traducir(sql, &esquema_);
            } catch (const sql::ErrorTraduccion& e) {
                throw ErrorBD(e.what(), clave);
            }
            p.texto = marcasSimples(p.texto);
        }
        const std::string inicio = primeraPalabra(p.texto);
        p.defineEsquema = inicio == "CREATE" || inicio == "ALTER" || inicio == "DROP";
        p.escribe = inicio == "INSERT" || inicio == "UPDATE" || inicio == "DELETE" ||
                    inicio == "REPLACE" || inicio == "WITH";
        p.st = Manija(SQL_HANDLE_STMT, dbc_.get());
        verificar(prepararSql(p.st.get(), p.texto, *estado_), SQL_HANDLE_STMT, p.st.get(), clave,
                  estado_->dialecto);
        SQLSMALLINT n = 0;
        if (exito(SQLNumParams(p.st.get(), &n))) p.marcas = n;
        if (cache_.size() >= kMaxSentenciasCache) cache_.clear();
        return cache_.emplace(std::move(clave), std::move(p)).first->second;
    }

    // The translator numbers its placeholders (?1, ?2 ...) in order; ODBC
    // takes plain "?" only, bound by position, which is the same order.
    static std::string marcasSimples(const std::string& texto) {
        std::string r;
        r.reserve(texto.size());
        char comilla = 0;
        for (size_t i = 0; i < texto.size(); ++i) {
            const char c = texto[i];
            r += c;
            if (comilla) {
                if (c == comilla) comilla = 0;
                continue;
            }
            if (c == '\'' || c == '"') {
                comilla = c;
            } else if (c == '[') {
                comilla = ']';
            } else if (c == '?') {
                while (i + 1 < texto.size() &&
                       std::isdigit(static_cast<unsigned char>(texto[i + 1])))
                    ++i;
            }
        }
        return r;
    }

    void cambiarAutocommit(bool activo) {
        SQLRETURN rc = SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                                          reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(
                                              activo ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                                          SQL_IS_UINTEGER);
        verificar(rc, SQL_HANDLE_DBC, dbc_.get(), activo ? "COMMIT" : "BEGIN");
    }

    void terminar(SQLSMALLINT como) {
        SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), como);
        perdida_ = false;
        if (!exito(rc)) {
            ErrorBD e =
                errorOdbc(SQL_HANDLE_DBC, dbc_.get(), como == SQL_COMMIT ? "COMMIT" : "ROLLBACK");
            SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
            cambiarAutocommit(true);
            throw e;
        }
        cambiarAutocommit(true);
    }

    Manija entorno_;
    Manija dbc_;
    std::shared_ptr<EstadoOdbc> estado_;
    EsquemaOdbc esquema_;
    std::unordered_map<std::string, Preparada> cache_;
    int nivel_ = 0;
    bool perdida_ = false;
};

// Connects; on failure, the driver's message.
std::unique_ptr<ControladorConexion> conectarCon(const std::string& cadena,
                                                 std::string* sinDriver = nullptr) {
    Manija entorno(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    SQLSetEnvAttr(entorno.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                  0);
    Manija dbc(SQL_HANDLE_DBC, entorno.get());
    SQLSetConnectAttrW(dbc.get(), SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(5),
                       SQL_IS_UINTEGER);
    Ancho c = ancho(cadena);
    SQLWCHAR salida[1024];
    SQLSMALLINT largo = 0;
    SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, c.data(), SQL_NTS, salida, 1024, &largo,
                                     SQL_DRIVER_NOPROMPT);
    if (!exito(rc)) {
        ErrorBD e = errorOdbc(SQL_HANDLE_DBC, dbc.get(), {});
        // IM002: no such data source or driver.
        SQLWCHAR estado[6] = {};
        SQLINTEGER nativo = 0;
        SQLSMALLINT n = 0;
        SQLGetDiagRecW(SQL_HANDLE_DBC, dbc.get(), 1, estado, &nativo, nullptr, 0, &n);
        // IM002: no such source or driver (Windows); IM003, or unixODBC's
        // "Can't open lib" under 01000: the driver cannot be loaded.
        const std::string codigo = angosto(estado, 5);
        if (sinDriver &&
            (codigo == "IM002" || codigo == "IM003" ||
             (codigo == "01000" && e.mensaje().find("Can't open lib") != std::string::npos))) {
            *sinDriver = e.mensaje();
            return nullptr;
        }
        throw ErrorBD(e.mensaje(), {}, e.deLaBase());
    }
    // The source's SQL: Access speaks what the statements are written in.
    SQLWCHAR nombre[128] = {};
    SQLSMALLINT n = 0;
    SQLGetInfoW(dbc.get(), SQL_DBMS_NAME, nombre, sizeof(nombre), &n);
    const std::string motor =
        comun::mayusculas(angosto(nombre, static_cast<size_t>(n) / sizeof(SQLWCHAR)));
    const Dialecto d =
        motor.find("ACCESS") != std::string::npos ? Dialecto::Access : Dialecto::Sqlite;
    return std::make_unique<ConexionOdbc>(std::move(entorno), std::move(dbc), d);
}

// A value of a connection string, braced when it holds a ";".
std::string valorCadena(const std::string& v) {
    if (v.find_first_of(";{}") == std::string::npos) return v;
    return "{" + comun::reemplazar(v, "}", "}}") + "}";
}

std::string patronOdbc(std::string_view patron) {
    std::string r;
    for (size_t i = 0; i < patron.size(); ++i) {
        const char c = patron[i];
        if (c == '[') {
            const size_t fin = patron.find(']', i + 1);
            if (fin != std::string_view::npos) {
                r.append(patron.substr(i, fin - i + 1));
                i = fin;
                continue;
            }
            r += "[[]";
        } else if (c == '*') {
            r += '%';
        } else if (c == '?') {
            r += '_';
        } else if (c == '#') {
            r += "[0-9]";
        } else if (c == '%' || c == '_') {
            r += std::string("[") + c + "]";
        } else {
            r += c;
        }
    }
    return r;
}

}  // namespace

std::string definicionAccess(const std::string& texto, std::set<std::string>& nuevas,
                             const std::function<bool(const std::string&)>& existe) {
    std::string t = texto;
    const std::string m = comun::mayusculas(t);
    auto nombreTras = [&](const std::string& clave) {
        size_t i = m.find(clave);
        if (i == std::string::npos) return std::string();
        i += clave.size();
        while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
        size_t fin = i;
        while (fin < t.size() &&
               (std::isalnum(static_cast<unsigned char>(t[fin])) || t[fin] == '_'))
            ++fin;
        return comun::mayusculas(t.substr(i, fin - i));
    };
    if (m.rfind("CREATE TABLE", 0) == 0) {
        const std::string tabla = nombreTras(
            m.find("IF NOT EXISTS") != std::string::npos ? "IF NOT EXISTS" : "CREATE TABLE");
        if (existe(tabla)) return {};
        nuevas.insert(tabla);
    } else if (m.rfind("CREATE INDEX", 0) == 0 || m.rfind("CREATE UNIQUE INDEX", 0) == 0) {
        if (!nuevas.count(nombreTras(" ON "))) return {};
    } else {
        return {};
    }
    t = comun::reemplazar(t, "IF NOT EXISTS ", "");
    t = comun::reemplazar(t, "INTEGER PRIMARY KEY AUTOINCREMENT", "COUNTER PRIMARY KEY");
    t = comun::reemplazar(t, "DEFAULT (datetime('now', 'localtime'))", "DEFAULT Now()");
    return t;
}

std::string sentenciaParaAccess(std::string_view sql) {
    std::string r;
    r.reserve(sql.size());
    size_t i = 0;
    bool trasLike = false;
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            // A quoted text, its doubled quotes included.
            size_t fin = i + 1;
            std::string dentro;
            while (fin < sql.size()) {
                if (sql[fin] == c) {
                    if (fin + 1 < sql.size() && sql[fin + 1] == c) {
                        dentro += c;
                        fin += 2;
                        continue;
                    }
                    break;
                }
                dentro += sql[fin++];
            }
            if (trasLike) {
                const std::string q(1, c);
                r += q + comun::reemplazar(patronOdbc(dentro), q, q + q) + q;
            } else {
                r.append(sql.substr(i, std::min(fin + 1, sql.size()) - i));
            }
            i = fin + 1;
            trasLike = false;
            continue;
        }
        if (c == '[') {
            const size_t fin = sql.find(']', i);
            const size_t hasta = fin == std::string_view::npos ? sql.size() : fin + 1;
            r.append(sql.substr(i, hasta - i));
            i = hasta;
            trasLike = false;
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t fin = i;
            while (fin < sql.size() &&
                   (std::isalnum(static_cast<unsigned char>(sql[fin])) || sql[fin] == '_'))
                ++fin;
            const std::string palabra(sql.substr(i, fin - i));
            r += palabra;
            trasLike = comun::mayusculas(palabra) == "LIKE";
            i = fin;
            continue;
        }
        if (!std::isspace(static_cast<unsigned char>(c))) trasLike = false;
        r += c;
        ++i;
    }
    return r;
}

std::unique_ptr<ControladorConexion> abrirOdbc(const std::string& cadena) {
    return conectarCon(cadena);
}

std::unique_ptr<ControladorConexion> abrirAccess(const std::string& ruta) {
    const bool accdb =
        ruta.size() >= 6 && comun::mayusculas(ruta.substr(ruta.size() - 6)) == ".ACCDB";
    // ACE reads both kinds; Jet, the older driver, only .mdb, so it is the
    // first choice for .mdb alone, as the provider rule has it.
    std::vector<std::string> drivers = accdb ? std::vector<std::string>{kDriverAce, kDriverJet}
                                             : std::vector<std::string>{kDriverJet, kDriverAce};
    for (const std::string& d : drivers) {
        std::string sinDriver;
        // ExtendedAnsiSQL: the query mode of ADO's provider, which the
        // statements were written for, and in which the driver takes
        // DEFAULT in a table's definition.
        auto c = conectarCon("Driver={" + d + "};DBQ=" + valorCadena(ruta) + ";ExtendedAnsiSQL=1;",
                             &sinDriver);
        if (c) return c;
    }
    throw ErrorBD("Neither ODBC driver for Access is installed (\"" + std::string(kDriverAce) +
                  "\", \"" + kDriverJet +
                  "\"); install the Microsoft Access Database Engine "
                  "of the same bitness (32 or 64-bit) as this program to open '" +
                  ruta + "'.");
}

}  // namespace datos
