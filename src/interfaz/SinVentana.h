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
    bool tlsServidor = false;
    std::string hostSocio = "localhost";
    uint16_t puertoSocio = 80;
    bool tlsSocio = false;
    // A PEM file of private authorities trusted besides the system's.
    std::string autoridad;
    // A log file that receives every console line too ("" none).
    std::string registro;
    int intervaloMs = 800;
    // Full passes of the four steps after which the program ends; 0 runs
    // until stopped.
    long ciclos = 0;
};

// Splits "host[:port]", "http://host[:port]" or "https://host[:port]"
// (a trailing "/" allowed). Without a port it stays as given, or is 443
// for https. `tls` tells whether the scheme was https. False when the
// port is not a number from 1 to 65535, there is no host, or there is
// another scheme or a path.
bool separarHostPuerto(const std::string& texto, std::string& host, uint16_t& puerto, bool& tls);

// Exit codes of the headless program.
inline constexpr int kSalidaNoArranca = 1;       // the cycle cannot start
inline constexpr int kSalidaOpciones = 2;        // a bad address, authority or log file
inline constexpr int kSalidaOtraInstancia = 3;   // another instance, or no lock file
inline constexpr int kSalidaSinIntercambio = 4;  // --ciclos N: no exchange with the server

// Runs until the passes are done or SIGINT/SIGTERM; returns the exit code:
// 0, or one of the above.
int ejecutarSinVentana(int argc, char** argv, const OpcionesEjecucion& opciones);

}  // namespace interfaz
