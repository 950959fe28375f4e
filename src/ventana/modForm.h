// Window functions shared by the windows: sizes in twips, the lower-right
// corner, and keeping a window in front.
#pragma once

#include <QRect>
#include <cstdint>

#include "ventana/Geometria.h"

class QWidget;

namespace ventana {

// Twips (1/1440 inch) as the device-independent pixels of the screen the
// window is on (the primary screen when there is none): 15 twips a pixel on
// a 96 dpi screen, 12 on a 120 dpi one. The one place where twips become
// pixels.
int twipsAPixeles(int twips, const QWidget* ventana = nullptr);
int pixelesATwips(int pixeles, const QWidget* ventana = nullptr);
// A control's place, given as left, top, width and height in twips.
QRect rectTwips(int x, int y, int ancho, int alto, const QWidget* ventana = nullptr);

// Sets the window to its normal state, gives it the size (twips; 0 keeps
// the current one), shows it and puts it, frame included, at the lower-right
// corner of the screen's available area, 200 twips from the right edge. A
// window manager that tells the frame later, or puts it elsewhere, is
// followed for a moment and the window moved to the corner again. Whether showing activates it is
// the window's Qt::WA_ShowWithoutActivating.
void mostrarEnEsquina(QWidget& ventana, int16_t ancho, int16_t alto);

// Whether showing the window (again) gives it the focus: true for a window
// the user asked for, false for one that comes up by itself.
void activarAlMostrar(QWidget& ventana, bool activar);

// True keeps the window above the others; false puts it back among them.
// Either way the window is shown if it was hidden, and it does not take the
// focus from where someone is typing.
void siempreEncima(QWidget& ventana, bool encima);

}  // namespace ventana
