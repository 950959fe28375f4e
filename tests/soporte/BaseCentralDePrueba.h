// Stores for the tests: a scratch SQLite file, or a schema of its own in
// the throwaway PostgreSQL cluster that ctest starts (scripts/postgres).
#pragma once

#include <ostream>
#include <string>

#include "Almacen.h"

namespace prueba {

// The URI of the test cluster: SINC_POSTGRES holds it or names the file
// that holds it; by default the file the ctest fixture writes in the build
// folder. Throws when there is none: the PostgreSQL tests never pass by
// skipping.
std::string uriPostgres();

// "sqlite" or "postgresql", for the names of tests run on each.
std::string nombreDe(servidor::TipoBase tipo);

// A store named for one test, removed with the object.
class BaseCentralDePrueba {
  public:
    explicit BaseCentralDePrueba(servidor::TipoBase tipo);
    ~BaseCentralDePrueba();
    BaseCentralDePrueba(const BaseCentralDePrueba&) = delete;
    BaseCentralDePrueba& operator=(const BaseCentralDePrueba&) = delete;
    // What --base takes.
    const std::string& base() const { return base_; }
    // Runs statements without parameters on the store, through a
    // connection of its own (to shape it as a test needs).
    void ejecutar(const std::string& sql) const;

  private:
    std::string esquema_;
    std::string base_;
};

}  // namespace prueba

namespace servidor {
// How a test that runs on each kind of store names its kind.
inline void PrintTo(TipoBase tipo, std::ostream* salida) {
    *salida << prueba::nombreDe(tipo);
}
}  // namespace servidor
