// The main window: the console of the current exchange, the connection
// data, the socket state while connecting, the pause and support buttons
// and the four state pictures. It is the engine's console and tray, and
// owns the tray icon with its menu; the engine is composed outside it (the
// window face does that, as the headless face does) and handed to it. It
// tells the desktop when the server has not been reached for a while.
#pragma once

#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>

#include "datos/Estado.h"
#include "ejecucion/CaraSinVentana.h"
#include "ejecucion/Nucleo.h"
#include "sincronizador/Puertos.h"
#include "ventana/AvisosOperador.h"
#include "ventana/Presentacion.h"
#include "ventana/clsSystray.h"

namespace comun {
class Registro;
}

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace ventana {

class Avisos;
class frmMsg;

class frmSincronizador : public QWidget,
                         public sincronizador::Consola,
                         public sincronizador::Bandeja {
    Q_OBJECT
  public:
    // The longest piece of text the console shows at once; the rest of a
    // larger one is left out with a note, so that a huge answer cannot
    // freeze the window.
    static constexpr int kMaximoPieza = static_cast<int>(ventana::kMaximoPieza);
    // How often the site's state line is read again from the database.
    static constexpr int kIntervaloResumenMs = 5000;

    explicit frmSincronizador(Avisos& avisos, QWidget* padre = nullptr);
    ~frmSincronizador() override;

    // What the engine is composed with: this window as its console and tray,
    // and the apply step's log that writes to the console.
    ejecucion::PuertosCara puertos();
    // The engine composed with puertos(), before cargar. Whoever owns it
    // destroys it before the window, which it holds as its console.
    void conectar(ejecucion::Nucleo& nucleo);

    // Start-up after the single-instance test: reads the configuration
    // file, loads the site values, adds the tray icon and starts the cycle.
    // False when the cycle cannot run yet; the window and the tray still
    // come up, the console says why, and Command1 tries again.
    bool cargar();

    // The log file that receives every console line and the apply step's
    // debug lines too; none by default. It must outlive the window. With an
    // `error` (the file could not be opened) nothing is written to it, and
    // the connection data say why.
    void setRegistro(comun::Registro& registro, const std::string& error);

    // Reads the site's state (last exchange, queue, failures) and shows it
    // in one line at the top of the window and in the tray menu's first
    // line; says why when it cannot be read. Notifies the desktop when the
    // server has gone unreached past the limit, and when it is reached
    // again.
    void refrescarResumen();

    // How long the server may go unreached before the desktop is told;
    // VigiaServidor::kLimiteMinutos unless set before cargar.
    void setLimiteSinServidor(long segundos) { limiteSinServidor_ = segundos; }

    // The engine's console.
    void escribir(const std::string& texto) noexcept override;
    void limpiar() noexcept override;
    void estadoSocket(int numero) noexcept override;
    // The engine's tray.
    void mostrar(sincronizador::EstadoIcono estado) noexcept override;

    ejecucion::Nucleo& nucleo() { return *nucleo_; }
    clsSystray& SysTray() { return SysTray_; }
    // The support window, once it has been opened.
    frmMsg* ventanaMensajes() { return frmMsg_.get(); }
    // The tray icon's menu: the state line, "Abrir", "Pausar Reloj" /
    // "Reanudar Reloj", "Soporte", "Salir".
    QMenu& menuBandeja() { return *menuBandeja_; }
    sincronizador::EstadoIcono estadoIcono() const { return estadoIcono_; }

  signals:
    // The window was closed: the program ends.
    void cerrado();
    // A desktop notification went out with this text.
    void notificado(const QString& texto);

  protected:
    void closeEvent(QCloseEvent* evento) override;

  private:
    void Command1_Click();
    void SysTray_BalloonClicked();
    // Opens the support window (tray click, menu, button).
    void abrirSoporte();
    void abrirVentana();
    void crearMenu();
    // The pause button's caption, and the menu item's with it, as the
    // cycle stands.
    void mostrarPausa();
    void mostrarLineaMenu();
    bool iniciarCiclo();
    // lblDatos: the connection data, and the log file when there is one.
    void mostrarDatos();

    Avisos& avisos_;
    // What the apply step reports goes to the console, one line each.
    ejecucion::BitacoraSalida bitacora_;
    ejecucion::Nucleo* nucleo_ = nullptr;
    comun::Registro* registro_ = nullptr;
    std::string lineaRegistro_;
    clsSystray SysTray_;
    std::unique_ptr<frmMsg> frmMsg_;
    bool cicloIniciado_ = false;
    // Why the cycle did not start: the engine's last console line then.
    std::string motivoParada_;
    std::string* capturaInicio_ = nullptr;
    // What was last read of the site's state; none when it could not be.
    std::optional<datos::EstadoSitio> ultimoSitio_;
    long limiteSinServidor_ = VigiaServidor::kLimiteMinutos * 60;
    std::optional<VigiaServidor> vigia_;
    sincronizador::EstadoIcono estadoIcono_ = sincronizador::EstadoIcono::Desconectado;

    QPlainTextEdit* txtConsole_;
    QLabel* lblDatos_;
    QLabel* lblState_;
    QLabel* lblResumen_;
    QTimer tmrResumen_;
    QPushButton* Command1_;
    QPushButton* cmdSoporte_;
    QMenu* menuBandeja_;
    QAction* accEstado_;
    QAction* accAbrir_;
    QAction* accPausa_;
    QAction* accSoporte_;
    QAction* accSalir_;
    QLabel* pctError_;
    QLabel* pctOK_;
    QLabel* pctConected_;
    QLabel* pctDisconected_;
};

}  // namespace ventana
