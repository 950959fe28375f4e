#include "ejecucion/win32/InstanciaMutex.h"

#include <cstdint>
#include <cstdio>

#include "ejecucion/win32/Texto.h"

namespace ejecucion::win32 {

std::wstring nombreDeInstancia(const std::string& acceso) {
    std::wstring ruta = aAncho(acceso);
    std::wstring completa(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetFullPathNameW(ruta.c_str(), static_cast<DWORD>(completa.size()),
                                           completa.data(), nullptr);
        if (n == 0) {
            completa = ruta;
            break;
        }
        if (n < completa.size()) {
            completa.resize(n);
            break;
        }
        completa.assign(n, L'\0');
    }
    // Windows paths ignore letter case; the system's own upper case folds
    // every letter alike, "ñ" too.
    if (!completa.empty()) ::CharUpperBuffW(completa.data(), static_cast<DWORD>(completa.size()));
    // A mutex name holds no "\" beyond its namespace: a hash of the path
    // (FNV-1a, 64 bits) stands for it.
    uint64_t huella = 0xcbf29ce484222325ull;
    for (wchar_t c : completa) {
        if (c == L'/') c = L'\\';
        for (int b = 0; b < 2; ++b) {
            huella ^= static_cast<uint8_t>(static_cast<uint16_t>(c) >> (8 * b));
            huella *= 0x100000001b3ull;
        }
    }
    wchar_t texto[17];
    std::swprintf(texto, 17, L"%016llx", static_cast<unsigned long long>(huella));
    return L"Global\\sincronizador-" + std::wstring(texto);
}

InstanciaMutex::InstanciaMutex(const std::string& acceso) : nombre_(nombreDeInstancia(acceso)) {}

InstanciaMutex::~InstanciaMutex() {
    if (mutex_) ::CloseHandle(mutex_);
}

InstanciaMutex::Resultado InstanciaMutex::tomar() {
    if (mutex_) return Resultado::Tomada;
    HANDLE h = ::CreateMutexW(nullptr, FALSE, nombre_.c_str());
    error_ = ::GetLastError();
    if (h && error_ == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(h);
        return Resultado::EnEjecucion;
    }
    // A mutex of that name made by another account (the service's) that
    // this one may not open: that instance is running.
    if (!h) return error_ == ERROR_ACCESS_DENIED ? Resultado::EnEjecucion : Resultado::SinBloqueo;
    mutex_ = h;
    return Resultado::Tomada;
}

std::string InstanciaMutex::explicar(Resultado resultado) const {
    switch (resultado) {
        case Resultado::Tomada:
            return {};
        case Resultado::EnEjecucion:
            return "La Aplicación ya esta en ejecución";
        case Resultado::SinBloqueo:
            return "sincronizador: cannot create the single-instance mutex " + deAncho(nombre_) +
                   " (error " + std::to_string(error_) + ")";
    }
    return {};
}

}  // namespace ejecucion::win32
