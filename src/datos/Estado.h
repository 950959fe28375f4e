// The synchronizer's state as an administrator or a monitoring system reads
// it: the last successful exchange with each peer (recorded by the engine
// in ESTADO_SINCRONIZADOR) and the queue's counts and ages.
#pragma once

#include <optional>
#include <string>

#include "comun/Variant.h"

namespace datos {

class DAO_Conexion;

// The peers whose exchanges are recorded.
inline constexpr const char* kInterlocutorServidor = "servidor";
inline constexpr const char* kInterlocutorQuiralte = "socio";

// Records `cuando` as the last successful exchange with `interlocutor`.
// Opens and closes the connection itself.
void registrarIntercambio(DAO_Conexion& conexion, const std::string& interlocutor,
                          const comun::Fecha& cuando);

struct EstadoSitio {
    std::string sitio;
    std::optional<comun::Fecha> ultimoServidor;
    std::optional<comun::Fecha> ultimoQuiralte;
    // Outbound records not yet acknowledged by the server, and when the
    // oldest of them was queued (none when unknown or nothing waits).
    long pendientesEnvio = 0;
    std::optional<comun::Fecha> encoladoMasAntiguo;
    // Inbound records of this site not yet applied: waiting for their first
    // attempt or their next one, and among them those whose last attempt
    // failed (FALLOS_APLICACION).
    long pendientesAplicar = 0;
    long fallidos = 0;
    // Inbound records set aside because they could not be stored
    // (CUARENTENA).
    long cuarentena = 0;
    // Order actions that changed nothing, kept in PEDIDOS_NO_APLICADOS.
    long pedidosNoAplicados = 0;
    // Outbound records no batch can carry, set aside (APARTADOS_ENVIO).
    long apartadosEnvio = 0;
};

// Reads the state of the site database. Changes nothing: a database made
// before the state tables existed reads as never having exchanged. Opens
// and closes the connection itself; a database that cannot be read throws
// ErrorBD.
EstadoSitio leerEstadoSitio(DAO_Conexion& conexion);

}  // namespace datos
