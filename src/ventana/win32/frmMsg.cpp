#include "ventana/win32/frmMsg.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>

#include "comun/Texto.h"
#include "ventana/win32/Avisos.h"
#include "ventana/win32/modForm.h"

#ifndef SINC_VERSION
#define SINC_VERSION "0.0.0"
#endif

namespace ventana::win32 {

namespace {

// The window's size when it first loads, in twips.
constexpr int kAnchoInicial = 7500;
constexpr int kAltoInicial = 6300;
constexpr DWORD kEstilo = WS_OVERLAPPEDWINDOW;

HFONT crearFuente(double ppp, bool negrita) {
    return ::CreateFontW(-static_cast<int>(9 * ppp / 72.0 + 0.5), 0, 0, 0,
                         negrita ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH,
                         L"Segoe UI");
}

void registrarClase() {
    static const bool hecho = [] {
        INITCOMMONCONTROLSEX comunes{sizeof(INITCOMMONCONTROLSEX), ICC_TAB_CLASSES};
        ::InitCommonControlsEx(&comunes);
        WNDCLASSEXW clase{};
        clase.cbSize = sizeof clase;
        clase.lpfnWndProc = frmMsg::procedimiento;
        clase.hInstance = ::GetModuleHandleW(nullptr);
        clase.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        clase.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
        clase.lpszClassName = frmMsg::kClase;
        return ::RegisterClassExW(&clase) != 0;
    }();
    (void)hecho;
}

int16_t twips16(int pixeles, HWND ventana) {
    return static_cast<int16_t>(std::clamp(pixelesATwips(pixeles, ventana), 0, 32767));
}

// The controls of each tab.
constexpr frmMsg::Control kChat[] = {frmMsg::msgListaMensajes, frmMsg::txtMensaje,
                                     frmMsg::cmdEnviar};
constexpr frmMsg::Control kSoporte[] = {
    frmMsg::lblDuda,     frmMsg::txtMensajeSoporte, frmMsg::lblNombre,       frmMsg::txtNombre,
    frmMsg::lblTelefono, frmMsg::txtTelefono,       frmMsg::cmdEnviarSoporte};

}  // namespace

frmMsg::frmMsg(std::unique_ptr<ejecucion::Mensajeria> mensajeria, Avisos& avisos)
    : mensajeria_(std::move(mensajeria)), avisos_(avisos) {
    registrarClase();
    hwnd_ = ::CreateWindowExW(0, kClase, L"", kEstilo, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100,
                              nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
    ::SetWindowPos(hwnd_, nullptr, 0, 0, twipsAPixeles(kAnchoInicial, hwnd_),
                   twipsAPixeles(kAltoInicial, hwnd_), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    crearControles();
    colocarControles();
}

frmMsg::~frmMsg() {
    if (hwnd_) {
        ::KillTimer(hwnd_, tmrChat);
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
    for (HFONT f : {fuente_, negrita_})
        if (f) ::DeleteObject(f);
    for (HICON i : {iconoGrande_, iconoChico_})
        if (i) ::DestroyIcon(i);
}

void frmMsg::crearControles() {
    const HINSTANCE modulo = ::GetModuleHandleW(nullptr);
    auto crear = [&](const wchar_t* clase, const wchar_t* texto, DWORD estilo, Control id,
                     DWORD extendido = 0) {
        return ::CreateWindowExW(extendido, clase, texto, WS_CHILD | estilo, 0, 0, 10, 10, hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), modulo,
                                 nullptr);
    };
    HWND tabs = crear(WC_TABCONTROLW, L"", WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP, tabMensajes);
    TCITEMW pestana{};
    pestana.mask = TCIF_TEXT;
    pestana.pszText = const_cast<wchar_t*>(L"Mensajeria ");
    ::SendMessageW(tabs, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&pestana));
    pestana.pszText = const_cast<wchar_t*>(L"Soporte Tecnico");
    ::SendMessageW(tabs, TCM_INSERTITEMW, 1, reinterpret_cast<LPARAM>(&pestana));

    // The grid: one column of rows drawn here (a bold header, the text
    // wrapped, a grey separator), each as high as its text wants.
    crear(L"LISTBOX", L"",
          WS_VSCROLL | WS_TABSTOP | LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT |
              LBS_NOSEL | LBS_NOTIFY,
          msgListaMensajes, WS_EX_CLIENTEDGE);
    HWND texto = crear(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, txtMensaje, WS_EX_CLIENTEDGE);
    // Enter in the box sends, as the button does.
    ::SetWindowLongPtrW(texto, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    procedimientoEdit_ = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
        texto, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&frmMsg::procedimientoTexto)));
    crear(L"BUTTON", L"Enviar", WS_TABSTOP | BS_PUSHBUTTON, cmdEnviar);

    crear(L"STATIC", L"* Duda o comentario (Obligatorio)", SS_LEFT | SS_NOPREFIX, lblDuda);
    crear(L"EDIT", L"", WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
          txtMensajeSoporte, WS_EX_CLIENTEDGE);
    crear(L"STATIC", L"Tu nombre (opcional)", SS_LEFT | SS_NOPREFIX, lblNombre);
    crear(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, txtNombre, WS_EX_CLIENTEDGE);
    crear(L"STATIC", L"Telefono de contacto (opcional)", SS_LEFT | SS_NOPREFIX, lblTelefono);
    crear(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, txtTelefono, WS_EX_CLIENTEDGE);
    crear(L"BUTTON", L"Enviar", WS_TABSTOP | BS_PUSHBUTTON, cmdEnviarSoporte);
    mostrarPestana(0);
}

void frmMsg::mostrarPestana(int pestana) {
    ::SendMessageW(control(tabMensajes), TCM_SETCURSEL, static_cast<WPARAM>(pestana), 0);
    for (Control c : kChat) ::ShowWindow(control(c), pestana == 0 ? SW_SHOW : SW_HIDE);
    for (Control c : kSoporte) ::ShowWindow(control(c), pestana == 1 ? SW_SHOW : SW_HIDE);
}

void frmMsg::colocarControles() {
    // Fonts and icons at the monitor's resolution, made again when it
    // changes.
    if (const double ppp = puntosPorPulgada(hwnd_); ppp != ppp_) {
        ppp_ = ppp;
        for (HFONT f : {fuente_, negrita_})
            if (f) ::DeleteObject(f);
        fuente_ = crearFuente(ppp, false);
        negrita_ = crearFuente(ppp, true);
        for (HWND c = ::GetWindow(hwnd_, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
            ::SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(fuente_), TRUE);
        for (HICON i : {iconoGrande_, iconoChico_})
            if (i) ::DestroyIcon(i);
        iconoGrande_ = iconoPrograma(static_cast<int>(32 * ppp / 96.0 + 0.5));
        iconoChico_ = iconoPrograma(static_cast<int>(16 * ppp / 96.0 + 0.5));
        ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(iconoGrande_));
        ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(iconoChico_));
    }
    auto px = [&](int twips) { return twipsAPixeles(twips, hwnd_); };
    RECT cliente{};
    ::GetClientRect(hwnd_, &cliente);
    const LONG margen = px(90);
    RECT area{margen, margen, std::max(cliente.right - margen, margen + 1),
              std::max(cliente.bottom - margen, margen + 1)};
    ::MoveWindow(control(tabMensajes), area.left, area.top, area.right - area.left,
                 area.bottom - area.top, TRUE);
    ::SendMessageW(control(tabMensajes), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    area.left += margen;
    area.top += margen;
    area.right -= margen;
    area.bottom -= margen;
    const int ancho = std::max(1, static_cast<int>(area.right - area.left));
    const int fila = px(330);
    const int boton = px(1100);
    const int hueco = px(90);

    // The chat: the grid above, the box and its button below.
    ::MoveWindow(control(msgListaMensajes), area.left, area.top, ancho,
                 std::max(1, static_cast<int>(area.bottom - area.top) - fila - hueco), TRUE);
    ::MoveWindow(control(txtMensaje), area.left, area.bottom - fila,
                 std::max(1, ancho - boton - hueco), fila, TRUE);
    ::MoveWindow(control(cmdEnviar), area.right - boton, area.bottom - fila, boton, fila, TRUE);

    // The request: its text fills what the rest leaves.
    const int etiqueta = px(2600);
    int y = area.top;
    ::MoveWindow(control(lblDuda), area.left, y, ancho, fila, TRUE);
    y += fila;
    const int abajo = area.bottom - 3 * fila - 3 * hueco;
    ::MoveWindow(control(txtMensajeSoporte), area.left, y, ancho, std::max(fila, abajo - y), TRUE);
    y = abajo + hueco;
    for (auto [lbl, txt] : {std::pair{lblNombre, txtNombre}, std::pair{lblTelefono, txtTelefono}}) {
        ::MoveWindow(control(lbl), area.left, y + px(45), etiqueta, fila, TRUE);
        ::MoveWindow(control(txt), area.left + etiqueta, y, std::max(1, ancho - etiqueta), fila,
                     TRUE);
        y += fila + hueco;
    }
    ::MoveWindow(control(cmdEnviarSoporte), area.right - boton, y, boton, fila, TRUE);
}

void frmMsg::cargar() {
    RECT marco{};
    ::GetWindowRect(hwnd_, &marco);
    anchoMensajes = twips16(marco.right - marco.left, hwnd_);
    altoMensajes = twips16(marco.bottom - marco.top, hwnd_);
    mostrarEnEsquina(hwnd_, anchoMensajes, altoMensajes, false);

    mensajeria_->abrir(
        [this](const std::string& aviso) { avisos_.mensaje(aviso, Avisos::Icono::Ninguno); });
    ::SendMessageW(control(msgListaMensajes), LB_RESETCONTENT, 0, 0);
    filas_.clear();
    ::SetWindowTextW(hwnd_, ancho(std::string("sincronizador Ombrel v. ") + SINC_VERSION).c_str());
    ::SetTimer(hwnd_, tmrChat, kIntervaloChatMs, nullptr);
}

void frmMsg::refrescarMensajes() {
    if (!mensajeria_->conectada()) return;
    std::vector<datos::clsMensaje> lista;
    try {
        lista = mensajeria_->mensajes();
    } catch (const std::exception&) {
        // The database is busy or gone for a moment: the next tick retries.
        return;
    }
    auto filas = chat_.actualizar(lista);
    if (!filas) return;

    ++reconstrucciones_;
    HWND rejilla = control(msgListaMensajes);
    ::SendMessageW(rejilla, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(rejilla, LB_RESETCONTENT, 0, 0);
    // WM_MEASUREITEM reads the row being added from filas_.
    filas_ = std::move(*filas);
    for (const FilaChat& f : filas_)
        ::SendMessageW(rejilla, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ancho(f.texto).c_str()));
    ::SendMessageW(rejilla, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(rejilla, nullptr, TRUE);

    // Someone working in this window keeps it as it is; otherwise it comes
    // in front without taking the keyboard from whoever types elsewhere.
    const bool enUso = ::IsWindowVisible(hwnd_) && ::GetForegroundWindow() == hwnd_;
    if (!enUso) {
        mostrarEnEsquina(hwnd_, anchoMensajes, altoMensajes, false);
        siempreEncima(hwnd_, true);
    }
    bajarAlFinal();
}

void frmMsg::bajarAlFinal() {
    // The last row at the top: the list box shows the last page full.
    HWND rejilla = control(msgListaMensajes);
    const LRESULT n = ::SendMessageW(rejilla, LB_GETCOUNT, 0, 0);
    if (n > 0) ::SendMessageW(rejilla, LB_SETTOPINDEX, static_cast<WPARAM>(n - 1), 0);
}

void frmMsg::abrir(bool activar) {
    mostrarEnEsquina(hwnd_, anchoMensajes, altoMensajes, activar);
    if (!activar) siempreEncima(hwnd_, true);
    refrescarMensajes();
}

void frmMsg::cmdEnviar_Click() {
    const std::string texto = textoDe(control(txtMensaje));
    if (comun::recortar(texto).empty()) return;
    if (!mensajeria_->conectar()) {
        avisos_.mensaje("No se puede abrir la base de datos; el mensaje no se envio",
                        Avisos::Icono::Exclamacion);
        return;
    }
    try {
        mensajeria_->enviar(texto);
    } catch (const std::exception& e) {
        // The text stays in its box, so nothing typed is lost.
        avisos_.mensaje(std::string("No se pudo enviar el mensaje: ") + e.what(),
                        Avisos::Icono::Exclamacion);
        return;
    }
    refrescarMensajes();
    ::SetWindowTextW(control(txtMensaje), L"");
}

void frmMsg::cmdEnviarSoporte_Click() {
    const std::string mensaje = textoDe(control(txtMensajeSoporte));
    if (comun::recortar(mensaje).empty()) {
        avisos_.mensaje("Debes escribir un mensaje", Avisos::Icono::Exclamacion);
        ::SetFocus(control(txtMensajeSoporte));
        return;
    }
    try {
        mensajeria_->enviarSoporte(textoDe(control(txtNombre)), mensaje,
                                   textoDe(control(txtTelefono)));
    } catch (const std::exception& e) {
        avisos_.mensaje(std::string("No se pudo enviar tu mensaje: ") + e.what(),
                        Avisos::Icono::Exclamacion);
        return;
    }
    for (Control c : {txtNombre, txtMensajeSoporte, txtTelefono}) ::SetWindowTextW(control(c), L"");
    avisos_.mensaje("Tu mensaje ha sido enviado", Avisos::Icono::Informacion);
}

void frmMsg::dejarDeEstarEncima() {
    siempreEncima(hwnd_, false);
}

LRESULT CALLBACK frmMsg::procedimientoTexto(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    auto* ventana = reinterpret_cast<frmMsg*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_GETDLGCODE && w == VK_RETURN) return DLGC_WANTALLKEYS;
    if (msg == WM_CHAR && w == L'\r') {
        ventana->cmdEnviar_Click();
        return 0;
    }
    return ::CallWindowProcW(ventana->procedimientoEdit_, hwnd, msg, w, l);
}

LRESULT CALLBACK frmMsg::procedimiento(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_NCCREATE) {
        auto* ventana = static_cast<frmMsg*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        ventana->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(ventana));
    }
    auto* ventana = reinterpret_cast<frmMsg*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return ventana ? ventana->mensaje(msg, w, l) : ::DefWindowProcW(hwnd, msg, w, l);
}

LRESULT frmMsg::mensaje(UINT msg, WPARAM w, LPARAM l) {
    switch (msg) {
        case WM_TIMER:
            if (w == tmrChat) refrescarMensajes();
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(w) != WA_INACTIVE) refrescarMensajes();
            break;
        case WM_SIZE:
            // The grid keeps its newest rows in view at any size.
            if (control(cmdEnviarSoporte)) {
                colocarControles();
                bajarAlFinal();
            }
            return 0;
        case WM_DPICHANGED: {
            const RECT* r = reinterpret_cast<const RECT*>(l);
            ::SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            colocarControles();
            return 0;
        }
        case WM_NOTIFY: {
            const auto* aviso = reinterpret_cast<const NMHDR*>(l);
            if (aviso->idFrom == tabMensajes && aviso->code == TCN_SELCHANGE)
                mostrarPestana(
                    static_cast<int>(::SendMessageW(control(tabMensajes), TCM_GETCURSEL, 0, 0)));
            return 0;
        }
        case WM_COMMAND:
            switch (LOWORD(w)) {
                case cmdEnviar:
                    cmdEnviar_Click();
                    return 0;
                case cmdEnviarSoporte:
                    cmdEnviarSoporte_Click();
                    return 0;
                case txtMensaje:
                    if (HIWORD(w) == EN_SETFOCUS) dejarDeEstarEncima();
                    return 0;
                case msgListaMensajes:
                    if (HIWORD(w) == LBN_SETFOCUS || HIWORD(w) == LBN_DBLCLK) dejarDeEstarEncima();
                    return 0;
            }
            break;
        case WM_MEASUREITEM: {
            auto* medida = reinterpret_cast<MEASUREITEMSTRUCT*>(l);
            if (medida->itemID >= filas_.size()) break;
            const FilaChat& f = filas_[medida->itemID];
            HDC dc = ::GetDC(hwnd_);
            HGDIOBJ antes =
                ::SelectObject(dc, f.tipo == FilaChat::Tipo::Cabecera ? negrita_ : fuente_);
            RECT r{0, 0, 0, 0};
            ::GetClientRect(control(msgListaMensajes), &r);
            r.right = std::max(50L, r.right - 8);
            const std::wstring t = ancho(f.texto);
            ::DrawTextW(dc, t.c_str(), static_cast<int>(t.size()), &r,
                        DT_CALCRECT | DT_NOPREFIX |
                            (f.tipo == FilaChat::Tipo::Texto ? DT_WORDBREAK : DT_SINGLELINE));
            ::SelectObject(dc, antes);
            ::ReleaseDC(hwnd_, dc);
            int alto = r.bottom - r.top + 4;
            if (f.tipo == FilaChat::Tipo::Texto)
                alto = std::max(alto, twipsAPixeles(kAltoTexto, hwnd_));
            // A list box row is at most 255 pixels high; a longer text is
            // cut there.
            medida->itemHeight = static_cast<UINT>(std::clamp(alto, 1, 255));
            return TRUE;
        }
        case WM_DRAWITEM: {
            const auto* dibujo = reinterpret_cast<const DRAWITEMSTRUCT*>(l);
            if (dibujo->CtlID != msgListaMensajes || dibujo->itemID >= filas_.size()) break;
            const FilaChat& f = filas_[dibujo->itemID];
            HDC dc = dibujo->hDC;
            RECT r = dibujo->rcItem;
            ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_WINDOW));
            HGDIOBJ antes =
                ::SelectObject(dc, f.tipo == FilaChat::Tipo::Cabecera ? negrita_ : fuente_);
            ::SetBkMode(dc, TRANSPARENT);
            ::SetTextColor(dc,
                           ::GetSysColor(f.tipo == FilaChat::Tipo::Separador ? COLOR_GRAYTEXT
                                                                             : COLOR_WINDOWTEXT));
            r.left += 4;
            const std::wstring t = ancho(f.texto);
            ::DrawTextW(
                dc, t.c_str(), static_cast<int>(t.size()), &r,
                DT_NOPREFIX | (f.tipo == FilaChat::Tipo::Texto ? DT_WORDBREAK | DT_EDITCONTROL
                                                               : DT_SINGLELINE | DT_END_ELLIPSIS));
            ::SelectObject(dc, antes);
            return TRUE;
        }
        case WM_CLOSE:
            // Hidden, never closed: the chat goes on polling.
            ::ShowWindow(hwnd_, SW_HIDE);
            return 0;
    }
    return ::DefWindowProcW(hwnd_, msg, w, l);
}

}  // namespace ventana::win32
