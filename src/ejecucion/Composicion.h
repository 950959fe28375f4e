// The engine composed with its ports over a real site: the one place where
// the site's connection, the database port, the apply step and the clock
// are wired to the engine. Every runtime calls it with the ports of its own
// face (console, tray, the apply step's log) and its own socket.
#pragma once

#include <memory>

#include "comun/Bitacora.h"
#include "comun/Funciones.h"
#include "ejecucion/Opciones.h"
#include "sincronizador/Puertos.h"

namespace datos {
class DAO_Conexion;
}
namespace sincronizador {
class Motor;
}

namespace ejecucion {

// What a face gives the engine. They must outlive the engine.
struct PuertosCara {
    sincronizador::Consola& consola;
    sincronizador::Bandeja& bandeja;
    // What the apply step reports, and its debug lines.
    comun::Bitacora& bitacora;
};

// The engine and what it runs on; destroyed in the reverse order of
// construction, the engine first.
struct MotorDelSitio {
    MotorDelSitio();
    ~MotorDelSitio();
    std::unique_ptr<comun::Reloj> reloj;
    std::unique_ptr<datos::DAO_Conexion> conexion;
    std::unique_ptr<sincronizador::BaseDatos> base;
    std::unique_ptr<sincronizador::PasoLocal> pasoLocal;
    // The engine's own log repeats its console lines with a time stamp; the
    // faces show the console itself, so that copy is dropped.
    comun::BitacoraNula bitacoraMotor;
    std::unique_ptr<sincronizador::Motor> motor;
};

std::unique_ptr<MotorDelSitio> componerMotor(const OpcionesEjecucion& opciones,
                                             const PuertosCara& puertos,
                                             sincronizador::Socket& socket);

}  // namespace ejecucion
