// The shapes of a statement text the drivers tell apart before they run it:
// a bare table (or saved query) name, and a single-table SELECT * that a
// record set can update in place.
#pragma once

#include <string>
#include <string_view>

namespace datos {

// Name of a bare table (or saved query) reference, or empty.
std::string nombreTablaSola(std::string_view sql);

// The table of a single-table "SELECT [TOP n] * FROM t [WHERE ... | ORDER
// BY ...]" text, or empty. Read with the translator's tokens, so quoted
// texts never count.
std::string tablaDeSelectTodo(std::string_view sql);

}  // namespace datos
