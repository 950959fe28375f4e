#include "ventana/modForm.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include "ventana/Geometria.h"

namespace ventana {

namespace {

QScreen* pantallaDe(const QWidget* ventana) {
    QScreen* pantalla = ventana != nullptr ? ventana->screen() : nullptr;
    return pantalla != nullptr ? pantalla : QGuiApplication::primaryScreen();
}

double puntosPorPulgada(const QWidget* ventana) {
    const QScreen* pantalla = pantallaDe(ventana);
    const double ppp = pantalla != nullptr ? pantalla->logicalDotsPerInch() : 96.0;
    return ppp > 0 ? ppp : 96.0;
}

}  // namespace

int twipsAPixeles(int twips, const QWidget* ventana) {
    return twipsEnPixeles(twips, puntosPorPulgada(ventana));
}

int pixelesATwips(int pixeles, const QWidget* ventana) {
    return pixelesEnTwips(pixeles, puntosPorPulgada(ventana));
}

QRect rectTwips(int x, int y, int ancho, int alto, const QWidget* ventana) {
    return {twipsAPixeles(x, ventana), twipsAPixeles(y, ventana), twipsAPixeles(ancho, ventana),
            twipsAPixeles(alto, ventana)};
}

namespace {

// Where the window's frame goes, its top-left corner, for the whole window
// (frame included) to sit at the lower-right corner of the screen's
// available area.
QPoint esquinaDe(const QWidget& ventana) {
    const QSize total = ventana.frameGeometry().size();
    const QScreen* pantalla = pantallaDe(&ventana);
    const QRect area = pantalla != nullptr ? pantalla->availableGeometry() : QRect(0, 0, 800, 600);
    const Punto esquina =
        esquinaInferiorDerecha({area.x(), area.y(), area.width(), area.height()}, total.width(),
                               total.height(), twipsAPixeles(kMargenEsquinaTwips, &ventana));
    return {esquina.x, esquina.y};
}

// The window manager has the last word on where a window goes: it may frame
// the window only after it is mapped (keeping the client where it was, so
// the frame reaches below the corner, and telling nobody), or put the frame
// a border away from where it was asked to. For a while after the window is
// placed its frame is checked, and the window moved by what it is off, a
// few times at most, so that it never fights someone dragging it.
class Colocacion : public QObject {
  public:
    static inline const QString kNombre = QStringLiteral("colocacionEnEsquina");
    static constexpr int kIntervaloMs = 50;
    static constexpr int kRevisiones = 60;
    static constexpr int kCorrecciones = 3;
    Colocacion(QWidget& ventana, QPoint pedido)
        : QObject(&ventana), ventana_(ventana), pedido_(pedido) {
        setObjectName(kNombre);
        reloj_.setInterval(kIntervaloMs);
        connect(&reloj_, &QTimer::timeout, this, &Colocacion::revisar);
        reloj_.start();
    }

  private:
    void revisar() {
        const QPoint desvio = esquinaDe(ventana_) - ventana_.frameGeometry().topLeft();
        if (!desvio.isNull() && ventana_.isVisible()) {
            ++correcciones_;
            pedido_ += desvio;
            ventana_.move(pedido_);
        }
        if (++revisiones_ >= kRevisiones || correcciones_ >= kCorrecciones) {
            reloj_.stop();
            deleteLater();
        }
    }

    QWidget& ventana_;
    QTimer reloj_;
    QPoint pedido_;
    int revisiones_ = 0;
    int correcciones_ = 0;
};

}  // namespace

void mostrarEnEsquina(QWidget& ventana, int16_t ancho, int16_t alto) {
    ventana.setWindowState(ventana.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    if (ancho > 0 && alto > 0) {
        ventana.resize(twipsAPixeles(ancho, &ventana), twipsAPixeles(alto, &ventana));
    }
    // Placed once shown: before that the frame (title bar, borders) is not
    // known, and a window placed without it would reach below the corner.
    ventana.show();
    const QPoint pedido = esquinaDe(ventana);
    // A window's position is that of its frame.
    ventana.move(pedido);
    // The follow-up of an earlier placement gives way to this one.
    delete ventana.findChild<QObject*>(Colocacion::kNombre, Qt::FindDirectChildrenOnly);
    new Colocacion(ventana, pedido);
}

namespace {

// Sets or clears one of the window's flags.
void ponerBandera(QWidget& ventana, Qt::WindowType bandera, bool puesta) {
    Qt::WindowFlags banderas = ventana.windowFlags();
    banderas.setFlag(bandera, puesta);
    if (banderas == ventana.windowFlags()) return;
    if (QWindow* nativa = ventana.windowHandle()) {
        // Told to the window system directly: setWindowFlags would hide and
        // re-create a shown window, and with it the focus of whoever is
        // typing in it.
        ventana.overrideWindowFlags(banderas);
        nativa->setFlags(banderas);
    } else {
        ventana.setWindowFlags(banderas);
    }
}

// Some window managers focus every window they map, whatever it asks. A
// window that comes up by itself therefore also refuses the focus while it
// is mapped, and takes it again once it has been on screen a moment, or at
// once when someone clicks in it.
class SinFocoAlMapear : public QObject {
  public:
    static inline const QString kNombre = QStringLiteral("sinFocoAlMapear");
    static constexpr int kIntervaloMs = 100;
    // Checks the window has been on screen before it may take the focus.
    static constexpr int kVistas = 5;

    explicit SinFocoAlMapear(QWidget& ventana) : QObject(&ventana), ventana_(ventana) {
        setObjectName(kNombre);
        ponerBandera(ventana_, Qt::WindowDoesNotAcceptFocus, true);
        ventana_.installEventFilter(this);
        connect(&reloj_, &QTimer::timeout, this, [this] {
            const QWindow* nativa = ventana_.windowHandle();
            vistas_ =
                ventana_.isVisible() && nativa != nullptr && nativa->isExposed() ? vistas_ + 1 : 0;
            if (vistas_ >= kVistas) terminar();
        });
        reloj_.start(kIntervaloMs);
    }
    // The window may take the focus again.
    void terminar() {
        reloj_.stop();
        ventana_.removeEventFilter(this);
        ponerBandera(ventana_, Qt::WindowDoesNotAcceptFocus, false);
        deleteLater();
    }

  protected:
    bool eventFilter(QObject* /*objeto*/, QEvent* evento) override {
        if (evento->type() == QEvent::MouseButtonPress) {
            terminar();
            ventana_.activateWindow();
        }
        return false;
    }

  private:
    QWidget& ventana_;
    QTimer reloj_;
    int vistas_ = 0;
};

}  // namespace

void activarAlMostrar(QWidget& ventana, bool activar) {
    ventana.setAttribute(Qt::WA_ShowWithoutActivating, !activar);
    // Qt hands the attribute to the window system when it creates the
    // native window only; a window shown before is told directly.
    if (QWindow* nativa = ventana.windowHandle())
        nativa->setProperty("_q_showWithoutActivating", !activar);
    auto* pendiente =
        ventana.findChild<QObject*>(SinFocoAlMapear::kNombre, Qt::FindDirectChildrenOnly);
    if (activar) {
        if (pendiente != nullptr) static_cast<SinFocoAlMapear*>(pendiente)->terminar();
    } else if (pendiente == nullptr && !ventana.isVisible()) {
        new SinFocoAlMapear(ventana);
    }
}

void siempreEncima(QWidget& ventana, bool encima) {
    // Shown in front, not activated: a message that arrives while someone
    // types in another program leaves the keyboard where it is.
    activarAlMostrar(ventana, false);
    ponerBandera(ventana, Qt::WindowStaysOnTopHint, encima);
    if (!ventana.isVisible()) ventana.show();
    if (encima) ventana.raise();
}

}  // namespace ventana
