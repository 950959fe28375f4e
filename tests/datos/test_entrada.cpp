// The inbound store on a real site database: each record stored once,
// acknowledged once, hostile member texts stored verbatim, records that
// cannot be stored set aside without holding back the others.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "comun/Bitacora.h"
#include "datos/DAO_Conexion.h"
#include "json/JSON.h"
#include "protocolo/Comunicacion.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/FallaSqlite.h"
#include "soporte/Motor.h"

using comun::Variant;
using datos::DAO_Conexion;
using datos::ErrorBD;
using datos::ErrorRespuesta;

namespace {

const std::string kGeneral = protocolo::kDestinoGeneral;

class EntradaTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dao.dataFile(prueba::origen(base.ruta()));
        dao.bitacora(&bitacora);
    }

    int contar(const std::string& donde = "1 = 1") {
        dao.conectar();
        auto rs = dao.Query("SELECT COUNT(*) AS n FROM COMUNICACIONES WHERE " + donde);
        const int n = (*rs)["n"].CLng();
        rs.reset();
        dao.desconectar();
        return n;
    }
    static Variant respuesta(const std::string& texto) {
        json::Analisis a = json::parse(texto);
        EXPECT_EQ(a.errores, "") << texto;
        return std::move(a.valor);
    }

    prueba::BaseDePrueba base{false};
    DAO_Conexion dao;
    comun::BitacoraMemoria bitacora;
};

TEST_F(EntradaTest, GuardaUnaVezYAcusaUnaVez) {
    EXPECT_EQ(dao.setComunicacion(respuesta("[]")), 0);
    EXPECT_FALSE(dao.conectado());

    const std::string sitio = base.sitio();
    const std::string texto =
        "[{\"id\":\"501\",\"Servicio\":\"2\",\"Tabla\":\"6\",\"Origen\":"
        "\"900100002\",\"Destino\":\"" +
        sitio +
        "\",\"Funcion\":\"A\",\"Campo1\":\"uno\",\"Campo39\":\"fin\","
        "\"Campo40\":\"ignorado\"},"
        "{\"id\":\"502\",\"Servicio\":2,\"Tabla\":0,\"Destino\":\"" +
        sitio +
        "\"},"
        "{\"id\":\"\",\"Servicio\":2,\"Tabla\":6,\"Campo1\":\"sin id\"},"
        "{\"id\":12345678901234567,\"Servicio\":2,\"Tabla\":6,\"Destino\":\"" +
        kGeneral + "\"}]";
    EXPECT_EQ(dao.setComunicacion(respuesta(texto)), 3);
    EXPECT_FALSE(dao.conectado());
    // Received again: nothing new.
    EXPECT_EQ(dao.setComunicacion(respuesta(texto)), 3);

    EXPECT_EQ(contar(), 5);  // three records, two acknowledgements
    EXPECT_EQ(contar("Campo1 = 'sin id'"), 0);

    dao.conectar();
    auto rs = dao.Query("SELECT * FROM COMUNICACIONES WHERE Campo40 = '501'");
    ASSERT_FALSE(DAO_Conexion::RsVacio(rs));
    EXPECT_EQ((*rs)["Servicio"].CLng(), 2);
    EXPECT_EQ((*rs)["Tabla"].CLng(), 6);
    EXPECT_EQ((*rs)["Origen"].texto(), "900100002");
    EXPECT_EQ((*rs)["Destino"].texto(), sitio);
    EXPECT_EQ((*rs)["Funcion"].texto(), "A");
    EXPECT_TRUE((*rs)["Enviado"].CBool());
    EXPECT_EQ((*rs)["Campo1"].texto(), "uno");
    EXPECT_EQ((*rs)["Campo39"].texto(), "fin");

    // Acknowledgements: one per record with a table code above 0, from the
    // record's destination to the general one, unsent.
    auto acuses = dao.Query("SELECT * FROM COMUNICACIONES WHERE Servicio = 0 ORDER BY Id");
    ASSERT_FALSE(DAO_Conexion::RsVacio(acuses));
    EXPECT_EQ((*acuses)["Origen"].texto(), sitio);
    EXPECT_EQ((*acuses)["Destino"].texto(), kGeneral);
    EXPECT_EQ((*acuses)["Tabla"].CLng(), 6);
    EXPECT_EQ((*acuses)["Funcion"].texto(), "A");
    EXPECT_EQ((*acuses)["Campo1"].texto(), "501");
    EXPECT_FALSE((*acuses)["Enviado"].CBool());
    acuses->MoveNext();
    EXPECT_EQ((*acuses)["Origen"].texto(), kGeneral);
    EXPECT_EQ((*acuses)["Campo1"].texto(), "12345678901234567");
    acuses->MoveNext();
    EXPECT_TRUE(DAO_Conexion::RsVacio(acuses));
    acuses.reset();
    rs.reset();
    dao.desconectar();
}

TEST_F(EntradaTest, TextosHostilesSeGuardanTalCual) {
    const std::string id = "7', 'x";
    const std::string destino = "'; DROP TABLE COMUNICACIONES; --";
    const std::string origen = "' OR '1'='1";
    // An unrelated row that a broken statement could touch.
    dao.conectar();
    dao.comando(
        "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, "
        "Campo1, Campo40) VALUES (0, 6, 'o', '000000000000000', 'A', FALSE, 'otro', 'otro')");
    dao.desconectar();

    const std::string texto = "[{\"id\":\"" + id + "\",\"Tabla\":6,\"Servicio\":2,\"Origen\":\"" +
                              origen + "\",\"Destino\":\"" + destino + "\",\"Campo1\":\"" + id +
                              "\"}]";
    EXPECT_EQ(dao.setComunicacion(respuesta(texto)), 1);
    EXPECT_EQ(dao.setComunicacion(respuesta(texto)), 1);

    EXPECT_EQ(contar(), 3);
    dao.conectar();
    auto rs = dao.Query("SELECT * FROM COMUNICACIONES WHERE Campo40 = ?", {Variant(id)});
    ASSERT_FALSE(DAO_Conexion::RsVacio(rs));
    EXPECT_EQ((*rs)["Destino"].texto(), destino);
    EXPECT_EQ((*rs)["Origen"].texto(), origen);
    EXPECT_EQ((*rs)["Campo1"].texto(), id);
    auto acuse =
        dao.Query("SELECT * FROM COMUNICACIONES WHERE Servicio = 0 AND Campo1 = ?", {Variant(id)});
    ASSERT_FALSE(DAO_Conexion::RsVacio(acuse));
    EXPECT_EQ((*acuse)["Origen"].texto(), destino);
    auto otro = dao.Query("SELECT * FROM COMUNICACIONES WHERE Campo40 = 'otro'");
    ASSERT_FALSE(DAO_Conexion::RsVacio(otro));
    EXPECT_EQ((*otro)["Origen"].texto(), "o");
    EXPECT_FALSE((*otro)["Enviado"].CBool());
    rs.reset();
    acuse.reset();
    otro.reset();
    dao.desconectar();
}

TEST_F(EntradaTest, TextosConDosPuntosDoblesNoSeRecortanAlCompararlos) {
    // "::" inside a bound text must not be read as a parameter name: the
    // duplicate and acknowledgement tests compare the whole id and Destino.
    const std::string texto =
        "[{\"id\":\"srv::77\",\"Tabla\":6,\"Servicio\":2,\"Destino\":\"a::b\","
        "\"Campo1\":\"x\"}]";
    EXPECT_EQ(dao.setComunicacion(respuesta(texto)), 1);
    EXPECT_EQ(dao.setComunicacion(respuesta(texto)), 1);
    EXPECT_EQ(contar("Campo40 = 'srv::77'"), 1);
    EXPECT_EQ(contar("Servicio = 0 AND Campo1 = 'srv::77' AND Origen = 'a::b'"), 1);
    EXPECT_EQ(contar(), 2);
}

// Records whose values do not fit are set aside whole and acknowledged;
// the good records around them are stored and acknowledged as usual.
TEST_F(EntradaTest, UnRegistroQueNoCabeVaACuarentenaYLosDemasSeGuardan) {
    const std::string sitio = base.sitio();
    // Members as JSON texts, by name; a bad record replaces one of them.
    auto registro = [&](const std::string& id, const std::string& nombre = {},
                        const std::string& valor = {}) {
        std::vector<std::pair<std::string, std::string>> miembros = {
            {"id", "\"" + id + "\""},         {"Servicio", "\"2\""}, {"Tabla", "\"6\""},
            {"Destino", "\"" + sitio + "\""}, {"Funcion", "\"A\""},  {"Campo1", "\"x\""}};
        if (!nombre.empty()) miembros.emplace_back(nombre, valor);
        std::string t = "{";
        for (const auto& [n, v] : miembros) {
            if (n == nombre && v != valor) continue;
            if (t.size() > 1) t += ",";
            t += "\"" + n + "\":" + v;
        }
        return t + "}";
    };
    const std::vector<std::vector<std::string>> malos = {
        {"701", "Tabla", "\"99999999999\""},
        {"702", "Funcion", "\"ABCDEFGHIJK\""},
        {"703", "Origen", "\"" + std::string(51, 'o') + "\""},
        {"704", "Campo3", "{\"a\":[1,2]}"},
        {"705", "Campo4", "[\"uno\"]"},
        {"706", "Tabla", "\"2.5\""},
        {"707", "Tabla", "\" 2 \""},
        {"708", "Tabla", "\"2e0\""},
        {"709", "Servicio", "\"dos\""},
    };
    std::string texto = "[" + registro("700");
    for (const auto& m : malos) texto += "," + registro(m[0], m[1], m[2]);
    texto += "," + registro("710") + ",\"no es un objeto\"]";
    const Variant respuestaMixta = respuesta(texto);

    EXPECT_EQ(dao.setComunicacion(respuestaMixta), 11);
    EXPECT_FALSE(dao.conectado());
    EXPECT_EQ(contar("Campo40 IN ('700', '710')"), 2);
    EXPECT_EQ(contar("Campo40 IS NOT NULL"), 2);
    // Every record with an id is acknowledged, so the server stops offering
    // it; a set-aside one in this site's name.
    EXPECT_EQ(contar("Servicio = 0"), 11);
    EXPECT_EQ(contar("Servicio = 0 AND Origen = '" + sitio + "'"), 11);
    EXPECT_EQ(contar("Servicio = 0 AND Campo1 = '701' AND Tabla = 0"), 1);
    EXPECT_EQ(contar("Servicio = 0 AND Campo1 = '702' AND Tabla = 6"), 1);

    dao.conectar();
    auto apartados = dao.Query("SELECT IdServidor, Motivo, Texto FROM CUARENTENA ORDER BY Id");
    std::vector<std::string> ids;
    while (!DAO_Conexion::RsVacio(apartados)) {
        ids.push_back((*apartados)["IdServidor"].texto());
        EXPECT_FALSE((*apartados)["Motivo"].texto().empty());
        const std::string guardado = (*apartados)["Texto"].texto();
        if (ids.back() == "701") {
            EXPECT_NE(guardado.find("\"Tabla\":\"99999999999\""), std::string::npos) << guardado;
        }
        if (ids.back() == "704") {
            EXPECT_NE(guardado.find("\"Campo3\":{\"a\":[1,2]}"), std::string::npos) << guardado;
        }
        apartados->MoveNext();
    }
    apartados.reset();
    dao.desconectar();
    EXPECT_EQ(ids, (std::vector<std::string>{"701", "702", "703", "704", "705", "706", "707", "708",
                                             "709", ""}));
    EXPECT_EQ(bitacora.lineas.size(), 10u);
    EXPECT_NE(bitacora.lineas[0].find("Registro 701 del servidor en cuarentena"),
              std::string::npos);

    // Offered again (the acknowledgement has not reached the server yet):
    // nothing new is kept, queued or reported.
    EXPECT_EQ(dao.setComunicacion(respuestaMixta), 11);
    EXPECT_EQ(contar(), 13);
    EXPECT_EQ(bitacora.lineas.size(), 10u);

    // A root that is not an array holds no records to store one by one.
    EXPECT_THROW(dao.setComunicacion(respuesta("{\"id\":\"603\",\"Tabla\":6}")), ErrorRespuesta);
    EXPECT_EQ(contar(), 13);
}

// A failure of the database itself (an I/O error on one statement) would
// hit any record alike: it is never taken for the record's fault. The good
// record is neither set aside nor acknowledged, nothing of the answer is
// kept, and the same answer is stored whole once the database reads again.
TEST_F(EntradaTest, UnFalloDeLaBaseNoEsCulpaDelRegistro) {
    prueba::FallaSqlite falla;
    const std::string sitio = base.sitio();
    const Variant buena =
        respuesta("[{\"id\":\"901\",\"Servicio\":\"2\",\"Tabla\":\"6\",\"Destino\":\"" + sitio +
                  "\",\"Funcion\":\"A\",\"Campo1\":\"uno\"},{\"id\":\"902\",\"Servicio\":"
                  "\"2\",\"Tabla\":\"6\",\"Destino\":\"" +
                  sitio + "\",\"Funcion\":\"A\",\"Campo1\":\"dos\"}]");
    // Looking the record up, writing it, and writing its acknowledgement.
    for (const char* sentencia :
         {"WHERE CAMPO40 = ?", "\"Campo40\") VALUES", "\"Enviado\", \"Campo1\") VALUES"}) {
        falla.fallar(sentencia);
        try {
            dao.setComunicacion(buena);
            ADD_FAILURE() << "stored despite the failure in " << sentencia;
        } catch (const ErrorBD& e) {
            EXPECT_TRUE(e.deLaBase()) << e.what();
            EXPECT_NE(std::string(e.what()).find("disk I/O error"), std::string::npos) << e.what();
        }
        EXPECT_NE(falla.fallida().find(sentencia), std::string::npos)
            << sentencia << " / " << falla.fallida();
        EXPECT_FALSE(dao.conectado());
        EXPECT_EQ(contar(), 0) << sentencia;
        dao.conectar();
        auto apartados = dao.Query("SELECT COUNT(*) AS n FROM CUARENTENA");
        EXPECT_EQ((*apartados)["n"].CLng(), 0) << sentencia;
        apartados.reset();
        dao.desconectar();
    }
    EXPECT_TRUE(bitacora.lineas.empty());

    EXPECT_EQ(dao.setComunicacion(buena), 2);
    EXPECT_EQ(contar("Campo40 IN ('901', '902')"), 2);
    EXPECT_EQ(contar("Servicio = 0"), 2);
}

// A database made by an earlier build has no quarantine table: it is made
// when first needed.
TEST_F(EntradaTest, BaseAnteriorSinCuarentenaLaRecibe) {
    dao.conectar();
    dao.comando("DROP TABLE CUARENTENA");
    dao.desconectar();
    EXPECT_EQ(dao.setComunicacion(respuesta("[{\"id\":\"801\",\"Tabla\":6,\"Funcion\":"
                                            "\"demasiado larga\"}]")),
              1);
    dao.conectar();
    auto rs = dao.Query("SELECT IdServidor FROM CUARENTENA");
    ASSERT_FALSE(DAO_Conexion::RsVacio(rs));
    EXPECT_EQ((*rs)["IdServidor"].texto(), "801");
    rs.reset();
    dao.desconectar();
}

}  // namespace
