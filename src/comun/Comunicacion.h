// What every layer knows of a queued record, a row of COMUNICACIONES: the
// site, the server and the apply step read and write the same shape.
#pragma once

#include <cstddef>

namespace comun {

// The destination that addresses every site of the client and none alone.
inline constexpr char kDestinoGeneral[] = "000000000000000";

// The payload columns of a record: Campo1 to Campo40.
inline constexpr size_t kCamposCarga = 40;

// The largest message either peer takes: the body of a request at the
// server, a whole answer at the site.
inline constexpr size_t kMensajeMaximo = size_t{64} * 1024 * 1024;
// Room in a message for what surrounds its records: the request line and
// headers, the other parameters, the list's brackets.
inline constexpr size_t kMargenMensaje = size_t{64} * 1024;
// A record whose JSON text is longer can never travel, alone or with
// others: it is set aside whole instead of being offered for ever.
inline constexpr size_t kRegistroMaximo = kMensajeMaximo - kMargenMensaje;

// How much one outbound batch (or one answer of the server) may carry: at
// most `filas` records and, past the first, no more than `bytes` of JSON
// text. A first record larger than `bytes` still travels alone, up to
// `registroMaximo`.
// The site's default is the batch it has always sent: up to 200 records
// of any kind but 4, and one of kind 4.
struct LimiteLote {
    size_t filas = 201;
    size_t bytes = size_t{4} * 1024 * 1024;
    size_t registroMaximo = kRegistroMaximo;
};

}  // namespace comun
