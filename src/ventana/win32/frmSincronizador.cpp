#include "ventana/win32/frmSincronizador.h"

#include <exception>

#include "comun/Registro.h"
#include "comun/Texto.h"
#include "sincronizador/Motor.h"
#include "ventana/EstadoBandeja.h"
#include "ventana/Geometria.h"
#include "ventana/Presentacion.h"
#include "ventana/win32/Avisos.h"
#include "ventana/win32/frmMsg.h"
#include "ventana/win32/modForm.h"

namespace ventana::win32 {

namespace {

using sincronizador::EstadoIcono;

constexpr DWORD kEstilo = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

struct Lugar {
    frmSincronizador::Control id;
    LugarTwips twips;
};
constexpr Lugar kLugares[] = {
    {frmSincronizador::Command1, kLugarCommand1},     {frmSincronizador::cmdSoporte, kLugarSoporte},
    {frmSincronizador::lblDatos, kLugarDatos},        {frmSincronizador::txtConsole, kLugarConsola},
    {frmSincronizador::lblState, kLugarEstadoSocket}, {frmSincronizador::lblResumen, kLugarResumen},
};

// The pictures from the top, each with its state.
constexpr std::pair<frmSincronizador::Control, EstadoIcono> kImagenes[] = {
    {frmSincronizador::pctError, EstadoIcono::Error},
    {frmSincronizador::pctOK, EstadoIcono::Satisfactorio},
    {frmSincronizador::pctConected, EstadoIcono::Conectado},
    {frmSincronizador::pctDisconected, EstadoIcono::Desconectado},
};

size_t indice(EstadoIcono estado) {
    for (size_t i = 0; i < std::size(kImagenes); ++i)
        if (kImagenes[i].second == estado) return i;
    return 0;
}

// Line ends as an edit control wants them: CR LF.
std::wstring conCrLf(const std::string& texto) {
    return ancho(comun::reemplazar(texto, "\n", "\r\n"));
}

// `fija`: every character as wide, so the console's columns line up; a
// system without the font named gets its own fixed-pitch one.
HFONT crearFuente(double ppp, int puntos, const wchar_t* nombre, bool fija = false) {
    return ::CreateFontW(-static_cast<int>(puntos * ppp / 72.0 + 0.5), 0, 0, 0, FW_NORMAL, FALSE,
                         FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                         CLEARTYPE_QUALITY, fija ? FIXED_PITCH | FF_MODERN : DEFAULT_PITCH, nombre);
}

void registrarClase() {
    static const bool hecho = [] {
        WNDCLASSEXW clase{};
        clase.cbSize = sizeof clase;
        clase.lpfnWndProc = frmSincronizador::procedimiento;
        clase.hInstance = ::GetModuleHandleW(nullptr);
        clase.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        clase.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
        clase.lpszClassName = frmSincronizador::kClase;
        return ::RegisterClassExW(&clase) != 0;
    }();
    (void)hecho;
}

}  // namespace

MotorDeVentana::MotorDeVentana(const ejecucion::OpcionesEjecucion& o, frmSincronizador& v)
    : opciones(o), ventana(v), sitio(ejecucion::componerMotor(o, v.puertos(), socket)) {
    socket.motor(sitio->motor.get());
    socket.configurarTls(o, errorTls);
}

MotorDeVentana::~MotorDeVentana() {
    ventana.conectar(nullptr);
    socket.motor(nullptr);
    socket.cerrar();
}

frmSincronizador::frmSincronizador(Avisos& avisos) : avisos_(avisos), bitacora_(*this, nullptr) {
    registrarClase();
    hwnd_ =
        ::CreateWindowExW(0, kClase, L"Sincronizador V3.0", kEstilo, CW_USEDEFAULT, CW_USEDEFAULT,
                          100, 100, nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
    crearControles();
    colocarControles();
    SysTray_.BalloonClicked = [this] { abrirSoporte(false); };
    SysTray_.RightClick = [this] { abrirMenu(); };
    SysTray_.DoubleClick = [this] { abrirVentana(); };
}

frmSincronizador::~frmSincronizador() {
    SysTray_.delIcon();
    frmMsg_.reset();
    if (hwnd_) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
    for (HICON i : imagenes_)
        if (i) ::DestroyIcon(i);
    for (HICON i : imagenesBandeja_)
        if (i) ::DestroyIcon(i);
    for (HICON i : {iconoGrande_, iconoChico_})
        if (i) ::DestroyIcon(i);
    for (HFONT f : {fuente_, fuenteFija_})
        if (f) ::DeleteObject(f);
}

void frmSincronizador::crearControles() {
    const HINSTANCE modulo = ::GetModuleHandleW(nullptr);
    auto crear = [&](const wchar_t* clase, const wchar_t* texto, DWORD estilo, Control id,
                     DWORD extendido = 0) {
        return ::CreateWindowExW(extendido, clase, texto, WS_CHILD | WS_VISIBLE | estilo, 0, 0, 10,
                                 10, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 modulo, nullptr);
    };
    crear(L"BUTTON", ancho(kPausar).c_str(), WS_TABSTOP | BS_PUSHBUTTON, Command1);
    // The support window without the tray, for a desktop that hides it.
    crear(L"BUTTON", L"Soporte", WS_TABSTOP | BS_PUSHBUTTON, cmdSoporte);
    // It reaches under the support button, which stays drawn above it.
    crear(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | WS_CLIPSIBLINGS, lblDatos);
    HWND consola =
        crear(L"EDIT", L"",
              WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_NOHIDESEL,
              txtConsole, WS_EX_CLIENTEDGE);
    // The limit is then the system's, not the 32 K characters of an edit
    // control by default; the console bounds itself (kMaximoConsola).
    ::SendMessageW(consola, EM_SETLIMITTEXT, 0, 0);
    crear(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, lblState);
    crear(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, lblResumen);
    for (const auto& [id, estado] : kImagenes) crear(L"STATIC", L"", SS_ICON | SS_CENTERIMAGE, id);
}

void frmSincronizador::colocarControles() {
    const double ppp = puntosPorPulgada(hwnd_);
    for (HFONT f : {fuente_, fuenteFija_})
        if (f) ::DeleteObject(f);
    fuente_ = crearFuente(ppp, 9, L"Segoe UI");
    fuenteFija_ = crearFuente(ppp, 9, L"Consolas", true);

    // The client area's size, frame added for this monitor's scale.
    RECT marco{0, 0, twipsEnPixeles(kAnchoVentana, ppp), twipsEnPixeles(kAltoVentana, ppp)};
    using AjustarParaPpp = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto ajustar = reinterpret_cast<AjustarParaPpp>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (ajustar)
        ajustar(&marco, kEstilo, FALSE, 0, static_cast<UINT>(ppp));
    else
        ::AdjustWindowRectEx(&marco, kEstilo, FALSE, 0);
    ::SetWindowPos(hwnd_, nullptr, 0, 0, marco.right - marco.left, marco.bottom - marco.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    auto colocar = [&](HWND c, const LugarTwips& l) {
        ::MoveWindow(c, twipsEnPixeles(l.x, ppp), twipsEnPixeles(l.y, ppp),
                     twipsEnPixeles(l.ancho, ppp), twipsEnPixeles(l.alto, ppp), TRUE);
    };
    for (const Lugar& l : kLugares) {
        HWND c = control(l.id);
        colocar(c, l.twips);
        ::SendMessageW(c, WM_SETFONT,
                       reinterpret_cast<WPARAM>(l.id == txtConsole ? fuenteFija_ : fuente_), TRUE);
    }
    // A 16-pixel picture at 100 %, drawn at the scale's own size.
    const int lado = static_cast<int>(16 * ppp / 96.0 + 0.5);
    for (size_t i = 0; i < std::size(kImagenes); ++i) {
        HWND c = control(kImagenes[i].first);
        colocar(c, lugarImagen(static_cast<int>(i)));
        HICON nuevo = iconoEstado(kImagenes[i].second, lado);
        ::SendMessageW(c, STM_SETICON, reinterpret_cast<WPARAM>(nuevo), 0);
        if (imagenes_[i]) ::DestroyIcon(imagenes_[i]);
        imagenes_[i] = nuevo;
    }
    for (HICON i : {iconoGrande_, iconoChico_})
        if (i) ::DestroyIcon(i);
    iconoGrande_ = iconoPrograma(static_cast<int>(32 * ppp / 96.0 + 0.5));
    iconoChico_ = iconoPrograma(lado);
    ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(iconoGrande_));
    ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(iconoChico_));
}

ejecucion::PuertosCara frmSincronizador::puertos() {
    return {*this, *this, bitacora_};
}

void frmSincronizador::conectar(MotorDeVentana* motor) {
    if (!motor) {
        ::KillTimer(hwnd_, timerOps);
        ::KillTimer(hwnd_, tmrResumen);
        frmMsg_.reset();
    }
    motor_ = motor;
    mostrarDatos();
}

bool frmSincronizador::cargar() {
    // The configuration and the site values first, then the tray icon,
    // which comes up showing the state the start-up left (disconnected).
    cicloIniciado_ = iniciarCiclo();
    const int lado = ::GetSystemMetrics(SM_CXSMICON);
    for (size_t i = 0; i < std::size(kImagenes); ++i)
        if (!imagenesBandeja_[i]) imagenesBandeja_[i] = iconoEstado(kImagenes[i].second, lado);
    SysTray_.Init(hwnd_, iconoChico_, "Sincronizador Ombrel");
    SysTray_.SetIcon(imagenesBandeja_[indice(estadoIcono_)], textoEstado(estadoIcono_));
    vigia_.emplace(motor_->sitio->reloj->ahora(), limiteSinServidor_);
    // Otherwise the cycle waits for the button, which says what it will do.
    if (cicloIniciado_)
        ::SetTimer(hwnd_, timerOps, static_cast<UINT>(motor_->opciones.intervaloMs), nullptr);
    mostrarPausa();
    mostrarImagenes();
    refrescarResumen();
    ::SetTimer(hwnd_, tmrResumen, kIntervaloResumenMs, nullptr);
    return cicloIniciado_;
}

bool frmSincronizador::iniciarCiclo() {
    motor_->sitio->conexion->dataFile(comun::leerConfiguracion(
        motor_->opciones.acceso,
        [this](const std::string& aviso) { avisos_.mensaje(aviso, Avisos::Icono::Ninguno); }));
    mostrarDatos();
    // What the engine says when it cannot start is the menu's state line.
    std::string escrito;
    capturaInicio_ = &escrito;
    const bool iniciado = motor_->sitio->motor->iniciar();
    capturaInicio_ = nullptr;
    motivoParada_ = iniciado ? std::string() : ultimaLinea(escrito);
    return iniciado;
}

void frmSincronizador::tick() {
    // A message box opened from inside a step runs a loop of its own that
    // still delivers this timer: the step under way is not entered again.
    if (!motor_ || enTick_) return;
    enTick_ = true;
    motor_->socket.atender();
    auto& motor = *motor_->sitio->motor;
    motor.tick();
    enTick_ = false;
    const long ciclos = motor_->opciones.ciclos;
    if (ciclos > 0 && motor.pasadas() >= ciclos) ::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void frmSincronizador::Command1_Click() {
    if (!motor_) return;
    auto& motor = *motor_->sitio->motor;
    if (!cicloIniciado_) {
        // Start-up did not get through (no configuration, no database): the
        // configuration is read again, so a mended file is taken.
        limpiar();
        cicloIniciado_ = iniciarCiclo();
        if (cicloIniciado_) {
            motor.reanudar();
            ::SetTimer(hwnd_, timerOps, static_cast<UINT>(motor_->opciones.intervaloMs), nullptr);
        }
        mostrarPausa();
        refrescarResumen();
        return;
    }
    // The timer keeps ticking while paused: an exchange under way still
    // completes, and one that hangs is still released.
    if (motor.pausado())
        motor.reanudar();
    else
        motor.pausar();
    mostrarPausa();
}

void frmSincronizador::mostrarPausa() {
    const bool pausado = motor_ && motor_->sitio->motor->pausado();
    ::SetWindowTextW(control(Command1), ancho(textoPausa(cicloIniciado_, pausado)).c_str());
}

void frmSincronizador::abrirVentana() {
    ::ShowWindow(hwnd_, ::IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    ::SetForegroundWindow(hwnd_);
}

void frmSincronizador::abrirSoporte(bool activar) {
    if (!motor_) return;
    if (!frmMsg_) {
        frmMsg_ = std::make_unique<frmMsg>(
            std::make_unique<ejecucion::Mensajeria>(motor_->opciones.acceso), avisos_);
        frmMsg_->cargar();
    }
    frmMsg_->abrir(activar);
}

std::string frmSincronizador::lineaMenu() const {
    if (!motor_) return {};
    SituacionCiclo ciclo;
    ciclo.enMarcha = cicloIniciado_;
    ciclo.motivo = motivoParada_;
    ciclo.pausado = motor_->sitio->motor->pausado();
    // A menu item reads "&" as the mark of its shortcut key.
    return comun::reemplazar(lineaEstadoMenu(ciclo, ultimoSitio_, motor_->sitio->reloj->ahora()),
                             "&", "&&");
}

HMENU frmSincronizador::crearMenu() {
    HMENU menu = ::CreatePopupMenu();
    ::AppendMenuW(menu, MF_STRING | MF_GRAYED, menuEstado, ancho(lineaMenu()).c_str());
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, menuAbrir, L"Abrir");
    ::AppendMenuW(menu, MF_STRING, menuPausa, ancho(textoDe(control(Command1))).c_str());
    ::AppendMenuW(menu, MF_STRING, menuSoporte, L"Soporte");
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, menuSalir, L"Salir");
    return menu;
}

void frmSincronizador::abrirMenu() {
    // The state line is read afresh whenever the menu opens.
    refrescarResumen();
    HMENU menu = crearMenu();
    POINT punto{};
    ::GetCursorPos(&punto);
    // The shell's rule: the owner in front, or the menu does not close
    // when the user clicks elsewhere.
    ::SetForegroundWindow(hwnd_);
    ::TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, punto.x, punto.y, 0, hwnd_, nullptr);
    ::PostMessageW(hwnd_, WM_NULL, 0, 0);
    ::DestroyMenu(menu);
}

void frmSincronizador::setRegistro(comun::Registro& registro, const std::string& error) {
    registro_ = error.empty() ? &registro : nullptr;
    bitacora_.registro(registro_);
    lineaRegistro_ = lineaRegistro(registro.ruta(), error);
    mostrarDatos();
}

void frmSincronizador::mostrarDatos() {
    if (!motor_) return;
    ::SetWindowTextW(
        control(lblDatos),
        conCrLf(lineasDeTexto(textoDatos(motor_->sitio->motor->datosConexion(), lineaRegistro_)))
            .c_str());
}

void frmSincronizador::refrescarResumen() {
    if (!motor_) return;
    LecturaSitio lectura = leerSitio(motor_->sitio->conexion->dataFile(),
                                     motor_->sitio->reloj->ahora(), vigia_ ? &*vigia_ : nullptr);
    ultimoSitio_ = std::move(lectura.estado);
    ::SetWindowTextW(control(lblResumen), ancho(lectura.linea).c_str());
    if (lectura.aviso != VigiaServidor::Aviso::Ninguno) {
        SysTray_.ShowBalloonTip(lectura.textoAviso,
                                tipoAviso(lectura.aviso) == TipoAviso::Advertencia
                                    ? clsSystray::Advertencia
                                    : clsSystray::Informacion,
                                "Sincronizador");
        if (notificado) notificado(lectura.textoAviso);
    }
}

void frmSincronizador::escribir(const std::string& texto) noexcept {
    if (registro_) registro_->escribir(texto);
    if (capturaInicio_) capturaInicio_->append(texto);
    HWND consola = control(txtConsole);
    if (!consola) return;
    const std::wstring pieza = conCrLf(piezaConsola(texto));
    const int largo = ::GetWindowTextLengthW(consola);
    if (largo + static_cast<int>(pieza.size()) > kMaximoConsola) {
        // The oldest lines go, up to a line end, half the console at once.
        std::wstring todo(static_cast<size_t>(largo) + 1, L'\0');
        todo.resize(static_cast<size_t>(::GetWindowTextW(consola, todo.data(), largo + 1)));
        size_t corte = todo.find(L"\r\n", todo.size() / 2);
        corte = corte == std::wstring::npos ? todo.size() : corte + 2;
        ::SendMessageW(consola, EM_SETSEL, 0, static_cast<LPARAM>(corte));
        ::SendMessageW(consola, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    }
    // The caret goes to the end, so the newest line is in view.
    const int fin = ::GetWindowTextLengthW(consola);
    ::SendMessageW(consola, EM_SETSEL, fin, fin);
    ::SendMessageW(consola, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(pieza.c_str()));
    ::SendMessageW(consola, EM_SCROLLCARET, 0, 0);
}

void frmSincronizador::limpiar() noexcept {
    ::SetWindowTextW(control(txtConsole), L"");
}

void frmSincronizador::estadoSocket(int numero) noexcept {
    ::SetWindowTextW(control(lblState), std::to_wstring(numero).c_str());
}

void frmSincronizador::mostrar(EstadoIcono estado) noexcept {
    estadoIcono_ = estado;
    SysTray_.SetIcon(imagenesBandeja_[indice(estado)], textoEstado(estado));
    mostrarImagenes();
}

void frmSincronizador::mostrarImagenes() {
    // The window shows the same state, for a desktop that hides the tray:
    // the current state's picture is marked (WM_CTLCOLORSTATIC).
    for (const auto& imagen : kImagenes) ::InvalidateRect(control(imagen.first), nullptr, TRUE);
}

LRESULT CALLBACK frmSincronizador::procedimiento(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_NCCREATE) {
        auto* creacion = reinterpret_cast<CREATESTRUCTW*>(l);
        auto* ventana = static_cast<frmSincronizador*>(creacion->lpCreateParams);
        ventana->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(ventana));
    }
    auto* ventana = reinterpret_cast<frmSincronizador*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return ventana ? ventana->mensaje(msg, w, l) : ::DefWindowProcW(hwnd, msg, w, l);
}

LRESULT frmSincronizador::mensaje(UINT msg, WPARAM w, LPARAM l) {
    static const UINT barraCreada = ::RegisterWindowMessageW(L"TaskbarCreated");
    if (msg == barraCreada && barraCreada != 0) {
        // The shell restarted: the icon goes back as it was.
        SysTray_.reponer();
        return 0;
    }
    switch (msg) {
        case clsSystray::kMensaje:
            SysTray_.MouseMove(LOWORD(l));
            return 0;
        case WM_TIMER:
            if (w == timerOps) tick();
            if (w == tmrResumen) refrescarResumen();
            return 0;
        case WM_COMMAND:
            switch (LOWORD(w)) {
                case Command1:
                case menuPausa:
                    Command1_Click();
                    return 0;
                case cmdSoporte:
                case menuSoporte:
                    abrirSoporte(true);
                    return 0;
                case menuAbrir:
                    abrirVentana();
                    return 0;
                case menuSalir:
                    ::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
                    return 0;
            }
            break;
        case WM_CTLCOLORSTATIC: {
            const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(l));
            if (id == kImagenes[indice(estadoIcono_)].first) {
                ::SetBkColor(reinterpret_cast<HDC>(w), ::GetSysColor(COLOR_HIGHLIGHT));
                return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_HIGHLIGHT));
            }
            break;
        }
        case WM_DPICHANGED: {
            // Another monitor, or its scale changed: the controls in twips
            // at the new resolution, where the system proposes.
            const RECT* propuesto = reinterpret_cast<const RECT*>(l);
            ::SetWindowPos(hwnd_, nullptr, propuesto->left, propuesto->top, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            colocarControles();
            return 0;
        }
        case WM_ENDSESSION:
            // The user logs off or the system shuts down: the process ends
            // once this returns, and the icon goes with it first.
            if (w) SysTray_.delIcon();
            return 0;
        case WM_CLOSE:
            SysTray_.delIcon();
            if (frmMsg_) ::ShowWindow(frmMsg_->hwnd(), SW_HIDE);
            ::KillTimer(hwnd_, timerOps);
            ::KillTimer(hwnd_, tmrResumen);
            ::ShowWindow(hwnd_, SW_HIDE);
            if (cerrado) cerrado();
            ::PostQuitMessage(0);
            return 0;
    }
    return ::DefWindowProcW(hwnd_, msg, w, l);
}

int correrVentana(frmSincronizador& ventana, HANDLE detener, const std::function<bool()>& seguir) {
    bool pedida = false;
    for (;;) {
        MSG m;
        while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) return static_cast<int>(m.wParam);
            // Tab and the arrows move between the controls of either window.
            HWND raiz = m.hwnd ? ::GetAncestor(m.hwnd, GA_ROOT) : nullptr;
            if (raiz && ::IsDialogMessageW(raiz, &m)) continue;
            ::TranslateMessage(&m);
            ::DispatchMessageW(&m);
        }
        if (seguir && !seguir()) return 0;
        HANDLE esperas[2];
        DWORD n = 0;
        if (MotorDeVentana* motor = ventana.motor()) esperas[n++] = motor->socket.evento();
        if (detener && !pedida) esperas[n++] = detener;
        // A test's condition is looked at again now and then; the program
        // itself waits for a message or an event.
        const DWORD r = ::MsgWaitForMultipleObjectsEx(n, esperas, seguir ? 20 : INFINITE,
                                                      QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + n) {
            if (esperas[r - WAIT_OBJECT_0] == detener) {
                // Ctrl+C at the console, or the session ends: closed as by
                // its close box.
                pedida = true;
                ::PostMessageW(ventana.hwnd(), WM_CLOSE, 0, 0);
            } else if (MotorDeVentana* motor = ventana.motor()) {
                motor->socket.atender();
            }
        }
    }
}

}  // namespace ventana::win32
