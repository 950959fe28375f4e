// The socket adapter between a real QTcpSocket and the engine: a peer that
// closes after its answer and one that resets the connection.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <QTest>

#include "ejecucion/Ayudas.h"
#include "ejecucion/SocketQt.h"
#include "sincronizador/Motor.h"
#include "soporte/Falsos.h"

namespace {

using sincronizador::EstadoIcono;

struct Intercambio {
    prueba::ConsolaFalsa consola;
    prueba::BandejaFalsa bandeja;
    prueba::BaseFalsa base;
    prueba::RelojFijo reloj;
    comun::BitacoraNula bitacora;
    ejecucion::SocketQt socket;
    std::unique_ptr<sincronizador::Motor> motor;

    explicit Intercambio(uint16_t puerto) {
        sincronizador::Configuracion c;
        c.hostServidor = "127.0.0.1";
        c.puertoServidor = puerto;
        motor = std::make_unique<sincronizador::Motor>(c, base, nullptr, consola, bandeja, socket,
                                                       reloj, bitacora);
        socket.motor(motor.get());
    }
    ~Intercambio() { socket.motor(nullptr); }
};

TEST(SocketQt, CierreNormalTrasLaRespuestaEsSatisfactorio) {
    prueba::PeerGuionado peer("HTTP/1.0 200 OK\r\n\r\ndato=[]\r\n");
    Intercambio i(peer.puerto());
    i.motor->solicitarDatos();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !i.bandeja.estados.empty() && i.bandeja.ultimo() == EstadoIcono::Satisfactorio;
        },
        5000));
    EXPECT_NE(i.consola.texto.find("Respuesta: "), std::string::npos);
    EXPECT_NE(i.consola.texto.find("dato=[]"), std::string::npos);
    EXPECT_FALSE(i.motor->ocupado());
}

TEST(SocketQt, ConexionRestablecidaPorElParEsUnErrorDeConexion) {
    prueba::PeerGuionado peer;
    // Half an answer, then a reset (SO_LINGER with no time sends RST).
    peer.atender = [](QTcpSocket& s) {
        s.write("HTTP/1.0 200 OK\r\n\r\ndato=[{\"Id\":");
        s.flush();
        linger l{1, 0};
        ::setsockopt(static_cast<int>(s.socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof l);
        s.abort();
    };
    Intercambio i(peer.puerto());
    i.motor->solicitarDatos();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !i.bandeja.estados.empty() && i.bandeja.ultimo() == EstadoIcono::Error; },
        5000))
        << i.consola.texto;
    EXPECT_NE(i.consola.texto.find("Error de conexion (10054)"), std::string::npos)
        << i.consola.texto;
    // The cut answer is not taken for a whole one.
    QTest::qWait(100);
    EXPECT_EQ(i.base.veces("setComunicacion"), 0);
    EXPECT_EQ(i.consola.texto.find("Respuesta: "), std::string::npos);
    EXPECT_EQ(
        std::count(i.bandeja.estados.begin(), i.bandeja.estados.end(), EstadoIcono::Satisfactorio),
        0);
}

}  // namespace
