#include "Recepcion.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "ServidorHTTP.h"

namespace servidor {

namespace {

using std::chrono::milliseconds;

// How long a connection keeps the judgement it was handed out with before
// its own rate decides: a site's bytes arrive at once, a slow line's within
// this time at any useful rate.
constexpr milliseconds kVentana{1000};
// What the peek looks at to tell whether a request head is whole.
constexpr size_t kVistazo = 16384;

const char kOcupado[] =
    "HTTP/1.0 503 Service Unavailable\r\nContent-Type: text/plain\r\nContent-Length: "
    "24\r\nConnection: close\r\n\r\nDemasiadas conexiones\r\n\r\n";

std::string direccionDe(int sock) {
    sockaddr_storage dir{};
    socklen_t largo = sizeof dir;
    if (getpeername(sock, reinterpret_cast<sockaddr*>(&dir), &largo) != 0) return {};
    char texto[INET6_ADDRSTRLEN] = {};
    if (dir.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&dir)->sin_addr, texto, sizeof texto);
    else if (dir.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&dir)->sin6_addr, texto, sizeof texto);
    return texto;
}

}  // namespace

struct Recepcion::Turno {
    int sock = -1;
    std::string direccion;
    Reloj::time_point aceptada;
    // Reported by the worker, read by the dispatching thread.
    std::atomic<uint64_t> leidos{0};
    std::atomic<uint64_t> escritos{0};
    std::atomic<bool> procesando{false};
    std::atomic<uint64_t> escritosAntes{0};  // written before the answer (a TLS handshake)
    // The rest only under the lock.
    std::list<std::unique_ptr<Turno>>::iterator posicion;
    bool enEspera = true;
    size_t visto = 0;              // bytes waiting when it was last looked at
    Reloj::time_point ultimoByte;  // when `visto` last grew
    // Its whole request has arrived (or its first TLS record, or more than
    // the peek sees); or at least its request head.
    bool completa = false;
    bool cabecera = false;
    bool lento = false;  // below the useful rate, as last judged
    bool cortado = false;
    Reloj::time_point entregada;    // handed to a worker
    Reloj::time_point escribiendo;  // first byte of the answer written
};

namespace {
// The connection this worker serves.
thread_local Recepcion::Turno* turnoActual = nullptr;
}  // namespace

void Recepcion::leidos(size_t bytes) {
    if (turnoActual) turnoActual->leidos += bytes;
}
void Recepcion::escritos(size_t bytes) {
    if (turnoActual) turnoActual->escritos += bytes;
}
void Recepcion::procesando() {
    if (!turnoActual) return;
    turnoActual->escritosAntes = turnoActual->escritos.load();
    turnoActual->procesando = true;
}

Recepcion::Recepcion(const Limites& limites, bool tls, std::function<void(int)> servir,
                     std::function<void(const std::string&)> anotar)
    : limites_(limites),
      tls_(tls),
      reserva_(std::clamp<size_t>(limites.reservaUtiles ? limites.reservaUtiles : limites.hilos / 4,
                                  1, std::max<size_t>(limites.hilos, 1))),
      servir_(std::move(servir)),
      anotar_(std::move(anotar)),
      ultimoAviso_(Reloj::now()) {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    aviso_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.ptr = nullptr;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, aviso_, &e);
    for (size_t i = 0; i < std::max<size_t>(limites.hilos, 1); ++i)
        trabajadores_.emplace_back([this] { trabajar(); });
    despachador_ = std::thread([this] { despachar(); });
}

Recepcion::~Recepcion() {
    shutdown();
    if (epoll_ >= 0) ::close(epoll_);
    if (aviso_ >= 0) ::close(aviso_);
}

void Recepcion::shutdown() {
    {
        std::lock_guard<std::mutex> guarda(cerrojo_);
        if (parar_) return;
        parar_ = true;
        while (!esperando_.empty()) cerrar(*esperando_.front());
    }
    despertar();
    hayTrabajo_.notify_all();
    if (despachador_.joinable()) despachador_.join();
    for (auto& t : trabajadores_)
        if (t.joinable()) t.join();
}

void Recepcion::despertar() {
    const uint64_t uno = 1;
    [[maybe_unused]] ssize_t n = ::write(aviso_, &uno, sizeof uno);
}

void Recepcion::recibir(int sock) {
    auto turno = std::make_unique<Turno>();
    turno->sock = sock;
    turno->direccion = direccionDe(sock);
    turno->aceptada = turno->ultimoByte = Reloj::now();
    std::lock_guard<std::mutex> guarda(cerrojo_);
    size_t& deLaDireccion = porDireccion_[turno->direccion];
    const bool demasiadas =
        limites_.conexionesPorDireccion > 0 && deLaDireccion >= limites_.conexionesPorDireccion;
    if (parar_ || demasiadas) {
        // The answer fits the socket's buffer; nothing waits for the peer.
        [[maybe_unused]] ssize_t n =
            send(sock, kOcupado, sizeof kOcupado - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(sock);
        if (deLaDireccion == 0) porDireccion_.erase(turno->direccion);
        if (demasiadas)
            contarRechazo("mas de " + std::to_string(limites_.conexionesPorDireccion) +
                          " conexiones de una direccion");
        return;
    }
    ++deLaDireccion;
    epoll_event e{};
    e.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
    e.data.ptr = turno.get();
    Turno& t = *turno;
    esperando_.push_back(std::move(turno));
    t.posicion = std::prev(esperando_.end());
    // Bytes that came with the connection are reported by the first wait.
    epoll_ctl(epoll_, EPOLL_CTL_ADD, sock, &e);
}

// Closes a connection that has no worker, or whose worker is done with it.
void Recepcion::cerrar(Turno& turno) {
    if (turno.enEspera) epoll_ctl(epoll_, EPOLL_CTL_DEL, turno.sock, nullptr);
    ::close(turno.sock);
    auto d = porDireccion_.find(turno.direccion);
    if (d != porDireccion_.end() && --d->second == 0) porDireccion_.erase(d);
    (turno.enEspera ? esperando_ : atendidos_).erase(turno.posicion);
}

// Looks at what a waiting connection has sent so far, without taking it.
void Recepcion::examinar(Turno& t) {
    char vistazo[kVistazo];
    const ssize_t n = recv(t.sock, vistazo, sizeof vistazo, MSG_PEEK | MSG_DONTWAIT);
    if (n <= 0) return;
    const size_t largo = static_cast<size_t>(n);
    if (largo > t.visto) t.ultimoByte = Reloj::now();
    t.visto = largo;
    if (tls_) {
        // A TLS handshake record: type 22, version, a 16-bit length.
        const auto byte = [&](size_t i) {
            return static_cast<size_t>(static_cast<unsigned char>(vistazo[i]));
        };
        t.completa = t.cabecera =
            largo >= 5 && byte(0) == 22 && largo >= 5 + (byte(3) << 8 | byte(4));
        return;
    }
    const std::string_view texto(vistazo, largo);
    const size_t fin = texto.find("\r\n\r\n");
    t.cabecera = fin != std::string_view::npos;
    t.completa = largo == sizeof vistazo;
    if (!t.cabecera || t.completa) return;
    // The body is whole when as many bytes as Content-Length says follow
    // the head (or when it says none).
    std::string cabecera(texto.substr(0, fin + 2));
    std::transform(cabecera.begin(), cabecera.end(), cabecera.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const size_t campo = cabecera.find("\r\ncontent-length:");
    size_t cuerpo = 0;
    if (campo != std::string::npos) {
        for (size_t i = cabecera.find_first_not_of(' ', campo + 17);
             i < cabecera.size() && cabecera[i] >= '0' && cabecera[i] <= '9' && cuerpo < kVistazo;
             ++i)
            cuerpo = cuerpo * 10 + static_cast<size_t>(cabecera[i] - '0');
    }
    t.completa = largo >= fin + 4 + cuerpo;
}

void Recepcion::despachar() {
    epoll_event eventos[256];
    while (true) {
        const int n = epoll_wait(epoll_, eventos, 256, 50);
        std::vector<std::string> lineas;
        size_t entregadas = 0;
        {
            std::lock_guard<std::mutex> guarda(cerrojo_);
            if (parar_) {
                for (const auto& [motivo, cuantas] : rechazos_)
                    anotar_("rechazado: " + std::to_string(cuantas) + " conexiones, " + motivo);
                return;
            }
            for (int i = 0; i < n; ++i) {
                if (!eventos[i].data.ptr) {
                    uint64_t valor;
                    [[maybe_unused]] ssize_t r = ::read(aviso_, &valor, sizeof valor);
                    continue;
                }
                // Only waiting connections are watched, and each is
                // unwatched before it is handed out or closed.
                Turno* t = static_cast<Turno*>(eventos[i].data.ptr);
                examinar(*t);
                // A peer that closed or broke before anything reached a
                // worker: nobody to answer.
                if ((eventos[i].events & (EPOLLHUP | EPOLLERR)) ||
                    ((eventos[i].events & EPOLLRDHUP) && t->visto == 0))
                    cerrar(*t);
            }
            const auto ahora = Reloj::now();
            juzgar(ahora);
            vencer(ahora);
            entregadas = repartir();
            if (ahora - ultimoAviso_ >= std::chrono::seconds(1)) {
                for (const auto& [motivo, cuantas] : rechazos_)
                    lineas.push_back("rechazado: " + std::to_string(cuantas) + " conexiones, " +
                                     motivo);
                rechazos_.clear();
                ultimoAviso_ = ahora;
            }
        }
        for (size_t i = 0; i < entregadas; ++i) hayTrabajo_.notify_one();
        for (const auto& linea : lineas) anotar_(linea);
    }
}

void Recepcion::contarRechazo(const std::string& motivo) {
    ++rechazos_[motivo];
}

// Re-judges the connections held by workers, and cuts the slow ones beyond
// the share they may hold.
void Recepcion::juzgar(Reloj::time_point ahora) {
    const double util = static_cast<double>(std::max<size_t>(limites_.ritmoUtil, 1));
    std::vector<std::pair<double, Turno*>> lentos;
    for (auto& p : atendidos_) {
        Turno& t = *p;
        if (t.cortado) continue;
        double segundos, bytes;
        if (t.procesando) {
            // Answering: no byte is the server's doing until the answer
            // starts, then the peer must take it at a useful rate.
            const uint64_t respuesta = t.escritos - t.escritosAntes;
            if (respuesta == 0) {
                t.lento = false;
                continue;
            }
            if (t.escribiendo == Reloj::time_point{}) t.escribiendo = ahora;
            segundos = std::chrono::duration<double>(ahora - t.escribiendo).count();
            bytes = static_cast<double>(respuesta);
        } else {
            segundos = std::chrono::duration<double>(ahora - t.entregada).count();
            bytes = static_cast<double>(t.leidos);
        }
        if (segundos * 1000 >= static_cast<double>(kVentana.count()))
            t.lento = bytes < util * segundos;
        if (t.lento) lentos.emplace_back(bytes / std::max(segundos, 0.001), &t);
    }
    const size_t cupo = std::max<size_t>(limites_.hilos, 1) - reserva_;
    if (lentos.size() <= cupo) return;
    std::sort(lentos.begin(), lentos.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < lentos.size() - cupo; ++i) {
        // The worker sees its peer gone and ends the connection.
        ::shutdown(lentos[i].second->sock, SHUT_RDWR);
        lentos[i].second->cortado = true;
        contarRechazo("lentas, con los hilos para lentas ocupados");
    }
}

// Closes the waiting connections that have been too slow to earn a worker.
void Recepcion::vencer(Reloj::time_point ahora) {
    for (auto it = esperando_.begin(); it != esperando_.end();) {
        Turno& t = **it;
        auto siguiente = std::next(it);
        // One whose request has arrived waits for a worker as long as it
        // must.
        const bool callada = !t.completa && ahora - t.ultimoByte > limites_.espera;
        const bool tarde = !t.completa && ahora - t.aceptada > limites_.gracia;
        if (callada || tarde) {
            cerrar(t);
            contarRechazo("sin peticion a tiempo");
        }
        it = siguiente;
    }
}

// Hands waiting connections to the free workers: those whose request has
// arrived first; the others, whose speed is still to be seen, only within
// the share of the slow, those with a whole head first.
size_t Recepcion::repartir() {
    const size_t hilos = std::max<size_t>(limites_.hilos, 1);
    size_t lentos = 0, entregadas = 0;
    for (const auto& t : atendidos_) lentos += (t->lento && !t->cortado) ? 1 : 0;
    auto entregar = [&](std::list<std::unique_ptr<Turno>>::iterator it, bool lento) {
        Turno& t = **it;
        epoll_ctl(epoll_, EPOLL_CTL_DEL, t.sock, nullptr);
        t.lento = lento;
        t.enEspera = false;
        t.entregada = Reloj::now();
        listos_.push_back(&t);
        atendidos_.splice(atendidos_.end(), esperando_, it);
        lentos += lento ? 1 : 0;
        ++entregadas;
    };
    for (auto it = esperando_.begin(); it != esperando_.end() && atendidos_.size() < hilos;) {
        auto siguiente = std::next(it);
        if ((*it)->completa) entregar(it, false);
        it = siguiente;
    }
    for (bool conCabecera : {true, false}) {
        for (auto it = esperando_.begin();
             it != esperando_.end() && atendidos_.size() < hilos && lentos < hilos - reserva_;) {
            auto siguiente = std::next(it);
            if ((*it)->visto > 0 && (*it)->cabecera == conCabecera) entregar(it, true);
            it = siguiente;
        }
    }
    return entregadas;
}

void Recepcion::trabajar() {
    while (true) {
        Turno* t = nullptr;
        {
            std::unique_lock<std::mutex> guarda(cerrojo_);
            hayTrabajo_.wait(guarda, [this] { return parar_ || !listos_.empty(); });
            if (listos_.empty()) return;
            t = listos_.front();
            listos_.erase(listos_.begin());
        }
        turnoActual = t;
        servir_(t->sock);
        turnoActual = nullptr;
        bool hayQuienEspere;
        {
            std::lock_guard<std::mutex> guarda(cerrojo_);
            cerrar(*t);
            hayQuienEspere = !esperando_.empty();
        }
        // A worker is free for whoever waits.
        if (hayQuienEspere) despertar();
    }
}

}  // namespace servidor
