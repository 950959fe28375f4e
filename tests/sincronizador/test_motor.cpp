// The cycle engine driven through its ports with fakes: the steps, the
// exchanges' console and icon, the response routing and every way an
// exchange can end.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "comun/Texto.h"
#include "json/JSON.h"
#include "protocolo/Comunicacion.h"
#include "sincronizador/Motor.h"
#include "soporte/Falsos.h"

namespace sincronizador {
// The step's name in a failed expectation.
void PrintTo(Paso paso, std::ostream* salida) {
    constexpr const char* nombres[] = {"Doctores", "GetData", "SetData", "Quiralte", "Local"};
    *salida << nombres[static_cast<int>(paso)];
}
}  // namespace sincronizador

namespace {

using namespace prueba;
using sincronizador::Configuracion;
using sincronizador::Motor;
using sincronizador::Paso;

const std::string kOk = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

Configuracion configuracionPrueba() {
    Configuracion c;
    c.hostServidor = "central.ejemplo";
    c.puertoServidor = 8080;
    c.hostQuiralte = "socio.ejemplo";
    c.puertoQuiralte = 40080;
    return c;
}

// What the codec renders for a POST with this body to this host and path.
// A batch of one queue row, `id`, of table 6 with Campo1 `campo1`.
protocolo::LoteSaliente loteDeUno(int64_t id, const std::string& campo1 = {}) {
    protocolo::LoteSaliente lote;
    lote.ids = {id};
    protocolo::Comunicacion& r = lote.registros.emplace_back();
    r.id = std::to_string(id);
    r.tabla = "6";
    r.campo(1) = campo1;
    return lote;
}

// A partner record with row id `id`.
protocolo::Comunicacion registroQuiralte(const std::string& id) {
    protocolo::Comunicacion r;
    r.id = id;
    return r;
}

std::string peticionPost(const std::string& host, const std::string& uri,
                         const std::string& cuerpo) {
    return "POST " + uri + " HTTP/1.0\r\nHost: " + host +
           "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(cuerpo.size()) + "\r\n\r\n" + cuerpo + "\r\n";
}

class MotorTest : public ::testing::Test {
  protected:
    explicit MotorTest(Configuracion c = configuracionPrueba())
        : motor(std::move(c), base, &local, consola, bandeja, socket, reloj, bitacora) {}

    // Runs free ticks, ending every exchange with a peer that closes without
    // data, until the cycle is at step `destino`.
    void avanzarHasta(Paso destino) {
        for (int i = 0; i < 20 && motor.paso() != destino; ++i) {
            motor.tick();
            if (motor.conectando()) {
                motor.alConectar();
                motor.alCerrar();
            }
        }
        ASSERT_EQ(motor.paso(), destino);
    }
    // The exchange under way answered with `respuesta` in one piece.
    void responder(const std::string& respuesta) {
        motor.alConectar();
        motor.alRecibir(respuesta);
        motor.alCerrar();
    }

    BaseFalsa base;
    PasoLocalFalso local;
    ConsolaFalsa consola;
    BandejaFalsa bandeja;
    SocketFalso socket;
    RelojFijo reloj;
    comun::BitacoraMemoria bitacora;
    Motor motor;
};

TEST_F(MotorTest, IntercambioSetDataCompletoConsolaPeticionYRespuestaEnTrozos) {
    base.lote = loteDeUno(17);
    avanzarHasta(Paso::SetData);

    motor.tick();
    const std::string peticion =
        peticionPost("central.ejemplo", "/sincronizador/",
                     "r=servicio/setData&idSyA=900100001&dato=" + protocolo::codificar(base.lote));
    std::string esperado =
        "Peticion HTTP: \r\n--\r\n" + peticion + "--\r\n" + "Conectandose al servidor...\r\n";
    EXPECT_EQ(consola.texto, esperado);
    EXPECT_TRUE(motor.conectando());
    EXPECT_FALSE(motor.ocupado());
    EXPECT_EQ(motor.paso(), Paso::Quiralte);
    EXPECT_FALSE(base.abierta);
    ASSERT_EQ(socket.conexiones.back(),
              (std::pair<std::string, uint16_t>{"central.ejemplo", 8080}));

    // Ticks during the connection attempt do nothing.
    const size_t enviadosAntes = socket.enviados.size();
    motor.tick();
    EXPECT_EQ(consola.texto, esperado);
    EXPECT_EQ(socket.enviados.size(), enviadosAntes);

    motor.alConectar();
    esperado += "Conectado, enviando datos...\r\n";
    EXPECT_EQ(consola.texto, esperado);
    EXPECT_EQ(bandeja.estados.back(), EstadoIcono::Conectado);
    EXPECT_TRUE(motor.ocupado());
    ASSERT_EQ(socket.enviados.size(), enviadosAntes + 1);
    EXPECT_EQ(socket.enviados.back(), peticion);

    // The body's line ends are LF only; the console shows them as CR LF.
    const std::string respuesta = kOk + "dato=[{\"valor\":\"17\"}]\nfin\n";
    motor.alRecibir(respuesta.substr(0, 7));
    motor.alRecibir(respuesta.substr(7, 30));
    motor.alRecibir(respuesta.substr(37));
    EXPECT_EQ(base.veces("marcarEnviados"), 0);
    EXPECT_EQ(consola.texto, esperado);

    const int cierresAntes = socket.cierres;
    motor.alCerrar();
    esperado += "Respuesta: \r\n--\r\n" + kOk + "dato=[{\"valor\":\"17\"}]\r\nfin\r\n\r\n--\r\n";
    EXPECT_EQ(consola.texto, esperado);
    ASSERT_EQ(base.veces("marcarEnviados"), 1);
    EXPECT_EQ(base.recibos.back().filas, std::vector<int64_t>{17});
    // The reply may mark only the rows of the batch it answers.
    EXPECT_EQ(base.lotesMarcados.back(), std::vector<int64_t>{17});
    EXPECT_EQ(motor.intercambiosServidor(), 1);
    EXPECT_EQ(bandeja.estados.back(), EstadoIcono::Satisfactorio);
    EXPECT_FALSE(motor.ocupado());
    EXPECT_GT(socket.cierres, cierresAntes);

    // A late close or data after the exchange ended changes nothing.
    motor.alRecibir("basura");
    motor.alCerrar();
    EXPECT_EQ(base.veces("marcarEnviados"), 1);
}

TEST_F(MotorTest, PeerQueCierraSinDatosNoSeManejaYLiberaElCiclo) {
    motor.tick();
    motor.alConectar();
    motor.alCerrar();
    EXPECT_EQ(consola.texto.find("Respuesta"), std::string::npos);
    EXPECT_EQ(base.veces("setDoctores"), 0);
    EXPECT_NE(bandeja.ultimo(), EstadoIcono::Satisfactorio);
    EXPECT_FALSE(motor.ocupado());
    EXPECT_FALSE(motor.errorConexion());
}

// A peer that never closes: the 51st busy tick ends the exchange as failed,
// with a console line and the error icon, and drops its connection.
TEST_F(MotorTest, TiempoOcupadoAbandonaElIntercambioEnElTick51) {
    motor.tick();
    motor.alConectar();
    motor.alRecibir(kOk + "dato=[");
    const std::string consolaAntes = consola.texto;
    const size_t conexionesAntes = socket.conexiones.size();
    for (int i = 0; i < 50; ++i) motor.tick();
    EXPECT_TRUE(motor.ocupado());
    EXPECT_EQ(consola.texto, consolaAntes);
    const int cierresAntes = socket.cierres;
    motor.tick();
    EXPECT_FALSE(motor.ocupado());
    EXPECT_TRUE(motor.errorConexion());
    EXPECT_EQ(consola.texto,
              consolaAntes + "Tiempo de respuesta agotado, intercambio abandonado\r\n");
    EXPECT_EQ(bandeja.estados.back(), EstadoIcono::Error);
    EXPECT_GT(socket.cierres, cierresAntes);
    EXPECT_EQ(socket.conexiones.size(), conexionesAntes);

    // A late answer belongs to no exchange any more.
    motor.alRecibir("]");
    motor.alCerrar();
    EXPECT_EQ(consola.texto.find("Respuesta: "), std::string::npos);
    EXPECT_EQ(base.veces("setDoctores"), 0);

    // The next free tick performs the following step.
    motor.tick();
    EXPECT_EQ(consola.texto.rfind("Peticion HTTP: ", 0), 0u);
    EXPECT_NE(consola.texto.find("r=servicio/getData&idSyA=900100001"), std::string::npos);
}

// An exchange that keeps moving is waited for past 51 ticks, however slow
// its line, and a request still crossing it counts as moving; one that
// moves less than 2,048 bytes a second is given up all the same.
TEST_F(MotorTest, IntercambioLentoQueAvanzaSeEsperaYUnGoteoNo) {
    // 1,700 bytes each tick of 800 ms: 2,125 bytes a second.
    motor.tick();
    motor.alConectar();
    motor.alRecibir(kOk + "dato=[");
    for (int i = 0; i < 200; ++i) {
        motor.tick();
        motor.alRecibir(std::string(1700, ' '));
    }
    EXPECT_TRUE(motor.ocupado());
    motor.alRecibir("]");
    motor.alCerrar();
    EXPECT_EQ(base.veces("setDoctores"), 1);

    // 100 bytes every 10 ticks: never silent for 51 ticks, but a trickle.
    motor.tick();
    motor.alConectar();
    int ticks = 0;
    while (motor.ocupado() && ticks < 500) {
        motor.tick();
        if (++ticks % 10 == 0) motor.alRecibir(std::string(100, ' '));
    }
    EXPECT_FALSE(motor.ocupado());
    EXPECT_LT(ticks, 60);
    EXPECT_NE(consola.texto.find("Tiempo de respuesta agotado"), std::string::npos);

    // A batch of 200 KB still crossing the line: the socket says it moves,
    // and the exchange waits beyond 51 ticks for the answer.
    base.lote = loteDeUno(1, std::string(200000, 'x'));
    motor.tick();
    motor.alConectar();
    for (int i = 0; i < 100; ++i) {
        motor.tick();
        motor.alEnviar();
    }
    EXPECT_TRUE(motor.ocupado());
    responder(kOk + "dato=[]");
    EXPECT_EQ(base.veces("marcarEnviados"), 1);
}

TEST_F(MotorTest, PausaDejaTerminarElIntercambioYCongelaElPaso) {
    motor.tick();
    motor.pausar();
    responder(kOk + "dato=[]");
    EXPECT_EQ(base.veces("setDoctores"), 1);
    EXPECT_FALSE(motor.ocupado());

    const size_t conexiones = socket.conexiones.size();
    for (int i = 0; i < 5; ++i) motor.tick();
    EXPECT_EQ(socket.conexiones.size(), conexiones);
    EXPECT_EQ(motor.paso(), Paso::GetData);

    motor.reanudar();
    motor.tick();
    EXPECT_EQ(socket.conexiones.size(), conexiones + 1);
    EXPECT_EQ(motor.paso(), Paso::SetData);
}

TEST_F(MotorTest, DosPasadasDoctoresUnaVezYPasoLocalCompleto) {
    for (int i = 0; i < 9; ++i) {
        motor.tick();
        if (motor.conectando()) {
            motor.alConectar();
            motor.alCerrar();
        }
    }
    // getDoctores, then twice getData, setData, (no partner data), local.
    std::vector<std::string> servicios;
    for (const auto& enviado : socket.enviados) {
        const size_t p = enviado.find("r=servicio/");
        servicios.push_back(enviado.substr(p + 11, enviado.find_first_of("&\r", p) - p - 11));
    }
    EXPECT_EQ(servicios, (std::vector<std::string>{"getDoctores", "getData", "setData", "getData",
                                                   "setData"}));
    EXPECT_EQ(motor.pasadas(), 2);
    EXPECT_EQ(local.llamadas, 2);
    EXPECT_EQ(base.veces("eliminarEnviados"), 2);
    EXPECT_FALSE(base.abierta);
    // After the local step the console stays empty until the next step.
    EXPECT_EQ(consola.texto, "");
    EXPECT_EQ(motor.paso(), Paso::GetData);
}

TEST_F(MotorTest, QuiralteNumeraEstudiosPorCampoSinValorOVacio) {
    protocolo::Comunicacion r = registroQuiralte("42");
    r.campo(1) = "123";
    r.campo(2) = "Ana";
    r.campo(3) = "Ruiz";
    r.sinValor.set(protocolo::Comunicacion::miembroCampo(11));
    r.campo(13) = "9.5";
    r.campo(14) = "RX";
    r.campo(16) = "TAC";
    r.sinValor.set(protocolo::Comunicacion::miembroCampo(17));
    r.campo(20) = "ECO";
    base.datosQuiralte = r;
    avanzarHasta(Paso::Quiralte);
    motor.tick();
    const std::string cuerpo =
        "id=42&cedula=123&nombre=Ana&apellido=Ruiz&sucursal=&telefono=&direccion=&year=&mes=&"
        "dia=&email=&id_doctores=&factura=&valor=9.5&estudio0=RX&estudio2=TAC&estudio6=ECO";
    EXPECT_EQ(socket.conexiones.back(), (std::pair<std::string, uint16_t>{"socio.ejemplo", 40080}));
    motor.alConectar();
    EXPECT_EQ(socket.enviados.back(), peticionPost("socio.ejemplo", "/ombrel.php", cuerpo));

    // The partner's confirmation is routed to the push that sent it.
    responder(kOk + "confirmacionEnvio=42\r\n");
    ASSERT_EQ(base.confirmados.size(), 1u);
    EXPECT_EQ(base.confirmados[0], 42);
}

// A response goes where its request came from, whatever step the cycle has
// reached: the studies request, which no step sends, changes nothing, and
// its answer is never taken for the doctors list, a batch acknowledgement
// or a partner confirmation.
TEST_F(MotorTest, RespuestaSeEnrutaPorElPasoQueEnvioLaPeticion) {
    base.datosQuiralte = registroQuiralte("9");
    for (Paso paso : {Paso::GetData, Paso::SetData, Paso::Quiralte, Paso::Local}) {
        avanzarHasta(paso);
        motor.solicitarEstudios();
        responder(kOk + R"(dato=[{"id":"1"}])" + "\r\nconfirmacionEnvio=9\r\n");
        EXPECT_EQ(motor.paso(), paso);
    }
    EXPECT_EQ(base.veces("setDoctores") + base.veces("setComunicacion") +
                  base.veces("marcarEnviados") + base.veces("MarcarRegistroEnviadoQuiralte"),
              0);
}

TEST_F(MotorTest, QuiralteSinDatosNoEnviaNada) {
    avanzarHasta(Paso::Quiralte);
    const size_t conexiones = socket.conexiones.size();
    motor.tick();
    EXPECT_EQ(socket.conexiones.size(), conexiones);
    EXPECT_EQ(consola.texto, "Peticion HTTP: \r\n--\r\n");
    EXPECT_FALSE(motor.ocupado());
    EXPECT_FALSE(motor.conectando());
    EXPECT_FALSE(base.abierta);
    EXPECT_EQ(motor.paso(), Paso::Local);
}

TEST_F(MotorTest, FallosDeBaseVanALaConsolaYElCicloSigue) {
    avanzarHasta(Paso::GetData);
    base.fallarEn = "getSyASys";
    EXPECT_NO_THROW(motor.tick());
    EXPECT_NE(consola.texto.find("Error de base de datos: database is locked"), std::string::npos);
    EXPECT_FALSE(base.abierta);
    EXPECT_FALSE(motor.conectando());
    EXPECT_EQ(motor.paso(), Paso::SetData);
    EXPECT_FALSE(bitacora.lineas.empty());

    // The next step runs normally.
    motor.tick();
    EXPECT_TRUE(motor.conectando());
    motor.alConectar();
    motor.alCerrar();

    // A failing apply step still lets the sent rows be removed.
    avanzarHasta(Paso::Local);
    local.fallar = true;
    EXPECT_NO_THROW(motor.tick());
    EXPECT_NE(consola.texto.find("Error: registro rechazado"), std::string::npos);
    EXPECT_EQ(base.veces("eliminarEnviados"), 1);
    EXPECT_EQ(motor.paso(), Paso::GetData);
    local.fallar = false;

    // A failure while storing a response: console, error icon, closed base.
    motor.tick();
    base.fallarEn = "setComunicacion";
    EXPECT_NO_THROW(responder(kOk + R"(dato=[{"id":"1"}])"));
    EXPECT_NE(consola.texto.find("Error de base de datos"), std::string::npos);
    EXPECT_EQ(bandeja.ultimo(), EstadoIcono::Error);
    EXPECT_FALSE(base.abierta);
    EXPECT_FALSE(motor.ocupado());
}

TEST_F(MotorTest, RespuestasSinAccion) {
    // Not 200: nothing stored, but the exchange counts as handled.
    avanzarHasta(Paso::GetData);
    motor.tick();
    responder("HTTP/1.0 500 Error\r\n\r\ndato=[]");
    EXPECT_NE(consola.texto.find("Ninguna accion realizada\r\n"), std::string::npos);
    EXPECT_EQ(base.veces("setComunicacion"), 0);
    EXPECT_EQ(bandeja.ultimo(), EstadoIcono::Satisfactorio);

    // 200 without the key: the parser's complaint is shown.
    motor.tick();
    responder(kOk + "otra=1");
    EXPECT_NE(consola.texto.find("Invalid JSON"), std::string::npos);
    EXPECT_EQ(base.veces("marcarEnviados"), 0);

    // A partner answer that is not a number changes nothing.
    base.datosQuiralte = registroQuiralte("5");
    motor.tick();
    responder(kOk + "confirmacionEnvio=[1]");
    EXPECT_TRUE(base.confirmados.empty());
    // None of these completed an exchange with the server.
    EXPECT_EQ(motor.intercambiosServidor(), 0);
}

// The site's state counts an exchange as successful only when its answer
// had status 200 and was taken; a failure to record it is a console line and
// the cycle goes on.
TEST_F(MotorTest, SoloElIntercambioCorrectoQuedaRegistradoConSuInterlocutor) {
    using sincronizador::Interlocutor;
    avanzarHasta(Paso::GetData);
    motor.tick();  // getData
    responder(kOk + "dato=[]");
    ASSERT_EQ(base.intercambios.size(), 1u);
    EXPECT_EQ(base.intercambios[0].first, Interlocutor::Servidor);
    EXPECT_EQ(base.intercambios[0].second, reloj.ahora());

    motor.tick();  // setData: refused by the server
    responder("HTTP/1.0 500 Error\r\n\r\ndato=[]");
    base.datosQuiralte = registroQuiralte("5");
    motor.tick();  // partner: confirmed
    responder(kOk + "confirmacionEnvio=5\r\n");
    ASSERT_EQ(base.intercambios.size(), 2u);
    EXPECT_EQ(base.intercambios[1].first, Interlocutor::Quiralte);

    avanzarHasta(Paso::GetData);
    motor.tick();  // getData: not JSON
    responder(kOk + "dato=<html>");
    motor.tick();  // setData: the store fails
    base.fallarEn = "marcarEnviados";
    responder(kOk + "dato=[]");
    motor.tick();  // partner: the peer closes without an answer
    motor.alConectar();
    motor.alCerrar();
    EXPECT_EQ(base.intercambios.size(), 2u);

    avanzarHasta(Paso::GetData);
    motor.tick();
    base.fallarEn = "registrarIntercambio";
    responder(kOk + "dato=[]");
    EXPECT_NE(consola.texto.find("Error de base de datos: database is locked"), std::string::npos);
    EXPECT_EQ(bandeja.ultimo(), EstadoIcono::Satisfactorio);
    EXPECT_FALSE(base.abierta);
    motor.tick();
    EXPECT_EQ(motor.paso(), Paso::Quiralte);
}

// Only a plain number confirms a partner record: "1e2" would otherwise
// delete record 100.
TEST_F(MotorTest, ConfirmacionDeQuiralteSoloConNumeroLlano) {
    base.datosQuiralte = registroQuiralte("5");
    const std::vector<std::pair<std::string, std::vector<int64_t>>> casos = {
        {"1e2", {}}, {"5E0", {}}, {"\t57", {}}, {" -57 ", {-57}}, {"+8.0", {8}},
    };
    for (const auto& [valor, esperado] : casos) {
        base.confirmados.clear();
        avanzarHasta(Paso::Quiralte);
        motor.tick();
        responder(kOk + "confirmacionEnvio=" + valor + "\r\n");
        EXPECT_EQ(base.confirmados, esperado) << valor;
    }
}

TEST_F(MotorTest, WindowsEnElCableContentLengthEnBytesCodificados) {
    // The partner's values travel as they are (the queue's batch escapes
    // every character past ASCII).
    base.datosQuiralte = registroQuiralte("1");
    base.datosQuiralte->campo(2) = "ñandú café";
    avanzarHasta(Paso::Quiralte);
    motor.tick();
    motor.alConectar();
    const std::string cuerpo =
        "id=1&cedula=&nombre=\xF1"
        "and\xFA"
        " caf\xE9&apellido=&sucursal=&telefono=&direccion=&year=&mes=&dia=&email=&id_doctores=&"
        "factura=&valor=";
    EXPECT_EQ(socket.enviados.back(), peticionPost("socio.ejemplo", "/ombrel.php", cuerpo));
    // The console shows the request as text.
    EXPECT_NE(consola.texto.find("ñandú café"), std::string::npos);
    motor.alCerrar();

    // A Windows-1252 response reaches the database as UTF-8.
    avanzarHasta(Paso::GetData);
    motor.tick();
    responder(kOk +
              "dato=[{\"id\":\"1\",\"Campo1\":\"Pe\xF1"
              "a\"}]");
    ASSERT_EQ(base.entregas.back().size(), 1u);
    EXPECT_EQ(base.entregas.back()[0].registro.campo(1), "Peña");
}

TEST_F(MotorTest, FalloAlConectarYConexionQueNoTermina) {
    motor.tick();
    motor.alFallar(10061, "Connection refused");
    EXPECT_NE(consola.texto.find("Conectandose al servidor...\r\nError de conexion (10061): "
                                 "Connection refused\r\n"),
              std::string::npos);
    EXPECT_EQ(bandeja.estados.back(), EstadoIcono::Error);
    EXPECT_TRUE(socket.enviados.empty());
    EXPECT_FALSE(motor.ocupado());
    EXPECT_TRUE(motor.errorConexion());

    // The failed step is not repeated; an attempt that hangs is given up on
    // the 51st tick.
    motor.tick();
    EXPECT_EQ(motor.paso(), Paso::SetData);
    for (int i = 0; i < 50; ++i) motor.tick();
    EXPECT_TRUE(motor.conectando());
    motor.tick();
    EXPECT_FALSE(motor.conectando());
    EXPECT_NE(consola.texto.find("Error de conexion (10060): "), std::string::npos);
    EXPECT_EQ(bandeja.ultimo(), EstadoIcono::Error);

    // A connection that arrives after being given up sends nothing.
    motor.alConectar();
    EXPECT_TRUE(socket.enviados.empty());
    EXPECT_FALSE(motor.ocupado());
    motor.tick();
    EXPECT_EQ(motor.paso(), Paso::Quiralte);
}

class MotorLimiteTest : public MotorTest {
  protected:
    static Configuracion conLimite() {
        Configuracion c = configuracionPrueba();
        c.limiteRespuesta = 100;
        return c;
    }
    MotorLimiteTest() : MotorTest(conLimite()) {}
};

TEST_F(MotorLimiteTest, RespuestaDemasiadoGrandeSeAbandona) {
    motor.tick();
    motor.alConectar();
    motor.alRecibir(kOk + std::string(60 - kOk.size(), 'x'));
    motor.alRecibir(std::string(41, 'y'));
    EXPECT_NE(consola.texto.find("Respuesta demasiado grande"), std::string::npos);
    EXPECT_EQ(bandeja.ultimo(), EstadoIcono::Error);
    EXPECT_FALSE(motor.ocupado());
    motor.alRecibir("mas");
    motor.alCerrar();
    EXPECT_EQ(consola.texto.find("Respuesta: "), std::string::npos);
    EXPECT_EQ(base.veces("setDoctores"), 0);

    // Exactly at the limit is still accepted.
    motor.tick();
    motor.alConectar();
    motor.alRecibir(kOk + "dato=[]" + std::string(100 - kOk.size() - 7, ' '));
    motor.alCerrar();
    EXPECT_NE(consola.texto.find("Respuesta: "), std::string::npos);
}

TEST_F(MotorTest, ArranqueCargaElSitioOInformaElMotivo) {
    EXPECT_TRUE(motor.iniciar());
    EXPECT_EQ(base.veces("cargarValoresSitio"), 1);
    EXPECT_FALSE(base.abierta);
    EXPECT_EQ(bandeja.estados.back(), EstadoIcono::Desconectado);

    base.fallarEn = "conectar";
    EXPECT_FALSE(motor.iniciar());
    EXPECT_NE(consola.texto.find("database is locked"), std::string::npos);

    consola.texto.clear();
    base.rutaBase.clear();
    EXPECT_FALSE(motor.iniciar());
    EXPECT_EQ(consola.texto, "No se encuentra la base de datos\r\n");
    EXPECT_EQ(motor.datosConexion(),
              "central.ejemplo\r\nPOST\r\n/sincronizador/\r\nBase de datos: \r\n");
}

TEST_F(MotorTest, UnEnvioRechazadoTerminaElIntercambioComoFalloDeConexion) {
    motor.tick();
    ASSERT_TRUE(motor.conectando());
    socket.rechazarEnvio = true;
    const int cierres = socket.cierres;
    motor.alConectar();
    EXPECT_NE(consola.texto.find("Error de conexion: socket cerrado\r\n"), std::string::npos);
    EXPECT_EQ(bandeja.ultimo(), EstadoIcono::Error);
    EXPECT_TRUE(motor.errorConexion());
    EXPECT_GT(socket.cierres, cierres);
    // Not left busy until the time-out: the next tick moves on at once.
    const Paso antes = motor.paso();
    motor.tick();
    EXPECT_NE(motor.paso(), antes);
}

// Each setData exchange's end sizes the next batch: cut on the way (a
// time-out, an answer shorter than it says, 408, 503) halves it, down to
// one row; refused for a reason of its own (a 500) leaves it; taken doubles
// it back, up to the limit.
TEST_F(MotorTest, ElLoteSeReduceTrasUnCorteYCreceTrasUnExito) {
    base.filasEnCola = 1000;
    const auto lote = [&](const std::function<void()>& terminar) {
        avanzarHasta(Paso::SetData);
        motor.tick();
        const size_t pedidas = base.limitesPedidos.back().filas;
        motor.alConectar();
        terminar();
        EXPECT_FALSE(motor.ocupado());
        return pedidas;
    };
    const auto respuesta = [&](const std::string& texto) {
        return [&, texto] {
            motor.alRecibir(texto);
            motor.alCerrar();
        };
    };
    const auto silencio = [&] {
        for (int i = 0; i <= Motor::maxTicksOcupado; ++i) motor.tick();
    };
    const std::string cortada = "HTTP/1.0 200 OK\r\nContent-Length: 50\r\n\r\ndato=[";
    EXPECT_EQ(lote(silencio), 201u);
    EXPECT_EQ(lote(respuesta(cortada)), 100u);
    const std::string texto = "\r\nContent-Type: text/plain\r\n\r\n";
    EXPECT_EQ(lote(respuesta("HTTP/1.0 408 Request Timeout" + texto + "Peticion incompleta")), 50u);
    EXPECT_EQ(lote(respuesta("HTTP/1.0 503 Service Unavailable" + texto)), 25u);
    EXPECT_EQ(lote(respuesta("HTTP/1.0 500 Internal Server Error" + texto)), 12u);
    EXPECT_EQ(lote(respuesta(kOk + "dato=[]")), 12u);
    EXPECT_NE(consola.todo.find("Proximo lote: a lo mas 100 registros (el de 201 no se completo)"),
              std::string::npos);
    std::vector<size_t> creciendo;
    for (int i = 0; i < 6; ++i) creciendo.push_back(lote(respuesta(kOk + "dato=[]")));
    EXPECT_EQ(creciendo, (std::vector<size_t>{24, 48, 96, 192, 201, 201}));
    // Down to one, never below.
    for (int i = 0; i < 10; ++i) lote(silencio);
    EXPECT_EQ(motor.filasPorLote(), 1u);
}

// The console shows at most a bounded part of a huge request or answer and
// says how much it left out; what goes on the wire is whole.
TEST_F(MotorTest, ConsolaMuestraUnaParteAcotadaDeLoEnorme) {
    base.lote = loteDeUno(1, std::string(size_t{1} << 20, 'x'));
    avanzarHasta(Paso::SetData);
    consola.texto.clear();
    motor.tick();
    motor.alConectar();
    const size_t peticion = socket.enviados.back().size();
    EXPECT_GT(peticion, size_t{1} << 20);
    EXPECT_LT(consola.texto.size(), Motor::kConsolaMaxima + 1024);
    EXPECT_NE(consola.texto.find("\r\n[... " + std::to_string(peticion - Motor::kConsolaMaxima) +
                                 " bytes mas sin mostrar]--\r\nConectandose al servidor..."),
              std::string::npos);

    const std::string respuesta = kOk + "dato=[]\r\n" + std::string(size_t{1} << 20, ' ');
    motor.alRecibir(respuesta);
    motor.alCerrar();
    EXPECT_LT(consola.texto.size(), 2 * Motor::kConsolaMaxima + 2048);
    EXPECT_NE(
        consola.texto.find("[... " + std::to_string(respuesta.size() - Motor::kConsolaMaxima) +
                           " bytes mas sin mostrar]\r\n--"),
        std::string::npos);
    // A text within the bound is shown whole, as before.
    EXPECT_EQ(Motor::paraConsola("corto"), "corto");
}

TEST(NormalizarSaltos, CadaFinDeLineaQuedaCrLf) {
    EXPECT_EQ(Motor::normalizarSaltos("a\rb\nc\r\nd\r"), "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(Motor::normalizarSaltos("\n\n\r\r\n"), "\r\n\r\n\r\n\r\n");
}

}  // namespace
