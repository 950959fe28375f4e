#include "ventana/Geometria.h"

#include <algorithm>
#include <cmath>

namespace ventana {

namespace {

double valida(double ppp) {
    return ppp > 0 ? ppp : 96.0;
}

}  // namespace

int twipsEnPixeles(int twips, double ppp) {
    return static_cast<int>(std::lround(twips * valida(ppp) / kTwipsPorPulgada));
}

int pixelesEnTwips(int pixeles, double ppp) {
    return static_cast<int>(std::lround(pixeles * kTwipsPorPulgada / valida(ppp)));
}

Punto esquinaInferiorDerecha(const Rectangulo& area, int ancho, int alto, int margen) {
    const int x = area.x + area.ancho - ancho - margen;
    const int y = area.y + area.alto - alto;
    return {std::max(area.x, x), std::max(area.y, y)};
}

}  // namespace ventana
