// `sincronizador ejecutar FILE SQL`: runs one statement of the Access
// dialect on a site database through the data layer, for administrators,
// demos and end-to-end tests.
#pragma once

#include <ostream>
#include <string>

namespace programa {

// A SELECT prints each row on one line, values separated by "|" (for
// scripts and pipes), or with `tabla` (for a person at a terminal) under a
// header row of the column names, in aligned columns, followed by the
// number of rows. Any other statement prints the number of rows it
// affected. Returns the exit code; an error is printed to `errores`.
int ejecutarSql(const std::string& archivo, const std::string& sql, std::ostream& salida,
                std::ostream& errores, bool tabla = false);

// `sincronizador cuarentena FILE`: the inbound records set aside because
// they could not be stored, oldest first, one per line as
// Id|Fecha|IdServidor|Motivo|Texto. A database made before such records
// were kept has none. Returns the exit code.
int listarCuarentena(const std::string& archivo, std::ostream& salida, std::ostream& errores);

// `sincronizador pedidos-no-aplicados FILE`: the remote order actions that
// changed nothing at the site (an unknown product, a telephone nobody has,
// ...), marked applied and kept with why, oldest first, one per line as
// Id|Fecha|IdComunicacion|IdServidor|Origen|Motivo|Texto. Returns the exit
// code.
int listarPedidosNoAplicados(const std::string& archivo, std::ostream& salida,
                             std::ostream& errores);

}  // namespace programa
