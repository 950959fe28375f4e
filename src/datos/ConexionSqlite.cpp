// The SQLite driver's connection: opening a site database file, running the
// Access-dialect statements through the translator, and opening record sets
// over tables, saved queries and selections.
#include "datos/ControladorSqlite.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <unordered_map>

#include "comun/Texto.h"
#include "datos/DAO_Conexion.h"
#include "datos/RecordsetSqlite.h"
#include "datos/sql/FuncionesSqlite.h"
#include "datos/sql/Tokenizador.h"
#include "datos/sql/Traductor.h"

namespace datos {

using comun::Variant;
using namespace sqlite;

namespace {

// Prepared statements kept by the command cache before it is emptied.
constexpr size_t kMaxSentenciasCache = 128;

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

// The table of a single-table "SELECT [TOP n] * FROM t [WHERE ... | ORDER
// BY ...]" text, or empty. Read with the translator's tokens, so quoted
// texts never count.
std::string tablaDeSelectTodo(std::string_view sql) {
    std::vector<sql::Token> f;
    try {
        f = sql::tokenizar(sql);
    } catch (const sql::ErrorTraduccion&) {
        return {};
    }
    auto palabra = [&](size_t i) {
        if (i >= f.size()) return std::string();
        if (f[i].tipo == sql::TipoToken::Nombre) return mayus(f[i].texto);
        if (f[i].tipo == sql::TipoToken::Operador && f[i].texto == "*") return std::string("*");
        if (f[i].tipo == sql::TipoToken::PuntoYComa) return std::string(";");
        return std::string();
    };
    size_t i = 0;
    if (palabra(i++) != "SELECT") return {};
    if (palabra(i) == "TOP") i += 2;
    if (palabra(i) != "*" || palabra(i + 1) != "FROM" || i + 2 >= f.size()) return {};
    const sql::Token& t = f[i + 2];
    if (t.tipo != sql::TipoToken::Nombre && t.tipo != sql::TipoToken::NombreCorchetes) return {};
    if (!esIdentificador(t.texto)) return {};
    const size_t sig = i + 3;
    if (sig < f.size() && palabra(sig) != "WHERE" && palabra(sig) != "ORDER" && palabra(sig) != ";")
        return {};
    for (size_t k = sig; k < f.size(); ++k) {
        const std::string x = palabra(k);
        if (x == "UNION" || x == "JOIN" || x == "GROUP" || x == "HAVING" || x == "FROM") return {};
    }
    return t.texto;
}

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
        Sentencia s;
        if (sqlite3_prepare_v2(db_, "SELECT name FROM pragma_table_info(?1)", -1, &s.st, nullptr) !=
            SQLITE_OK)
            return r;
        sqlite3_bind_text(s.st, 1, tabla.data(), static_cast<int>(tabla.size()), SQLITE_TRANSIENT);
        while (sqlite3_step(s.st) == SQLITE_ROW)
            r.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s.st, 0)));
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

class ConexionSqlite : public ControladorConexion {
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
        if (rc != SQLITE_DONE) throw errorDelMotor(db, std::string(sql));
        if (sqlite3_stmt_readonly(st) || sqlite3_total_changes(db) == totalAntes) return 0;
        return sqlite3_changes(db);
    }

    std::unique_ptr<ControladorRecordset> abrir(std::string_view sql,
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
        // Read whole now, so the prepared statement stays with the
        // connection for the next time the same text runs.
        auto rs = std::make_unique<RecordsetSqlite>(estado_, original,
                                                    RecordsetSqlite::Modo::Instantanea);
        sqlite3_stmt* st = sentenciaCache(traducido, original);
        Reinicio r{st};
        enlazarParametros(db, st, parametros, original);
        rs->tomarColumnas(st, false);
        rs->leerTodoDe(st);
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

    void ejecutarGuion(std::string_view guion) override { ejecutar(std::string(guion)); }

  private:
    void ejecutar(const std::string& texto) {
        if (sqlite3_exec(estado_->db, texto.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            throw errorDelMotor(estado_->db, texto);
    }

    sqlite3_stmt* sentenciaCache(const std::string& traducido, std::string_view original) {
        auto it = cache_.find(traducido);
        if (it != cache_.end()) return it->second.st;
        Sentencia s = preparar(estado_->db, traducido, original);
        if (cache_.size() >= kMaxSentenciasCache) cache_.clear();
        return cache_.emplace(traducido, std::move(s)).first->second.st;
    }

    std::unique_ptr<ControladorRecordset> abrirTabla(const std::string& nombre,
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
    std::unique_ptr<ControladorRecordset> abrirSelectTodo(const std::string& tabla,
                                                          const std::string& traducido,
                                                          const std::string& original) {
        size_t estrella = traducido.find('*');
        if (estrella == std::string::npos) return nullptr;
        if (mayus(comun::recortar(traducido.substr(0, estrella))) != "SELECT") return nullptr;
        std::string texto =
            traducido.substr(0, estrella) + "_rowid_ AS rowid__, " + traducido.substr(estrella);
        Sentencia s;
        if (sqlite3_prepare_v2(estado_->db, texto.c_str(), -1, &s.st, nullptr) != SQLITE_OK)
            return nullptr;  // a view or a table without rowid: opened as a snapshot
        const char* origen = sqlite3_column_table_name(s.st, 1);
        auto rs =
            std::make_unique<RecordsetSqlite>(estado_, original, RecordsetSqlite::Modo::Diferida);
        rs->tomarColumnas(s.st, true);
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

std::unique_ptr<ControladorConexion> abrirSqlite(const std::string& ruta, int esperaMs,
                                                 const comun::Reloj* reloj) {
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
        sql::registrarFunciones(db, reloj);
    } catch (const std::exception& e) {
        throw ErrorBD(std::string(e.what()) + ": '" + ruta + "'");
    }
    // The first read of the file: a file of another format is told here, by
    // SQLite itself (the file is never opened by other means, see conectar).
    char* error = nullptr;
    const int modo = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, &error);
    if (modo != SQLITE_OK) {
        std::string mensaje = error ? error : "journal mode";
        sqlite3_free(error);
        if ((modo & 0xff) == SQLITE_NOTADB)
            throw ErrorBD("Unrecognized database format '" + ruta + "'.");
        const ErrorBD motor = errorDelMotor(db, {});
        throw ErrorBD(mensaje + ": '" + ruta + "'", {}, motor.deLaBase());
    }
    return conexion;
}

}  // namespace datos
