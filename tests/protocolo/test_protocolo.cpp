// The records as they travel: each written and read back by the one
// encoder and decoder both peers use, and the whole-number rule by which
// table codes, kinds and ids are read.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "json/JSON.h"
#include "protocolo/Comunicacion.h"
#include "protocolo/Entero.h"

namespace {

using comun::Variant;
using protocolo::Comunicacion;

// A text, and what each width reads of it (none: not a whole number).
struct CasoEntero {
    std::string texto;
    std::optional<int32_t> de32;
    std::optional<int64_t> de64;
};

class EnteroTest : public ::testing::TestWithParam<CasoEntero> {};

TEST_P(EnteroTest, SoloSignoMenosYDigitosDentroDelRango) {
    const CasoEntero& c = GetParam();
    EXPECT_EQ(protocolo::entero32(c.texto), c.de32);
    EXPECT_EQ(protocolo::entero64(c.texto), c.de64);
    // A text value of a row or a parse follows the same rule.
    EXPECT_EQ(protocolo::entero64DeValor(Variant(c.texto)), c.de64);
}

INSTANTIATE_TEST_SUITE_P(
    Textos, EnteroTest,
    ::testing::Values(
        CasoEntero{"6", 6, 6}, CasoEntero{"-7", -7, -7}, CasoEntero{"007", 7, 7},
        CasoEntero{"2147483647", 2147483647, 2147483647},
        CasoEntero{"-2147483648", INT32_MIN, INT32_MIN},
        CasoEntero{"2147483648", std::nullopt, 2147483648},
        CasoEntero{"9007199254740993", std::nullopt, 9007199254740993},
        CasoEntero{"9223372036854775807", std::nullopt, INT64_MAX},
        CasoEntero{"9223372036854775808", std::nullopt, std::nullopt},
        CasoEntero{"", std::nullopt, std::nullopt}, CasoEntero{"-", std::nullopt, std::nullopt},
        CasoEntero{"+1", std::nullopt, std::nullopt}, CasoEntero{" 1", std::nullopt, std::nullopt},
        CasoEntero{"1 ", std::nullopt, std::nullopt}, CasoEntero{"2.5", std::nullopt, std::nullopt},
        CasoEntero{"2.0", std::nullopt, std::nullopt},
        CasoEntero{"2e0", std::nullopt, std::nullopt},
        CasoEntero{"0x10", std::nullopt, std::nullopt},
        CasoEntero{"1\n", std::nullopt, std::nullopt}));

// A value that is no text: numbers only when they hold a whole number
// exactly; nothing else is one.
TEST(EnteroDeValor, NumerosExactosSiOtrosValoresNo) {
    EXPECT_EQ(protocolo::entero32DeValor(Variant(int16_t{-3})), -3);
    EXPECT_EQ(protocolo::entero32DeValor(Variant(int32_t{40})), 40);
    EXPECT_EQ(protocolo::entero32DeValor(Variant(6.0)), 6);
    EXPECT_EQ(protocolo::entero32DeValor(Variant(6.5)), std::nullopt);
    EXPECT_EQ(protocolo::entero32DeValor(Variant(3e9)), std::nullopt);
    EXPECT_EQ(protocolo::entero64DeValor(Variant(3e9)), 3000000000);
    // Past 2^53 a double may stand for either neighbour.
    EXPECT_EQ(protocolo::entero64DeValor(Variant(9007199254740994.0)), std::nullopt);
    EXPECT_EQ(protocolo::entero64DeValor(Variant(1e300)), std::nullopt);
    EXPECT_EQ(protocolo::entero64DeValor(Variant(comun::Decimal{"9007199254740993"})),
              9007199254740993);
    EXPECT_EQ(protocolo::entero64DeValor(Variant(comun::Decimal{"12.0"})), std::nullopt);
    EXPECT_EQ(protocolo::entero64DeValor(Variant::Null()), std::nullopt);
    EXPECT_EQ(protocolo::entero64DeValor(Variant()), std::nullopt);
    EXPECT_EQ(protocolo::entero64DeValor(Variant(true)), std::nullopt);
}

// A record whose values test the escaping: quotes, backslashes, control
// characters, characters past ASCII, an apostrophe, an empty text.
Comunicacion registroDificil() {
    Comunicacion r;
    r.id = "17";
    r.servicio = "2";
    r.tabla = "6";
    r.origen = "900100001";
    r.destino = protocolo::kDestinoGeneral;
    r.funcion = "A";
    r.campo(1) = "dijo \"hola\"";
    r.campo(2) = "C:\\ventas\\x";
    r.campo(3) = "linea\r\notra\ttab\x01";
    r.campo(4) = "Peña café 😀";
    r.campo(5) = "O'Neil";
    for (size_t k = 6; k <= protocolo::kCamposCarga; ++k) r.campo(k) = "v" + std::to_string(k);
    r.campo(7).clear();
    return r;
}

std::vector<protocolo::Recibido> entregas(const std::string& texto) {
    const json::Analisis a = json::parse(texto);
    EXPECT_EQ(a.errores, "") << texto;
    return protocolo::leerEntregas(a.valor);
}

TEST(Entrega, IdaYVueltaConCampo40ElIdDelServidor) {
    const Comunicacion r = registroDificil();
    const std::string texto = json::lista({protocolo::codificarEntrega(9007199254740993, r)});
    const auto leidos = entregas(texto);
    ASSERT_EQ(leidos.size(), 1u);
    const protocolo::Recibido& e = leidos[0];
    EXPECT_EQ(e.rechazo, "");
    EXPECT_EQ(e.tablaAcuse, 6);
    const Comunicacion& l = e.registro;
    EXPECT_EQ(l.id, "9007199254740993");
    EXPECT_EQ(l.servicio, r.servicio);
    EXPECT_EQ(l.tabla, r.tabla);
    EXPECT_EQ(l.origen, r.origen);
    EXPECT_EQ(l.destino, r.destino);
    EXPECT_EQ(l.funcion, r.funcion);
    // An apostrophe travels as a blank, as it always has.
    EXPECT_EQ(l.campo(5), "O Neil");
    for (size_t k = 1; k < protocolo::kCampoIdServidor; ++k) {
        if (k != 5) {
            EXPECT_EQ(l.campo(k), r.campo(k)) << "Campo" << k;
        }
    }
    // The sender's Campo40 never travels in a delivery.
    EXPECT_EQ(l.campo(protocolo::kCampoIdServidor), "9007199254740993");
    EXPECT_TRUE(l.sinValor.none());
}

// What cannot be stored is said, the first reason found; an object with
// no id is none of the server's records.
TEST(Entrega, LoQueNoSePuedeGuardarDiceSuMotivo) {
    const auto leidos = entregas(
        R"([7, {"id":"1","Tabla":"2.5"}, {"Tabla":"6"}, {"id":"2","Tabla":"6","Campo3":[1]},)"
        R"( {"id":"3","Tabla":null,"Servicio":"2","Campo1":null}, {"id":{"a":1},"Tabla":"6"}])");
    ASSERT_EQ(leidos.size(), 5u);
    EXPECT_FALSE(leidos[0].objeto);
    EXPECT_NE(leidos[0].rechazo, "");
    EXPECT_EQ(leidos[0].texto(), "7");
    EXPECT_EQ(leidos[1].rechazo, "Tabla no es un numero entero: '2.5'");
    EXPECT_EQ(leidos[1].tablaAcuse, 0);
    EXPECT_EQ(leidos[2].rechazo, "Type mismatch");
    EXPECT_EQ(leidos[2].registro.id, "2");
    EXPECT_EQ(leidos[2].texto(), R"({"id":"2","Tabla":"6","Campo3":[1]})");
    // Null and absent members are stored as no value, not as a text.
    EXPECT_EQ(leidos[3].rechazo, "");
    EXPECT_TRUE(!leidos[3].registro.tieneValor(Comunicacion::kTabla));
    EXPECT_TRUE(!leidos[3].registro.tieneValor(Comunicacion::miembroCampo(1)));
    EXPECT_TRUE(leidos[3].registro.tieneValor(Comunicacion::kServicio));
    EXPECT_EQ(leidos[4].rechazo, "el id es un objeto o una lista");

    EXPECT_THROW(entregas(R"({"id":"1"})"), protocolo::ErrorProtocolo);
}

// A batch carries every column of each row, in the queue's order; the
// server reads back what the site sent, without its backslashes.
TEST(LoteSaliente, IdaYVueltaSinBarrasYNullCuandoEstaVacio) {
    EXPECT_EQ(protocolo::codificar(protocolo::LoteSaliente{}), "null");

    protocolo::LoteSaliente lote;
    lote.ids = {17, 18};
    lote.registros = {registroDificil(), registroDificil()};
    lote.registros[1].id = "18";
    lote.registros[1].sinValor.set(Comunicacion::miembroCampo(9));
    const std::string texto = protocolo::codificar(lote);
    EXPECT_EQ(texto.find("\\\\"), std::string::npos) << texto;
    EXPECT_EQ(texto.find("},\r\n{"), texto.find('}'));
    EXPECT_EQ(texto.find("{\"Id\":\"17\",\"Servicio\":\"2\",\"Tabla\":\"6\","), 1u);

    const json::Analisis a = json::parse(texto);
    ASSERT_EQ(a.errores, "");
    const auto lista = a.valor.objetoComo<json::Coleccion>();
    ASSERT_TRUE(lista);
    ASSERT_EQ(lista->Count(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const auto d = lista->Item(i + 1).objetoComo<json::Diccionario>();
        ASSERT_TRUE(d);
        EXPECT_EQ(d->Count(), 47u);
        EXPECT_EQ(d->Item("Enviado").texto(), "False");
        const Comunicacion l = protocolo::leerSaliente(*d);
        const Comunicacion& r = lote.registros[i];
        EXPECT_EQ(l.id, r.id);
        EXPECT_EQ(l.origen, r.origen);
        EXPECT_EQ(l.campo(1), r.campo(1));
        EXPECT_EQ(l.campo(2), "C:ventasx");
        EXPECT_EQ(l.campo(3), r.campo(3));
        EXPECT_EQ(l.campo(4), r.campo(4));
        EXPECT_EQ(l.campo(40), r.campo(40));
    }
}

// The receipts: only ids of rows, above 0 and whole, are marked; anything
// else is listed for the report and marks nothing.
TEST(Recibos, IdaYVueltaYLoIlegibleAparte) {
    const std::string texto =
        protocolo::codificarRecibos({"17", "9007199254740993", "", "1e2", "0", "-3", "abc"});
    const json::Analisis a = json::parse(texto);
    ASSERT_EQ(a.errores, "") << texto;
    const protocolo::Recibos r = protocolo::leerRecibos(a.valor);
    EXPECT_EQ(r.filas, (std::vector<int64_t>{17, 9007199254740993}));
    EXPECT_EQ(r.ilegibles, (std::vector<std::string>{"1e2", "0", "-3", "abc"}));
    // A JSON number is read by the same rule.
    EXPECT_EQ(protocolo::leerRecibos(json::parse(R"([{"valor":5},{"valor":5.5}])").valor).filas,
              std::vector<int64_t>{5});

    EXPECT_THROW(protocolo::leerRecibos(json::parse(R"([{"valor":"1"}, 2])").valor),
                 protocolo::ErrorProtocolo);
    EXPECT_THROW(protocolo::leerRecibos(json::parse("null").valor), protocolo::ErrorProtocolo);
}

// An acknowledgement names the delivery it answers; only a whole id above
// 0 names one.
TEST(Acuse, NombraLaEntregaPorSuId) {
    const protocolo::Acuse acuse{"900100001", 6, "9007199254740993"};
    const Comunicacion r = acuse.comoComunicacion();
    EXPECT_TRUE(protocolo::esAcuse(r));
    EXPECT_EQ(r.destino, protocolo::kDestinoGeneral);
    EXPECT_EQ(r.tabla, "6");
    EXPECT_EQ(protocolo::entregaAcusada(r), 9007199254740993);
    EXPECT_FALSE(r.tieneValor(Comunicacion::miembroCampo(2)));
    for (const char* campo : {"0", "-1", "1.5", "x", ""}) {
        Comunicacion otro = r;
        otro.campo(1) = campo;
        EXPECT_EQ(protocolo::entregaAcusada(otro), std::nullopt) << campo;
    }
}

}  // namespace
