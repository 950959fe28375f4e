#include "ventana/frmSincronizador.h"

#include <QAction>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

#include "comun/Registro.h"
#include "datos/Estado.h"
#include "ejecucion/InformeSitio.h"
#include "sincronizador/Motor.h"
#include "ventana/Avisos.h"
#include "ventana/EstadoBandeja.h"
#include "ventana/Iconos.h"
#include "ventana/Presentacion.h"
#include "ventana/frmMsg.h"
#include "ventana/modForm.h"

namespace ventana {

namespace {

using sincronizador::EstadoIcono;

QString qtexto(const std::string& texto) {
    return QString::fromUtf8(texto.data(), static_cast<qsizetype>(texto.size()));
}

QRect enPixeles(const LugarTwips& l, const QWidget* ventana) {
    return rectTwips(l.x, l.y, l.ancho, l.alto, ventana);
}

QLabel* crearImagen(QWidget* padre, const char* nombre, EstadoIcono estado, int orden) {
    auto* imagen = new QLabel(padre);
    imagen->setObjectName(QString::fromLatin1(nombre));
    imagen->setGeometry(enPixeles(lugarImagen(orden), padre));
    imagen->setAlignment(Qt::AlignCenter);
    imagen->setPixmap(iconoEstado(estado).pixmap(16, 16));
    imagen->setToolTip(QString::fromUtf8(textoEstado(estado)));
    return imagen;
}

}  // namespace

frmSincronizador::frmSincronizador(Avisos& avisos, QWidget* padre)
    : QWidget(padre), avisos_(avisos), bitacora_(*this, nullptr) {
    setObjectName(QStringLiteral("frmSincronizador"));
    setWindowTitle(QStringLiteral("Sincronizador V3.0"));
    setWindowIcon(iconoPrograma());
    setFixedSize(twipsAPixeles(kAnchoVentana, this), twipsAPixeles(kAltoVentana, this));

    Command1_ = new QPushButton(QString::fromLatin1(kPausar), this);
    Command1_->setObjectName(QStringLiteral("Command1"));
    Command1_->setGeometry(enPixeles(kLugarCommand1, this));
    connect(Command1_, &QPushButton::clicked, this, &frmSincronizador::Command1_Click);
    // The support window without the tray, for desktops that have none.
    cmdSoporte_ = new QPushButton(QStringLiteral("Soporte"), this);
    cmdSoporte_->setObjectName(QStringLiteral("cmdSoporte"));
    cmdSoporte_->setGeometry(enPixeles(kLugarSoporte, this));
    connect(cmdSoporte_, &QPushButton::clicked, this, &frmSincronizador::abrirSoporte);

    lblDatos_ = new QLabel(this);
    lblDatos_->setObjectName(QStringLiteral("lblDatos"));
    lblDatos_->setGeometry(enPixeles(kLugarDatos, this));
    lblDatos_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDatos_->setTextFormat(Qt::PlainText);
    lblDatos_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    txtConsole_ = new QPlainTextEdit(this);
    txtConsole_->setObjectName(QStringLiteral("txtConsole"));
    txtConsole_->setGeometry(enPixeles(kLugarConsola, this));
    txtConsole_->setReadOnly(true);
    txtConsole_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtConsole_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtConsole_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    txtConsole_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Read-only, yet the caret follows the newest line and can be used to
    // select and copy.
    txtConsole_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    lblState_ = new QLabel(this);
    lblState_->setObjectName(QStringLiteral("lblState"));
    lblState_->setGeometry(enPixeles(kLugarEstadoSocket, this));

    // The free strip left of the button: the site's state at a glance.
    lblResumen_ = new QLabel(this);
    lblResumen_->setObjectName(QStringLiteral("lblResumen"));
    lblResumen_->setGeometry(enPixeles(kLugarResumen, this));
    lblResumen_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblResumen_->setTextFormat(Qt::PlainText);
    lblResumen_->setWordWrap(true);
    lblResumen_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tmrResumen_.setInterval(kIntervaloResumenMs);
    connect(&tmrResumen_, &QTimer::timeout, this, &frmSincronizador::refrescarResumen);

    pctError_ = crearImagen(this, "pctError", EstadoIcono::Error, 0);
    pctOK_ = crearImagen(this, "pctOK", EstadoIcono::Satisfactorio, 1);
    pctConected_ = crearImagen(this, "pctConected", EstadoIcono::Conectado, 2);
    pctDisconected_ = crearImagen(this, "pctDisconected", EstadoIcono::Desconectado, 3);

    crearMenu();
    connect(&SysTray_, &clsSystray::BalloonClicked, this,
            &frmSincronizador::SysTray_BalloonClicked);
}

void frmSincronizador::crearMenu() {
    menuBandeja_ = new QMenu(this);
    menuBandeja_->setObjectName(QStringLiteral("menuBandeja"));
    accEstado_ = menuBandeja_->addAction(QString());
    accEstado_->setObjectName(QStringLiteral("accEstado"));
    accEstado_->setEnabled(false);
    menuBandeja_->addSeparator();
    accAbrir_ =
        menuBandeja_->addAction(QStringLiteral("Abrir"), this, &frmSincronizador::abrirVentana);
    accPausa_ = menuBandeja_->addAction(Command1_->text(), this, &frmSincronizador::Command1_Click);
    accSoporte_ =
        menuBandeja_->addAction(QStringLiteral("Soporte"), this, &frmSincronizador::abrirSoporte);
    menuBandeja_->addSeparator();
    accSalir_ = menuBandeja_->addAction(QStringLiteral("Salir"), this, &QWidget::close);
    // The state line is read afresh whenever the menu opens.
    connect(menuBandeja_, &QMenu::aboutToShow, this, &frmSincronizador::refrescarResumen);
    SysTray_.setMenu(menuBandeja_);
    mostrarLineaMenu();
}

frmSincronizador::~frmSincronizador() {
    SysTray_.delIcon();
}

ejecucion::PuertosCara frmSincronizador::puertos() {
    return {*this, *this, bitacora_};
}

void frmSincronizador::conectar(ejecucion::Nucleo& nucleo) {
    nucleo_ = &nucleo;
    mostrarDatos();
    mostrarLineaMenu();
}

bool frmSincronizador::cargar() {
    // The configuration and the site values first, then the tray icon,
    // which comes up showing the state the start-up left (disconnected).
    cicloIniciado_ = iniciarCiclo();
    SysTray_.Init(this, QStringLiteral("Sincronizador Ombrel"));
    SysTray_.SetIcon(iconoEstado(estadoIcono_), QString::fromUtf8(textoEstado(estadoIcono_)));
    vigia_.emplace(nucleo_->relojSistema().ahora(), limiteSinServidor_);
    // Otherwise the cycle waits for the button, which says what it will do.
    if (cicloIniciado_) nucleo_->arrancar();
    mostrarPausa();
    refrescarResumen();
    tmrResumen_.start();
    return cicloIniciado_;
}

bool frmSincronizador::iniciarCiclo() {
    nucleo_->leerConfiguracion([this](const std::string& aviso) {
        avisos_.mensaje(QString::fromStdString(aviso), Avisos::Icono::Ninguno);
    });
    mostrarDatos();
    // What the engine says when it cannot start is the menu's state line.
    std::string escrito;
    capturaInicio_ = &escrito;
    const bool iniciado = nucleo_->iniciar();
    capturaInicio_ = nullptr;
    motivoParada_ = iniciado ? std::string() : ultimaLinea(escrito);
    return iniciado;
}

void frmSincronizador::Command1_Click() {
    auto& motor = nucleo_->motor();
    if (!cicloIniciado_) {
        // Start-up did not get through (no configuration, no database): the
        // configuration is read again, so a mended file is taken.
        limpiar();
        cicloIniciado_ = iniciarCiclo();
        if (cicloIniciado_) {
            motor.reanudar();
            nucleo_->arrancar();
        }
        mostrarPausa();
        refrescarResumen();
        return;
    }
    if (motor.pausado()) {
        motor.reanudar();
    } else {
        // The timer keeps ticking: an exchange under way still completes,
        // and one that hangs is still released.
        motor.pausar();
    }
    mostrarPausa();
    mostrarLineaMenu();
}

void frmSincronizador::mostrarPausa() {
    const QString texto =
        QString::fromLatin1(textoPausa(cicloIniciado_, nucleo_ && nucleo_->motor().pausado()));
    Command1_->setText(texto);
    accPausa_->setText(texto);
}

void frmSincronizador::abrirVentana() {
    showNormal();
    raise();
    activateWindow();
}

void frmSincronizador::SysTray_BalloonClicked() {
    abrirSoporte();
}

void frmSincronizador::abrirSoporte() {
    if (!frmMsg_) {
        frmMsg_ = std::make_unique<frmMsg>(nucleo_->mensajeria(), avisos_);
        frmMsg_->cargar();
    }
    frmMsg_->abrir();
}

void frmSincronizador::setRegistro(comun::Registro& registro, const std::string& error) {
    registro_ = error.empty() ? &registro : nullptr;
    bitacora_.registro(registro_);
    lineaRegistro_ = lineaRegistro(registro.ruta(), error);
    mostrarDatos();
}

void frmSincronizador::mostrarDatos() {
    if (!nucleo_) return;
    lblDatos_->setText(
        qtexto(lineasDeTexto(textoDatos(nucleo_->motor().datosConexion(), lineaRegistro_))));
}

void frmSincronizador::refrescarResumen() {
    LecturaSitio lectura = leerSitio(nucleo_->archivoBase(), nucleo_->relojSistema().ahora(),
                                     vigia_ ? &*vigia_ : nullptr);
    ultimoSitio_ = std::move(lectura.estado);
    const QString texto = QString::fromStdString(lectura.linea);
    lblResumen_->setText(texto);
    lblResumen_->setToolTip(texto);
    mostrarLineaMenu();
    if (lectura.aviso != VigiaServidor::Aviso::Ninguno) {
        const QString textoAviso = QString::fromStdString(lectura.textoAviso);
        // A balloon or a desktop notification: neither takes the focus.
        SysTray_.ShowBalloonTip(textoAviso,
                                tipoAviso(lectura.aviso) == TipoAviso::Advertencia
                                    ? clsSystray::Advertencia
                                    : clsSystray::Informacion,
                                QStringLiteral("Sincronizador"));
        emit notificado(textoAviso);
    }
}

void frmSincronizador::mostrarLineaMenu() {
    if (!nucleo_) return;
    SituacionCiclo ciclo;
    ciclo.enMarcha = cicloIniciado_;
    ciclo.motivo = motivoParada_;
    ciclo.pausado = nucleo_->motor().pausado();
    // A menu item reads "&" as the mark of its shortcut key.
    accEstado_->setText(QString::fromStdString(
                            lineaEstadoMenu(ciclo, ultimoSitio_, nucleo_->relojSistema().ahora()))
                            .replace(QLatin1Char('&'), QStringLiteral("&&")));
}

void frmSincronizador::escribir(const std::string& texto) noexcept {
    if (registro_) registro_->escribir(texto);
    if (capturaInicio_) capturaInicio_->append(texto);
    const QString t = qtexto(piezaConsola(texto));
    QTextCursor cursor(txtConsole_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(t);
    // The caret goes to the end, so the newest line is in view.
    txtConsole_->moveCursor(QTextCursor::End);
    txtConsole_->ensureCursorVisible();
    txtConsole_->verticalScrollBar()->setValue(txtConsole_->verticalScrollBar()->maximum());
}

void frmSincronizador::limpiar() noexcept {
    txtConsole_->clear();
}

void frmSincronizador::estadoSocket(int numero) noexcept {
    lblState_->setText(QString::number(numero));
}

void frmSincronizador::mostrar(EstadoIcono estado) noexcept {
    estadoIcono_ = estado;
    SysTray_.SetIcon(iconoEstado(estado), QString::fromUtf8(textoEstado(estado)));
    // The window shows the same state, for desktops without a tray: the
    // current state's picture is marked.
    const std::pair<QLabel*, EstadoIcono> imagenes[] = {
        {pctError_, EstadoIcono::Error},
        {pctOK_, EstadoIcono::Satisfactorio},
        {pctConected_, EstadoIcono::Conectado},
        {pctDisconected_, EstadoIcono::Desconectado},
    };
    for (const auto& [imagen, suyo] : imagenes) {
        imagen->setStyleSheet(suyo == estado
                                  ? QStringLiteral("background-color: palette(highlight); "
                                                   "border-radius: 3px;")
                                  : QString());
    }
}

void frmSincronizador::closeEvent(QCloseEvent* evento) {
    SysTray_.delIcon();
    if (frmMsg_) frmMsg_->hide();
    evento->accept();
    emit cerrado();
}

}  // namespace ventana
