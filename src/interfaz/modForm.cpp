#include "interfaz/modForm.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace interfaz {

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
    return static_cast<int>(std::lround(twips * puntosPorPulgada(ventana) / kTwipsPorPulgada));
}

int pixelesATwips(int pixeles, const QWidget* ventana) {
    return static_cast<int>(std::lround(pixeles * kTwipsPorPulgada / puntosPorPulgada(ventana)));
}

QRect rectTwips(int x, int y, int ancho, int alto, const QWidget* ventana) {
    return {twipsAPixeles(x, ventana), twipsAPixeles(y, ventana), twipsAPixeles(ancho, ventana),
            twipsAPixeles(alto, ventana)};
}

void mostrarEnEsquina(QWidget& ventana, int16_t ancho, int16_t alto) {
    ventana.setWindowState(ventana.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    if (ancho > 0 && alto > 0) {
        ventana.resize(twipsAPixeles(ancho, &ventana), twipsAPixeles(alto, &ventana));
    }
    // The frame (title bar, borders) counts: the whole window sits in the
    // corner. Before the first show the frame is not known yet.
    const QSize marco = ventana.frameGeometry().size() - ventana.geometry().size();
    const QSize total = ventana.size() + marco;
    const QScreen* pantalla = pantallaDe(&ventana);
    const QRect area = pantalla != nullptr ? pantalla->availableGeometry() : QRect(0, 0, 800, 600);
    const int x = area.right() + 1 - total.width() - twipsAPixeles(200, &ventana);
    const int y = area.bottom() + 1 - total.height();
    ventana.move(std::max(area.left(), x), std::max(area.top(), y));
    ventana.show();
}

void siempreEncima(QWidget& ventana, bool encima) {
    // Shown in front, not activated: a message that arrives while someone
    // types in another program leaves the keyboard where it is.
    ventana.setAttribute(Qt::WA_ShowWithoutActivating, true);
    Qt::WindowFlags banderas = ventana.windowFlags();
    banderas.setFlag(Qt::WindowStaysOnTopHint, encima);
    if (banderas != ventana.windowFlags()) {
        if (QWindow* nativa = ventana.windowHandle()) {
            // Told to the window system directly: setWindowFlags would hide
            // and re-create a shown window, and with it the focus of
            // whoever is typing in it.
            ventana.overrideWindowFlags(banderas);
            nativa->setFlags(banderas);
        } else {
            ventana.setWindowFlags(banderas);
        }
    }
    if (!ventana.isVisible()) ventana.show();
    if (encima) ventana.raise();
}

}  // namespace interfaz
