// The headless run on Windows with the stop event its caller gives: the
// console's (ejecutarSinVentana) or the service manager's.
#pragma once

#include <windows.h>

#include "ejecucion/Opciones.h"

namespace ejecucion::win32 {

// Runs until the passes are done or `detener` is signalled; returns the
// exit code: 0, or one of the codes of Salidas.h.
int correrSinVentana(const OpcionesEjecucion& opciones, HANDLE detener);

}  // namespace ejecucion::win32
