#include "ventana/clsSystray.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QImage>
#include <QWidget>
#include <algorithm>

namespace ventana {

namespace {

// The first `largo` characters, never splitting a surrogate pair.
QString cortar(const QString& texto, int largo) {
    if (texto.size() <= largo) return texto;
    QString corto = texto.left(largo);
    if (corto.back().isHighSurrogate()) corto.chop(1);
    return corto;
}

// A notification through the desktop's notification service
// (org.freedesktop.Notifications), for desktops without a tray. Sent
// without waiting for an answer; nothing happens where there is no such
// service.
void notificarEscritorio(const QString& titulo, const QString& texto, int tiempoMs) {
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage llamada = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    llamada << QStringLiteral("Sincronizador") << 0u << QStringLiteral("sincronizador")
            << (titulo.isEmpty() ? QStringLiteral("Sincronizador") : titulo) << texto
            << QStringList() << QVariantMap() << tiempoMs;
    bus.call(llamada, QDBus::NoBlock);
}

}  // namespace

clsSystray::clsSystray(QObject* padre) : QObject(padre) {
    connect(&bandeja_, &QSystemTrayIcon::activated, this, &clsSystray::alActivar);
    connect(&bandeja_, &QSystemTrayIcon::messageClicked, this, &clsSystray::BalloonClicked);
}

clsSystray::~clsSystray() {
    delIcon();
}

bool clsSystray::Init(QWidget* ventana, const QString& tooltip) {
    if (ventana != nullptr) icono_ = ventana->windowIcon();
    agregado_ = true;
    aplicarIcono(icono_);
    TooltipText(tooltip);
    return false;
}

void clsSystray::TooltipText(const QString& texto) {
    textoTooltip_ = texto;
    tooltip_ = cortar(texto, kLargoTooltip);
    bandeja_.setToolTip(tooltip_);
}

void clsSystray::SetIcon(const QIcon& imagen, const QString& tip) {
    tooltip_ = cortar(tip, kLargoTooltip);
    bandeja_.setToolTip(tooltip_);
    icono_ = imagen;
    aplicarIcono(icono_);
}

void clsSystray::ShowBalloonTip(const QString& mensaje, int icono, const QString& titulo,
                                int tiempoMs) {
    textoGlobo_ = cortar(mensaje, kLargoGlobo);
    tituloGlobo_ = cortar(titulo, kLargoTituloGlobo);
    QSystemTrayIcon::MessageIcon tipo = QSystemTrayIcon::NoIcon;
    switch (icono) {
        case Informacion:
            tipo = QSystemTrayIcon::Information;
            break;
        case Advertencia:
            tipo = QSystemTrayIcon::Warning;
            break;
        case Error:
            tipo = QSystemTrayIcon::Critical;
            break;
        default:
            break;
    }
    if (!agregado_) return;
    if (bandeja_.isVisible() && QSystemTrayIcon::isSystemTrayAvailable()) {
        bandeja_.showMessage(tituloGlobo_, textoGlobo_, tipo, tiempoMs);
    } else {
        notificarEscritorio(tituloGlobo_, textoGlobo_, tiempoMs);
    }
}

void clsSystray::setMenu(QMenu* menu) {
    menu_ = menu;
    bandeja_.setContextMenu(menu);
}

void clsSystray::delIcon() {
    agregado_ = false;
    bandeja_.hide();
}

bool clsSystray::DrawIcon(const QPixmap& dibujo, qint64 colorTransparente) {
    if (dibujo.isNull()) return false;
    const QImage origen = dibujo.toImage().convertToFormat(QImage::Format_ARGB32);
    if (origen.isNull()) return false;
    QImage imagen;
    if (colorTransparente >= 0) {
        // The picture's owner gives colours as 0x00BBGGRR.
        const auto c = static_cast<quint32>(colorTransparente);
        const QRgb transparente = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
        imagen = QImage(32, 32, QImage::Format_ARGB32);
        imagen.fill(Qt::transparent);
        for (int y = 0; y < std::min(32, origen.height()); ++y) {
            const auto* fila = reinterpret_cast<const QRgb*>(origen.constScanLine(y));
            auto* destino = reinterpret_cast<QRgb*>(imagen.scanLine(y));
            for (int x = 0; x < std::min(32, origen.width()); ++x) {
                const QRgb p = fila[x] | 0xFF000000u;
                destino[x] = p == transparente ? qRgba(0, 0, 0, 0) : p;
            }
        }
    } else {
        imagen = origen;
        for (int y = 0; y < imagen.height(); ++y) {
            auto* fila = reinterpret_cast<QRgb*>(imagen.scanLine(y));
            for (int x = 0; x < imagen.width(); ++x) fila[x] |= 0xFF000000u;
        }
    }
    icono_ = QIcon(QPixmap::fromImage(imagen));
    aplicarIcono(icono_);
    return true;
}

void clsSystray::MouseMove(int /*boton*/, long mensaje, QWidget* /*ventana*/) {
    switch (mensaje) {
        case WM_LBUTTONDOWN:
            emit BalloonClicked();
            break;
        case WM_LBUTTONUP:
            emit LeftClick();
            break;
        case WM_LBUTTONDBLCLK:
            emit DoubleClick();
            break;
        case WM_RBUTTONUP:
            emit RightClick();
            break;
        case NIN_BALLOONHIDE:
            emit BalloonHide();
            break;
        case NIN_BALLOONTIMEOUT:
            emit BalloonTimeOut();
            break;
        default:
            break;
    }
}

void clsSystray::aplicarIcono(const QIcon& icono) {
    bandeja_.setIcon(icono);
    // Shown only once added and with an image. On X11 a tray host that
    // appears later takes the icon then; elsewhere (offscreen) there is
    // nothing to show it on.
    const bool hayDondeMostrar = QSystemTrayIcon::isSystemTrayAvailable() ||
                                 QGuiApplication::platformName() == QLatin1String("xcb");
    if (agregado_ && hayDondeMostrar && !icono.isNull() && !bandeja_.isVisible()) bandeja_.show();
}

void clsSystray::alActivar(QSystemTrayIcon::ActivationReason motivo) {
    switch (motivo) {
        case QSystemTrayIcon::Trigger:
            MouseMove(1, WM_LBUTTONDOWN);
            MouseMove(1, WM_LBUTTONUP);
            break;
        case QSystemTrayIcon::DoubleClick:
            MouseMove(1, WM_LBUTTONDBLCLK);
            break;
        case QSystemTrayIcon::Context:
            MouseMove(2, WM_RBUTTONUP);
            break;
        default:
            break;
    }
}

}  // namespace ventana
