#include "ServidorOperador.h"

#include <httplib.h>
#include <openssl/crypto.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <thread>
#include <tuple>

#include "Central.h"
#include "Metricas.h"
#include "Operador.h"

namespace servidor {

namespace {

// The store is read for the page and the figures at most this often.
constexpr std::chrono::seconds kEstadoVigente{2};

// Text for an HTML page: the codes come from the sites' requests.
std::string html(const std::string& texto) {
    std::string r;
    r.reserve(texto.size());
    for (char c : texto) {
        switch (c) {
            case '<':
                r += "&lt;";
                break;
            case '>':
                r += "&gt;";
                break;
            case '&':
                r += "&amp;";
                break;
            case '"':
                r += "&quot;";
                break;
            case '\'':
                r += "&#39;";
                break;
            default:
                r += c;
        }
    }
    return r;
}

// A label's value in the Prometheus text format.
std::string etiqueta(const std::string& texto) {
    std::string r;
    for (char c : texto) {
        if (c == '\\' || c == '"') r += '\\';
        if (c == '\n') {
            r += "\\n";
            continue;
        }
        r += c;
    }
    return r;
}

std::string numero(double v) {
    char texto[64];
    std::snprintf(texto, sizeof texto, "%.9g", v);
    return texto;
}

std::string hace(int64_t segundos) {
    if (segundos < 0) segundos = 0;
    if (segundos < 120) return std::to_string(segundos) + " s";
    if (segundos < 7200) return std::to_string(segundos / 60) + " min";
    if (segundos < 172800) return std::to_string(segundos / 3600) + " h";
    return std::to_string(segundos / 86400) + " d";
}

bool mismoToken(const std::string& dado, const std::string& token) {
    return !token.empty() && dado.size() == token.size() &&
           CRYPTO_memcmp(dado.data(), token.data(), token.size()) == 0;
}

}  // namespace

bool leerDireccionOperador(const std::string& texto, std::string& host, int& puerto) {
    host = "127.0.0.1";
    std::string numeroPuerto = texto;
    const size_t dos = texto.rfind(':');
    if (dos != std::string::npos) {
        host = texto.substr(0, dos);
        numeroPuerto = texto.substr(dos + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        if (host.empty()) return false;
    }
    if (numeroPuerto.empty() || numeroPuerto.size() > 5 ||
        !std::all_of(numeroPuerto.begin(), numeroPuerto.end(),
                     [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    puerto = std::stoi(numeroPuerto);
    return puerto <= 65535;
}

bool esLoopback(const std::string& direccion) {
    return direccion.rfind("127.", 0) == 0 || direccion == "::1" ||
           direccion.rfind("::ffff:127.", 0) == 0;
}

std::string paginaOperador(const std::vector<EstadoSitio>& sitios, const Metricas::Lectura& l,
                           int64_t ahora, int refresco) {
    int64_t pendientes = 0, apartados = 0;
    for (const auto& s : sitios) {
        pendientes += s.pendientes;
        apartados += s.apartados;
    }
    uint64_t rechazos = 0;
    for (uint64_t n : l.rechazos) rechazos += n;
    std::string p =
        "<!DOCTYPE html>\n<html lang=\"es\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<meta http-equiv=\"refresh\" content=\"" +
        std::to_string(refresco) +
        "\"><title>Servidor del sincronizador</title><style>"
        "body{font-family:sans-serif;margin:0.6em;color:#222;background:#fafafa}"
        "h1{font-size:1.2em;margin:0.2em 0}p{margin:0.3em 0;color:#555}"
        ".resumen span{display:inline-block;margin:0 1em 0.3em 0}"
        ".tabla{overflow-x:auto}table{border-collapse:collapse;width:100%;font-size:0.9em}"
        "th,td{padding:0.3em 0.4em;border-bottom:1px solid #ddd;text-align:right;"
        "white-space:nowrap}th:first-child,td:first-child{text-align:left}"
        "th{background:#eee}tr.cliente td{background:#e8eef6;font-weight:bold}"
        ".aviso{color:#a00;font-weight:bold}"
        "@media (max-width:480px){table{font-size:0.8em}th,td{padding:0.3em 0.2em}}"
        "</style></head><body><h1>Servidor del sincronizador</h1><p class=\"resumen\">"
        "<span>" +
        std::to_string(sitios.size()) + " sitios</span><span>" + std::to_string(pendientes) +
        " registros esperando</span><span>" + std::to_string(apartados) +
        " apartados</span><span>" + std::to_string(rechazos) + " peticiones rechazadas</span></p>" +
        "<p>" + html(textoFecha(ahora)) + " &middot; se actualiza cada " +
        std::to_string(refresco) +
        " s</p><div class=\"tabla\"><table><thead><tr><th>Sitio</th>"
        "<th title=\"Ultima peticion\">Visto hace</th><th title=\"Registros esperando\">Esperan"
        "</th><th title=\"Edad del que mas espera\">Antiguo</th><th title=\"Registros "
        "apartados\">Apart.</th><th title=\"Peticiones rechazadas\">Rech.</th></tr>"
        "</thead><tbody>";
    std::string cliente;
    bool primero = true;
    for (const auto& s : sitios) {
        if (primero || s.cliente != cliente) {
            primero = false;
            cliente = s.cliente;
            int64_t suyos = 0;
            for (const auto& o : sitios)
                if (o.cliente == cliente) suyos += o.pendientes;
            p += "<tr class=\"cliente\"><td colspan=\"6\">Cliente " +
                 html(cliente.empty() ? "-" : cliente) + " &middot; " + std::to_string(suyos) +
                 " esperando</td></tr>";
        }
        const auto r = l.rechazosPorSitio.find(s.sitio);
        const bool viejo = s.vencidos > 0;
        p += "<tr><td>" + html(s.sitio) + "</td><td>" +
             (s.ultimaPeticion > 0 ? hace(ahora - s.ultimaPeticion) : "nunca") + "</td><td>" +
             std::to_string(s.pendientes) + "</td><td" + (viejo ? " class=\"aviso\"" : "") + ">" +
             (s.pendientes > 0 ? hace(ahora - s.masAntiguo) : "-") + "</td><td>" +
             std::to_string(s.apartados) + "</td><td>" +
             std::to_string(r == l.rechazosPorSitio.end() ? 0 : r->second) + "</td></tr>";
    }
    p += "</tbody></table></div></body></html>\n";
    return p;
}

// The library's server on a thread of its own.
class ServidorOperador::Http {
  public:
    httplib::Server servidor;
    std::thread hilo;
};

ServidorOperador::ServidorOperador(Central& central, std::string token, int64_t historial,
                                   int refresco)
    : central_(central),
      token_(std::move(token)),
      historial_(historial),
      refresco_(refresco),
      http_(std::make_unique<Http>()) {
    auto& s = http_->servidor;
    s.set_read_timeout(5, 0);
    s.set_write_timeout(5, 0);
    s.set_keep_alive_max_count(10);
    s.set_payload_max_length(4096);
    // From loopback anyone on this machine may look; from elsewhere only
    // who has the token.
    s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (esLoopback(req.remote_addr)) return httplib::Server::HandlerResponse::Unhandled;
        std::string dado = req.get_param_value("token");
        const std::string autorizacion = req.get_header_value("Authorization");
        if (autorizacion.rfind("Bearer ", 0) == 0) dado = autorizacion.substr(7);
        if (mismoToken(dado, token_)) return httplib::Server::HandlerResponse::Unhandled;
        res.status = 403;
        res.set_content(token_.empty() ? "Solo desde 127.0.0.1\n" : "Falta el token\n",
                        "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    });
    s.Get("/", [this](const httplib::Request&, httplib::Response& res) {
        std::vector<EstadoSitio> sitios;
        if (!estado(sitios)) {
            res.status = 503;
            res.set_content("La base del servidor no responde\n", "text/plain");
            return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_content(paginaOperador(sitios, central_.metricas().leer(), ahora(), refresco_),
                        "text/html; charset=utf-8");
    });
    s.Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(metricas(), "text/plain; version=0.0.4; charset=utf-8");
    });
    s.Get("/salud", [this](const httplib::Request&, httplib::Response& res) {
        const bool bien = central_.almacen().responde();
        res.status = bien ? 200 : 503;
        res.set_content(bien ? "bien\n" : "la base no responde\n", "text/plain");
    });
}

ServidorOperador::~ServidorOperador() {
    detener();
}

int ServidorOperador::enlazar(const std::string& host, int puerto) {
    auto& s = http_->servidor;
    return puerto == 0 ? s.bind_to_any_port(host) : (s.bind_to_port(host, puerto) ? puerto : -1);
}

void ServidorOperador::arrancar() {
    http_->hilo = std::thread([this] { http_->servidor.listen_after_bind(); });
    while (!http_->servidor.is_running() && http_->hilo.joinable())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void ServidorOperador::detener() {
    http_->servidor.stop();
    if (http_->hilo.joinable()) http_->hilo.join();
}

bool ServidorOperador::estado(std::vector<EstadoSitio>& sitios) {
    std::lock_guard<std::mutex> guarda(cerrojo_);
    const auto ahoraMismo = std::chrono::steady_clock::now();
    if (!hayEstado_ || ahoraMismo - leido_ >= kEstadoVigente) {
        try {
            estado_ = central_.almacen().estado(historial_ > 0 ? ahora() - historial_ : 0);
            // A destination that never made a request is listed with the
            // client its code names.
            for (auto& s : estado_)
                if (s.cliente.empty()) s.cliente = central_.clienteDe(s.sitio);
            std::sort(estado_.begin(), estado_.end(),
                      [](const EstadoSitio& a, const EstadoSitio& b) {
                          return std::tie(a.cliente, a.sitio) < std::tie(b.cliente, b.sitio);
                      });
            hayEstado_ = true;
            leido_ = ahoraMismo;
        } catch (const std::exception&) {
            hayEstado_ = false;
            central_.metricas().errorDeAlmacen();
            return false;
        }
    }
    sitios = estado_;
    return true;
}

std::string ServidorOperador::metricas() {
    const Metricas::Lectura l = central_.metricas().leer();
    std::string t;
    t += "# HELP sincronizador_peticion_segundos Peticiones atendidas y cuanto tardaron, por tipo\n"
         "# TYPE sincronizador_peticion_segundos histogram\n";
    for (int i = 0; i < kTiposPeticion; ++i) {
        const auto& h = l.peticiones[static_cast<size_t>(i)];
        const std::string tipo =
            "tipo=\"" + std::string(nombreDe(static_cast<TipoPeticion>(i))) + "\"";
        uint64_t acumulado = 0;
        for (size_t c = 0; c < kCubetas.size(); ++c) {
            acumulado += h.cubetas[c];
            t += "sincronizador_peticion_segundos_bucket{" + tipo + ",le=\"" + numero(kCubetas[c]) +
                 "\"} " + std::to_string(acumulado) + "\n";
        }
        t += "sincronizador_peticion_segundos_bucket{" + tipo + ",le=\"+Inf\"} " +
             std::to_string(h.cuenta) + "\n";
        t += "sincronizador_peticion_segundos_sum{" + tipo + "} " + numero(h.suma) + "\n";
        t += "sincronizador_peticion_segundos_count{" + tipo + "} " + std::to_string(h.cuenta) +
             "\n";
    }
    t += "# HELP sincronizador_rechazos_total Peticiones rechazadas, por estado HTTP\n"
         "# TYPE sincronizador_rechazos_total counter\n";
    for (size_t i = 0; i < kEstadosRechazo.size(); ++i)
        t += "sincronizador_rechazos_total{estado=\"" +
             (kEstadosRechazo[i] ? std::to_string(kEstadosRechazo[i]) : std::string("otro")) +
             "\"} " + std::to_string(l.rechazos[i]) + "\n";
    t += "# HELP sincronizador_errores_almacen_total Fallas de la base del servidor\n"
         "# TYPE sincronizador_errores_almacen_total counter\n"
         "sincronizador_errores_almacen_total " +
         std::to_string(l.erroresAlmacen) + "\n";

    // What the store holds, by client; and the clients counted since the
    // start that the store no longer lists.
    struct DeCliente {
        int64_t pendientes = 0, masAntiguo = 0, apartados = 0, sitios = 0;
    };
    std::map<std::string, DeCliente> clientes;
    std::vector<EstadoSitio> sitios;
    const bool responde = estado(sitios);
    const int64_t ahoraMismo = ahora();
    for (const auto& s : sitios) {
        DeCliente& c = clientes[s.cliente];
        c.pendientes += s.pendientes;
        c.apartados += s.apartados;
        ++c.sitios;
        if (s.pendientes > 0 && (c.masAntiguo == 0 || s.masAntiguo < c.masAntiguo))
            c.masAntiguo = s.masAntiguo;
    }
    for (const auto& [codigo, _] : l.clientes) clientes.try_emplace(codigo);
    const auto porCliente = [&](const char* nombre, const char* tipo, const char* ayuda,
                                auto valor) {
        t += std::string("# HELP ") + nombre + " " + ayuda + "\n# TYPE " + nombre + " " + tipo +
             "\n";
        for (const auto& [codigo, c] : clientes) {
            const auto contado = l.clientes.find(codigo);
            const Metricas::PorCliente ceros;
            t += std::string(nombre) + "{cliente=\"" + etiqueta(codigo) + "\"} " +
                 valor(c, contado == l.clientes.end() ? ceros : contado->second) + "\n";
        }
    };
    porCliente("sincronizador_registros_publicados_total", "counter",
               "Registros nuevos que publicaron los sitios del cliente",
               [](const DeCliente&, const Metricas::PorCliente& m) {
                   return std::to_string(m.publicados);
               });
    porCliente("sincronizador_registros_entregados_total", "counter",
               "Registros que llevaron las respuestas a los sitios del cliente",
               [](const DeCliente&, const Metricas::PorCliente& m) {
                   return std::to_string(m.entregados);
               });
    if (responde) {
        porCliente("sincronizador_registros_pendientes", "gauge",
                   "Registros que esperan a que un sitio del cliente los acuse",
                   [](const DeCliente& c, const Metricas::PorCliente&) {
                       return std::to_string(c.pendientes);
                   });
        porCliente("sincronizador_pendiente_mas_antiguo_segundos", "gauge",
                   "Edad del registro que mas espera en el cliente (0: ninguno)",
                   [ahoraMismo](const DeCliente& c, const Metricas::PorCliente&) {
                       return std::to_string(c.masAntiguo ? ahoraMismo - c.masAntiguo : 0);
                   });
        porCliente("sincronizador_registros_apartados", "gauge",
                   "Registros de los sitios del cliente guardados aparte",
                   [](const DeCliente& c, const Metricas::PorCliente&) {
                       return std::to_string(c.apartados);
                   });
        porCliente("sincronizador_sitios", "gauge", "Sitios del cliente que el servidor conoce",
                   [](const DeCliente& c, const Metricas::PorCliente&) {
                       return std::to_string(c.sitios);
                   });
    }
    t += "# HELP sincronizador_almacen_responde 1 si la base del servidor respondio\n"
         "# TYPE sincronizador_almacen_responde gauge\n"
         "sincronizador_almacen_responde " +
         std::string(responde ? "1" : "0") + "\n";
    return t;
}

}  // namespace servidor
