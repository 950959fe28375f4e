// The doctors import into the site's third parties. Reached through
// DAO_Conexion, whose connection it uses.
#pragma once

#include <cstdint>

#include "comun/Variant.h"

namespace datos {

class DAO_Conexion;

class Doctores {
  public:
    explicit Doctores(DAO_Conexion& conexion) : con_(conexion) {}

    int32_t setDoctores(const comun::Variant& lista);

  private:
    DAO_Conexion& con_;
};

}  // namespace datos
