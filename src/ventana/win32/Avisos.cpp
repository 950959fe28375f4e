#include "ventana/win32/Avisos.h"

#include "ventana/win32/modForm.h"

namespace ventana::win32 {

void AvisosWin32::mensaje(const std::string& texto, Icono icono, const std::string& titulo) {
    UINT tipo = MB_OK;
    if (icono == Icono::Informacion) tipo |= MB_ICONINFORMATION;
    if (icono == Icono::Exclamacion) tipo |= MB_ICONEXCLAMATION;
    // A box without an owner would open behind the window that has the
    // focus; it comes in front instead.
    if (!dueno_) tipo |= MB_SETFOREGROUND | MB_TOPMOST;
    ::MessageBoxW(dueno_, ancho(texto).c_str(),
                  ancho(titulo.empty() ? std::string("sincronizador") : titulo).c_str(), tipo);
}

}  // namespace ventana::win32
