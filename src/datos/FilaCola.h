// A row of COMUNICACIONES read as the communication record it is. Internal
// to the data layer: the queue and the partner queries read rows this way.
#pragma once

#include <vector>

#include "datos/Recordset.h"
#include "protocolo/Comunicacion.h"

namespace datos {

// The positions in `rs` of the queue's columns: Id, Servicio, Tabla,
// Origen, Destino, Funcion, Enviado, Campo1 .. Campo40.
std::vector<size_t> posicionesCola(const Recordset& rs);
// The current row: every column its text, a NULL column without a value.
protocolo::Comunicacion leerFilaCola(const Recordset& rs, const std::vector<size_t>& posiciones);

}  // namespace datos
