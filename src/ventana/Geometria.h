// Where windows and controls go, as arithmetic without a toolkit: twips
// (1/1440 inch) to pixels at a screen's resolution, and the lower-right
// corner a window is placed at. Each toolkit reads its screen and applies
// the result.
#pragma once

namespace ventana {

inline constexpr int kTwipsPorPulgada = 1440;
// The gap left between a window in the corner and the screen's right edge.
inline constexpr int kMargenEsquinaTwips = 200;

// Twips as pixels at `ppp` dots per inch (96 when the screen tells none),
// rounded to the nearest: 15 twips a pixel at 96 dpi, 12 at 120.
int twipsEnPixeles(int twips, double ppp);
int pixelesEnTwips(int pixeles, double ppp);

struct Rectangulo {
    int x = 0;
    int y = 0;
    int ancho = 0;
    int alto = 0;
};

struct Punto {
    int x = 0;
    int y = 0;
    bool operator==(const Punto&) const = default;
};

// Where a window's frame goes (its top-left corner) for the whole window,
// `ancho` x `alto` pixels frame included, to sit at the lower-right corner
// of the screen's available `area`, `margen` pixels from its right edge. A
// window larger than the area keeps its top-left corner inside it.
Punto esquinaInferiorDerecha(const Rectangulo& area, int ancho, int alto, int margen);

}  // namespace ventana
