// `sincronizador servicio FILE OPERATION [ARGUMENT...]`: runs one operation
// of the order, third-party and inventory services (or an order action as a
// record of code 22 would) on a site database, for administrators, demos and
// tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "comun/Funciones.h"

namespace programa {

// Prints what the operation gives (records as "name=value" lines) to
// `salida`; a failure, an unknown operation or wrong arguments go to
// `errores`. Returns the exit code: 0 done, 1 failed or nothing written, 2
// misused.
int ejecutarServicio(const std::string& archivo, const std::string& operacion,
                     const std::vector<std::string>& argumentos, std::ostream& salida,
                     std::ostream& errores, const comun::Reloj& reloj);

}  // namespace programa
