#include "ventana/win32/modForm.h"

#include <cstring>

#include "ejecucion/win32/Texto.h"
#include "ventana/EstadoBandeja.h"
#include "ventana/Geometria.h"
#include "ventana/win32/Recursos.h"

namespace ventana::win32 {

namespace {

// The calls of newer systems, looked up so the program still starts on
// older ones.
template <class F>
F funcion(const wchar_t* modulo, const char* nombre) {
    HMODULE m = ::GetModuleHandleW(modulo);
    if (!m) m = ::LoadLibraryW(modulo);
    return m ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(m, nombre))) : nullptr;
}

int recursoEstado(sincronizador::EstadoIcono estado) {
    const char* nombre = aspectoEstado(estado).icono;
    if (std::strcmp(nombre, "estado-conectado") == 0) return SINC_ICONO_CONECTADO;
    if (std::strcmp(nombre, "estado-ok") == 0) return SINC_ICONO_OK;
    if (std::strcmp(nombre, "estado-error") == 0) return SINC_ICONO_ERROR;
    return SINC_ICONO_DESCONECTADO;
}

HICON icono(int recurso, int lado) {
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(recurso),
                                           IMAGE_ICON, lado, lado, LR_DEFAULTCOLOR));
}

}  // namespace

void conocerResolucion() {
    using PorContexto = BOOL(WINAPI*)(HANDLE);
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, then V1.
    if (auto poner = funcion<PorContexto>(L"user32.dll", "SetProcessDpiAwarenessContext")) {
        if (poner(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-4))) ||
            poner(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-3))))
            return;
    }
    if (auto viejo = funcion<BOOL(WINAPI*)()>(L"user32.dll", "SetProcessDPIAware")) viejo();
}

double puntosPorPulgada(HWND ventana) {
    using PorVentana = UINT(WINAPI*)(HWND);
    static const auto deVentana = funcion<PorVentana>(L"user32.dll", "GetDpiForWindow");
    if (ventana && deVentana) {
        if (const UINT ppp = deVentana(ventana); ppp > 0) return ppp;
    }
    HDC dc = ::GetDC(nullptr);
    const int ppp = ::GetDeviceCaps(dc, LOGPIXELSX);
    ::ReleaseDC(nullptr, dc);
    return ppp > 0 ? ppp : 96.0;
}

int twipsAPixeles(int twips, HWND ventana) {
    return twipsEnPixeles(twips, puntosPorPulgada(ventana));
}

int pixelesATwips(int pixeles, HWND ventana) {
    return pixelesEnTwips(pixeles, puntosPorPulgada(ventana));
}

void mostrarEnEsquina(HWND ventana, int16_t ancho, int16_t alto, bool activar) {
    if (::IsIconic(ventana) || ::IsZoomed(ventana))
        ::ShowWindow(ventana, activar ? SW_RESTORE : SW_SHOWNOACTIVATE);
    RECT marco{};
    ::GetWindowRect(ventana, &marco);
    int w = marco.right - marco.left;
    int h = marco.bottom - marco.top;
    if (ancho > 0 && alto > 0) {
        w = twipsAPixeles(ancho, ventana);
        h = twipsAPixeles(alto, ventana);
    }
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(ventana, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& t = monitor.rcWork;
    const Punto esquina =
        esquinaInferiorDerecha({t.left, t.top, t.right - t.left, t.bottom - t.top}, w, h,
                               twipsAPixeles(kMargenEsquinaTwips, ventana));
    ::SetWindowPos(ventana, nullptr, esquina.x, esquina.y, w, h,
                   SWP_NOZORDER | SWP_SHOWWINDOW | (activar ? 0 : SWP_NOACTIVATE));
    if (activar) ::SetForegroundWindow(ventana);
}

void siempreEncima(HWND ventana, bool encima) {
    ::SetWindowPos(ventana, encima ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

HICON iconoPrograma(int lado) {
    return icono(SINC_ICONO_PROGRAMA, lado);
}

HICON iconoEstado(sincronizador::EstadoIcono estado, int lado) {
    return icono(recursoEstado(estado), lado);
}

std::wstring ancho(const std::string& texto) {
    return ejecucion::win32::aAncho(texto);
}

std::string utf8(const std::wstring& texto) {
    return ejecucion::win32::deAncho(texto);
}

std::string textoDe(HWND ventana) {
    const int largo = ::GetWindowTextLengthW(ventana);
    std::wstring texto(static_cast<size_t>(largo) + 1, L'\0');
    texto.resize(static_cast<size_t>(::GetWindowTextW(ventana, texto.data(), largo + 1)));
    return utf8(texto);
}

}  // namespace ventana::win32
