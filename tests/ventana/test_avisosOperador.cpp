// When the desktop is told that the server has not been reached: plain
// values, no widgets.
#include <gtest/gtest.h>

#include "ventana/AvisosOperador.h"

namespace {

using comun::Fecha;
using ventana::VigiaServidor;
using Aviso = VigiaServidor::Aviso;

// `minutos` (and `segundos`) after 08:00 of a working day.
Fecha a(int minutos, int segundos = 0) {
    return Fecha::desdeSerial(Fecha{2026, 12, 8, 8, 0, 0}.serial() +
                              (minutos * 60 + segundos) / 86400.0);
}

TEST(VigiaServidor, AvisaUnaVezPasadoElLimiteYOtraAlRestablecerse) {
    // Started at 08:00 after a night off: the limit counts from the start.
    VigiaServidor vigia(a(0));
    const std::optional<Fecha> anoche = a(-600);
    EXPECT_EQ(vigia.observar(anoche, a(30)), Aviso::Ninguno);
    EXPECT_EQ(vigia.observar(anoche, a(30, 1)), Aviso::SinContacto);
    EXPECT_EQ(vigia.texto(Aviso::SinContacto, anoche, a(30, 1)),
              "Sin intercambio con el servidor desde hace 10 h 30 min (ultimo: 2026-12-07 "
              "22:00:00)");
    EXPECT_EQ(vigia.observar(anoche, a(300)), Aviso::Ninguno);

    EXPECT_EQ(vigia.observar(a(301), a(301, 5)), Aviso::Restablecido);
    EXPECT_EQ(vigia.observar(a(301), a(320)), Aviso::Ninguno);
    // Lost again, counted from that exchange.
    EXPECT_EQ(vigia.observar(a(301), a(331)), Aviso::Ninguno);
    EXPECT_EQ(vigia.observar(a(301), a(331, 1)), Aviso::SinContacto);

    // An exchange stamped in the future (the clock was set back since) is
    // no reason for a notice.
    VigiaServidor atrasado(a(0), 60);
    EXPECT_EQ(atrasado.observar(a(500), a(10)), Aviso::Ninguno);
}

}  // namespace
