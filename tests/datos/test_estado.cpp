// The site's state on a real site database: the exchanges the engine
// records, the unsent records with the time they were queued (kept by
// triggers whoever writes the queue), and a database made before the state
// tables existed.
#include <gtest/gtest.h>

#include <string>

#include "datos/DAO_Conexion.h"
#include "datos/Estado.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/Motor.h"

using comun::Fecha;
using comun::Variant;
using datos::DAO_Conexion;

namespace {

class EstadoTest : public ::testing::Test {
  protected:
    void SetUp() override { dao.dataFile(prueba::origen(base.ruta())); }

    // Runs statements on an open connection of their own.
    void sql(const std::string& texto, const datos::ListaParametros& p = {}) {
        datos::GuardaConexion guarda(dao);
        dao.comando(texto, p);
    }
    int32_t encolar(bool enviado, const std::string& destino = "000000000000000",
                    const std::string& funcion = "A") {
        sql("INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado) "
            "VALUES (2, 2, '900100001', ?, ?, ?)",
            {Variant(destino), Variant(funcion), Variant(enviado)});
        datos::GuardaConexion guarda(dao);
        auto rs = dao.Query("SELECT MAX(Id) AS m FROM COMUNICACIONES");
        return (*rs)["m"].CLng();
    }
    void fecharEncolado(int32_t id, const std::string& cuando) {
        sql("UPDATE COMUNICACIONES_PENDIENTES SET Encolado = ? WHERE Id = ?",
            {Variant(cuando), Variant(id)});
    }

    prueba::BaseDePrueba base;
    DAO_Conexion dao;
};

TEST_F(EstadoTest, CadaInterlocutorGuardaSuUltimoIntercambio) {
    datos::EstadoSitio estado = datos::leerEstadoSitio(dao);
    EXPECT_EQ(estado.sitio, "900100001");
    EXPECT_FALSE(estado.ultimoServidor);
    EXPECT_FALSE(estado.ultimoQuiralte);

    datos::registrarIntercambio(dao, datos::kInterlocutorServidor, {2026, 12, 8, 1, 30, 0});
    datos::registrarIntercambio(dao, datos::kInterlocutorQuiralte, {2026, 12, 8, 1, 31, 0});
    datos::registrarIntercambio(dao, datos::kInterlocutorServidor, {2026, 12, 8, 1, 45, 5});
    estado = datos::leerEstadoSitio(dao);
    EXPECT_EQ(estado.ultimoServidor, (Fecha{2026, 12, 8, 1, 45, 5}));
    EXPECT_EQ(estado.ultimoQuiralte, (Fecha{2026, 12, 8, 1, 31, 0}));
    EXPECT_FALSE(dao.conectado());
}

// Outbound records are counted and timed until the server acknowledges them
// or they are deleted; inbound ones wait until applied, some of them after a
// failed attempt; quarantined ones are counted apart.
TEST_F(EstadoTest, PendientesDeEnvioConSuAntiguedadYEntrantesSinAplicar) {
    const int32_t a = encolar(false);
    const int32_t b = encolar(false);
    const int32_t c = encolar(false);
    encolar(true, "900100001");       // inbound, waiting to apply
    encolar(true, "900100001", "X");  // inbound, applied
    encolar(true);                    // outbound, already acknowledged
    fecharEncolado(a, "2026-12-01 08:00:00");
    fecharEncolado(b, "2026-12-02 08:00:00");

    const int32_t fallido = encolar(true, "900100001");
    sql("INSERT INTO FALLOS_APLICACION (IdComunicacion, Intentos, Mensaje) VALUES (?, 1, 'x')",
        {Variant(fallido)});
    sql("INSERT INTO CUARENTENA (IdServidor, Motivo, Texto) VALUES ('9', 'x', '{}')");

    datos::EstadoSitio estado = datos::leerEstadoSitio(dao);
    EXPECT_EQ(estado.pendientesEnvio, 3);
    EXPECT_EQ(estado.encoladoMasAntiguo, (Fecha{2026, 12, 1, 8, 0, 0}));
    EXPECT_EQ(estado.pendientesAplicar, 2);
    EXPECT_EQ(estado.fallidos, 1);
    EXPECT_EQ(estado.cuarentena, 1);

    // Acknowledged by the server, then the oldest left is b; once a sent
    // row is deleted nothing of it is left behind.
    {
        datos::GuardaConexion guarda(dao);
        dao.setMarcaEnviado(a);
        dao.sitio().identificadorCliente = base.cliente();
        dao.eliminarEnviados();
    }
    estado = datos::leerEstadoSitio(dao);
    EXPECT_EQ(estado.pendientesEnvio, 2);
    EXPECT_EQ(estado.encoladoMasAntiguo, (Fecha{2026, 12, 2, 8, 0, 0}));
    sql("DELETE FROM COMUNICACIONES WHERE Id = ?", {Variant(b)});
    sql("UPDATE COMUNICACIONES SET Enviado = True WHERE Id = ?", {Variant(c)});
    datos::GuardaConexion guarda(dao);
    auto rs = dao.Query("SELECT COUNT(*) AS n FROM COMUNICACIONES_PENDIENTES");
    EXPECT_EQ((*rs)["n"].CLng(), 0);
}

// A database made before the state tables existed: reading its state
// changes nothing; the synchronizer's start adds the tables, times the
// records already waiting, and may do so again harmlessly.
TEST_F(EstadoTest, BaseAnteriorSeLeeSinCambiosYSeActualizaAlArrancar) {
    const int32_t viejo = encolar(false);
    sql("DROP TRIGGER COMUNICACIONES_Encolar");
    sql("DROP TRIGGER COMUNICACIONES_Enviar");
    sql("DROP TRIGGER COMUNICACIONES_Borrar");
    sql("DROP TABLE COMUNICACIONES_PENDIENTES");
    sql("DROP TABLE ESTADO_SINCRONIZADOR");
    encolar(false);

    datos::EstadoSitio estado = datos::leerEstadoSitio(dao);
    EXPECT_EQ(estado.pendientesEnvio, 2);
    EXPECT_FALSE(estado.encoladoMasAntiguo);
    EXPECT_FALSE(estado.ultimoServidor);
    {
        datos::GuardaConexion guarda(dao);
        auto rs = dao.Query(
            "SELECT COUNT(*) AS n FROM sqlite_master WHERE name = 'ESTADO_SINCRONIZADOR'");
        EXPECT_EQ((*rs)["n"].CLng(), 0);
    }

    for (int vez = 0; vez < 2; ++vez) {
        datos::GuardaConexion guarda(dao);
        dao.asegurarTablasPropias();
    }
    estado = datos::leerEstadoSitio(dao);
    EXPECT_TRUE(estado.encoladoMasAntiguo);
    datos::registrarIntercambio(dao, datos::kInterlocutorServidor, {2026, 12, 8, 1, 30, 0});
    EXPECT_TRUE(datos::leerEstadoSitio(dao).ultimoServidor);
    fecharEncolado(viejo, "2026-11-30 23:59:59");
    const int32_t nuevo = encolar(false);
    EXPECT_EQ(datos::leerEstadoSitio(dao).encoladoMasAntiguo, (Fecha{2026, 11, 30, 23, 59, 59}));
    datos::GuardaConexion guarda(dao);
    auto rs = dao.Query("SELECT COUNT(*) AS n FROM COMUNICACIONES_PENDIENTES WHERE Id = ?",
                        {Variant(nuevo)});
    EXPECT_EQ((*rs)["n"].CLng(), 1);
}

}  // namespace
