// Two sites of one client and the reference server's core in one process:
// whole A -> server -> B flows, driven tick by tick, with both sites'
// tables compared at once.
#include <gtest/gtest.h>

#include <string>

#include "soporte/DosSitios.h"

namespace {

using namespace prueba;

class DosSitiosTest : public ::testing::Test {
  protected:
    // Records of `sitio`'s queue that match `condicion`.
    static std::string contar(SitioEnProceso& sitio, const std::string& condicion) {
        return sitio.valor("SELECT COUNT(*) FROM COMUNICACIONES WHERE " + condicion);
    }
    DosSitios s;
};

// A product and a chat message written at A reach B: each applied once,
// acknowledged, and gone from both queues; nothing comes back to A.
TEST_F(DosSitiosTest, ProductoYMensajeDeAaBUnaVezYLasColasQuedanVacias) {
    s.a.escribirProducto("DOS-001", "Limonada de coco");
    s.a.escribirMensaje("Hola desde la sede 001");
    s.a.pasadas(2);
    // Three passes at B: the one that stores and applies, then two in which
    // an unacknowledged record would come back.
    s.b.pasadas(3);
    s.a.pasadas(1);

    EXPECT_EQ(s.filas("SELECT CodigoAB, NombreProducto, Categoria, Negocio, PrecioUnidad FROM "
                      "PRODUCTOS WHERE CodigoAB = 'DOS-001'"),
              (FilasDeAmbos{{{"DOS-001", "Limonada de coco", "BEBIDAS", "BAR", "12500"}},
                            {{"DOS-001", "Limonada de coco", "BEBIDAS", "BAR", "12500"}}}));
    EXPECT_EQ(s.filas("SELECT mensaje, destino, origen FROM MENSAJE WHERE mensaje LIKE 'Hola*'"),
              (FilasDeAmbos{{{"Hola desde la sede 001", "SERVIDOR", "LOCAL"}},
                            {{"Hola desde la sede 001", "CHAT", "LOCAL"}}}));
    // B keeps one applied copy of each as received; A's rows left its queue
    // once acknowledged, and A received nothing of its own.
    EXPECT_EQ(s.filas("SELECT Tabla, Origen, Destino, Funcion FROM COMUNICACIONES ORDER BY Tabla"),
              (FilasDeAmbos{{},
                            {{"2", s.a.codigo(), s.b.codigo(), "X"},
                             {"14", s.a.codigo(), s.b.codigo(), "X"}}}));
    EXPECT_NE(s.b.consola.todo.find("Respuesta: "), std::string::npos);
}

// A delivery order posted through A for B: B registers the customer and
// writes the line on its delivery table with its side dishes, once; what B
// queues for its siblings reaches A and writes no order line there.
TEST_F(DosSitiosTest, PedidoDeDomicilioDeAaBSeEscribeUnaVezYLoQueBEncolaLlegaAA) {
    s.a.escribirPedido(s.b.codigo(), {"2001", "2", "Mitad sin piña", "Luisa O'Neil",
                                      "Calle 10 # 4-20", "3157778899", "1005", "1006"});
    s.a.pasadas(1);
    s.b.pasadas(3);
    s.a.pasadas(1);

    const std::string cliente =
        s.b.valor("SELECT IdTercero FROM TERCEROS WHERE Telefono1 = '3157778899'");
    // The batch text carries an apostrophe as a blank.
    EXPECT_EQ(s.b.valor("SELECT Nombre FROM TERCEROS WHERE IdTercero = " + cliente),
              "LUISA O NEIL");
    EXPECT_EQ(s.filas("SELECT idmesa, CodigoAB, cantidad, detalle FROM COMANDAS WHERE Tercero "
                      "IS NOT NULL AND Tercero <> ''"),
              (FilasDeAmbos{{}, {{"2002", "2001", "2", "Mitad sin piña"}}}));
    const std::string linea =
        s.b.valor("SELECT idComanda FROM COMANDAS WHERE Tercero = '" + cliente + "'");
    EXPECT_EQ(s.b.valor("SELECT COUNT(*) FROM ACOMPANAMIENTOS WHERE IDCOMANDA = " + linea), "2");
    // B applied the order once and sent what it queued; A received the
    // customer (once for every site, once for A itself), the line and its
    // two side dishes, and applied them.
    EXPECT_EQ(s.filas("SELECT Origen, Tabla, Funcion FROM COMUNICACIONES WHERE Origen <> '" +
                      s.a.codigo() + "' OR Tabla = 22 ORDER BY Tabla, Id"),
              (FilasDeAmbos{{{s.b.codigo(), "6", "X"},
                             {s.b.codigo(), "10", "X"},
                             {s.b.codigo(), "10", "X"},
                             {s.b.codigo(), "12", "X"},
                             {s.b.codigo(), "12", "X"}},
                            {{s.a.codigo(), "22", "X"}}}));
}

// While the peer fails, A keeps cycling and its record stays queued,
// unsent; nothing a failing peer says is taken; once the peer is sound the
// record reaches B.
class PeerQueFallaTest : public DosSitiosTest, public ::testing::WithParamInterface<Falla> {};

TEST_P(PeerQueFallaTest, ElCicloSigueYElRegistroLlegaDespues) {
    s.a.escribirProducto("DOS-002", "Arepa de queso");
    const std::string pendiente = "Tabla = 2 AND Enviado = False AND Campo1 = 'DOS-002'";
    s.a.socket.fallar(GetParam());
    s.a.pasadas(2);
    EXPECT_EQ(contar(s.a, pendiente), "1") << s.a.consola.todo;
    // No exchange with the server completed.
    EXPECT_EQ(s.a.motor.intercambiosServidor(), 0);

    s.a.socket.fallar(Falla::Ninguna);
    s.a.pasadas(1);
    s.b.pasadas(1);
    EXPECT_EQ(s.filas("SELECT CodigoAB FROM PRODUCTOS WHERE CodigoAB = 'DOS-002'"),
              (FilasDeAmbos{{{"DOS-002"}}, {{"DOS-002"}}}));
    EXPECT_EQ(contar(s.a, "Tabla = 2"), "0");
    EXPECT_EQ(s.a.bandeja.ultimo(), EstadoIcono::Satisfactorio);
}

INSTANTIATE_TEST_SUITE_P(Fallas, PeerQueFallaTest,
                         ::testing::Values(Falla::Rechaza, Falla::NuncaResponde,
                                           Falla::CierraAMitad),
                         NombreDeFalla());

// A server that answers status 500 with a body that would store a record,
// mark the batch and confirm a partner record: none of it is taken.
TEST_F(DosSitiosTest, RespuestaConEstado500NoCambiaNada) {
    s.a.escribirProducto("DOS-003", "Jugo de mora");
    s.a.socket.alterarRespuesta = [&](const std::string&) {
        return "HTTP/1.0 500 Internal Server Error\r\n\r\ndato=[{\"id\":\"770077\",\"Tabla\":"
               "\"2\",\"Servicio\":\"2\",\"Funcion\":\"A\",\"Destino\":\"" +
               s.a.codigo() + "\",\"Campo1\":\"TENTADOR\",\"valor\":\"1\"}]\r\n";
    };
    s.a.pasadas(2);
    EXPECT_NE(s.a.consola.todo.find("Ninguna accion realizada"), std::string::npos);
    EXPECT_EQ(contar(s.a, "Campo40 = '770077'"), "0");
    EXPECT_EQ(contar(s.a, "Tabla = 2 AND Enviado = False AND Campo1 = 'DOS-003'"), "1");
    EXPECT_EQ(s.a.valor("SELECT COUNT(*) FROM PRODUCTOS WHERE CodigoAB = 'TENTADOR'"), "0");
}

}  // namespace

namespace {

using namespace prueba;

// How many records a request's batch or an answer's list carries.
size_t registrosEn(const std::string& texto, const std::string& marca) {
    size_t n = 0;
    for (size_t p = texto.find(marca); p != std::string::npos; p = texto.find(marca, p + 1)) ++n;
    return n;
}

bool esSetData(const std::string& peticion) {
    return peticion.find("r=servicio/setData") != std::string::npos;
}

class TamanosTest : public ::testing::Test {
  protected:
    // Forty chat messages queued at A for the client's other sites.
    void cuarentaMensajes() {
        for (int i = 1; i <= 40; ++i) s.a.escribirMensaje("Mensaje " + std::to_string(i));
    }
    // Both sites end with the forty messages at B, once each.
    void todosLlegaronUnaVez() {
        EXPECT_EQ(s.b.valor("SELECT COUNT(*) FROM MENSAJE WHERE mensaje LIKE 'Mensaje *'"), "40");
        EXPECT_EQ(s.b.valor("SELECT COUNT(DISTINCT mensaje) FROM MENSAJE WHERE mensaje LIKE "
                            "'Mensaje *'"),
                  "40");
        EXPECT_EQ(s.a.valor("SELECT COUNT(*) FROM COMUNICACIONES WHERE Tabla = 14"), "0");
    }
    DosSitios s;
};

// Row ids past 2^31 - 1 at both sites: A's records below and above the
// limit leave and are marked, and B stores, applies and acknowledges
// records whose own ids there are past it.
TEST_F(TamanosTest, IdsDeFilaMasAllaDe32BitsViajanSeAplicanYSeMarcan) {
    s.a.escribirMensaje("Antes del limite");
    const std::string mas = "2147483660";
    for (SitioEnProceso* sitio : {&s.a, &s.b}) {
        sitio->ejecutar("DELETE FROM sqlite_sequence WHERE name = 'COMUNICACIONES'");
        sitio->ejecutar("INSERT INTO sqlite_sequence (name, seq) VALUES ('COMUNICACIONES', " + mas +
                        ")");
    }
    s.a.escribirMensaje("Despues del limite");
    ASSERT_EQ(s.a.valor("SELECT COUNT(*) FROM COMUNICACIONES WHERE Id > " + mas), "1");

    s.a.pasadas(2);
    s.b.pasadas(3);
    s.a.pasadas(1);
    EXPECT_EQ(s.b.consultar("SELECT mensaje FROM MENSAJE WHERE mensaje LIKE '*del limite' ORDER "
                            "BY mensaje"),
              (Filas{{"Antes del limite"}, {"Despues del limite"}}))
        << s.a.consola.todo;
    // B's copies carry ids past the limit, applied; nothing waits anywhere.
    EXPECT_EQ(s.b.valor("SELECT COUNT(*) FROM COMUNICACIONES WHERE Id > " + mas +
                        " AND Tabla = 14 AND Funcion = 'X'"),
              "2");
    EXPECT_EQ(s.filas("SELECT COUNT(*) FROM COMUNICACIONES WHERE Enviado = False"),
              (FilasDeAmbos{{{"0"}}, {{"0"}}}));
    EXPECT_EQ(s.a.consola.todo.find("Desbordamiento"), std::string::npos);
}

// Batches cut on the way: the next carries half the rows, down to what
// gets through, and grows back once they do; nothing is lost or doubled.
TEST_F(TamanosTest, LoteCortadoHaceMasPequenoElSiguienteYLuegoCrece) {
    cuarentaMensajes();
    s.a.socket.fallar(Falla::CierraAMitad);
    s.a.pasadas(3);
    s.a.socket.fallar(Falla::Ninguna);
    s.a.pasadas(4);
    s.b.pasadas(2);

    std::vector<size_t> lotes;
    for (const auto& p : s.a.socket.peticiones)
        if (esSetData(p)) lotes.push_back(registrosEn(p, "{\"Id\":"));
    ASSERT_GE(lotes.size(), 5u);
    EXPECT_EQ(std::vector<size_t>(lotes.begin(), lotes.begin() + 5),
              (std::vector<size_t>{40, 20, 10, 5, 10}))
        << s.a.consola.todo;
    todosLlegaronUnaVez();
}

// Answers the site does not take (cut on the way): the server's next answer
// to that site carries half as many records, and grows back once taken.
TEST_F(TamanosTest, RespuestaNoTomadaHaceMasPequenaLaSiguiente) {
    cuarentaMensajes();
    s.a.pasadas(1);
    std::vector<size_t> respuestas;
    s.b.socket.alterarRespuesta = [&](const std::string& r) {
        if (s.b.socket.peticiones.back().find("r=servicio/getData") != std::string::npos)
            respuestas.push_back(registrosEn(r, "{\"id\":"));
        return r;
    };
    s.b.socket.fallar(Falla::CierraAMitad);
    s.b.pasadas(2);
    s.b.socket.fallar(Falla::Ninguna);
    s.b.pasadas(4);
    s.a.pasadas(1);

    // Two answers cut (40, then 20), then 10 taken, 20 taken, the last 10.
    ASSERT_GE(respuestas.size(), 6u);
    EXPECT_EQ(std::vector<size_t>(respuestas.begin(), respuestas.begin() + 6),
              (std::vector<size_t>{40, 20, 10, 20, 10, 0}))
        << s.b.consola.todo;
    todosLlegaronUnaVez();
}

}  // namespace
