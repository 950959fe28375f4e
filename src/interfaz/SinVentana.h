// The headless face: the engine on a QCoreApplication, console lines to
// standard output, for a service manager.
#pragma once

#include <cstdint>
#include <string>

namespace interfaz {

struct OpcionesEjecucion {
    // The configuration file whose first line names the database.
    std::string acceso;
    std::string hostServidor = "localhost";
    uint16_t puertoServidor = 80;
    std::string hostSocio = "localhost";
    uint16_t puertoSocio = 80;
    int intervaloMs = 800;
    // Full passes of the four steps after which the program ends; 0 runs
    // until stopped.
    long ciclos = 0;
};

// Splits "host[:port]"; the port stays as given when there is none. False
// when the port is not a number from 1 to 65535.
bool separarHostPuerto(const std::string& texto, std::string& host, uint16_t& puerto);

// Exit codes of the headless program.
inline constexpr int kSalidaNoArranca = 1;       // the cycle cannot start
inline constexpr int kSalidaOtraInstancia = 3;   // another instance, or no lock file
inline constexpr int kSalidaSinIntercambio = 4;  // --ciclos N: no exchange with the server

// Runs until the passes are done or SIGINT/SIGTERM; returns the exit code:
// 0, or one of the above.
int ejecutarSinVentana(int argc, char** argv, const OpcionesEjecucion& opciones);

}  // namespace interfaz
