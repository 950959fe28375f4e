// The inbound store of the site's database: the records the server holds for
// this site, kept once each and acknowledged. Reached through DAO_Conexion,
// whose connection it uses.
#pragma once

#include <cstdint>
#include <vector>

#include "comun/Variant.h"
#include "protocolo/Comunicacion.h"

namespace datos {

class DAO_Conexion;

class Entrada {
  public:
    explicit Entrada(DAO_Conexion& conexion) : con_(conexion) {}

    // Stores each record of a getData answer once and acknowledges it. A
    // record that cannot be stored is set aside whole in CUARENTENA,
    // acknowledged and reported once; the others are stored as usual.
    // Returns the number of records (the elements that are objects).
    int32_t setComunicacion(const std::vector<protocolo::Recibido>& recibidos);
    // The same for the answer as parsed; ErrorRespuesta, with nothing
    // stored, when it is not an array.
    int32_t setComunicacion(const comun::Variant& respuesta);

  private:
    DAO_Conexion& con_;
};

}  // namespace datos
