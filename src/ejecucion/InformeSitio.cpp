#include "ejecucion/InformeSitio.h"

#include <cmath>
#include <exception>
#include <nlohmann/json.hpp>
#include <sstream>

namespace ejecucion {

std::string lapso(long minutos) {
    if (minutos < 60) return std::to_string(minutos) + " min";
    if (minutos < 48 * 60)
        return std::to_string(minutos / 60) + " h " + std::to_string(minutos % 60) + " min";
    return std::to_string(minutos / (24 * 60)) + " d " + std::to_string(minutos / 60 % 24) + " h";
}

namespace {

bool enElFuturo(const comun::Fecha& f, const comun::Fecha& ahora) {
    return f.serial() > ahora.serial();
}

std::string cuando(const std::optional<comun::Fecha>& f, const comun::Fecha& ahora) {
    if (!f) return "never";
    if (enElFuturo(*f, ahora)) return f->iso() + " (in the future: the clock was moved back?)";
    return f->iso() + " (" + lapso(minutosEntre(*f, ahora)) + " ago)";
}

nlohmann::json fechaJson(const std::optional<comun::Fecha>& f) {
    return f ? nlohmann::json(f->iso()) : nlohmann::json(nullptr);
}

// Negative for a time in the future, so a monitor sees it is not recent.
nlohmann::json minutosJson(const std::optional<comun::Fecha>& f, const comun::Fecha& ahora) {
    if (!f) return nlohmann::json(nullptr);
    if (enElFuturo(*f, ahora)) return nlohmann::json(-minutosEntre(ahora, *f) - 1);
    return nlohmann::json(minutosEntre(*f, ahora));
}

}  // namespace

long minutosEntre(const comun::Fecha& desde, const comun::Fecha& hasta) {
    const double minutos = std::floor((hasta.serial() - desde.serial()) * 24 * 60 + 1e-6);
    return minutos > 0 ? static_cast<long>(minutos) : 0;
}

bool enPlazo(const datos::EstadoSitio& estado, const comun::Fecha& ahora, long limiteMinutos) {
    return estado.ultimoServidor && !enElFuturo(*estado.ultimoServidor, ahora) &&
           minutosEntre(*estado.ultimoServidor, ahora) <= limiteMinutos;
}

std::string informeSitio(const datos::EstadoSitio& estado, const std::string& base,
                         const comun::Fecha& ahora, std::optional<long> limiteMinutos) {
    std::ostringstream t;
    t << "Site:                             " << estado.sitio << "\n"
      << "Database:                         " << base << "\n"
      << "Last exchange with the server:    " << cuando(estado.ultimoServidor, ahora) << "\n"
      << "Last exchange with the partner:   " << cuando(estado.ultimoQuiralte, ahora) << "\n"
      << "Unsent outbound records:          " << estado.pendientesEnvio << "\n";
    if (estado.pendientesEnvio > 0)
        t << "Oldest unsent record queued:      "
          << (estado.encoladoMasAntiguo ? cuando(estado.encoladoMasAntiguo, ahora) : "unknown")
          << "\n";
    t << "Inbound records waiting to apply: " << estado.pendientesAplicar << "\n"
      << "Records that failed to apply:     " << estado.fallidos << "\n"
      << "Quarantined records:              " << estado.cuarentena << "\n"
      << "Orders that changed nothing:      " << estado.pedidosNoAplicados << "\n"
      << "Outbound records set aside:       " << estado.apartadosEnvio << "\n";
    if (limiteMinutos) {
        if (enPlazo(estado, ahora, *limiteMinutos))
            t << "In step: exchanged with the server within " << *limiteMinutos << " min\n";
        else
            t << "NOT IN STEP: no exchange with the server within " << *limiteMinutos << " min\n";
    }
    return t.str();
}

std::string informeSitioJson(const datos::EstadoSitio& estado, const std::string& base,
                             const comun::Fecha& ahora, std::optional<long> limiteMinutos) {
    nlohmann::ordered_json j;
    j["sitio"] = estado.sitio;
    j["base"] = base;
    j["ahora"] = ahora.iso();
    j["ultimoIntercambioServidor"] = fechaJson(estado.ultimoServidor);
    j["minutosDesdeServidor"] = minutosJson(estado.ultimoServidor, ahora);
    j["ultimoIntercambioSocio"] = fechaJson(estado.ultimoQuiralte);
    j["minutosDesdeSocio"] = minutosJson(estado.ultimoQuiralte, ahora);
    j["pendientesEnvio"] = estado.pendientesEnvio;
    j["encoladoMasAntiguo"] = fechaJson(estado.encoladoMasAntiguo);
    j["minutosPendienteMasAntiguo"] = minutosJson(estado.encoladoMasAntiguo, ahora);
    j["pendientesAplicar"] = estado.pendientesAplicar;
    j["fallidos"] = estado.fallidos;
    j["cuarentena"] = estado.cuarentena;
    j["pedidosNoAplicados"] = estado.pedidosNoAplicados;
    j["apartadosEnvio"] = estado.apartadosEnvio;
    if (limiteMinutos) {
        j["limiteMinutos"] = *limiteMinutos;
        j["enPlazo"] = enPlazo(estado, ahora, *limiteMinutos);
    }
    // Text from the database that is not valid UTF-8 is written with
    // replacement characters rather than failing the whole report.
    return j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string resumenSitio(const datos::EstadoSitio& estado, const comun::Fecha& ahora) {
    std::string r = "Servidor: ";
    r += estado.ultimoServidor ? "hace " + lapso(minutosEntre(*estado.ultimoServidor, ahora))
                               : "sin intercambios";
    r += " | Por enviar: " + std::to_string(estado.pendientesEnvio);
    if (estado.pendientesEnvio > 0 && estado.encoladoMasAntiguo)
        r +=
            " (la mas antigua hace " + lapso(minutosEntre(*estado.encoladoMasAntiguo, ahora)) + ")";
    r += " | Por aplicar: " + std::to_string(estado.pendientesAplicar);
    // Only when there are some: a healthy site's summary stays short.
    if (estado.fallidos > 0) r += " | Fallidos: " + std::to_string(estado.fallidos);
    if (estado.cuarentena > 0) r += " | En cuarentena: " + std::to_string(estado.cuarentena);
    if (estado.pedidosNoAplicados > 0)
        r += " | Pedidos no aplicados: " + std::to_string(estado.pedidosNoAplicados);
    if (estado.apartadosEnvio > 0)
        r += " | Apartados sin enviar: " + std::to_string(estado.apartadosEnvio);
    return r;
}

}  // namespace ejecucion
