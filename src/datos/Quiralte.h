// The partner queries of the site's database: the next record for the
// partner service, and its removal once the partner confirms it. Reached
// through DAO_Conexion, whose connection it uses.
#pragma once

#include <cstdint>
#include <optional>

#include "protocolo/Comunicacion.h"

namespace datos {

class DAO_Conexion;

class Quiralte {
  public:
    explicit Quiralte(DAO_Conexion& conexion) : con_(conexion) {}

    // The next record for the partner service; none when nothing waits.
    std::optional<protocolo::Comunicacion> getDatosQuiralte();
    void MarcarRegistroEnviadoQuiralte(int64_t id);

  private:
    DAO_Conexion& con_;
};

}  // namespace datos
