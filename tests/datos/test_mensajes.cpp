// The support window's database work on a real site database: outgoing chat
// messages with their queued record, support requests, and the list of the
// newest messages.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "datos/DAO_Conexion.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/Motor.h"

using comun::Variant;
using datos::DAO_Conexion;

namespace {

class MensajesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dao.dataFile(prueba::origen(base.ruta()));
        dao.conectar();
    }
    std::string valor(const std::string& sql) {
        auto rs = dao.Query(sql);
        return DAO_Conexion::RsVacio(rs) ? std::string() : (*rs)[size_t{0}].texto();
    }
    int contar(const std::string& desdeDonde) {
        return std::stoi(valor("SELECT COUNT(*) AS n FROM " + desdeDonde));
    }
    void insertarMensaje(const std::string& texto, const std::string& origen = "SOPORTE") {
        dao.comando(
            "INSERT INTO MENSAJE (mensaje, destino, origen, PRIORIDAD) VALUES (?, "
            "'LOCAL', ?, -2)",
            {Variant(texto), Variant(origen)});
    }
    // Straight to SQLite, for what the command layer does not take.
    void ejecutarDirecto(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(base.ruta().c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
        const std::string mensaje = error ? error : "";
        sqlite3_free(error);
        sqlite3_close(db);
        ASSERT_EQ(rc, SQLITE_OK) << mensaje;
    }

    prueba::BaseDePrueba base;
    DAO_Conexion dao;
};

TEST_F(MensajesTest, MensajeConComillasSeGuardaYSeEncolaTalCual) {
    const std::string texto = "¿Me ayudan? It's urgent";
    dao.setMensaje(texto);

    EXPECT_EQ(contar("MENSAJE"), 1);
    EXPECT_EQ(valor("SELECT mensaje FROM MENSAJE"), texto);
    EXPECT_EQ(valor("SELECT destino & '|' & origen & '|' & PRIORIDAD FROM MENSAJE"),
              "SERVIDOR|LOCAL|-2");

    ASSERT_EQ(contar("COMUNICACIONES"), 1);
    EXPECT_EQ(valor("SELECT Servicio & '|' & Tabla & '|' & Origen & '|' & Destino & '|' & "
                    "Funcion & '|' & Enviado FROM COMUNICACIONES"),
              "2|14|" + base.sitio() + "|000000000000000|A|0");
    EXPECT_EQ(valor("SELECT Campo1 FROM COMUNICACIONES"), texto);
    EXPECT_EQ(valor("SELECT Campo2 & '|' & Campo3 & '|' & Campo4 FROM COMUNICACIONES"),
              "CHAT|LOCAL|1");
}

TEST_F(MensajesTest, SiLaColaFallaNoQuedaMensajeSinEncolar) {
    ejecutarDirecto(
        "CREATE TRIGGER cola_llena BEFORE INSERT ON COMUNICACIONES BEGIN "
        "SELECT RAISE(ABORT, 'cola llena'); END");
    EXPECT_THROW(dao.setMensaje("hola"), datos::ErrorBD);
    EXPECT_EQ(contar("MENSAJE"), 0);
    EXPECT_EQ(contar("COMUNICACIONES"), 0);
}

TEST_F(MensajesTest, SolicitudDeSoporteEsUnRegistroDeServicioCuatro) {
    dao.setEMailSoporte("O'Neil", "No imprime; ¿qué hago?", "300 555 0101");
    ASSERT_EQ(contar("COMUNICACIONES"), 1);
    EXPECT_EQ(valor("SELECT Servicio & '|' & Tabla & '|' & Origen & '|' & Destino FROM "
                    "COMUNICACIONES"),
              "4|20|" + base.sitio() + "|000000000000000");
    EXPECT_EQ(valor("SELECT Campo1 & '|' & Campo2 & '|' & Campo4 FROM COMUNICACIONES"),
              "O'Neil|No imprime; ¿qué hago?|300 555 0101");
    EXPECT_EQ(valor("SELECT Campo3 FROM COMUNICACIONES"), dao.getNombreCliente());
    EXPECT_EQ(contar("MENSAJE"), 0);

    // An empty request queues nothing.
    dao.setEMailSoporte("Ana", "", "1");
    EXPECT_EQ(contar("COMUNICACIONES"), 1);
}

TEST_F(MensajesTest, ListaDeLosQuinceMasNuevosPrimeroElUltimo) {
    EXPECT_TRUE(dao.getListaMensajes().empty());

    insertarMensaje("uno");
    auto lista = dao.getListaMensajes();
    ASSERT_EQ(lista.size(), 1u);
    EXPECT_EQ(lista[0].getMensaje(), "uno");
    EXPECT_EQ(lista[0].getOrigen(), "SOPORTE");
    EXPECT_TRUE(lista[0].getFecha().valida());

    for (int i = 2; i <= 20; ++i) insertarMensaje("m" + std::to_string(i));
    // Other priorities are not chat messages.
    dao.comando("INSERT INTO MENSAJE (mensaje, PRIORIDAD) VALUES ('aviso', 1)");
    lista = dao.getListaMensajes();
    ASSERT_EQ(lista.size(), 15u);
    EXPECT_EQ(lista.front().getMensaje(), "m20");
    EXPECT_EQ(lista.back().getMensaje(), "m6");
    EXPECT_GT(lista.front().getId(), lista.back().getId());
}

TEST_F(MensajesTest, FechaAusenteOIlegibleEsPrimeroDeEnero2000) {
    insertarMensaje("sin fecha");
    insertarMensaje("texto en la fecha");
    dao.comando("INSERT INTO MENSAJE (PRIORIDAD) VALUES (-2)");
    dao.comando("UPDATE MENSAJE SET Fecha = NULL");
    dao.desconectar();
    ejecutarDirecto("UPDATE MENSAJE SET Fecha = 'ayer' WHERE ID = 2");
    dao.conectar();

    const auto lista = dao.getListaMensajes();
    ASSERT_EQ(lista.size(), 3u);
    for (const auto& m : lista) {
        EXPECT_EQ(Variant(m.getFecha()).texto(), "01/01/2000") << m.getMensaje();
    }
    // A null text reads as the empty text.
    EXPECT_EQ(lista.front().getMensaje(), "");
}

}  // namespace
