// The outbound queue on a real site database: batches, enqueueing, marking
// and removal of sent rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comun/Bitacora.h"
#include "datos/DAO_Conexion.h"
#include "json/JSON.h"
#include "protocolo/Comunicacion.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/Motor.h"

using comun::Variant;
using datos::DAO_Conexion;
using datos::ErrorBD;
using datos::ErrorRespuesta;

namespace {

const std::string kGeneral = protocolo::kDestinoGeneral;

class ColaTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dao.dataFile(prueba::origen(base.ruta()));
        dao.bitacora(&bitacora);
        dao.conectar();
        dao.sitio().identificadorCliente = base.cliente();
    }

    // Adds a queue row and returns its Id.
    int32_t encolar(int servicio, const std::string& tabla, const std::string& destino,
                    bool enviado = false, const std::string& origen = "900100009",
                    const std::string& campo1 = "x") {
        dao.comando(
            "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, "
            "Campo1) VALUES (?, ?, ?, ?, 'A', ?, ?)",
            {Variant(int32_t{servicio}), Variant(tabla), Variant(origen), Variant(destino),
             Variant(enviado), Variant(campo1)});
        return ultimoId();
    }
    int32_t ultimoId() {
        auto rs = dao.Query("SELECT MAX(Id) AS m FROM COMUNICACIONES");
        return (*rs)["m"].CLng();
    }
    int contar(const std::string& donde = "1 = 1") {
        auto rs = dao.Query("SELECT COUNT(*) AS n FROM COMUNICACIONES WHERE " + donde);
        return (*rs)["n"].CLng();
    }
    // The next batch as the request carries it; `ids` receives its rows.
    std::string textoLote(std::vector<int64_t>& ids, const protocolo::LimiteLote& limite = {}) {
        const protocolo::LoteSaliente l = dao.getComunicacion(limite);
        ids = l.ids;
        return protocolo::codificar(l);
    }
    std::string textoLote() {
        std::vector<int64_t> ids;
        return textoLote(ids);
    }
    std::shared_ptr<json::Coleccion> lote() {
        const std::string texto = textoLote();
        const json::Analisis a = json::parse(texto);
        EXPECT_EQ(a.errores, "") << texto;
        const Variant& v = a.valor;
        auto c = v.objetoComo<json::Coleccion>();
        EXPECT_TRUE(c) << texto;
        return c;
    }
    static std::string miembro(const Variant& fila, const char* clave) {
        return fila.objetoComo<json::Diccionario>()->Item(clave).texto();
    }

    prueba::BaseDePrueba base{false};
    DAO_Conexion dao;
    comun::BitacoraMemoria bitacora;
};

TEST_F(ColaTest, LoteTomaLosMasAntiguosEnOrdenYExcluyeLoQueNoSale) {
    EXPECT_EQ(textoLote(), "null");

    dao.empezarTransaccion();
    std::vector<int32_t> idsServicio2;
    std::vector<int32_t> idsServicio4;
    for (int i = 0; i < 250; ++i) {
        idsServicio2.push_back(encolar(2, "6", kGeneral));
        if (i == 10 || i == 100 || i == 200) idsServicio4.push_back(encolar(4, "20", kGeneral));
        // Rows that must never leave: addressed here, no table code, sent.
        if (i % 50 == 0) {
            encolar(2, "6", base.sitio());
            encolar(2, "", kGeneral);
            encolar(0, "6", kGeneral, true);
        }
    }
    dao.confirmarTransaccion();

    auto filas = lote();
    ASSERT_TRUE(filas);
    ASSERT_EQ(filas->Count(), 201u);
    for (size_t i = 1; i <= 200; ++i) {
        const Variant& f = filas->Item(i);
        EXPECT_EQ(miembro(f, "Servicio"), "2");
        EXPECT_EQ(miembro(f, "Id"), std::to_string(idsServicio2[i - 1])) << "row " << i;
    }
    EXPECT_EQ(miembro(filas->Item(201), "Servicio"), "4");
    EXPECT_EQ(miembro(filas->Item(201), "Id"), std::to_string(idsServicio4.front()));
    EXPECT_EQ(miembro(filas->Item(201), "Enviado"), "False");

    // Once the first 200 are acknowledged the remaining 50 follow.
    dao.comando("UPDATE COMUNICACIONES SET ENVIADO = TRUE WHERE ID <= " +
                std::to_string(idsServicio2[199]));
    filas = lote();
    ASSERT_TRUE(filas);
    EXPECT_EQ(filas->Count(), 51u);
    EXPECT_EQ(miembro(filas->Item(1), "Id"), std::to_string(idsServicio2[200]));
}

TEST_F(ColaTest, TextoDelLoteMiembrosEnOrdenDeColumnasYValoresLimpios) {
    const int32_t id = encolar(2, "6", kGeneral, false, "900100001", "C:\\ventas\\x");
    dao.comando("UPDATE COMUNICACIONES SET Campo2 = 'a''b', Campo3 = NULL WHERE Id = " +
                std::to_string(id));
    encolar(2, "7", kGeneral);

    const std::string texto = textoLote();
    const std::string inicio = "[{\"Id\":\"" + std::to_string(id) +
                               "\",\"Servicio\":\"2\",\"Tabla\":\"6\",\"Origen\":\"900100001\","
                               "\"Destino\":\"" +
                               kGeneral +
                               "\",\"Funcion\":\"A\",\"Enviado\":\"False\",\"Campo1\":"
                               "\"C:ventasx\",\"Campo2\":\"a b\",\"Campo3\":\"\",";
    EXPECT_EQ(texto.substr(0, inicio.size()), inicio);
    EXPECT_NE(texto.find("\"Campo40\":\"\"},\r\n{\"Id\":\""), std::string::npos);
    EXPECT_EQ(texto.back(), ']');
}

TEST_F(ColaTest, EncolarRegistroGuardaTextoSiNoVacioYNumero) {
    dao.comando(
        "INSERT INTO TERCEROS (Nombre, IdDocumento, Proveedor) VALUES ('a''b::c', 'T1', TRUE)");
    auto rs =
        dao.Query("SELECT Nombre, Proveedor, 7 AS Numero FROM TERCEROS WHERE IdDocumento = 'T1'");
    ASSERT_FALSE(DAO_Conexion::RsVacio(rs));

    dao.encolarRegistro(*rs, 6, "A", "");  // no destination: nothing
    EXPECT_EQ(contar(), 0);

    dao.encolarRegistro(*rs, 6, "A", kGeneral);
    ASSERT_EQ(contar(), 1);
    ASSERT_FALSE(bitacora.lineas.empty());
    EXPECT_EQ(bitacora.lineas.back(),
              "INSERT INTO comunicaciones (Servicio, Tabla, Origen, Destino, Funcion , Campo1, "
              "Campo2, Campo3) VALUES (2, 6, '" +
                  base.sitio() + "', '" + kGeneral + "', 'A','a''b::c','','7') ");

    auto fila = dao.Query("SELECT * FROM COMUNICACIONES");
    EXPECT_EQ((*fila)["Servicio"].CLng(), 2);
    EXPECT_EQ((*fila)["Tabla"].CLng(), 6);
    EXPECT_EQ((*fila)["Origen"].texto(), base.sitio());
    EXPECT_EQ((*fila)["Destino"].texto(), kGeneral);
    EXPECT_EQ((*fila)["Funcion"].texto(), "A");
    EXPECT_FALSE((*fila)["Enviado"].CBool());
    EXPECT_EQ((*fila)["Campo1"].texto(), "a'b::c");
    EXPECT_EQ((*fila)["Campo2"].texto(), "");
    EXPECT_EQ((*fila)["Campo3"].texto(), "7");
    EXPECT_TRUE((*fila)["Campo4"].esNull());
}

TEST_F(ColaTest, EncolarRegistroRechazaMasDeCuarentaColumnasSinEscribir) {
    encolar(2, "6", kGeneral);
    bitacora.lineas.clear();
    auto rs = dao.Query("SELECT * FROM COMUNICACIONES");  // 47 columns
    ASSERT_GT(rs->numeroCampos(), 40u);
    EXPECT_THROW(dao.encolarRegistro(*rs, 6, "A", kGeneral), ErrorBD);
    EXPECT_EQ(contar(), 1);
    EXPECT_TRUE(bitacora.lineas.empty());
}

TEST_F(ColaTest, CopiasParaLasDemasSucursalesDelCliente) {
    dao.comando("DELETE FROM SUCYAGEN");
    for (const char* par : {"900100|001", "900100|002", "900100|003", "900200|004"}) {
        const std::string p = par;
        dao.comando("INSERT INTO SUCYAGEN (IDCLIENTE, IDSYA) VALUES (?, ?)",
                    {Variant(p.substr(0, 6)), Variant(p.substr(7))});
    }
    dao.comando("INSERT INTO TERCEROS (Nombre, IdDocumento) VALUES ('Ana', 'T2')");
    auto rs = dao.Query("SELECT Nombre, IdDocumento FROM TERCEROS WHERE IdDocumento = 'T2'");
    dao.setComunicacionSucursales(*rs, 12, "A");

    auto filas = dao.Query("SELECT Destino, Tabla, Campo1, Campo2 FROM COMUNICACIONES ORDER BY Id");
    std::vector<std::string> destinos;
    for (; !DAO_Conexion::RsVacio(filas); filas->MoveNext()) {
        EXPECT_EQ((*filas)["Campo1"].texto(), "Ana");
        EXPECT_EQ((*filas)["Campo2"].texto(), "T2");
        EXPECT_EQ((*filas)["Tabla"].CLng(), 12);
        destinos.push_back((*filas)["Destino"].texto());
    }
    EXPECT_EQ(destinos, (std::vector<std::string>{kGeneral, "900100002", "900100003"}));
}

TEST_F(ColaTest, SolicitudIPR) {
    dao.setSolicitudIPR(1, "A", "");  // no destination: nothing
    EXPECT_EQ(contar(), 0);
    dao.setSolicitudIPR(1, "A", "900100002");
    dao.setSolicitudIPR(2, "S", "900100003");
    auto rs = dao.Query("SELECT * FROM COMUNICACIONES ORDER BY Id");
    ASSERT_FALSE(DAO_Conexion::RsVacio(rs));
    EXPECT_EQ((*rs)["Servicio"].CLng(), 1);
    EXPECT_EQ((*rs)["Origen"].texto(), base.sitio());
    EXPECT_EQ((*rs)["Destino"].texto(), "900100002");
    EXPECT_TRUE((*rs)["Campo1"].esNull());
    EXPECT_FALSE((*rs)["Enviado"].CBool());
    rs->MoveNext();
    EXPECT_EQ((*rs)["Tabla"].CLng(), 2);
    EXPECT_EQ((*rs)["Funcion"].texto(), "S");
    EXPECT_EQ((*rs)["Campo1"].texto(), base.sitio());
}

TEST_F(ColaTest, MarcarEnviadosSoloIdsEnterosYCierraLaConexion) {
    std::vector<int64_t> ids;
    for (int i = 0; i < 20; ++i) ids.push_back(encolar(2, "6", kGeneral));
    const int64_t id17 = ids[16];
    dao.desconectar();

    auto respuesta = json::parse("[{\"valor\":\"" + std::to_string(id17) +
                                 "\"},{\"valor\":\"\"},{\"otro\":\"3\"},{\"valor\":\"1 OR 1=1\"},"
                                 "{\"valor\":2.5}]")
                         .valor;
    dao.marcarEnviados(respuesta, ids);
    EXPECT_FALSE(dao.conectado());
    dao.conectar();
    EXPECT_EQ(contar("Enviado = TRUE"), 1);
    EXPECT_EQ(contar("Enviado = TRUE AND Id = " + std::to_string(id17)), 1);
    ASSERT_EQ(bitacora.lineas.size(), 2u);
    EXPECT_NE(bitacora.lineas[0].find("1 OR 1=1"), std::string::npos);

    // A reply that is an object, or an array holding a non-object, marks
    // nothing and leaves no connection open.
    dao.desconectar();
    EXPECT_THROW(dao.marcarEnviados(json::parse("{\"valor\":\"3\"}").valor, ids), ErrorRespuesta);
    EXPECT_THROW(dao.marcarEnviados(json::parse("[{\"valor\":\"3\"}, 4]").valor, ids),
                 ErrorRespuesta);
    EXPECT_THROW(dao.marcarEnviados(Variant(), ids), ErrorRespuesta);
    EXPECT_FALSE(dao.conectado());
    dao.conectar();
    EXPECT_EQ(contar("Enviado = TRUE"), 1);

    dao.setMarcaEnviado(ids[2]);
    EXPECT_EQ(contar("Enviado = TRUE"), 2);
}

// A faulty or hostile server that acknowledges ids it was never sent must
// not make the site mark, and then delete, rows that never left.
TEST_F(ColaTest, MarcarEnviadosSoloLoDelLoteRecienEnviado) {
    dao.empezarTransaccion();
    for (int i = 0; i < 250; ++i) encolar(2, "6", kGeneral);
    dao.confirmarTransaccion();
    std::vector<int64_t> lote;
    const std::string texto = textoLote(lote);
    ASSERT_EQ(lote.size(), 200u);
    EXPECT_NE(texto.find("\"Id\":\"" + std::to_string(lote.back()) + "\""), std::string::npos);
    std::string respuesta = "[";
    for (int id = 1; id <= 399; ++id)
        respuesta +=
            (id > 1 ? "," : "") + std::string("{\"valor\":\"") + std::to_string(id) + "\"}";
    respuesta += "]";
    dao.desconectar();

    dao.marcarEnviados(json::parse(respuesta).valor, lote);
    dao.conectar();
    EXPECT_EQ(contar("Enviado = TRUE"), 200);
    EXPECT_EQ(contar("Enviado = TRUE AND Id > " + std::to_string(lote.back())), 0);
    ASSERT_EQ(bitacora.lineas.size(), 1u);
    EXPECT_NE(bitacora.lineas[0].find("199 ids"), std::string::npos) << bitacora.lineas[0];
    dao.eliminarEnviados();
    EXPECT_EQ(contar(), 50);

    // An empty queue sends "null" and carries no rows.
    dao.comando("DELETE FROM COMUNICACIONES");
    EXPECT_EQ(textoLote(lote), "null");
    EXPECT_TRUE(lote.empty());
}

// A batch stops before the row that would pass its bytes budget (its first
// row goes, whatever its size up to what any batch carries); a row that no
// batch can carry is moved whole to APARTADOS_ENVIO, said once, and the
// rows behind it go.
TEST_F(ColaTest, LoteMedidoEnBytesYLoQueNingunLoteLlevaSeAparta) {
    std::vector<int64_t> filas;
    for (const std::string& campo : {std::string(3000, 'a'), std::string(3000, 'b')})
        filas.push_back(encolar(2, "6", kGeneral, false, "900100009", campo));
    // 9,000 "ñ" are 54,000 bytes once escaped.
    std::string enes;
    for (int i = 0; i < 9000; ++i) enes += "ñ";
    const int64_t enorme = encolar(2, "6", kGeneral, false, "900100009", enes);
    filas.push_back(encolar(2, "6", kGeneral, false, "900100009", "c"));
    filas.push_back(encolar(2, "6", kGeneral, false, "900100009", "d"));
    const protocolo::LimiteLote limite{201, 5000, 20000};

    std::vector<std::vector<int64_t>> lotes;
    for (int i = 0; i < 4; ++i) {
        std::vector<int64_t> ids;
        const std::string texto = textoLote(ids, limite);
        if (ids.empty()) {
            EXPECT_EQ(texto, "null");
            break;
        }
        EXPECT_LE(texto.size(), 5000u);
        lotes.push_back(ids);
        for (int64_t id : ids) dao.setMarcaEnviado(id);
    }
    EXPECT_EQ(lotes,
              (std::vector<std::vector<int64_t>>{{filas[0]}, {filas[1]}, {filas[2], filas[3]}}));

    EXPECT_EQ(contar("Id = " + std::to_string(enorme)), 0);
    auto rs = dao.Query("SELECT IdComunicacion, Bytes, Texto FROM APARTADOS_ENVIO");
    ASSERT_FALSE(DAO_Conexion::RsVacio(rs));
    EXPECT_EQ((*rs)["IdComunicacion"].CLngLng(), enorme);
    EXPECT_GT((*rs)["Bytes"].CLngLng(), 54000);
    EXPECT_NE((*rs)["Texto"].texto().find("\\u00F1\\u00F1"), std::string::npos);
    rs->Close();
    ASSERT_EQ(bitacora.lineas.size(), 1u);
    EXPECT_NE(
        bitacora.lineas[0].find("Registro " + std::to_string(enorme) + " de la cola apartado"),
        std::string::npos);
}

// Row ids past 32 bits, and past what a double holds exactly, are read,
// carried and marked as they are.
TEST_F(ColaTest, IdsDeMasDe32BitsSeLeenExactosYSeMarcan) {
    const std::string grande = "9007199254740993";
    dao.comando(
        "INSERT INTO COMUNICACIONES (Id, Servicio, Tabla, Origen, Destino, Funcion, "
        "Enviado, Campo1) VALUES (" +
        grande + ", 2, 6, '900100009', '" + kGeneral + "', 'A', False, 'x')");
    std::vector<int64_t> ids;
    const std::string texto = textoLote(ids);
    EXPECT_EQ(ids, std::vector<int64_t>{9007199254740993});
    EXPECT_NE(texto.find("\"Id\":\"" + grande + "\""), std::string::npos) << texto;
    dao.desconectar();
    dao.marcarEnviados(json::parse("[{\"valor\":\"" + grande + "\"}]").valor, ids);
    dao.conectar();
    EXPECT_EQ(contar("Enviado = TRUE AND Id = " + grande), 1);
}

// A row of exactly 40 columns fills Campo1..Campo40; one more cannot travel.
TEST_F(ColaTest, FilaDeCuarentaColumnasSeEncolaEntera) {
    auto fila = [](int n) {
        std::string sql = "SELECT ";
        for (int k = 1; k <= n; ++k)
            sql += (k > 1 ? ", " : "") + std::string("'v") + std::to_string(k) + "' AS c" +
                   std::to_string(k);
        return sql;
    };
    auto cuarenta = dao.Query(fila(40));
    dao.encolarRegistro(*cuarenta, 6, "A", kGeneral);
    EXPECT_EQ(contar("Campo1 = 'v1' AND Campo39 = 'v39' AND Campo40 = 'v40'"), 1);
    auto cuarentaYUna = dao.Query(fila(41));
    EXPECT_THROW(dao.encolarRegistro(*cuarentaYUna, 6, "A", kGeneral), ErrorBD);
    EXPECT_EQ(contar(), 1);
}

// Each TOP arm takes its rows by the batch's order (Servicio, then Id), not
// by the key alone: an acknowledgement queued behind a backlog still leaves
// with the next batch.
TEST_F(ColaTest, AcuseDetrasDeUnAtrasoSaleEnElProximoLote) {
    dao.empezarTransaccion();
    for (int i = 0; i < 205; ++i) encolar(2, "6", kGeneral);
    const int32_t acuse = encolar(0, "6", kGeneral);
    dao.confirmarTransaccion();
    auto filas = lote();
    ASSERT_EQ(filas->Count(), 200u);
    EXPECT_EQ(miembro(filas->Item(1), "Id"), std::to_string(acuse));
}

TEST_F(ColaTest, EliminarEnviadosGuardaOrigenCeroYLoDeEsteSitio) {
    const int32_t enviado = encolar(2, "6", kGeneral, true);
    const int32_t pendiente = encolar(2, "6", kGeneral, false);
    const int32_t deOrigenCero = encolar(2, "6", kGeneral, true, "0");
    const int32_t aDestinoCero = encolar(2, "6", "0", true);
    const int32_t paraEsteSitio = encolar(2, "6", base.sitio(), true);
    dao.eliminarEnviados();
    EXPECT_EQ(contar("Id = " + std::to_string(enviado)), 0);
    for (int32_t id : {pendiente, deOrigenCero, aDestinoCero, paraEsteSitio}) {
        EXPECT_EQ(contar("Id = " + std::to_string(id)), 1) << id;
    }
}

}  // namespace
