// The check a site runs before switching the service on: every statement
// the program issues, run on the site's own database with sample values,
// inside one transaction that is rolled back.
#pragma once

#include <ostream>

#include "datos/DAO_Conexion.h"

namespace datos {

// Runs the statement corpus on the open connection `c` and prints one line
// per statement: "ok" or "FALLA" with the engine's message, then a summary.
// Nothing it does is kept. Returns the number of statements that failed.
int verificarSentencias(DAO_Conexion& c, std::ostream& salida);

}  // namespace datos
