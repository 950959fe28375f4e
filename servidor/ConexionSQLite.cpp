// The store's connection over the SQLite C API, and what SQLite writes in
// its own way: the self-numbering key, a list of ids as a JSON array read
// by json_each, the delivery counter in sqlite_sequence, and no row locks
// (one transaction writes at a time). Statements are prepared once and
// kept; "$n" parameters are written "?n" for SQLite.
#include <sqlite3.h>

#include <array>

#include "ConexionSQL.h"

namespace servidor {

namespace {

class FilaSQLite : public FilaLeida {
  public:
    explicit FilaSQLite(sqlite3_stmt* stmt) : stmt_(stmt) {}
    std::string_view texto(int columna) const override {
        const unsigned char* p = sqlite3_column_text(stmt_, columna);
        if (!p) return {};
        return {reinterpret_cast<const char*>(p),
                static_cast<size_t>(sqlite3_column_bytes(stmt_, columna))};
    }

  private:
    sqlite3_stmt* stmt_;
};

// A list as json_each reads it.
std::string comoJSON(const std::vector<int64_t>& ids) {
    std::string texto = "[";
    for (size_t i = 0; i < ids.size(); ++i) texto += (i > 0 ? "," : "") + std::to_string(ids[i]);
    return texto + "]";
}
// Each text whole, as JSON reads it back: a quote, a backslash or a
// control character is escaped, every other byte goes as it is.
std::string comoJSON(const std::vector<std::string>& textos) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string texto = "[";
    for (size_t i = 0; i < textos.size(); ++i) {
        texto += i > 0 ? ",\"" : "\"";
        for (const char c : textos[i]) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                texto += '\\';
                texto += c;
            } else if (byte < 0x20) {
                texto += "\\u00";
                texto += kHex[byte >> 4];
                texto += kHex[byte & 0xF];
            } else {
                texto += c;
            }
        }
        texto += '"';
    }
    return texto + "]";
}
std::string comoJSON(const Valor& lista) {
    if (const auto* ids = std::get_if<std::vector<int64_t>>(&lista)) return comoJSON(*ids);
    return comoJSON(std::get<std::vector<std::string>>(lista));
}

class ConexionSQLite : public ConexionSQL {
  public:
    explicit ConexionSQLite(const std::string& ruta) {
        if (sqlite3_open_v2(ruta.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            std::string mensaje = db_ ? sqlite3_errmsg(db_) : "sin memoria";
            sqlite3_close(db_);
            db_ = nullptr;
            throw ErrorBase("No se pudo abrir la base " + ruta + ": " + mensaje);
        }
        sqlite3_busy_timeout(db_, 5000);
        try {
            ejecutarGuion("PRAGMA journal_mode=WAL");
        } catch (...) {
            sqlite3_close(db_);
            db_ = nullptr;
            throw;
        }
    }
    ~ConexionSQLite() override {
        for (sqlite3_stmt* stmt : preparadas_) sqlite3_finalize(stmt);
        sqlite3_close(db_);
    }

    Rasgos rasgos() const override { return {1, true, false}; }

    using ConexionSQL::ejecutarGuion;
    void ejecutarGuion(std::string_view sql) override {
        std::string texto(sql);
        char* error = nullptr;
        if (sqlite3_exec(db_, texto.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string mensaje = error ? error : sqlite3_errmsg(db_);
            sqlite3_free(error);
            throw ErrorBase(mensaje);
        }
    }

    int64_t ejecutar(Sentencia s, const Parametros& parametros,
                     const std::function<void(const FilaLeida&)>& alLeer) override {
        sqlite3_stmt* stmt = preparada(s);
        if (!stmt) return 0;
        for (size_t i = 0; i < parametros.size(); ++i) {
            const int n = static_cast<int>(i + 1);
            int rc = SQLITE_OK;
            if (const auto* texto = std::get_if<std::string>(&parametros[i]))
                rc = sqlite3_bind_text64(stmt, n, texto->data(), texto->size(), SQLITE_STATIC,
                                         SQLITE_UTF8);
            else if (const auto* entero = std::get_if<int64_t>(&parametros[i]))
                rc = sqlite3_bind_int64(stmt, n, *entero);
            else {
                const std::string lista = comoJSON(parametros[i]);
                rc = sqlite3_bind_text64(stmt, n, lista.data(), lista.size(), SQLITE_TRANSIENT,
                                         SQLITE_UTF8);
            }
            if (rc != SQLITE_OK) fallar(stmt);
        }
        int64_t filas = 0;
        FilaSQLite fila(stmt);
        while (true) {
            int rc = sqlite3_step(stmt);
            if (rc == SQLITE_DONE) break;
            if (rc != SQLITE_ROW) fallar(stmt);
            ++filas;
            if (alLeer) alLeer(fila);
        }
        bool devuelveFilas = sqlite3_column_count(stmt) > 0;
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        return devuelveFilas ? filas : sqlite3_changes(db_);
    }

    // BEGIN IMMEDIATE takes the write lock at once: one writer at a time,
    // and no transaction reads a state another is about to change.
    void comenzar() override { ejecutarGuion("BEGIN IMMEDIATE"); }
    void confirmar() override { ejecutarGuion("COMMIT"); }
    void deshacer() noexcept override {
        if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }

    std::string sql(Sentencia s) const override {
        switch (s) {
            case Sentencia::CrearTablas:
                return esquema("INTEGER PRIMARY KEY AUTOINCREMENT");
            // One transaction writes at a time: nothing to lock.
            case Sentencia::BloquearEsquema:
            case Sentencia::BloquearClienteCompartido:
            case Sentencia::BloquearClienteExclusivo:
                return {};
            case Sentencia::Acusar:
                return "UPDATE entregas SET acusada = CAST($3 AS BIGINT) WHERE sitio = $1 AND "
                       "acusada = 0 AND id IN (SELECT value FROM json_each($2))";
            case Sentencia::AcusarUnaVez:
                return "UPDATE entregas SET acusada = CAST($2 AS BIGINT) WHERE "
                       "id IN (SELECT value FROM json_each($1))";
            case Sentencia::FilaVuelta:
                return "SELECT idOrigen, recibido FROM registros WHERE origen = $1 AND "
                       "idOrigen IN (SELECT value FROM json_each($2)) AND NOT "
                       "id IN (SELECT value FROM json_each($3)) "
                       "ORDER BY length(idOrigen), idOrigen, recibido LIMIT 1";
            case Sentencia::NotarRetroceso:
                return notarRetroceso(sql(Sentencia::FilaVuelta));
            // AUTOINCREMENT keeps the last id given in sqlite_sequence, and
            // gives the next one above it.
            case Sentencia::PrepararContador:
                return "INSERT INTO sqlite_sequence (name, seq) SELECT 'entregas', 0 "
                       "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = 'entregas')";
            case Sentencia::ElevarContador:
                return "UPDATE sqlite_sequence SET seq = CAST($1 AS INTEGER) "
                       "WHERE name = 'entregas' AND seq < CAST($2 AS INTEGER)";
            default:
                return std::string(sqlComun(s));
        }
    }

    void preparar(Sentencia s) override { preparada(s); }

  private:
    // Null for a statement SQLite has no need of.
    sqlite3_stmt* preparada(Sentencia s) {
        sqlite3_stmt*& stmt = preparadas_[static_cast<size_t>(s)];
        if (stmt) return stmt;
        std::string texto = sql(s);
        if (texto.empty()) return nullptr;
        for (char& c : texto)
            if (c == '$') c = '?';
        if (sqlite3_prepare_v2(db_, texto.c_str(), static_cast<int>(texto.size()), &stmt,
                               nullptr) != SQLITE_OK) {
            stmt = nullptr;
            throw ErrorBase(std::string("preparar: ") + sqlite3_errmsg(db_));
        }
        return stmt;
    }

    [[noreturn]] void fallar(sqlite3_stmt* stmt) {
        std::string mensaje = sqlite3_errmsg(db_);
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        throw ErrorBase(mensaje);
    }

    sqlite3* db_ = nullptr;
    std::array<sqlite3_stmt*, kSentencias> preparadas_{};
};

}  // namespace

std::unique_ptr<ConexionSQL> conectarSQLite(const std::string& ruta) {
    return std::make_unique<ConexionSQLite>(ruta);
}

}  // namespace servidor
