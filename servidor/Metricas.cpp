#include "Metricas.h"

#include <algorithm>
#include <mutex>

namespace servidor {

std::string_view nombreDe(TipoPeticion tipo) {
    switch (tipo) {
        case TipoPeticion::GetData:
            return "getData";
        case TipoPeticion::SetData:
            return "setData";
        case TipoPeticion::GetDoctores:
            return "getDoctores";
        case TipoPeticion::GetEstudios:
            return "getEstudios";
        case TipoPeticion::Socio:
            return "socio";
        case TipoPeticion::Otra:
            break;
    }
    return "otra";
}

void Metricas::peticion(TipoPeticion tipo, int estado, double segundos, const std::string& sitio,
                        const std::string& cliente) {
    Contadores& c = peticiones_[static_cast<size_t>(tipo)];
    const auto cubeta = std::lower_bound(kCubetas.begin(), kCubetas.end(), segundos);
    if (cubeta != kCubetas.end())
        c.cubetas[static_cast<size_t>(cubeta - kCubetas.begin())].fetch_add(
            1, std::memory_order_relaxed);
    c.cuenta.fetch_add(1, std::memory_order_relaxed);
    c.sumaMicros.fetch_add(static_cast<uint64_t>(std::max(segundos, 0.0) * 1e6),
                           std::memory_order_relaxed);
    if (estado == 200) {
        if (!sitio.empty()) this->sitio(sitio, true);
        if (!cliente.empty()) this->cliente(cliente);
        return;
    }
    rechazo(estado);
    if (estado == 500) erroresAlmacen_.fetch_add(1, std::memory_order_relaxed);
    if (auto* n = sitio.empty() ? nullptr : this->sitio(sitio, false))
        n->fetch_add(1, std::memory_order_relaxed);
}

void Metricas::rechazo(int estado) {
    auto it = std::find(kEstadosRechazo.begin(), kEstadosRechazo.end() - 1, estado);
    rechazos_[static_cast<size_t>(it - kEstadosRechazo.begin())].fetch_add(
        1, std::memory_order_relaxed);
}

void Metricas::publicados(const std::string& cliente, int64_t cuantos) {
    this->cliente(cliente).publicados.fetch_add(cuantos, std::memory_order_relaxed);
}

void Metricas::entregados(const std::string& cliente, int64_t cuantos) {
    this->cliente(cliente).entregados.fetch_add(cuantos, std::memory_order_relaxed);
}

Metricas::DeCliente& Metricas::cliente(const std::string& codigo) {
    {
        std::shared_lock<std::shared_mutex> guarda(cerrojo_);
        auto it = clientes_.find(codigo);
        if (it != clientes_.end()) return *it->second;
    }
    std::unique_lock<std::shared_mutex> guarda(cerrojo_);
    auto& c = clientes_[codigo];
    if (!c) c = std::make_unique<DeCliente>();
    return *c;
}

std::atomic<uint64_t>* Metricas::sitio(const std::string& codigo, bool agregar) {
    {
        std::shared_lock<std::shared_mutex> guarda(cerrojo_);
        auto it = sitios_.find(codigo);
        if (it != sitios_.end()) return it->second.get();
        if (!agregar) return nullptr;
    }
    std::unique_lock<std::shared_mutex> guarda(cerrojo_);
    auto& s = sitios_[codigo];
    if (!s) s = std::make_unique<std::atomic<uint64_t>>(0);
    return s.get();
}

Metricas::Lectura Metricas::leer() const {
    Lectura l;
    for (size_t t = 0; t < peticiones_.size(); ++t) {
        const Contadores& c = peticiones_[t];
        Histograma& h = l.peticiones[t];
        for (size_t i = 0; i < c.cubetas.size(); ++i)
            h.cubetas[i] = c.cubetas[i].load(std::memory_order_relaxed);
        h.cuenta = c.cuenta.load(std::memory_order_relaxed);
        h.suma = static_cast<double>(c.sumaMicros.load(std::memory_order_relaxed)) / 1e6;
    }
    for (size_t i = 0; i < rechazos_.size(); ++i)
        l.rechazos[i] = rechazos_[i].load(std::memory_order_relaxed);
    l.erroresAlmacen = erroresAlmacen_.load(std::memory_order_relaxed);
    std::shared_lock<std::shared_mutex> guarda(cerrojo_);
    for (const auto& [codigo, c] : clientes_)
        l.clientes[codigo] = {c->publicados.load(std::memory_order_relaxed),
                              c->entregados.load(std::memory_order_relaxed)};
    for (const auto& [codigo, n] : sitios_)
        if (const uint64_t v = n->load(std::memory_order_relaxed); v > 0)
            l.rechazosPorSitio[codigo] = v;
    return l;
}

}  // namespace servidor
