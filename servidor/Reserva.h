// The store's connections and how its work runs on them: connections lent
// one at a time, each piece of work in a transaction of its own (run again
// after a conflict with a concurrent one), batches committed in groups
// where every commit waits for the disk, and a thread for the work that
// runs every couple of seconds.
#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <vector>

#include "ConexionSQL.h"

namespace servidor {

class Reserva {
  public:
    using Conectar = std::function<std::unique_ptr<ConexionSQL>()>;

    // Holds `conexiones` connections made by `conectar`, or as many as the
    // engine finds worth holding if fewer (Rasgos::conexiones). The first
    // is handed to `preparar` (to bring the layout up to date) and then
    // prepares every statement, before the others are made.
    Reserva(const Conectar& conectar, int conexiones,
            const std::function<void(ConexionSQL&)>& preparar);
    Reserva(const Reserva&) = delete;
    Reserva& operator=(const Reserva&) = delete;

    const Rasgos& rasgos() const { return rasgos_; }

    // Runs `trabajo` on a free connection, inside a transaction, and
    // commits it; returns what `trabajo` returned. A conflict with a
    // concurrent transaction rolls it back and runs it again (up to five
    // times in all); any other failure rolls it back and is thrown.
    template <typename Trabajo>
    std::invoke_result_t<Trabajo, ConexionSQL&> enTransaccion(Trabajo trabajo) {
        return conResultado(trabajo, [this](const Tarea& t) { correr(t); });
    }

    // The same, for work that is committed in groups where the engine's
    // commits each wait for the disk (Rasgos::confirmarEnGrupo): the work
    // of the callers that arrive while one group commits is gathered and
    // committed together, each inside a savepoint, so that a failing one
    // fails alone. Elsewhere the same as enTransaccion.
    template <typename Trabajo>
    std::invoke_result_t<Trabajo, ConexionSQL&> enGrupo(Trabajo trabajo) {
        return conResultado(trabajo, [this](const Tarea& t) { agrupar(t); });
    }

  private:
    using Tarea = std::function<void(ConexionSQL&)>;

    template <typename Trabajo, typename Correr>
    static std::invoke_result_t<Trabajo, ConexionSQL&> conResultado(Trabajo& trabajo,
                                                                    Correr correr) {
        using R = std::invoke_result_t<Trabajo, ConexionSQL&>;
        if constexpr (std::is_void_v<R>) {
            correr(Tarea([&](ConexionSQL& c) { trabajo(c); }));
        } else {
            std::optional<R> resultado;
            correr(Tarea([&](ConexionSQL& c) { resultado = trabajo(c); }));
            return std::move(*resultado);
        }
    }

    void correr(const Tarea& trabajo);
    void agrupar(const Tarea& trabajo);

    // One caller's work waiting for its group.
    struct Encargo {
        const Tarea* hacer = nullptr;
        std::exception_ptr error;
        bool hecho = false;
    };
    void correrGrupo(const std::vector<Encargo*>& grupo);

    std::unique_ptr<ConexionSQL> tomar();
    void devolver(std::unique_ptr<ConexionSQL> c);

    Rasgos rasgos_;
    std::mutex cerrojo_;
    std::condition_variable hayLibre_;
    std::vector<std::unique_ptr<ConexionSQL>> libres_;

    std::mutex cerrojoGrupo_;
    std::condition_variable grupoListo_;
    std::vector<Encargo*> pendientes_;
    bool hayLider_ = false;
};

// A thread that runs `tarea` every `cada` until it is stopped.
class Periodico {
  public:
    Periodico(std::chrono::milliseconds cada, std::function<void()> tarea);
    ~Periodico() { detener(); }
    Periodico(const Periodico&) = delete;
    Periodico& operator=(const Periodico&) = delete;
    // Waits for a run under way to end; none starts after it.
    void detener();

  private:
    std::mutex cerrojo_;
    std::condition_variable parar_;
    bool parado_ = false;
    std::thread hilo_;
};

}  // namespace servidor
