// `sincronizador estado`: the site's state report for an administrator or a
// monitoring system, with an exit code against a limit.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "comun/Funciones.h"

namespace programa {

// Exit codes of `estado`.
inline constexpr int kEstadoEnPlazo = 0;
// The last exchange with the server is older than the limit, or there was
// none.
inline constexpr int kEstadoFueraDePlazo = 1;
// The configuration file or the database could not be read.
inline constexpr int kEstadoIlegible = 2;

// Reads the state of the site whose configuration file is `acceso` and
// writes the report (text, or one JSON object) to `salida`; returns one of
// the exit codes above.
int informarSitio(const std::string& acceso, bool json, std::optional<long> limiteMinutos,
                  std::ostream& salida, std::ostream& errores, const comun::Reloj& reloj);

}  // namespace programa
