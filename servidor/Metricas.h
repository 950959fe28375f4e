// What the server counts of its own work since it started, for the
// operator's page and for a monitoring system: the requests by kind and how
// long each took, the records posted and delivered by client, the requests
// refused, the store's failures. Counting is a few atomic additions on the
// request's path; a client or a site is looked up under a shared lock and
// added once. Only clients and sites that were served are kept by name, so
// an attacker inventing site codes adds nothing but to a total.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace servidor {

// The kinds of request, as the figures name them.
enum class TipoPeticion { GetData, SetData, GetDoctores, GetEstudios, Socio, Otra };
inline constexpr int kTiposPeticion = 6;
std::string_view nombreDe(TipoPeticion tipo);

// The upper bounds (seconds) of the latency histogram's buckets.
inline constexpr std::array<double, 12> kCubetas{0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                 0.1,   0.25,   0.5,   1,    2.5,   10};
// The refusals by HTTP status; any other status counts as the last.
inline constexpr std::array<int, 9> kEstadosRechazo{400, 403, 404, 408, 411, 413, 500, 503, 0};

class Metricas {
  public:
    // A request answered with `estado` after `segundos`; `sitio` and
    // `cliente` when it named a site ("" otherwise). A 200 makes the site
    // and its client known; a refusal is counted by status, and by site
    // only for a site known already.
    void peticion(TipoPeticion tipo, int estado, double segundos, const std::string& sitio = {},
                  const std::string& cliente = {});
    // A refusal before the request reached the protocol (its length, its
    // certificate, the memory for its body).
    void rechazo(int estado);
    // Of a request served: the records a site's batch added, the records an
    // answer carried.
    void publicados(const std::string& cliente, int64_t cuantos);
    void entregados(const std::string& cliente, int64_t cuantos);
    // A failure of the store outside a request (the history's pass).
    void errorDeAlmacen() { erroresAlmacen_.fetch_add(1, std::memory_order_relaxed); }

    struct Histograma {
        std::array<uint64_t, kCubetas.size()> cubetas{};  // not cumulative
        uint64_t cuenta = 0;
        double suma = 0;
    };
    struct PorCliente {
        int64_t publicados = 0;
        int64_t entregados = 0;
    };
    // A copy of everything, read with relaxed loads: each figure is exact,
    // figures read together may be a request apart.
    struct Lectura {
        std::array<Histograma, kTiposPeticion> peticiones;
        std::array<uint64_t, kEstadosRechazo.size()> rechazos{};
        uint64_t erroresAlmacen = 0;
        std::map<std::string, PorCliente> clientes;
        std::map<std::string, uint64_t> rechazosPorSitio;  // only sites with any
    };
    Lectura leer() const;

  private:
    struct Contadores {
        std::array<std::atomic<uint64_t>, kCubetas.size()> cubetas{};
        std::atomic<uint64_t> cuenta{0};
        std::atomic<uint64_t> sumaMicros{0};
    };
    struct DeCliente {
        std::atomic<int64_t> publicados{0};
        std::atomic<int64_t> entregados{0};
    };
    DeCliente& cliente(const std::string& codigo);
    std::atomic<uint64_t>* sitio(const std::string& codigo, bool agregar);

    std::array<Contadores, kTiposPeticion> peticiones_;
    std::array<std::atomic<uint64_t>, kEstadosRechazo.size()> rechazos_{};
    std::atomic<uint64_t> erroresAlmacen_{0};
    mutable std::shared_mutex cerrojo_;
    std::map<std::string, std::unique_ptr<DeCliente>> clientes_;
    std::map<std::string, std::unique_ptr<std::atomic<uint64_t>>> sitios_;
};

}  // namespace servidor
