// carga: a load test of the central server. It plays N sites in clients of
// M sites, each running the synchronizer's requests at its own pace (a
// getData, and half a pass later a setData carrying its acknowledgements
// and the records it posts), one connection per request, rendered and split
// by the synchronizer's own HTTP codec. Every record posted goes to the
// client's general destination, so each reaches the M - 1 sibling sites.
//
// After the posting time the sites keep cycling without posting until
// everything is delivered (or the drain time runs out), and the run checks
// that every record reached every sibling exactly once. It prints requests
// per second, latency percentiles, records delivered per second, errors,
// lost and duplicated records, and whether the server kept up.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <rapidjson/document.h>
#include <sys/socket.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <queue>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "http/clsHTTP.h"
#include "protocolo/Comunicacion.h"

namespace {

using Reloj = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kGeneral = protocolo::kDestinoGeneral;

double msDesde(Reloj::time_point desde, Reloj::time_point hasta = Reloj::now()) {
    return std::chrono::duration<double, std::milli>(hasta - desde).count();
}

struct Servidor {
    std::string host;
    int puerto = 0;
};

// One request on a fresh connection; the answer read until the server
// closes. Empty on a connection error.
std::string intercambiar(const Servidor& servidor, const std::string& peticion) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return {};
    timeval espera{30, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &espera, sizeof espera);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &espera, sizeof espera);
    int uno = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
    sockaddr_in dir{};
    dir.sin_family = AF_INET;
    dir.sin_port = htons(static_cast<uint16_t>(servidor.puerto));
    inet_pton(AF_INET, servidor.host.c_str(), &dir.sin_addr);
    std::string respuesta;
    if (connect(s, reinterpret_cast<sockaddr*>(&dir), sizeof dir) == 0) {
        size_t enviado = 0;
        while (enviado < peticion.size()) {
            ssize_t n = send(s, peticion.data() + enviado, peticion.size() - enviado, MSG_NOSIGNAL);
            if (n <= 0) break;
            enviado += static_cast<size_t>(n);
        }
        char buffer[65536];
        ssize_t n;
        while ((n = recv(s, buffer, sizeof buffer, 0)) > 0)
            respuesta.append(buffer, static_cast<size_t>(n));
        if (n < 0) respuesta.clear();
    }
    close(s);
    return respuesta;
}

// A record this site posted and the server has not yet acknowledged.
struct Propio {
    int64_t fila;
    std::string json;
};

struct Sitio {
    int indice = 0;
    int cliente = 0;
    std::string codigo;
    const Servidor* servidor = nullptr;
    int64_t siguienteFila = 1;
    int64_t siguienteSecuencia = 0;
    std::vector<Propio> propios;
    // Acknowledgements waiting to be sent: row id -> delivery id.
    std::vector<std::pair<int64_t, std::string>> acuses;
    // What arrived: (origin site, sequence) -> delivery id.
    std::unordered_map<uint64_t, std::string> recibidos;
    Reloj::time_point proxima;
    bool tocaGetData = true;
};

std::string registroJSON(int64_t fila, const std::string& servicio, const std::string& origen,
                         const std::string& campo1, const std::string& relleno) {
    std::string texto = "{\"Id\":\"" + std::to_string(fila) + "\",\"Servicio\":\"" + servicio +
                        "\",\"Tabla\":\"14\",\"Origen\":\"" + origen + "\",\"Destino\":\"" +
                        kGeneral + "\",\"Funcion\":\"A\",\"Enviado\":\"False\",\"Campo1\":\"" +
                        campo1 + "\"";
    for (int k = 2; k <= 40; ++k) {
        texto += ",\"Campo" + std::to_string(k) + "\":\"";
        if (k <= 6) texto += relleno;
        texto += '"';
    }
    return texto + "}";
}

struct Medidas {
    std::vector<float> latencias;  // ms, requests of the posting time
    std::vector<float> retrasos;   // ms a request started late, posting time
    std::vector<float> demoras;    // ms from a record's creation to its arrival
    int64_t peticiones = 0;
    int64_t errores = 0;
    int64_t entregados = 0;       // distinct arrivals during the posting time
    int64_t entregadosTotal = 0;  // distinct arrivals, whole run
    int64_t duplicados = 0;
    int64_t propiosDevueltos = 0;
    int64_t ajenos = 0;  // records of another client
};

struct Config {
    std::vector<Servidor> servidores;
    int sitios = 1000;
    int porCliente = 5;
    int pasadaMs = 3200;
    int duracionS = 30;
    int drenarS = 60;
    int registrosPorPasada = 1;
    int loteMaximo = 0;  // 0: every pending row in one setData
    int hilos = 64;
};

class Carga {
  public:
    explicit Carga(const Config& config) : config_(config) {
        std::mt19937 azar(12345);
        sitios_.resize(static_cast<size_t>(config.sitios));
        inicio_ = Reloj::now();
        for (int i = 0; i < config.sitios; ++i) {
            Sitio& s = sitios_[static_cast<size_t>(i)];
            s.indice = i;
            s.cliente = i / config.porCliente;
            char codigo[32];
            std::snprintf(codigo, sizeof codigo, "9%05d%03d", s.cliente, i % config.porCliente);
            s.codigo = codigo;
            s.servidor = &config.servidores[static_cast<size_t>(i) % config.servidores.size()];
            // Each site starts at its own moment of the first pass.
            s.proxima = inicio_ + milliseconds(azar() % static_cast<unsigned>(config.pasadaMs));
        }
        finPublicacion_ = inicio_ + std::chrono::seconds(config.duracionS);
    }

    void correr() {
        std::vector<std::thread> hilos;
        for (int h = 0; h < config_.hilos; ++h) hilos.emplace_back([this, h] { trabajar(h); });
        for (auto& h : hilos) h.join();
    }

    void informe() {
        auto percentil = [](std::vector<float>& v, double p) -> double {
            if (v.empty()) return 0;
            size_t i =
                std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
            std::nth_element(v.begin(), v.begin() + static_cast<long>(i), v.end());
            return v[i];
        };
        Medidas& m = total_;
        double segundos = config_.duracionS;
        int64_t esperadas = publicados_ * (config_.porCliente - 1);
        int64_t perdidos = esperadas - m.entregadosTotal;
        double maxLatencia =
            m.latencias.empty() ? 0 : *std::max_element(m.latencias.begin(), m.latencias.end());
        std::printf("forma: %d sitios en clientes de %d, %zu servidor(es), pasada %d ms, %d s\n",
                    config_.sitios, config_.porCliente, config_.servidores.size(), config_.pasadaMs,
                    config_.duracionS);
        std::printf(
            "peticiones: %lld (%.1f/s), errores %lld\n", static_cast<long long>(m.peticiones),
            static_cast<double>(m.peticiones) / segundos, static_cast<long long>(m.errores));
        std::printf("latencia ms: p50 %.1f, p99 %.1f, max %.1f\n", percentil(m.latencias, 0.5),
                    percentil(m.latencias, 0.99), maxLatencia);
        std::printf("retraso de las peticiones ms: p99 %.1f\n", percentil(m.retrasos, 0.99));
        std::printf("registros publicados %lld, entregas esperadas %lld, entregados %.1f/s\n",
                    static_cast<long long>(publicados_), static_cast<long long>(esperadas),
                    static_cast<double>(m.entregados) / segundos);
        std::printf("demora de entrega ms: p50 %.0f, p99 %.0f; ", percentil(m.demoras, 0.5),
                    percentil(m.demoras, 0.99));
        if (vaciado_ < 0)
            std::printf("sin vaciar tras %d s\n", config_.drenarS);
        else
            std::printf("vaciado %.1f s despues\n", vaciado_);
        std::printf(
            "perdidos %lld, duplicados %lld, devueltos al autor %lld, de otro cliente %lld\n",
            static_cast<long long>(perdidos), static_cast<long long>(m.duplicados),
            static_cast<long long>(m.propiosDevueltos), static_cast<long long>(m.ajenos));
        bool alDia = percentil(m.retrasos, 0.99) < config_.pasadaMs / 2.0 && perdidos == 0 &&
                     vaciado_ >= 0 && vaciado_ < 3.0 * config_.pasadaMs / 1000.0 + 2;
        std::printf("al dia: %s\n", alDia ? "si" : "no");
        correcto_ = perdidos == 0 && m.duplicados == 0 && m.propiosDevueltos == 0 && m.ajenos == 0;
    }
    bool correcto() const { return correcto_; }

  private:
    // A thread plays the sites whose index is h modulo the threads, each
    // request when it falls due.
    void trabajar(int h) {
        Medidas m;
        auto posterior = [](const Sitio* a, const Sitio* b) { return a->proxima > b->proxima; };
        std::priority_queue<Sitio*, std::vector<Sitio*>, decltype(posterior)> cola(posterior);
        for (size_t i = static_cast<size_t>(h); i < sitios_.size();
             i += static_cast<size_t>(config_.hilos))
            cola.push(&sitios_[i]);
        const auto finDrenado = finPublicacion_ + std::chrono::seconds(config_.drenarS);
        while (!cola.empty()) {
            Sitio* s = cola.top();
            cola.pop();
            if (s->proxima >= finDrenado) continue;
            if (s->proxima >= finPublicacion_ && terminado()) continue;
            std::this_thread::sleep_until(s->proxima);
            auto comienzo = Reloj::now();
            bool publicando = comienzo < finPublicacion_;
            bool bien = s->tocaGetData ? getData(*s, m, publicando) : setData(*s, publicando);
            float latencia = static_cast<float>(msDesde(comienzo));
            if (publicando) {
                ++m.peticiones;
                m.latencias.push_back(latencia);
                m.retrasos.push_back(static_cast<float>(msDesde(s->proxima, comienzo)));
            }
            if (!bien) ++m.errores;
            // The next step half a pass after this one was due, or right
            // away when this one ran late (the site's cycle waits too).
            s->proxima = std::max(s->proxima + milliseconds(config_.pasadaMs / 2), Reloj::now());
            s->tocaGetData = !s->tocaGetData;
            cola.push(s);
        }
        std::lock_guard<std::mutex> guarda(cerrojo_);
        total_.latencias.insert(total_.latencias.end(), m.latencias.begin(), m.latencias.end());
        total_.retrasos.insert(total_.retrasos.end(), m.retrasos.begin(), m.retrasos.end());
        total_.demoras.insert(total_.demoras.end(), m.demoras.begin(), m.demoras.end());
        total_.peticiones += m.peticiones;
        total_.errores += m.errores;
        total_.entregados += m.entregados;
        total_.entregadosTotal += m.entregadosTotal;
        total_.duplicados += m.duplicados;
        total_.propiosDevueltos += m.propiosDevueltos;
        total_.ajenos += m.ajenos;
    }

    // Whether every record posted has reached every sibling; notes when.
    bool terminado() {
        if (entregas_.load() < publicados_.load() * (config_.porCliente - 1)) return false;
        std::lock_guard<std::mutex> guarda(cerrojo_);
        if (vaciado_ < 0) vaciado_ = msDesde(finPublicacion_) / 1000.0;
        return true;
    }

    std::string pedir(const Sitio& s, const std::string& servicio, const std::string* dato) {
        http::clsHTTP p;
        p.metodo("POST");
        p.host(s.servidor->host);
        p.URI("/sincronizador/");
        p.addParam("r", servicio, "POST");
        p.addParam("idSyA", s.codigo, "POST");
        if (dato) p.addParam("dato", *dato, "POST");
        std::string respuesta = intercambiar(*s.servidor, p.generarPeticion());
        if (respuesta.empty()) return {};
        p.convertirRespuesta(respuesta);
        if (p.getResponseCode() != 200) return {};
        return p.getBodyData("dato");
    }

    bool getData(Sitio& s, Medidas& m, bool publicando) {
        std::string dato = pedir(s, "servicio/getData", nullptr);
        rapidjson::Document doc;
        if (dato.empty() || doc.Parse(dato.c_str()).HasParseError() || !doc.IsArray()) return false;
        int64_t ahoraMs = static_cast<int64_t>(msDesde(inicio_));
        for (const auto& r : doc.GetArray()) {
            if (!r.IsObject() || !r.HasMember("id") || !r.HasMember("Campo1")) return false;
            std::string id = r["id"].GetString();
            int origen = 0;
            long long secuencia = 0, creado = 0;
            if (std::sscanf(r["Campo1"].GetString(), "%d:%lld:%lld", &origen, &secuencia,
                            &creado) != 3)
                return false;
            if (origen == s.indice) ++m.propiosDevueltos;
            if (origen / config_.porCliente != s.cliente) ++m.ajenos;
            uint64_t clave =
                (static_cast<uint64_t>(origen) << 32) | static_cast<uint64_t>(secuencia);
            auto [it, nuevo] = s.recibidos.emplace(clave, id);
            if (nuevo) {
                ++m.entregadosTotal;
                ++entregas_;
                if (publicando) ++m.entregados;
                m.demoras.push_back(static_cast<float>(ahoraMs - creado));
            } else if (it->second != id) {
                ++m.duplicados;
                continue;
            }
            // Acknowledged (again, when it came again) with the next row.
            bool pendiente = false;
            for (const auto& a : s.acuses) pendiente = pendiente || a.second == id;
            if (!pendiente) s.acuses.emplace_back(s.siguienteFila++, id);
        }
        return true;
    }

    bool setData(Sitio& s, bool publicando) {
        if (publicando) {
            for (int i = 0; i < config_.registrosPorPasada; ++i) {
                int64_t secuencia = s.siguienteSecuencia++;
                int64_t fila = s.siguienteFila++;
                std::string campo1 = std::to_string(s.indice) + ":" + std::to_string(secuencia) +
                                     ":" + std::to_string(static_cast<int64_t>(msDesde(inicio_)));
                s.propios.push_back({fila, registroJSON(fila, "2", s.codigo, campo1, "texto")});
                ++publicados_;
            }
        }
        // The queue as the site sends it: acknowledgements (service 0)
        // first, then its own records, at most loteMaximo rows.
        std::string lote = "[";
        size_t filas = 0;
        auto agregar = [&](const std::string& json) {
            if (config_.loteMaximo > 0 && filas >= static_cast<size_t>(config_.loteMaximo)) return;
            if (filas++ > 0) lote += ",\r\n";
            lote += json;
        };
        for (const auto& [fila, id] : s.acuses) agregar(registroJSON(fila, "0", s.codigo, id, ""));
        for (const auto& p : s.propios) agregar(p.json);
        if (filas == 0)
            lote = "null";
        else
            lote += "]";

        std::string dato = pedir(s, "servicio/setData", &lote);
        rapidjson::Document doc;
        if (dato.empty() || doc.Parse(dato.c_str()).HasParseError() || !doc.IsArray()) return false;
        std::vector<int64_t> marcadas;
        for (const auto& v : doc.GetArray())
            if (v.IsObject() && v.HasMember("valor"))
                marcadas.push_back(std::atoll(v["valor"].GetString()));
        std::sort(marcadas.begin(), marcadas.end());
        auto marcada = [&marcadas](int64_t fila) {
            return std::binary_search(marcadas.begin(), marcadas.end(), fila);
        };
        std::erase_if(s.acuses, [&](const auto& a) { return marcada(a.first); });
        std::erase_if(s.propios, [&](const Propio& p) { return marcada(p.fila); });
        return true;
    }

    Config config_;
    std::vector<Sitio> sitios_;
    Reloj::time_point inicio_;
    Reloj::time_point finPublicacion_;
    std::atomic<int64_t> publicados_{0};
    std::atomic<int64_t> entregas_{0};
    std::mutex cerrojo_;
    Medidas total_;
    double vaciado_ = -1;
    bool correcto_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Prueba de carga del servidor central"};
    Config config;
    std::vector<std::string> servidores;
    app.add_option("--servidor", servidores, "host:puerto (varios: los sitios se reparten)")
        ->required();
    app.add_option("--sitios", config.sitios, "Sitios")->check(CLI::Range(2, 200000));
    app.add_option("--por-cliente", config.porCliente, "Sitios por cliente")
        ->check(CLI::Range(2, 100000));
    app.add_option("--pasada-ms", config.pasadaMs, "Duracion de una pasada de cada sitio")
        ->check(CLI::Range(10, 600000));
    app.add_option("--duracion", config.duracionS, "Segundos publicando")
        ->check(CLI::Range(1, 3600));
    app.add_option("--drenar", config.drenarS, "Segundos como maximo para vaciar")
        ->check(CLI::Range(0, 3600));
    app.add_option("--registros", config.registrosPorPasada, "Registros por sitio y pasada")
        ->check(CLI::Range(0, 1000));
    app.add_option("--lote-maximo", config.loteMaximo, "Filas por setData (0: sin limite)")
        ->check(CLI::Range(0, 100000));
    app.add_option("--hilos", config.hilos, "Hilos del generador")->check(CLI::Range(1, 1024));
    CLI11_PARSE(app, argc, argv);
    for (const auto& texto : servidores) {
        size_t dos = texto.rfind(':');
        if (dos == std::string::npos) {
            std::fprintf(stderr, "--servidor %s: falta el puerto\n", texto.c_str());
            return 2;
        }
        config.servidores.push_back({texto.substr(0, dos), std::stoi(texto.substr(dos + 1))});
    }
    config.hilos = std::min(config.hilos, config.sitios);
    Carga carga(config);
    carga.correr();
    carga.informe();
    return carga.correcto() ? 0 : 1;
}
