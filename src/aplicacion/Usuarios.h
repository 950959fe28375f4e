// Point-of-sale users received from the other sites (table code 25), keyed
// by the person's document number.
#pragma once

#include "aplicacion/Aplicador.h"
#include "datos/DAO_Conexion.h"

namespace aplicacion {

// Adds the user of the record's person (Campo5, the document number) or
// updates it; a user that exists keeps its password and date. A person who
// is not a third party of this site changes nothing. The connection must be
// open.
void aplicarUsuario(datos::DAO_Conexion& con, const Entrante& r);

}  // namespace aplicacion
