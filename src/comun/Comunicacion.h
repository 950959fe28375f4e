// What every layer knows of a queued record, a row of COMUNICACIONES: the
// site, the server and the apply step read and write the same shape.
#pragma once

#include <cstddef>

namespace comun {

// The destination that addresses every site of the client and none alone.
inline constexpr char kDestinoGeneral[] = "000000000000000";

// The payload columns of a record: Campo1 to Campo40.
inline constexpr size_t kCamposCarga = 40;

}  // namespace comun
