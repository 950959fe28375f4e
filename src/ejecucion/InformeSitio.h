// The site's state report: for an administrator (text) or a monitoring
// system (JSON, with whether the site is in step against a limit), and the
// one-line summary the window's status line and tray tooltip show.
#pragma once

#include <optional>
#include <string>

#include "comun/Funciones.h"
#include "datos/Estado.h"

namespace ejecucion {

// A span of minutes as people read it: "45 min", "2 h 5 min", "3 d 4 h".
std::string lapso(long minutos);

// Whole minutes from `desde` to `hasta`, never negative (a clock set back
// reads as 0).
long minutosEntre(const comun::Fecha& desde, const comun::Fecha& hasta);

// True when the site has exchanged with the server within `limiteMinutos`.
// An exchange stamped in the future (the clock was moved back since) says
// nothing of how long ago the site was in step: out of step.
bool enPlazo(const datos::EstadoSitio& estado, const comun::Fecha& ahora, long limiteMinutos);

// The report, one "label: value" line each; with a limit, a last line says
// whether the site is in step.
std::string informeSitio(const datos::EstadoSitio& estado, const std::string& base,
                         const comun::Fecha& ahora, std::optional<long> limiteMinutos);
// The same as one JSON object.
std::string informeSitioJson(const datos::EstadoSitio& estado, const std::string& base,
                             const comun::Fecha& ahora, std::optional<long> limiteMinutos);
// One line for the window's status line and the tray tooltip, in the
// window's language: "Servidor: hace 3 min | Por enviar: 12 (la mas antigua
// hace 45 min) | Por aplicar: 0", then "| Fallidos: n", "| En cuarentena:
// n" and "| Pedidos no aplicados: n" when there are any.
std::string resumenSitio(const datos::EstadoSitio& estado, const comun::Fecha& ahora);

}  // namespace ejecucion
