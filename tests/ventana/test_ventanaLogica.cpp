// The window's behaviour without a toolkit: where a window goes, what the
// chat grid shows and when it is rebuilt, the captions and the pictures the
// states name. A second toolkit's window draws exactly this.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "comun/Texto.h"
#include "ventana/ChatSoporte.h"
#include "ventana/EstadoBandeja.h"
#include "ventana/Geometria.h"
#include "ventana/Presentacion.h"

namespace {

using ventana::Punto;
using ventana::Rectangulo;

struct CasoEsquina {
    const char* nombre;
    Rectangulo area;
    int ancho, alto, margen;
    Punto esperado;
};

class Esquina : public ::testing::TestWithParam<CasoEsquina> {};

TEST_P(Esquina, ElMarcoEnteroQuedaDentroDelAreaLibre) {
    const CasoEsquina& c = GetParam();
    EXPECT_EQ(ventana::esquinaInferiorDerecha(c.area, c.ancho, c.alto, c.margen), c.esperado);
}

INSTANTIATE_TEST_SUITE_P(
    Ventana, Esquina,
    ::testing::Values(
        // 1920 x 1040 free above a 40-pixel task bar; 13 px are 200 twips.
        CasoEsquina{"PantallaPrincipal", {0, 0, 1920, 1040}, 500, 420, 13, {1407, 620}},
        // A second screen to the right whose panel takes its top 30 px.
        CasoEsquina{"SegundaPantalla", {1920, 30, 1280, 994}, 500, 420, 13, {2687, 604}},
        // A window larger than the area keeps its title bar on screen.
        CasoEsquina{"MayorQueElArea", {100, 50, 400, 300}, 600, 500, 13, {100, 50}}),
    [](const auto& info) { return std::string(info.param.nombre); });

struct CasoTwips {
    int twips;
    double ppp;
    int pixeles;
};

class Twips : public ::testing::TestWithParam<CasoTwips> {};

TEST_P(Twips, APixelesYDeVuelta) {
    const CasoTwips& c = GetParam();
    EXPECT_EQ(ventana::twipsEnPixeles(c.twips, c.ppp), c.pixeles);
    // Back to twips within half a pixel's worth.
    const double ppp = c.ppp > 0 ? c.ppp : 96.0;
    EXPECT_NEAR(ventana::pixelesEnTwips(c.pixeles, c.ppp), c.twips, 1440 / ppp / 2 + 1);
}

INSTANTIATE_TEST_SUITE_P(Ventana, Twips,
                         ::testing::Values(CasoTwips{8745, 96, 583}, CasoTwips{8745, 120, 729},
                                           CasoTwips{200, 144, 20}, CasoTwips{15, 96, 1},
                                           // A screen that tells no resolution: 96 dpi.
                                           CasoTwips{1440, 0, 96}));

datos::clsMensaje mensaje(int64_t id, std::string texto, std::string origen = "LOCAL") {
    datos::clsMensaje m;
    m.setId(id);
    m.setMensaje(std::move(texto));
    m.setOrigen(std::move(origen));
    m.setFecha(comun::Fecha{2026, 12, 8, 9, 30, 0});
    return m;
}

TEST(ChatSoporte, ElMasAntiguoArribaYSoloSeReconstruyeConAlgoNuevo) {
    ventana::ChatSoporte chat;
    EXPECT_FALSE(chat.actualizar({}));

    // The database gives the newest first.
    const std::vector<datos::clsMensaje> dos = {mensaje(8, "segundo", "SOPORTE"),
                                                mensaje(7, "primero")};
    const auto filas = chat.actualizar(dos);
    ASSERT_TRUE(filas);
    ASSERT_EQ(filas->size(), 6u);
    EXPECT_EQ((*filas)[0].tipo, ventana::FilaChat::Tipo::Cabecera);
    EXPECT_EQ((*filas)[0].texto.rfind("LOCAL  ", 0), 0u);
    EXPECT_EQ((*filas)[1].texto, "primero");
    EXPECT_EQ((*filas)[2].texto, std::string(ventana::ChatSoporte::kLargoSeparador, '-'));
    EXPECT_EQ((*filas)[4].texto, "segundo");
    EXPECT_EQ(chat.ultimoId(), 8);

    // Polled again with nothing newer: the grid is left as it is.
    EXPECT_FALSE(chat.actualizar(dos));
    EXPECT_TRUE(chat.actualizar({mensaje(9, "tercero"), dos[0], dos[1]}));
    EXPECT_EQ(chat.ultimoId(), 9);
}

TEST(ChatSoporte, UnTextoLargoSeCortaSinPartirUnCaracter) {
    ventana::ChatSoporte chat;
    std::string largo;
    for (size_t i = 0; i <= ventana::ChatSoporte::kLargoMostrado; ++i) largo += "ñ";
    const auto filas = chat.actualizar({mensaje(1, largo)});
    ASSERT_TRUE(filas);
    const std::string& texto = (*filas)[1].texto;
    EXPECT_EQ(comun::longitudCaracteres(texto), ventana::ChatSoporte::kLargoMostrado + 6);
    EXPECT_EQ(texto.substr(texto.size() - 8), "ñ [...]");
}

TEST(Presentacion, ElBotonDiceLoQueHaraUnClic) {
    EXPECT_STREQ(ventana::textoPausa(true, false), "Pausar Reloj");
    EXPECT_STREQ(ventana::textoPausa(true, true), "Reanudar Reloj");
    // A cycle that never started waits for the button.
    EXPECT_STREQ(ventana::textoPausa(false, false), "Reanudar Reloj");
}

struct CasoPieza {
    std::string entrada;
    std::string esperado;
};

class PiezaConsola : public ::testing::TestWithParam<CasoPieza> {};

TEST_P(PiezaConsola, UnFinDeLineaYNoMasQueElMaximo) {
    EXPECT_EQ(ventana::piezaConsola(GetParam().entrada), GetParam().esperado);
}

INSTANTIATE_TEST_SUITE_P(
    Ventana, PiezaConsola,
    ::testing::Values(CasoPieza{"Conectado\r\nEnviando\r", "Conectado\nEnviando\n"},
                      CasoPieza{std::string(ventana::kMaximoPieza, 'x'),
                                std::string(ventana::kMaximoPieza, 'x')},
                      // Characters, not bytes: "ñ" is two bytes.
                      CasoPieza{"ñ" + std::string(ventana::kMaximoPieza, 'x'),
                                "ñ" + std::string(ventana::kMaximoPieza - 1, 'x') +
                                    "\n... (1 caracteres mas no mostrados)\n"}));

TEST(EstadoBandeja, CadaEstadoTieneSuTextoYUnaImagenQueExiste) {
    using sincronizador::EstadoIcono;
    std::vector<std::string> vistos;
    for (EstadoIcono e : {EstadoIcono::Desconectado, EstadoIcono::Conectado,
                          EstadoIcono::Satisfactorio, EstadoIcono::Error}) {
        const ventana::AspectoEstado a = ventana::aspectoEstado(e);
        EXPECT_FALSE(std::string(a.texto).empty());
        for (const char* lado : {"-16.png", "-32.png"}) {
            const auto archivo = std::filesystem::path(SINC_SOURCE_DIR) / "src/ventana/iconos" /
                                 (std::string(a.icono) + lado);
            EXPECT_TRUE(std::filesystem::exists(archivo)) << archivo;
        }
        vistos.push_back(a.icono);
    }
    std::sort(vistos.begin(), vistos.end());
    EXPECT_EQ(std::unique(vistos.begin(), vistos.end()), vistos.end());
}

}  // namespace
