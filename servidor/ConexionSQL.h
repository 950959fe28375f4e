// One connection to the store's database, as the store uses it: the
// store's statements by name (Sentencias.h), each prepared once per
// connection in the connection's dialect, with their parameters bound and
// their rows read as texts; scripts; transactions. Implemented over SQLite
// and over PostgreSQL (libpq); what the store must know of an engine
// besides its statements is in its `Rasgos`.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "Almacen.h"
#include "Sentencias.h"

namespace servidor {

// The current row of a result.
class FilaLeida {
  public:
    virtual ~FilaLeida() = default;
    virtual std::string_view texto(int columna) const = 0;
    int64_t entero(int columna) const;
};

// A statement's parameter: a text, a whole number, or a list of ids or of
// texts, which travels as one parameter in the engine's own form (a JSON
// array that SQLite's json_each reads, an array for PostgreSQL).
using Valor = std::variant<std::string, int64_t, std::vector<int64_t>, std::vector<std::string>>;

// What the store must know of an engine beyond its statements.
struct Rasgos {
    // Connections worth holding: SQLite writes one transaction at a time.
    int conexiones = 1;
    // Every commit waits for the disk, one after another: batches that
    // arrive meanwhile are committed together (see Reserva::enGrupo).
    bool confirmarEnGrupo = false;
    // Other server processes may take delivery ids from the same counter
    // at the same time.
    bool compartida = false;
};

class ConexionSQL {
  public:
    using Parametros = std::vector<Valor>;

    virtual ~ConexionSQL() = default;
    virtual Rasgos rasgos() const = 0;

    // Several statements without parameters.
    virtual void ejecutarGuion(std::string_view sql) = 0;
    // A script of the store's (the layout).
    void ejecutarGuion(Sentencia s) { ejecutarGuion(sql(s)); }
    // Runs one of the store's statements and calls `alLeer` for each row it
    // returns. Returns the number of rows it changed (or returned); 0 for a
    // statement the engine has no need of.
    virtual int64_t ejecutar(Sentencia s, const Parametros& parametros,
                             const std::function<void(const FilaLeida&)>& alLeer = {}) = 0;

    // Runs `s` as ejecutar does, but its answer may wait: an engine that
    // can send several statements before reading their answers (PostgreSQL)
    // sends it with the next statement whose answer is awaited (ejecutar,
    // esperar, confirmar), so that they cost one round trip. `alLeer` and
    // `cambiadas` (the rows it changed or returned) are filled by then at
    // the latest, and a failure is thrown then. Elsewhere it runs at once.
    virtual void encolar(Sentencia s, const Parametros& parametros,
                         std::function<void(const FilaLeida&)> alLeer = {},
                         int64_t* cambiadas = nullptr) {
        const int64_t n = ejecutar(s, parametros, alLeer);
        if (cambiadas) *cambiadas = n;
    }
    // Sends what encolar left waiting and reads its answers.
    virtual void esperar() {}

    // Prepares `s` now, if it was not prepared and the engine needs it.
    virtual void preparar(Sentencia s) = 0;
    // Every statement but the scripts: a statement the database refuses
    // stops the store as it opens, not the first request that needs it.
    void prepararTodas() {
        for (int i = 0; i < kSentencias; ++i)
            if (!esGuion(static_cast<Sentencia>(i))) preparar(static_cast<Sentencia>(i));
    }

    // BEGIN with the engine's isolation for the store (see Almacen.cpp).
    virtual void comenzar() = 0;
    virtual void confirmar() = 0;
    // Rolls back whatever is open; never throws.
    virtual void deshacer() noexcept = 0;
    // Called before the connection is lent out: reconnects a broken one.
    virtual void verificar() {}

    // The text of `s` in this engine's dialect ("" for one it has no need
    // of).
    virtual std::string sql(Sentencia s) const = 0;
};

// A connection to the store `base` names (see tipoDeBase).
std::unique_ptr<ConexionSQL> conectar(const std::string& base);
// SQLite: one file, opened (created when missing) in WAL mode.
std::unique_ptr<ConexionSQL> conectarSQLite(const std::string& ruta);
// PostgreSQL: a libpq connection string or URI.
std::unique_ptr<ConexionSQL> conectarPostgres(const std::string& uri);

}  // namespace servidor
