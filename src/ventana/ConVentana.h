// The window face: the main window with its console, the tray icon and the
// support window, on a QApplication.
#pragma once

#include "ejecucion/Opciones.h"

namespace ventana {

// Runs until the window is closed, the passes are done, or SIGINT/SIGTERM;
// returns the exit code.
int ejecutarConVentana(int argc, char** argv, const ejecucion::OpcionesEjecucion& opciones);

}  // namespace ventana
