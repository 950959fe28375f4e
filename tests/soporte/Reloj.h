// The tests' clock: it says what the test sets, and moves only when the test
// moves it. By default Monday 7 December 2026, 13:30:15.
#pragma once

#include "comun/Funciones.h"

namespace prueba {

class RelojFijo : public comun::Reloj {
  public:
    RelojFijo() = default;
    explicit RelojFijo(const comun::Fecha& momento) : momento(momento) {}
    comun::Fecha ahora() const noexcept override { return momento; }
    // The time of day, on the same day.
    void poner(int hora, int minuto, int segundo = 0) {
        momento.hora = hora;
        momento.minuto = minuto;
        momento.segundo = segundo;
    }
    comun::Fecha momento{2026, 12, 7, 13, 30, 15};
};

}  // namespace prueba
