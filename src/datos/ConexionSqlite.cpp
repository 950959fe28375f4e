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
#include "datos/FormaSentencia.h"
#include "datos/RecordsetSqlite.h"
#include "datos/sql/FuncionesSqlite.h"
#include "datos/sql/Tokenizador.h"
#include "datos/sql/Traductor.h"

namespace datos {

using comun::Variant;
using namespace sqlite;

namespace {

// Statements (translated, and prepared once run) a connection keeps before
// it empties its cache.
constexpr size_t kMaxSentenciasCache = 256;

// A translated single-table "SELECT * ..." with the rowid as its first
// column, or empty when the text does not have that shape.
std::string textoConRowid(const std::string& traducido) {
    const size_t estrella = traducido.find('*');
    if (estrella == std::string::npos) return {};
    if (mayus(comun::recortar(traducido.substr(0, estrella))) != "SELECT") return {};
    return traducido.substr(0, estrella) + "_rowid_ AS rowid__, " + traducido.substr(estrella);
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
        estado_->internas.clear();
        sqlite3_close_v2(estado_->db);
        estado_->db = nullptr;
    }

    int comando(std::string_view sql, const std::vector<Variant>& parametros) override {
        sqlite3* db = estado_->db;
        Preparada& p = preparada(sql);
        const bool defineEsquema = p.defineEsquema;
        int cambiadas = 0;
        {
            sqlite3_stmt* st = sentenciaDe(p, sql);
            Reinicio r{st};
            enlazarParametros(db, st, parametros, sql);
            // sqlite3_changes keeps the count of the last INSERT, UPDATE or
            // DELETE, so a statement that wrote nothing (a query, CREATE,
            // DROP) must not report it: only a statement that changed rows
            // reports a count.
            const int totalAntes = sqlite3_total_changes(db);
            int rc;
            while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            }
            if (rc != SQLITE_DONE) throw errorDelMotor(db, std::string(sql));
            if (!sqlite3_stmt_readonly(st) && sqlite3_total_changes(db) != totalAntes)
                cambiadas = sqlite3_changes(db);
        }
        // A table made or changed may change what a text means (its date
        // columns): the texts kept so far are translated again.
        if (defineEsquema) cache_.clear();
        return cambiadas;
    }

    std::unique_ptr<ControladorRecordset> abrir(std::string_view sql,
                                                const std::vector<Variant>& parametros) override {
        sqlite3* db = estado_->db;
        const std::string original(sql);

        std::string tabla = nombreTablaSola(sql);
        if (!tabla.empty()) return abrirTabla(tabla, original);

        Preparada& p = preparada(sql);
        if (!p.tablaSelectTodo.empty()) {
            if (parametros.empty()) {
                auto rs = abrirSelectTodo(p.tablaSelectTodo, p.traducido, original);
                if (rs) return rs;
            } else if (SelectTodo* f = formaActualizable(p)) {
                // Bound: read whole now through the statement the connection
                // keeps, and updatable like the same text without values.
                auto rs = std::make_unique<RecordsetSqlite>(estado_, original,
                                                            RecordsetSqlite::Modo::Instantanea);
                sqlite3_stmt* st = f->sentencia.st;
                Reinicio r{st};
                enlazarParametros(db, st, parametros, original);
                rs->ponerColumnas(columnasVigentes(f->columnas, st, true), true);
                rs->hacerActualizable(f->tabla);
                rs->leerTodoDe(st);
                return rs;
            }
        }
        // Read whole now, so the prepared statement stays with the
        // connection for the next time the same text runs.
        auto rs = std::make_unique<RecordsetSqlite>(estado_, original,
                                                    RecordsetSqlite::Modo::Instantanea);
        sqlite3_stmt* st = sentenciaDe(p, original);
        Reinicio r{st};
        enlazarParametros(db, st, parametros, original);
        rs->ponerColumnas(columnasVigentes(p.columnas, st, false), false);
        rs->leerTodoDe(st);
        return rs;
    }

    void empezarTransaccion() override {
        // The outermost level takes the write lock at once (waiting through the
        // busy timeout), so a write inside it never fails on a snapshot that
        // another connection changed meanwhile. Inner levels are savepoints.
        if (nivel_ == 0)
            ejecutarGuardada("BEGIN IMMEDIATE");
        else
            ejecutarGuardada("SAVEPOINT sinc" + std::to_string(nivel_));
        ++nivel_;
    }
    void confirmarTransaccion() override {
        if (nivel_ == 0) throw ErrorBD("No transaction is active.");
        --nivel_;
        if (nivel_ == 0)
            ejecutarGuardada("COMMIT");
        else
            ejecutarGuardada("RELEASE sinc" + std::to_string(nivel_));
    }
    void revertirTransaccion() override {
        if (nivel_ == 0) throw ErrorBD("No transaction is active.");
        --nivel_;
        if (nivel_ == 0) {
            ejecutarGuardada("ROLLBACK");
        } else {
            ejecutarGuardada("ROLLBACK TO sinc" + std::to_string(nivel_));
            ejecutarGuardada("RELEASE sinc" + std::to_string(nivel_));
        }
    }

    bool existeTabla(std::string_view nombre) override {
        Sentencia s = preparar(estado_->db,
                               "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 "
                               "COLLATE NOCASE",
                               "sqlite_master");
        sqlite3_bind_text(s.st, 1, nombre.data(), static_cast<int>(nombre.size()),
                          SQLITE_TRANSIENT);
        const int rc = sqlite3_step(s.st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw errorDelMotor(estado_->db, "sqlite_master");
        return rc == SQLITE_ROW;
    }

    void ejecutarGuion(std::string_view guion) override {
        cache_.clear();
        ejecutar(std::string(guion));
    }

  private:
    // The rowid form of a single-table SELECT *, which makes its rows
    // updatable, prepared once for the text.
    struct SelectTodo {
        Sentencia sentencia;
        std::string tabla;  // the table the rows are written back to
        std::shared_ptr<const std::vector<Columna>> columnas;
    };

    // An Access text as this connection runs it: translated the first time
    // it comes, prepared the first time it runs, both kept for the next
    // time the same text comes (the program's statements bind their
    // values, so their texts repeat).
    struct Preparada {
        std::string traducido;
        Sentencia sentencia;
        bool defineEsquema = false;  // CREATE, ALTER or DROP
        // The columns of `sentencia`, read from the schema once.
        std::shared_ptr<const std::vector<Columna>> columnas;
        // The table of a single-table SELECT * (empty for any other text)
        // and its updatable rowid form, once asked for.
        std::string tablaSelectTodo;
        std::unique_ptr<SelectTodo> selectTodo;
        bool sinFormaActualizable = false;
    };

    void ejecutar(const std::string& texto) {
        if (sqlite3_exec(estado_->db, texto.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            throw errorDelMotor(estado_->db, texto);
    }

    // A statement of the connection's own that runs again and again (a
    // record's savepoint): prepared once, then stepped and reset.
    void ejecutarGuardada(const std::string& texto) {
        const std::shared_ptr<Sentencia> s = estado_->interna(texto, texto);
        Reinicio r{s->st};
        if (sqlite3_step(s->st) != SQLITE_DONE) throw errorDelMotor(estado_->db, texto);
    }

    // Null when the text has no rowid form (a view, a table without rowid).
    SelectTodo* formaActualizable(Preparada& p) {
        if (p.sinFormaActualizable) return nullptr;
        if (p.selectTodo) return p.selectTodo.get();
        std::string texto = textoConRowid(p.traducido);
        Sentencia s;
        if (texto.empty() ||
            sqlite3_prepare_v2(estado_->db, texto.c_str(), -1, &s.st, nullptr) != SQLITE_OK) {
            p.sinFormaActualizable = true;
            return nullptr;
        }
        auto f = std::make_unique<SelectTodo>();
        const char* origen = sqlite3_column_table_name(s.st, 1);
        f->tabla = origen ? origen : p.tablaSelectTodo;
        f->columnas =
            std::make_shared<const std::vector<Columna>>(columnasDe(estado_->db, s.st, true));
        f->sentencia = std::move(s);
        p.selectTodo = std::move(f);
        return p.selectTodo.get();
    }

    // The columns read before from this statement, or read again when the
    // statement now gives another number of them (its table changed under
    // another connection and the engine prepared it anew).
    std::shared_ptr<const std::vector<Columna>> columnasVigentes(
        std::shared_ptr<const std::vector<Columna>>& guardadas, sqlite3_stmt* st, bool conRowid) {
        const size_t n = static_cast<size_t>(sqlite3_column_count(st)) - (conRowid ? 1 : 0);
        if (!guardadas || guardadas->size() != n)
            guardadas =
                std::make_shared<const std::vector<Columna>>(columnasDe(estado_->db, st, conRowid));
        return guardadas;
    }

    Preparada& preparada(std::string_view sql) {
        std::string clave(sql);
        auto it = cache_.find(clave);
        if (it != cache_.end()) return it->second;
        Preparada p;
        p.traducido = traducir(sql, esquema_);
        const std::string inicio = mayus(p.traducido.substr(0, 6));
        p.defineEsquema =
            inicio == "CREATE" || inicio.rfind("ALTER", 0) == 0 || inicio.rfind("DROP", 0) == 0;
        p.tablaSelectTodo = tablaDeSelectTodo(sql);
        if (cache_.size() >= kMaxSentenciasCache) cache_.clear();
        return cache_.emplace(std::move(clave), std::move(p)).first->second;
    }

    sqlite3_stmt* sentenciaDe(Preparada& p, std::string_view original) {
        if (!p.sentencia.st) p.sentencia = preparar(estado_->db, p.traducido, original);
        return p.sentencia.st;
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
        const std::string texto = textoConRowid(traducido);
        if (texto.empty()) return nullptr;
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
    std::unordered_map<std::string, Preparada> cache_;
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
    // A record's writes are undone by nested savepoints (the record's, then
    // each group of writes within it), and each level journals the pages it
    // changes once more: kept in files, that journal wrote some fifty pages
    // to disk for every delivery order line. In memory it holds what one
    // record changes, and is emptied when the record's savepoint ends.
    sqlite3_exec(db, "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
    return conexion;
}

}  // namespace datos
