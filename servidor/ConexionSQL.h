// One connection to the store's database, as the store uses it: statements
// written with "$1".."$n" parameters bound as texts, rows read as texts,
// and transactions. Implemented over SQLite and over PostgreSQL (libpq).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Almacen.h"

namespace servidor {

enum class Motor { SQLite, PostgreSQL };

// The current row of a result.
class FilaLeida {
  public:
    virtual ~FilaLeida() = default;
    virtual std::string_view texto(int columna) const = 0;
    int64_t entero(int columna) const;
};

class ConexionSQL {
  public:
    using Parametros = std::vector<std::string>;

    virtual ~ConexionSQL() = default;
    virtual Motor motor() const = 0;

    // Several statements without parameters (the schema).
    virtual void ejecutarGuion(std::string_view sql) = 0;
    // Runs one statement and calls `alLeer` for each row it returns.
    // Returns the number of rows it changed (or returned).
    virtual int64_t ejecutar(std::string_view sql, const Parametros& parametros,
                             const std::function<void(const FilaLeida&)>& alLeer = {}) = 0;

    // BEGIN with the engine's isolation for the store (see Almacen.cpp).
    virtual void comenzar() = 0;
    virtual void confirmar() = 0;
    // Rolls back whatever is open; never throws.
    virtual void deshacer() noexcept = 0;
    // Called before the connection is lent out: reconnects a broken one.
    virtual void verificar() {}
};

// SQLite: one file, opened (created when missing) in WAL mode.
std::unique_ptr<ConexionSQL> conectarSQLite(const std::string& ruta);
// PostgreSQL: a libpq connection string or URI.
std::unique_ptr<ConexionSQL> conectarPostgres(const std::string& uri);

}  // namespace servidor
