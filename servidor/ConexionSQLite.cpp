// The store's connection over the SQLite C API. Statements are prepared
// once and kept; "$n" parameters are written "?n" for SQLite.
#include <sqlite3.h>

#include <map>

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
        for (auto& [sql, stmt] : preparadas_) sqlite3_finalize(stmt);
        sqlite3_close(db_);
    }

    Motor motor() const override { return Motor::SQLite; }

    void ejecutarGuion(std::string_view sql) override {
        std::string texto(sql);
        char* error = nullptr;
        if (sqlite3_exec(db_, texto.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string mensaje = error ? error : sqlite3_errmsg(db_);
            sqlite3_free(error);
            throw ErrorBase(mensaje);
        }
    }

    int64_t ejecutar(std::string_view sql, const Parametros& parametros,
                     const std::function<void(const FilaLeida&)>& alLeer) override {
        sqlite3_stmt* stmt = preparar(sql);
        for (size_t i = 0; i < parametros.size(); ++i) {
            const std::string& p = parametros[i];
            if (sqlite3_bind_text64(stmt, static_cast<int>(i + 1), p.data(), p.size(),
                                    SQLITE_STATIC, SQLITE_UTF8) != SQLITE_OK)
                fallar(stmt);
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

  private:
    sqlite3_stmt* preparar(std::string_view sql) {
        auto it = preparadas_.find(sql);
        if (it != preparadas_.end()) return it->second;
        std::string texto;
        for (char c : sql) texto += c == '$' ? '?' : c;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, texto.c_str(), static_cast<int>(texto.size()), &stmt,
                               nullptr) != SQLITE_OK)
            throw ErrorBase(std::string("preparar: ") + sqlite3_errmsg(db_));
        preparadas_.emplace(std::string(sql), stmt);
        return stmt;
    }

    [[noreturn]] void fallar(sqlite3_stmt* stmt) {
        std::string mensaje = sqlite3_errmsg(db_);
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        throw ErrorBase(mensaje);
    }

    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*, std::less<>> preparadas_;
};

}  // namespace

std::unique_ptr<ConexionSQL> conectarSQLite(const std::string& ruta) {
    return std::make_unique<ConexionSQLite>(ruta);
}

}  // namespace servidor
