// The doctors import on a real site database.
#include <gtest/gtest.h>

#include <string>

#include "datos/DAO_Conexion.h"
#include "json/JSON.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/Motor.h"

using comun::Variant;
using datos::DAO_Conexion;
using datos::ErrorBD;
using datos::ErrorRespuesta;

namespace {

class DoctoresTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dao.dataFile(prueba::origen(base.ruta()));
        dao.conectar();
        for (const char* doc : {"111", "222", "222", "12'3"}) {
            dao.comando(
                "INSERT INTO Terceros (Nombre, IdDocumento, Cliente, Proveedor) VALUES ('viejo', "
                "?, TRUE, FALSE)",
                {Variant(doc)});
        }
        dao.desconectar();
    }
    int contar(const std::string& donde) {
        dao.conectar();
        auto rs = dao.Query("SELECT COUNT(*) AS n FROM Terceros WHERE " + donde);
        const int n = (*rs)["n"].CLng();
        rs.reset();
        dao.desconectar();
        return n;
    }

    prueba::BaseDePrueba base{false};
    DAO_Conexion dao;
};

TEST_F(DoctoresTest, ActualizaLosConocidosEInsertaLosNuevos) {
    EXPECT_EQ(dao.setDoctores(json::parse("[]").valor), 0);
    EXPECT_FALSE(dao.conectado());

    dao.conectar();
    dao.comando("INSERT INTO Terceros (Nombre, IdDocumento) VALUES ('sin documento', '')");
    dao.desconectar();
    const int antes = contar("1 = 1");
    auto lista =
        json::parse(
            "[{\"id\":\"D1\",\"cedula\":\"111\",\"nombre\":\"Ana\",\"apellido\":\"Ruiz\"},"
            "{\"id\":\"D2\",\"cedula\":\"222\",\"nombre\":\"Luis\",\"apellido\":\"Mora\"},"
            "{\"id\":\"D3\",\"cedula\":\"333\",\"nombre\":\"D'Arcy\",\"apellido\":\"O'Neil\"},"
            "{\"id\":\"D4\",\"cedula\":\"12'3\",\"nombre\":\"Eva\",\"apellido\":\"Paz\"},"
            "{\"id\":\"\",\"cedula\":\"444\",\"nombre\":\"Nadie\",\"apellido\":\"X\"},"
            "{\"id\":\"D5\",\"cedula\":\" \",\"nombre\":\"Sin\",\"apellido\":\"Cedula\"}]")
            .valor;
    EXPECT_EQ(dao.setDoctores(lista), 1);
    EXPECT_FALSE(dao.conectado());
    EXPECT_EQ(contar("1 = 1"), antes + 1);

    EXPECT_EQ(contar("IdDocumento = '111' AND Nombre = 'Ana Ruiz' AND idCliente = 'D1' AND "
                     "Proveedor = TRUE AND Cliente = FALSE"),
              1);
    EXPECT_EQ(contar("IdDocumento = '222' AND Nombre = 'Luis Mora' AND idCliente = 'D2' AND "
                     "Proveedor = TRUE"),
              2);
    EXPECT_EQ(contar("IdDocumento = '12''3' AND Nombre = 'Eva Paz' AND idCliente = 'D4'"), 1);
    EXPECT_EQ(contar("IdDocumento = '444'"), 0);
    EXPECT_EQ(contar("Nombre = 'viejo'"), 0);
    // A doctor without an identity number touches no third party.
    EXPECT_EQ(contar("idCliente = 'D5' OR Nombre = 'Sin Cedula'"), 0);
    EXPECT_EQ(contar("Nombre = 'sin documento'"), 1);

    dao.conectar();
    auto rs = dao.Query("SELECT * FROM Terceros WHERE IdDocumento = '333'");
    ASSERT_FALSE(DAO_Conexion::RsVacio(rs));
    EXPECT_EQ((*rs)["Nombre"].texto(), "D'Arcy O'Neil");
    EXPECT_EQ((*rs)["idCliente"].texto(), "D3");
    EXPECT_TRUE((*rs)["Proveedor"].CBool());
    EXPECT_EQ((*rs)["Representante"].texto(), "No Definido");
    EXPECT_EQ((*rs)["TipoDocumento"].texto(), "Nit/CC");
    EXPECT_EQ((*rs)["Persona"].texto(), "No definido");
    EXPECT_EQ((*rs)["Regimen"].texto(), "Simplificado");
    EXPECT_EQ((*rs)["Sangre"].texto(), "0");
    EXPECT_EQ((*rs)["Ciudad"].texto(), "No Definido");
    EXPECT_FALSE((*rs)["FIngreso"].esNull());
    rs.reset();
    dao.desconectar();

    // The same list again updates everyone and inserts no one.
    EXPECT_EQ(dao.setDoctores(lista), 0);
    EXPECT_EQ(contar("1 = 1"), antes + 1);
}

TEST_F(DoctoresTest, LosValoresDelAltaSeGuardanEnterosAunConDosPuntosDobles) {
    // Texts holding "::" are stored whole, so importing the list again
    // finds the doctor by its identity number instead of inserting it twice.
    auto lista = json::parse(
                     "[{\"id\":\"srv::9\",\"cedula\":\"CC::55\",\"nombre\":\"Ana::Maria\","
                     "\"apellido\":\"Ruiz\"}]")
                     .valor;
    EXPECT_EQ(dao.setDoctores(lista), 1);
    EXPECT_EQ(contar("IdDocumento = 'CC::55' AND Nombre = 'Ana::Maria Ruiz' AND "
                     "idCliente = 'srv::9'"),
              1);
    EXPECT_EQ(dao.setDoctores(lista), 0);
    EXPECT_EQ(contar("IdDocumento = 'CC::55'"), 1);
}

TEST_F(DoctoresTest, UnaListaQueNoEsArregloSeRechaza) {
    EXPECT_THROW(dao.setDoctores(json::parse("{\"id\":\"D1\",\"cedula\":\"111\"}").valor),
                 ErrorRespuesta);
    EXPECT_FALSE(dao.conectado());
    EXPECT_EQ(contar("Nombre = 'viejo'"), 4);
}

}  // namespace
