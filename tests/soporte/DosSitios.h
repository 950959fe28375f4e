// Two sites and the reference server in one process: two engines, each on a
// real site database with the real apply step, and the server's core (its
// protocol logic on a scratch SQLite store) behind a socket that hands every
// request to the server's handler. Tests drive both engines tick by tick and
// compare both sites' tables in one assertion, so a whole A -> server -> B
// flow runs in milliseconds, with no process and no port.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "aplicacion/Aplicador.h"
#include "comun/Bitacora.h"
#include "datos/DAO_Conexion.h"
#include "sincronizador/BaseDatosDAO.h"
#include "sincronizador/Motor.h"
#include "sincronizador/PasoLocalAplicador.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/CentralEnProceso.h"
#include "soporte/EntornoAplicacion.h"
#include "soporte/Falla.h"
#include "soporte/Falsos.h"

namespace prueba {

using Filas = std::vector<std::vector<std::string>>;

// A socket whose peer is a CentralEnProceso. What a real socket reports
// from the event loop is queued here and handed to the engine by
// `entregar`: connecting succeeds, the request goes to the server, and the
// answer arrives and the peer closes. Closing the socket drops the events
// of that connection still queued. It plays the failures Rechaza,
// NuncaResponde and CierraAMitad (the server's answer cut in half).
class SocketEnProceso : public sincronizador::Socket {
  public:
    explicit SocketEnProceso(CentralEnProceso& central) : central_(central) {}
    void motor(sincronizador::Motor* motor) { motor_ = motor; }

    void cerrar() noexcept override;
    void conectar(const std::string& host, uint16_t puerto) override;
    void enviar(const std::string& bytes) override;
    int estado() const noexcept override { return abierto_ ? 7 : 0; }

    // Delivers the queued events to the engine, those they cause included.
    void entregar();

    // How the next exchanges fail (Ninguna: they do not).
    void fallar(Falla falla);
    // Rewrites the server's answer before it is delivered (a status 500, a
    // body the server would never send).
    std::function<std::string(const std::string&)> alterarRespuesta;
    // Every request sent, as it went on the wire.
    std::vector<std::string> peticiones;

  private:
    void encolar(std::function<void(sincronizador::Motor&)> evento);

    CentralEnProceso& central_;
    sincronizador::Motor* motor_ = nullptr;
    Falla falla_ = Falla::Ninguna;
    // Each connection has its number; events of an earlier one are dropped.
    uint64_t conexion_ = 0;
    bool abierto_ = false;
    std::deque<std::pair<uint64_t, std::function<void(sincronizador::Motor&)>>> eventos_;
};

// One site: its database, the engine with its real database port and apply
// step, fakes of the console and the tray, and a fixed clock.
class SitioEnProceso {
  public:
    SitioEnProceso(CentralEnProceso& central, const std::string& sucursal,
                   const std::string& cliente = "900100");

    const std::string& codigo() const { return codigo_; }
    // One timer tick and the socket events it brings.
    void tick();
    // Ticks until `n` more passes of the cycle are complete.
    void pasadas(int n);

    Filas consultar(const std::string& sql);
    // The single value of a query of one row and one column.
    std::string valor(const std::string& sql);
    void ejecutar(const std::string& sql);

    // What a point of sale writes for a new product: the row and its queued
    // record for the client's other sites.
    void escribirProducto(const std::string& codigo, const std::string& nombre);
    // What the support window writes for a chat message.
    void escribirMensaje(const std::string& texto);
    // What the central ordering channel posts through this site: an
    // order-action record (code 22) for `destino`, Campo1 onwards as given.
    void escribirPedido(const std::string& destino, const std::vector<std::string>& campos);

    BaseDePrueba base;
    datos::DAO_Conexion dao;
    comun::BitacoraMemoria bitacora;
    RelojFijo reloj;
    ConsolaFalsa consola;
    BandejaFalsa bandeja;
    SocketEnProceso socket;
    sincronizador::BaseDatosDAO puerto;
    sincronizador::PasoLocalAplicador pasoLocal;
    sincronizador::Motor motor;

  private:
    std::string codigo_;
};

// The rows of one query at both sites.
struct FilasDeAmbos {
    Filas a;
    Filas b;
    bool operator==(const FilasDeAmbos&) const = default;
};
void PrintTo(const FilasDeAmbos& filas, std::ostream* salida);

// Sites A (branch 001) and B (002) of one client and the server.
class DosSitios {
  public:
    DosSitios() = default;
    // Both sites' rows of `sql`, for one comparison.
    FilasDeAmbos filas(const std::string& sql) { return {a.consultar(sql), b.consultar(sql)}; }

    CentralEnProceso central;
    SitioEnProceso a{central, "001"};
    SitioEnProceso b{central, "002"};
};

}  // namespace prueba
