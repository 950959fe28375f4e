// The window face on Windows: the main window with its console, the tray
// icon and the support window, drawn with the system's own windows.
#pragma once

#include "ejecucion/Opciones.h"

namespace ventana::win32 {

class Avisos;

// Runs until the window is closed, the passes are done, or the console's
// Ctrl+C (where the program was given a console); returns the exit code.
int ejecutarConVentana(const ejecucion::OpcionesEjecucion& opciones);
// The same, asking the user through `avisos`.
int ejecutarConVentana(const ejecucion::OpcionesEjecucion& opciones, Avisos& avisos);

}  // namespace ventana::win32
