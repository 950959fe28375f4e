// The message boxes of the Win32 face. Everything that asks the user goes
// through `Avisos`, so tests answer it without a modal loop.
#pragma once

#include <windows.h>

#include <string>

namespace ventana::win32 {

class Avisos {
  public:
    enum class Icono { Ninguno, Informacion, Exclamacion };
    virtual ~Avisos() = default;
    // A message box with an OK button; an empty title is the program's name.
    virtual void mensaje(const std::string& texto, Icono icono = Icono::Ninguno,
                         const std::string& titulo = {}) = 0;
};

// MessageBoxW, owned by `dueno` (none: a box of its own on the taskbar).
class AvisosWin32 : public Avisos {
  public:
    explicit AvisosWin32(HWND dueno = nullptr) : dueno_(dueno) {}
    void dueno(HWND ventana) { dueno_ = ventana; }
    void mensaje(const std::string& texto, Icono icono = Icono::Ninguno,
                 const std::string& titulo = {}) override;

  private:
    HWND dueno_;
};

}  // namespace ventana::win32
