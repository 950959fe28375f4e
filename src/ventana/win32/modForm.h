// The window functions of the Win32 face: twips at the resolution of the
// monitor a window is on (the program is per-monitor aware), the lower-
// right corner, in front without the focus, and the program's icons at the
// size a monitor wants.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "sincronizador/Puertos.h"

namespace ventana::win32 {

// Makes the process aware of each monitor's resolution (Windows 10 1703 and
// later; on older systems, of the main screen's), so the windows are drawn
// at their size in twips on every monitor instead of being stretched.
void conocerResolucion();

// The dots per inch of the monitor the window is on (of the main screen
// for no window).
double puntosPorPulgada(HWND ventana);
int twipsAPixeles(int twips, HWND ventana);
int pixelesATwips(int pixeles, HWND ventana);

// Shows the window in the normal state at the lower-right corner of the
// work area of its monitor (the part the taskbar leaves), `ancho` x `alto`
// twips frame included (its present size when either is 0). With
// `activar` false it does not take the focus.
void mostrarEnEsquina(HWND ventana, int16_t ancho, int16_t alto, bool activar);

// True keeps the window above the others; false puts it back among them.
// Either way the window is shown if it was hidden, and it does not take the
// focus from where someone is typing.
void siempreEncima(HWND ventana, bool encima);

// The program's icon and the state pictures at `lado` pixels, from the
// resources (the nearest drawn size scaled); the caller destroys them.
HICON iconoPrograma(int lado);
HICON iconoEstado(sincronizador::EstadoIcono estado, int lado);

// Text between the program (UTF-8) and the window calls.
std::wstring ancho(const std::string& utf8);
std::string utf8(const std::wstring& texto);
// The text of a window or control.
std::string textoDe(HWND ventana);

}  // namespace ventana::win32
