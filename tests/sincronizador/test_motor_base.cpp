// The cycle engine over a real site database: one full pass of the cycle
// with scripted peer answers, and a database that cannot be opened.
#include <gtest/gtest.h>

#include <string>

#include "datos/DAO_Conexion.h"
#include "sincronizador/BaseDatosDAO.h"
#include "sincronizador/Motor.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/Falsos.h"

namespace {

using namespace prueba;
using sincronizador::Motor;
using sincronizador::Paso;

const std::string kOk = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

class MotorBaseTest : public ::testing::Test {
  protected:
    void SetUp() override { dao.dataFile(base.ruta()); }

    void ejecutar(const std::string& sql) {
        dao.conectar();
        dao.comando(sql);
        dao.desconectar();
    }
    int numero(const std::string& sql) {
        dao.conectar();
        auto rs = dao.Query(sql);
        const int n = (*rs)["n"].CLng();
        rs.reset();
        dao.desconectar();
        return n;
    }
    void responder(const std::string& respuesta) {
        motor.alConectar();
        motor.alRecibir(respuesta);
        motor.alCerrar();
    }

    BaseDePrueba base{false};
    datos::DAO_Conexion dao;
    sincronizador::BaseDatosDAO puerto{dao};
    ConsolaFalsa consola;
    BandejaFalsa bandeja;
    SocketFalso socket;
    RelojFijo reloj;
    comun::BitacoraMemoria bitacora;
    Motor motor{
        sincronizador::Configuracion{}, puerto, nullptr, consola, bandeja, socket, reloj, bitacora};
};

TEST_F(MotorBaseTest, UnaPasadaCompletaSobreLaBaseDelSitio) {
    ASSERT_TRUE(motor.iniciar()) << consola.texto;
    EXPECT_EQ(dao.sitio().identificadorCliente, base.cliente());
    const std::string sitio = base.sitio();

    ejecutar(
        "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Campo1) "
        "VALUES (2, 6, '" +
        sitio + "', '000000000000000', 'A', 'mesa 4')");
    const std::string idCola = std::to_string(numero("SELECT MAX(Id) AS n FROM COMUNICACIONES"));

    // Doctors: a new supplier.
    motor.tick();
    responder(kOk + R"(dato=[{"id":"77","cedula":"111","nombre":"Ana","apellido":"Ruiz"}])");
    EXPECT_EQ(numero("SELECT COUNT(*) AS n FROM Terceros WHERE IdDocumento = '111' "
                     "AND idCliente = '77' AND Nombre = 'Ana Ruiz'"),
              1)
        << consola.texto;

    // A partner record for that doctor, kept local.
    ejecutar(
        "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Campo1, "
        "Campo11, Campo14) VALUES (2, 200, '" +
        sitio + "', '" + sitio + "', 'A', '5550001', '77', 'RX')");
    const std::string idQuiralte =
        std::to_string(numero("SELECT MAX(Id) AS n FROM COMUNICACIONES"));

    // getData: the inbound record is stored and acknowledged.
    motor.tick();
    responder(kOk + R"(dato=[{"id":"S-1","Tabla":"14","Origen":"900100002","Destino":")" + sitio +
              R"(","Servicio":"2","Funcion":"A","Campo1":"hola"}])" + "\r\n");
    EXPECT_EQ(numero("SELECT COUNT(*) AS n FROM COMUNICACIONES WHERE Campo40 = 'S-1'"), 1)
        << consola.texto;
    EXPECT_EQ(numero("SELECT COUNT(*) AS n FROM COMUNICACIONES WHERE Servicio = 0 "
                     "AND Campo1 = 'S-1'"),
              1);

    // setData: the queued row goes out and the server's answer marks it.
    motor.tick();
    motor.alConectar();
    const std::string enviado = socket.enviados.back();
    EXPECT_NE(enviado.find("r=servicio/setData&idSyA=" + sitio + "&dato=["), std::string::npos);
    EXPECT_NE(enviado.find("\"Id\":\"" + idCola + "\""), std::string::npos);
    motor.alRecibir(kOk + R"(dato=[{"valor":")" + idCola + R"("}])");
    motor.alCerrar();
    EXPECT_EQ(numero("SELECT COUNT(*) AS n FROM COMUNICACIONES WHERE Id = " + idCola +
                     " AND Enviado = TRUE"),
              1)
        << consola.texto;

    // Partner push: the row's own Id, then the confirmation deletes it.
    motor.tick();
    motor.alConectar();
    EXPECT_NE(socket.enviados.back().find("\r\n\r\nid=" + idQuiralte + "&cedula=5550001&"),
              std::string::npos)
        << socket.enviados.back();
    EXPECT_NE(socket.enviados.back().find("&estudio0=RX\r\n"), std::string::npos);
    motor.alRecibir(kOk + "confirmacionEnvio=" + idQuiralte + "\r\n");
    motor.alCerrar();
    EXPECT_EQ(numero("SELECT COUNT(*) AS n FROM COMUNICACIONES WHERE Id = " + idQuiralte), 0);

    // Local step: the sent row is removed, the inbound one stays.
    motor.tick();
    EXPECT_EQ(numero("SELECT COUNT(*) AS n FROM COMUNICACIONES WHERE Id = " + idCola), 0);
    EXPECT_EQ(numero("SELECT COUNT(*) AS n FROM COMUNICACIONES WHERE Campo40 = 'S-1'"), 1);
    EXPECT_EQ(motor.pasadas(), 1);
    EXPECT_FALSE(dao.conectado());
}

// A database made by an earlier build gets the tables where records that
// cannot be stored or applied are kept when the synchronizer starts.
TEST_F(MotorBaseTest, ArrancarSobreUnaBaseAnteriorCreaLasTablasPropias) {
    ejecutar("DROP TABLE CUARENTENA");
    ejecutar("DROP TABLE FALLOS_APLICACION");
    ASSERT_TRUE(motor.iniciar()) << consola.texto;
    EXPECT_EQ(numero("SELECT COUNT(*) AS n FROM sqlite_master WHERE name IN ('CUARENTENA', "
                     "'FALLOS_APLICACION')"),
              2);
    EXPECT_EQ(numero("SELECT COUNT(*) AS n FROM CUARENTENA"), 0);
}

TEST_F(MotorBaseTest, BaseQueNoAbreSeInformaYElCicloSigue) {
    dao.dataFile(base.ruta() + ".no-existe");
    EXPECT_FALSE(motor.iniciar());
    EXPECT_NE(consola.texto.find("Error de base de datos: "), std::string::npos);

    motor.tick();
    EXPECT_NE(consola.texto.find("Error de base de datos: "), std::string::npos);
    EXPECT_TRUE(socket.conexiones.empty());
    EXPECT_EQ(motor.paso(), Paso::GetData);
    motor.tick();
    EXPECT_EQ(motor.paso(), Paso::SetData);
    EXPECT_FALSE(dao.conectado());
}

// A server reply that is valid JSON but not a list of records is the
// server's fault, not the database's: the console says so, the tray shows
// the failure, nothing is stored and the exchange is not counted.
TEST_F(MotorBaseTest, RespuestaInservibleEsFalloDeProtocoloNoDeLaBase) {
    ASSERT_TRUE(motor.iniciar()) << consola.texto;
    const int antes = numero("SELECT COUNT(*) AS n FROM COMUNICACIONES");
    motor.tick();  // doctors
    responder(kOk + R"(dato={"id":"77","cedula":"111"})");
    motor.tick();  // getData
    responder(kOk + R"(dato={"id":"603","Tabla":6})");
    EXPECT_NE(consola.texto.find("Respuesta no valida: The answer to getData is not"),
              std::string::npos)
        << consola.texto;
    EXPECT_EQ(consola.texto.find("Error de base de datos"), std::string::npos);
    EXPECT_EQ(bandeja.ultimo(), EstadoIcono::Error);
    EXPECT_EQ(numero("SELECT COUNT(*) AS n FROM COMUNICACIONES"), antes);
    EXPECT_EQ(motor.intercambiosServidor(), 0);
    EXPECT_FALSE(dao.conectado());
}

}  // namespace
