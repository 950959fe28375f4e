// Files the program creates itself.
#pragma once

#include <filesystem>
#include <string>

namespace comun {

// Creates the empty file `ruta` only when nothing stands there: 0 when it
// was created, otherwise the errno (EEXIST when something is there
// already, which is left untouched). Exclusive on every system: fopen's "x"
// is ignored by the C runtime of Windows, which truncates the file.
int crearArchivoNuevo(const std::string& ruta) noexcept;

// The path a text of the program (UTF-8) names. std::filesystem takes a
// plain narrow text in the C runtime's own encoding, which on Windows is
// not UTF-8: a folder named with "ñ" would be another, missing one.
std::filesystem::path rutaDe(const std::string& utf8);

}  // namespace comun
