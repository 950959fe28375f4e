// What the operator reads of a store and does to it (`sincronizador-servidor
// estado`, `apartados`, `reenviar`): the queries, which the store runs
// through its connections, and the reports printed from what they read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Almacen.h"

namespace servidor {

class Reserva;

// Every site known or owed something, by client and site.
// With `historiaDesde`, the records waiting since before it are counted.
std::vector<EstadoSitio> leerEstado(Reserva& reserva, int64_t historiaDesde = 0);
// See Almacen::reenviar.
int64_t reenviarDesde(Reserva& reserva, const std::string& sitio, int64_t desde);
// See Almacen::apartados.
std::vector<ApartadoGuardado> leerApartados(Reserva& reserva, const std::string& sitio,
                                            int64_t maximo);

// The operator's table of `estado`: one line per site, by client, and a
// total; the client of a site that never made a request shows as "-". A
// site whose row ids went back gets a warning line with the command to run
// on the store `base`; one whose records wait since before the history
// (`historial` seconds, 0: none) a line that says how many and since when.
std::string informeEstado(const std::vector<EstadoSitio>& sitios, int64_t ahora,
                          const std::string& base = "BASE", int64_t historial = 0);

// The operator's list of records kept aside: one header line each (id,
// posting site, when, why) and the record as it came.
std::string informeApartados(const std::vector<ApartadoGuardado>& apartados);

// A history of `dias` days (fractions too), in whole seconds.
int64_t segundosDeDias(double dias);

// A moment as the operator reads and writes it, in local time:
// "2026-05-01 14:30:00"; "nunca" for 0.
std::string textoFecha(int64_t segundos);
// "YYYY-MM-DD", "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS" (a "T" may stand
// for the blank), in local time, as epoch s; nothing when it is not one.
std::optional<int64_t> leerFecha(const std::string& texto);

}  // namespace servidor
