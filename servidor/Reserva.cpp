#include "Reserva.h"

#include <algorithm>

namespace servidor {

namespace {

constexpr int kIntentos = 5;

}  // namespace

Reserva::Reserva(const Conectar& conectar, int conexiones,
                 const std::function<void(ConexionSQL&)>& preparar) {
    auto primera = conectar();
    rasgos_ = primera->rasgos();
    preparar(*primera);
    primera->prepararTodas();
    libres_.push_back(std::move(primera));
    const int cuantas = std::clamp(conexiones, 1, std::max(rasgos_.conexiones, 1));
    for (int i = 1; i < cuantas; ++i) libres_.push_back(conectar());
}

std::unique_ptr<ConexionSQL> Reserva::tomar() {
    std::unique_lock<std::mutex> guarda(cerrojo_);
    hayLibre_.wait(guarda, [this] { return !libres_.empty(); });
    auto c = std::move(libres_.back());
    libres_.pop_back();
    return c;
}

void Reserva::devolver(std::unique_ptr<ConexionSQL> c) {
    {
        std::lock_guard<std::mutex> guarda(cerrojo_);
        libres_.push_back(std::move(c));
    }
    hayLibre_.notify_one();
}

void Reserva::correr(const Tarea& trabajo) {
    for (int intento = 1;; ++intento) {
        auto c = tomar();
        try {
            c->verificar();
            c->comenzar();
            trabajo(*c);
            c->confirmar();
            devolver(std::move(c));
            return;
        } catch (const ErrorBase& e) {
            c->deshacer();
            devolver(std::move(c));
            if (!e.reintentable() || intento >= kIntentos) throw;
        } catch (...) {
            c->deshacer();
            devolver(std::move(c));
            throw;
        }
    }
}

// The first waiting caller leads: it runs the group gathered so far and
// wakes the others when it is committed.
void Reserva::agrupar(const Tarea& trabajo) {
    if (!rasgos_.confirmarEnGrupo) return correr(trabajo);
    Encargo encargo;
    encargo.hacer = &trabajo;
    std::unique_lock<std::mutex> guarda(cerrojoGrupo_);
    pendientes_.push_back(&encargo);
    while (!encargo.hecho) {
        if (hayLider_) {
            grupoListo_.wait(guarda);
            continue;
        }
        hayLider_ = true;
        std::vector<Encargo*> grupo;
        grupo.swap(pendientes_);
        guarda.unlock();
        correrGrupo(grupo);
        guarda.lock();
        for (Encargo* e : grupo) e->hecho = true;
        hayLider_ = false;
        grupoListo_.notify_all();
    }
    if (encargo.error) std::rethrow_exception(encargo.error);
}

void Reserva::correrGrupo(const std::vector<Encargo*>& grupo) {
    try {
        correr([&](ConexionSQL& c) {
            for (Encargo* e : grupo) {
                e->error = nullptr;
                c.ejecutarGuion("SAVEPOINT encargo");
                try {
                    (*e->hacer)(c);
                } catch (...) {
                    e->error = std::current_exception();
                    c.ejecutarGuion("ROLLBACK TO encargo");
                }
                c.ejecutarGuion("RELEASE encargo");
            }
        });
    } catch (...) {
        for (Encargo* e : grupo)
            if (!e->error) e->error = std::current_exception();
    }
}

Periodico::Periodico(std::chrono::milliseconds cada, std::function<void()> tarea) {
    hilo_ = std::thread([this, cada, tarea = std::move(tarea)] {
        std::unique_lock<std::mutex> guarda(cerrojo_);
        while (!parado_) {
            parar_.wait_for(guarda, cada);
            if (parado_) break;
            guarda.unlock();
            tarea();
            guarda.lock();
        }
    });
}

void Periodico::detener() {
    {
        std::lock_guard<std::mutex> guarda(cerrojo_);
        parado_ = true;
    }
    parar_.notify_one();
    if (hilo_.joinable()) hilo_.join();
}

}  // namespace servidor
