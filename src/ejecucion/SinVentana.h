// The headless face, console lines to standard output, for a service
// manager: on Qt, the engine on a QCoreApplication (SinVentana.cpp); on
// Windows, on the Winsock loop of win32/ (SinVentanaWin32.cpp).
#pragma once

#include "ejecucion/Opciones.h"
#include "ejecucion/Salidas.h"

namespace ejecucion {

// Runs until the passes are done or the system asks it to stop (SIGINT or
// SIGTERM; on Windows the console's Ctrl+C or close); returns the exit code:
// 0, or one of the codes of Salidas.h.
int ejecutarSinVentana(int argc, char** argv, const OpcionesEjecucion& opciones);

}  // namespace ejecucion
