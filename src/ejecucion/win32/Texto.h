// Text between the program (UTF-8) and the system's wide-character calls.
#pragma once

#include <string>

namespace ejecucion::win32 {

std::wstring aAncho(const std::string& utf8);
std::string deAncho(const std::wstring& ancho);

// The system's English text for an error number, without its line end or
// final stop; "" when it has none.
std::string textoDelSistema(unsigned long numero);

}  // namespace ejecucion::win32
