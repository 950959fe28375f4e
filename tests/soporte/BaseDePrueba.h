// Real site databases for tests: a fresh file made by the schema tool in a
// temporary folder, removed when the object goes.
#pragma once

#include <string>

namespace prueba {

class BaseDePrueba {
  public:
    // cliente + sucursal form the site code; demo adds the small catalogue.
    explicit BaseDePrueba(bool demo = true, std::string cliente = "900100",
                          std::string sucursal = "001");
    ~BaseDePrueba();
    BaseDePrueba(const BaseDePrueba&) = delete;
    BaseDePrueba& operator=(const BaseDePrueba&) = delete;

    const std::string& ruta() const { return ruta_; }
    std::string sitio() const { return cliente_ + sucursal_; }
    const std::string& cliente() const { return cliente_; }

  private:
    std::string carpeta_;
    std::string ruta_;
    std::string cliente_;
    std::string sucursal_;
};

// Damages the file of a closed database the way a failing disk does: the
// first page of the table's storage is overwritten with garbage, so any read
// of the table's rows fails with "database disk image is malformed" while
// the rest of the database still opens.
void corromperTabla(const std::string& ruta, const std::string& tabla);

}  // namespace prueba
