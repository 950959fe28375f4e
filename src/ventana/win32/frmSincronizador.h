// The main window of the Win32 face: the console of the current exchange,
// the connection data, the socket state while connecting, the pause and
// support buttons, the four state pictures and the site's state line. It
// is the engine's console and tray and owns the tray icon with its menu;
// the engine is composed outside it (MotorDeVentana) and handed to it, and
// runs on this window's message loop: the cycle's tick is a timer of the
// window, the socket's events are handed over by the loop (correrVentana).
// What the controls show comes from the toolkit-free Presentacion,
// AvisosOperador and EstadoBandeja, as in the Qt face.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "comun/Bitacora.h"
#include "datos/Estado.h"
#include "ejecucion/CaraSinVentana.h"
#include "ejecucion/Composicion.h"
#include "ejecucion/Opciones.h"
#include "ejecucion/win32/SocketWinsock.h"
#include "sincronizador/Puertos.h"
#include "ventana/AvisosOperador.h"
#include "ventana/win32/clsSystray.h"

namespace comun {
class Registro;
}

namespace ventana::win32 {

class Avisos;
class frmMsg;
class frmSincronizador;

// The engine of a window: composed with the window's ports (componerMotor)
// over the Winsock socket. Made after the window and destroyed before it,
// which it leaves without an engine.
struct MotorDeVentana {
    MotorDeVentana(const ejecucion::OpcionesEjecucion& opciones, frmSincronizador& ventana);
    ~MotorDeVentana();
    MotorDeVentana(const MotorDeVentana&) = delete;
    MotorDeVentana& operator=(const MotorDeVentana&) = delete;

    ejecucion::OpcionesEjecucion opciones;
    frmSincronizador& ventana;
    ejecucion::win32::SocketWinsock socket;
    std::unique_ptr<ejecucion::MotorDelSitio> sitio;
    // Why the TLS the options ask for cannot be set up; empty when it can.
    std::string errorTls;
};

class frmSincronizador : public sincronizador::Consola, public sincronizador::Bandeja {
  public:
    static constexpr const wchar_t* kClase = L"SincronizadorVentana";
    // The controls, by their numbers (GetDlgItem).
    enum Control : int {
        Command1 = 1001,
        cmdSoporte,
        lblDatos,
        txtConsole,
        lblState,
        lblResumen,
        pctError,
        pctOK,
        pctConected,
        pctDisconected,
    };
    // The tray menu's items, and the WM_COMMAND each sends.
    enum Menu : int { menuEstado = 2001, menuAbrir, menuPausa, menuSoporte, menuSalir };
    enum Reloj : UINT_PTR { timerOps = 1, tmrResumen };
    static constexpr UINT kIntervaloResumenMs = 5000;
    // The most the console holds; beyond it the oldest lines go, so a run
    // of huge answers never slows the window.
    static constexpr int kMaximoConsola = 512 * 1024;

    explicit frmSincronizador(Avisos& avisos);
    ~frmSincronizador() override;
    frmSincronizador(const frmSincronizador&) = delete;
    frmSincronizador& operator=(const frmSincronizador&) = delete;

    // What the engine is composed with: this window as its console and tray,
    // and the apply step's log that writes to the console.
    ejecucion::PuertosCara puertos();
    void conectar(MotorDeVentana* motor);

    // Start-up after the single-instance test: reads the configuration
    // file, loads the site values, adds the tray icon and starts the cycle.
    // False when the cycle cannot run yet; the window and the tray still
    // come up, the console says why, and Command1 tries again.
    bool cargar();
    // The log file that receives every console line too (see the Qt face).
    void setRegistro(comun::Registro& registro, const std::string& error);
    void setLimiteSinServidor(long segundos) { limiteSinServidor_ = segundos; }
    // Reads the site's state into the state line and the tray menu's first
    // line, and notifies when the server has gone unreached too long.
    void refrescarResumen();

    // The engine's console.
    void escribir(const std::string& texto) noexcept override;
    void limpiar() noexcept override;
    void estadoSocket(int numero) noexcept override;
    // The engine's tray.
    void mostrar(sincronizador::EstadoIcono estado) noexcept override;

    HWND hwnd() const { return hwnd_; }
    MotorDeVentana* motor() const { return motor_; }
    HWND control(Control id) const { return ::GetDlgItem(hwnd_, id); }
    clsSystray& SysTray() { return SysTray_; }
    frmMsg* ventanaMensajes() { return frmMsg_.get(); }
    sincronizador::EstadoIcono estadoIcono() const { return estadoIcono_; }
    // The tray's menu as it stands now: the state line, "Abrir", "Pausar
    // Reloj" / "Reanudar Reloj", "Soporte", "Salir". The caller destroys it.
    HMENU crearMenu();
    // Called after the window has gone (closed, or the passes done).
    std::function<void()> cerrado;
    // Called with the text of each notification that goes out.
    std::function<void(const std::string&)> notificado;

    static LRESULT CALLBACK procedimiento(HWND, UINT, WPARAM, LPARAM);

  private:
    LRESULT mensaje(UINT msg, WPARAM w, LPARAM l);
    void crearControles();
    void colocarControles();
    void Command1_Click();
    void abrirSoporte(bool activar);
    void abrirVentana();
    void abrirMenu();
    void mostrarPausa();
    void mostrarDatos();
    void mostrarImagenes();
    bool iniciarCiclo();
    void tick();
    std::string lineaMenu() const;

    Avisos& avisos_;
    // What the apply step reports goes to the console, one line each.
    ejecucion::BitacoraSalida bitacora_;
    MotorDeVentana* motor_ = nullptr;
    comun::Registro* registro_ = nullptr;
    std::string lineaRegistro_;
    clsSystray SysTray_;
    std::unique_ptr<frmMsg> frmMsg_;
    bool cicloIniciado_ = false;
    bool enTick_ = false;
    std::string motivoParada_;
    std::string* capturaInicio_ = nullptr;
    std::optional<datos::EstadoSitio> ultimoSitio_;
    long limiteSinServidor_ = VigiaServidor::kLimiteMinutos * 60;
    std::optional<VigiaServidor> vigia_;
    sincronizador::EstadoIcono estadoIcono_ = sincronizador::EstadoIcono::Desconectado;

    HWND hwnd_ = nullptr;
    HFONT fuente_ = nullptr;
    HFONT fuenteFija_ = nullptr;
    HICON iconoGrande_ = nullptr;
    HICON iconoChico_ = nullptr;
    // Each state's picture: in the window (by the monitor's scale) and in
    // the tray (the shell's small icon size).
    std::array<HICON, 4> imagenes_{};
    std::array<HICON, 4> imagenesBandeja_{};
};

// The message loop of the face: dispatches the windows' messages and hands
// the socket's events to the engine as they come, until the main window
// has gone (WM_QUIT), `detener` is signalled (then the window is closed as
// by its close box) or `seguir` returns false. Returns WM_QUIT's code, 0
// otherwise.
int correrVentana(frmSincronizador& ventana, HANDLE detener,
                  const std::function<bool()>& seguir = {});

}  // namespace ventana::win32
