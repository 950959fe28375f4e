// A thin layer over the SQLite C API for the central server's own storage:
// one connection, prepared statements with bound texts and numbers, and a
// transaction guard that rolls back unless committed.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace servidor {

class ErrorBase : public std::runtime_error {
  public:
    explicit ErrorBase(const std::string& mensaje) : std::runtime_error(mensaje) {}
};

class BaseCentral;

class Sentencia {
  public:
    Sentencia(BaseCentral& base, std::string_view sql);
    ~Sentencia();
    Sentencia(const Sentencia&) = delete;
    Sentencia& operator=(const Sentencia&) = delete;

    // Positions count from 1, as in SQL.
    Sentencia& enlazar(int posicion, std::string_view texto);
    Sentencia& enlazar(int posicion, int64_t numero);
    // Runs one step; true while a row is available.
    bool paso();
    // Runs a statement that returns no rows and resets it for reuse.
    void ejecutar();
    void reiniciar();

    std::string texto(int columna) const;
    int64_t entero(int columna) const;

  private:
    BaseCentral& base_;
    sqlite3_stmt* stmt_ = nullptr;
};

class BaseCentral {
  public:
    // Opens (creating when missing) the file and creates the schema.
    explicit BaseCentral(const std::string& ruta);
    ~BaseCentral();
    BaseCentral(const BaseCentral&) = delete;
    BaseCentral& operator=(const BaseCentral&) = delete;

    void ejecutar(std::string_view sql);
    int64_t ultimoId() const;
    int cambios() const;
    sqlite3* manejador() { return db_; }
    [[noreturn]] void fallar(std::string_view donde) const;

  private:
    sqlite3* db_ = nullptr;
};

// BEGIN IMMEDIATE on construction; ROLLBACK on destruction unless
// confirmar() ran.
class Transaccion {
  public:
    explicit Transaccion(BaseCentral& base);
    ~Transaccion();
    Transaccion(const Transaccion&) = delete;
    Transaccion& operator=(const Transaccion&) = delete;
    void confirmar();

  private:
    BaseCentral& base_;
    bool abierta_ = true;
};

}  // namespace servidor
