#include "ejecucion/win32/Texto.h"

#include <windows.h>

namespace ejecucion::win32 {

std::wstring aAncho(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring ancho(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), ancho.data(), n);
    return ancho;
}

std::string deAncho(const std::wstring& ancho) {
    if (ancho.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, ancho.data(), static_cast<int>(ancho.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, ancho.data(), static_cast<int>(ancho.size()), utf8.data(), n,
                          nullptr, nullptr);
    return utf8;
}

std::string textoDelSistema(unsigned long numero) {
    char* texto = nullptr;
    const DWORD largo = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(numero), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
        reinterpret_cast<char*>(&texto), 0, nullptr);
    std::string resultado = largo && texto ? std::string(texto, largo) : std::string();
    if (texto) ::LocalFree(texto);
    while (!resultado.empty() && (resultado.back() == '\n' || resultado.back() == '\r' ||
                                  resultado.back() == ' ' || resultado.back() == '.'))
        resultado.pop_back();
    return resultado;
}

}  // namespace ejecucion::win32
