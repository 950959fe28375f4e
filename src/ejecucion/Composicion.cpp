#include "ejecucion/Composicion.h"

#include "datos/DAO_Conexion.h"
#include "sincronizador/BaseDatosDAO.h"
#include "sincronizador/Motor.h"
#include "sincronizador/PasoLocalAplicador.h"

namespace ejecucion {

MotorDelSitio::MotorDelSitio() = default;

MotorDelSitio::~MotorDelSitio() {
    motor.reset();
    pasoLocal.reset();
    base.reset();
}

std::unique_ptr<MotorDelSitio> componerMotor(const OpcionesEjecucion& opciones,
                                             const PuertosCara& puertos,
                                             sincronizador::Socket& socket) {
    auto m = std::make_unique<MotorDelSitio>();
    m->reloj = std::make_unique<comun::RelojSistema>();
    m->conexion = std::make_unique<datos::DAO_Conexion>();
    m->conexion->bitacora(&puertos.bitacora);
    m->conexion->reloj(m->reloj.get());
    m->base = std::make_unique<sincronizador::BaseDatosDAO>(*m->conexion);
    m->pasoLocal = std::make_unique<sincronizador::PasoLocalAplicador>(*m->conexion,
                                                                       puertos.bitacora, *m->reloj);

    sincronizador::Configuracion configuracion;
    configuracion.hostServidor = opciones.hostServidor;
    configuracion.puertoServidor = opciones.puertoServidor;
    configuracion.hostQuiralte = opciones.hostQuiralte;
    configuracion.puertoQuiralte = opciones.puertoQuiralte;
    configuracion.intervaloMs = opciones.intervaloMs;
    m->motor = std::make_unique<sincronizador::Motor>(configuracion, *m->base, m->pasoLocal.get(),
                                                      puertos.consola, puertos.bandeja, socket,
                                                      *m->reloj, m->bitacoraMotor);
    return m;
}

}  // namespace ejecucion
