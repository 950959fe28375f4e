// Text between the program (UTF-8) and the system's wide-character calls.
#pragma once

#include <string>

namespace ejecucion::win32 {

std::wstring aAncho(const std::string& utf8);
std::string deAncho(const std::wstring& ancho);

}  // namespace ejecucion::win32
