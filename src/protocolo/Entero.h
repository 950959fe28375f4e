// The one whole-number rule of the protocol: how table codes, record kinds
// and row or delivery ids are read wherever they arrive (an answer of the
// server, a batch of a site, a row of the queue).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "comun/Variant.h"

namespace protocolo {

// A whole number written as the protocol writes one: an optional minus
// sign and decimal digits, nothing else (no blanks, no plus sign, no point,
// no exponent), within the range of the type. "2.5", " 2 " and "2e0" are
// not one: rounding or trimming them would apply a record to a table it
// does not name, or mark a row that was never sent.
std::optional<int32_t> entero32(std::string_view texto);
std::optional<int64_t> entero64(std::string_view texto);

// The same for a value read from a parse or a row: a whole-number kind as
// it is, a double only when it holds a whole number in range (a number
// column written by another program), a text or a JSON number by the rule
// above; anything else (Null, Empty, a date, an object) is none.
std::optional<int32_t> entero32DeValor(const comun::Variant& valor);
std::optional<int64_t> entero64DeValor(const comun::Variant& valor);

}  // namespace protocolo
