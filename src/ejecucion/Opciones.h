// How the program runs, as the operator gave it: the configuration file,
// the two peers, the tick, the passes and the log. No toolkit: every
// runtime reads the same options.
#pragma once

#include <cstdint>
#include <string>

namespace ejecucion {

struct OpcionesEjecucion {
    // The configuration file whose first line names the database.
    std::string acceso;
    std::string hostServidor = "localhost";
    uint16_t puertoServidor = 80;
    bool tlsServidor = false;
    std::string hostQuiralte = "localhost";
    uint16_t puertoQuiralte = 80;
    bool tlsQuiralte = false;
    // A PEM file of private authorities trusted besides the system's.
    std::string autoridad;
    // The site's own certificate and its key (PEM files), presented to the
    // TLS peers that ask for one ("" none).
    std::string certificado;
    std::string clave;
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

}  // namespace ejecucion
