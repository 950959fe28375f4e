// The exit codes of the run modes, the same for the window and the headless
// face, so that a service manager or a script reads one meaning each.
#pragma once

namespace ejecucion {

inline constexpr int kSalidaNoArranca = 1;       // the cycle cannot start
inline constexpr int kSalidaOpciones = 2;        // a bad address, authority or log file
inline constexpr int kSalidaOtraInstancia = 3;   // another instance, or no lock file
inline constexpr int kSalidaSinIntercambio = 4;  // --ciclos N: no exchange with the server

}  // namespace ejecucion
