// Files the program creates itself.
#pragma once

#include <string>

namespace comun {

// Creates the empty file `ruta` only when nothing stands there: 0 when it
// was created, otherwise the errno (EEXIST when something is there
// already, which is left untouched). Exclusive on every system: fopen's "x"
// is ignored by the C runtime of Windows, which truncates the file.
int crearArchivoNuevo(const std::string& ruta) noexcept;

}  // namespace comun
