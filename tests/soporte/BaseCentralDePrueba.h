// Stores for the tests: a scratch SQLite file, or a schema of its own in
// the throwaway PostgreSQL cluster that ctest starts (scripts/postgres).
#pragma once

#include <string>

namespace prueba {

// The URI of the test cluster: SINC_POSTGRES holds it or names the file
// that holds it; by default the file the ctest fixture writes in the build
// folder. Throws when there is none: the PostgreSQL tests never pass by
// skipping.
std::string uriPostgres();

// A store named for one test, removed with the object. `motor` is
// "sqlite" or "postgresql".
class BaseCentralDePrueba {
  public:
    explicit BaseCentralDePrueba(const std::string& motor);
    ~BaseCentralDePrueba();
    BaseCentralDePrueba(const BaseCentralDePrueba&) = delete;
    BaseCentralDePrueba& operator=(const BaseCentralDePrueba&) = delete;
    // What --base takes.
    const std::string& base() const { return base_; }
    // Runs statements without parameters on the store, through a
    // connection of its own (to shape it as a test needs).
    void ejecutar(const std::string& sql) const;

  private:
    std::string motor_;
    std::string esquema_;
    std::string base_;
};

}  // namespace prueba
