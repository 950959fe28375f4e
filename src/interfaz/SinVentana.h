// The headless face: the engine on a QCoreApplication, console lines to
// standard output, for a service manager.
#pragma once

#include "interfaz/Nucleo.h"

namespace interfaz {

// Exit codes of the headless program.
inline constexpr int kSalidaNoArranca = 1;       // the cycle cannot start
inline constexpr int kSalidaOpciones = 2;        // a bad address, authority or log file
inline constexpr int kSalidaOtraInstancia = 3;   // another instance, or no lock file
inline constexpr int kSalidaSinIntercambio = 4;  // --ciclos N: no exchange with the server

// Runs until the passes are done or SIGINT/SIGTERM; returns the exit code:
// 0, or one of the above.
int ejecutarSinVentana(int argc, char** argv, const OpcionesEjecucion& opciones);

}  // namespace interfaz
