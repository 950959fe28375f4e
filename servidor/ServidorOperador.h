// The operator's listener, apart from the sites' one: GET "/" a page of
// every client and site (last request, records waiting and the oldest one's
// age, records kept aside, refused requests) that reloads itself and reads
// on a phone; GET "/metrics" the same figures and the request counts in
// the Prometheus text format; GET "/salud" 200 while the store answers a
// query, 503 otherwise, for a load balancer.
//
// It listens on loopback unless told otherwise. A client from any other
// address must present the operator's token (an "Authorization: Bearer"
// header, or "?token=" in the address for a browser); without a token
// configured, such clients are always refused with 403.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Almacen.h"
#include "Metricas.h"

namespace servidor {

class Central;

// "[HOST:]PORT" as --operador takes it: host 127.0.0.1 unless given (an
// IPv6 address in brackets). False when the port is not a number 0..65535.
bool leerDireccionOperador(const std::string& texto, std::string& host, int& puerto);

// Whether `direccion` (as the socket reports the peer) is a loopback one.
bool esLoopback(const std::string& direccion);

// The page, from what the store says of each site and what the server
// counted; `ahora` epoch s.
std::string paginaOperador(const std::vector<EstadoSitio>& sitios, const Metricas::Lectura& contado,
                           int64_t ahora, int refresco);

class ServidorOperador {
  public:
    // `token`: what a client from outside loopback must present ("" none
    // may come). `historial`: the store's history in seconds, past which
    // records waiting are marked. `refresco`: seconds between the page's
    // reloads.
    ServidorOperador(Central& central, std::string token, int64_t historial = 0, int refresco = 10);
    ~ServidorOperador();
    ServidorOperador(const ServidorOperador&) = delete;
    ServidorOperador& operator=(const ServidorOperador&) = delete;

    // Binds to host:puerto (0: a free port). Returns the port, or -1.
    int enlazar(const std::string& host, int puerto);
    // Serves on a thread of its own until detener() or destruction.
    void arrancar();
    void detener();

    // The /metrics text.
    std::string metricas();

  private:
    class Http;
    // What the store says of the sites, read at most every couple of
    // seconds however many clients ask; nothing when it does not answer.
    bool estado(std::vector<EstadoSitio>& sitios);

    Central& central_;
    std::string token_;
    int64_t historial_;
    int refresco_;
    std::unique_ptr<Http> http_;
    std::mutex cerrojo_;
    std::vector<EstadoSitio> estado_;
    std::chrono::steady_clock::time_point leido_{};
    bool hayEstado_ = false;
};

}  // namespace servidor
