#include "ventana/win32/clsSystray.h"

#include <algorithm>

#include "ventana/win32/modForm.h"

namespace ventana::win32 {

namespace {

// Cuts `texto` to `largo` characters (UTF-16 units, a surrogate pair never
// split) into the member, NUL after it.
template <size_t N>
std::string copiar(wchar_t (&miembro)[N], const std::string& texto, size_t largo) {
    std::wstring w = ancho(texto);
    size_t n = std::min({w.size(), largo, N - 1});
    if (n > 0 && n < w.size() && w[n - 1] >= 0xD800 && w[n - 1] <= 0xDBFF) --n;
    std::copy_n(w.data(), n, miembro);
    miembro[n] = L'\0';
    return utf8(std::wstring(w.data(), n));
}

}  // namespace

bool clsSystray::Init(HWND ventana, HICON icono, const std::string& tooltip) {
    datos_ = {};
    datos_.cbSize = sizeof datos_;
    datos_.hWnd = ventana;
    datos_.uID = kId;
    datos_.uFlags = NIF_MESSAGE | NIF_ICON;
    datos_.uCallbackMessage = kMensaje;
    datos_.hIcon = icono;
    respuesta_ = ::Shell_NotifyIconW(NIM_ADD, &datos_);
    agregado_ = true;
    TooltipText(tooltip);
    return false;
}

void clsSystray::modificar(UINT banderas) {
    if (!agregado_) return;
    datos_.uFlags = banderas;
    respuesta_ = ::Shell_NotifyIconW(NIM_MODIFY, &datos_);
}

void clsSystray::TooltipText(const std::string& texto) {
    textoTooltip_ = texto;
    tooltip_ = copiar(datos_.szTip, texto, kLargoTooltip);
    modificar(NIF_TIP);
}

void clsSystray::SetIcon(HICON imagen, const std::string& tip) {
    datos_.hIcon = imagen;
    tooltip_ = copiar(datos_.szTip, tip, kLargoTooltip);
    modificar(NIF_ICON | NIF_TIP);
}

void clsSystray::ShowBalloonTip(const std::string& mensaje, IconoGlobo icono,
                                const std::string& titulo, UINT tiempoMs) {
    textoGlobo_ = copiar(datos_.szInfo, mensaje, kLargoGlobo);
    tituloGlobo_ = copiar(datos_.szInfoTitle, titulo, kLargoTituloGlobo);
    datos_.uTimeout = tiempoMs;
    datos_.dwInfoFlags = static_cast<DWORD>(icono);
    modificar(NIF_INFO);
}

void clsSystray::delIcon() {
    if (!agregado_) return;
    agregado_ = false;
    respuesta_ = ::Shell_NotifyIconW(NIM_DELETE, &datos_);
}

void clsSystray::reponer() {
    if (!agregado_) return;
    datos_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    respuesta_ = ::Shell_NotifyIconW(NIM_ADD, &datos_);
}

void clsSystray::MouseMove(UINT mensaje) {
    const std::function<void()>* evento = nullptr;
    if (mensaje == WM_LBUTTONDOWN) evento = &BalloonClicked;
    if (mensaje == WM_RBUTTONUP) evento = &RightClick;
    if (mensaje == WM_LBUTTONDBLCLK) evento = &DoubleClick;
    if (evento && *evento) (*evento)();
}

}  // namespace ventana::win32
