// An in-memory SQLite database with the functions of the translator
// registered and small tables holding the columns the system's statements
// use, for the translator's tests.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "datos/sql/Traductor.h"

namespace prueba {

class BaseMemoria : public datos::sql::InfoEsquema {
  public:
    BaseMemoria();
    ~BaseMemoria() override;
    BaseMemoria(const BaseMemoria&) = delete;
    BaseMemoria& operator=(const BaseMemoria&) = delete;

    sqlite3* db() const { return db_; }

    // Runs SQLite text as is; fails the test on error.
    void sqlite(const std::string& sql);
    // Translates and runs a statement with text parameters; returns the
    // rows, each column as text ("NULL" for null). Throws on error.
    std::vector<std::vector<std::string>> ejecutar(const std::string& sqlAccess,
                                                   const std::vector<std::string>& parametros = {});
    // The single value of a one-row, one-column result.
    std::string valor(const std::string& sqlAccess,
                      const std::vector<std::string>& parametros = {});

    bool esColumnaFecha(std::string_view tabla, std::string_view columna) const override;
    std::vector<std::string> columnas(std::string_view tabla) const override;

  private:
    sqlite3* db_ = nullptr;
};

}  // namespace prueba
