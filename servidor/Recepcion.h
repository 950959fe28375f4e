// Where the server's connections wait for a worker, and how the workers are
// shared. A connection accepted costs no worker until it has sent
// something: a client that connects and stays silent, or sends a byte now
// and then, waits here, on one thread for all of them, and is closed when
// it is too slow. A connection whose whole request (or first TLS record)
// has arrived, as a site sends it, goes to a free worker first. The
// workers held by connections that move fewer bytes than a useful rate are
// bounded: a share of them is kept for the others, and a slow connection
// beyond the bound is cut. One peer address may hold only so many
// connections at once; more are answered 503 at once.
//
// The HTTP library hands each accepted socket to its task queue; this is
// that queue, with its own workers, which serve each connection through
// the function they are given and close it afterwards.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace servidor {

struct Limites;

class Recepcion : public httplib::TaskQueue {
  public:
    // servir: reads the request on the socket and answers it, without
    // closing it. anotar: one line of the server's log.
    Recepcion(const Limites& limites, bool tls, std::function<void(int)> servir,
              std::function<void(const std::string&)> anotar);
    ~Recepcion() override;
    Recepcion(const Recepcion&) = delete;
    Recepcion& operator=(const Recepcion&) = delete;

    // The library's accept loop calls enqueue with a task that calls back
    // into recibir() at once.
    void enqueue(std::function<void()> tarea) override { tarea(); }
    // Closes the waiting connections and waits for the workers.
    void shutdown() override;

    // A connection just accepted (called on the accept thread).
    void recibir(int sock);

    // What the worker serving a connection reports of it.
    static void leidos(size_t bytes);
    static void escritos(size_t bytes);
    // The request is read and being answered: no peer's fault if no byte
    // moves now.
    static void procesando();

    // One connection from its accept to its close.
    struct Turno;

  private:
    using Reloj = std::chrono::steady_clock;

    void despachar();
    void trabajar();
    void examinar(Turno& t);
    void juzgar(Reloj::time_point ahora);
    void vencer(Reloj::time_point ahora);
    size_t repartir();  // how many it handed out
    void cerrar(Turno& t);
    void despertar();
    void contarRechazo(const std::string& motivo);
    void anotarRechazos(Reloj::time_point ahora);

    const Limites& limites_;
    const bool tls_;
    const size_t reserva_;  // workers kept for connections at a useful rate
    std::function<void(int)> servir_;
    std::function<void(const std::string&)> anotar_;

    std::mutex cerrojo_;
    std::condition_variable hayTrabajo_;
    std::list<std::unique_ptr<Turno>> esperando_;  // accepted, no worker yet
    std::list<std::unique_ptr<Turno>> atendidos_;  // held by a worker
    std::vector<Turno*> listos_;                   // handed out, not yet taken
    std::map<std::string, size_t> porDireccion_;
    std::map<std::string, size_t> rechazos_;  // since the last log line, by reason
    Reloj::time_point ultimoAviso_;
    bool parar_ = false;

    int epoll_ = -1;
    int aviso_ = -1;  // eventfd that wakes the dispatching thread
    std::thread despachador_;
    std::vector<std::thread> trabajadores_;
};

}  // namespace servidor
