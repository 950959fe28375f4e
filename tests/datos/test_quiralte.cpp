// The partner queries on a real site database.
#include <gtest/gtest.h>

#include <string>

#include "datos/DAO_Conexion.h"
#include "json/JSON.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/Motor.h"

using comun::Variant;
using datos::DAO_Conexion;

namespace {

class QuiralteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dao.dataFile(prueba::origen(base.ruta()));
        dao.conectar();
    }

    int32_t registro(int tabla, int servicio, const std::string& campo11) {
        dao.comando(
            "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Campo1, "
            "Campo11) VALUES (?, ?, '900100001', '000000000000000', 'A', 'paciente', ?)",
            {Variant(int32_t{servicio}), Variant(int32_t{tabla}), Variant(campo11)});
        auto rs = dao.Query("SELECT MAX(Id) AS m FROM COMUNICACIONES");
        return (*rs)["m"].CLng();
    }
    int contar(const std::string& donde) {
        auto rs = dao.Query("SELECT COUNT(*) AS n FROM COMUNICACIONES WHERE " + donde);
        return (*rs)["n"].CLng();
    }

    prueba::BaseDePrueba base{false};
    DAO_Conexion dao;
};

TEST_F(QuiralteTest, OfreceSoloElRegistroDeUnTerceroConocidoYLuegoLoBorra) {
    EXPECT_FALSE(dao.getDatosQuiralte());

    dao.comando("INSERT INTO Terceros (Nombre, IdDocumento, idCliente) VALUES ('Eva', '9', '777')");
    const int32_t noNumerico = registro(200, 2, "abc");
    const int32_t sinTercero = registro(200, 2, "555");
    const int32_t otroServicio = registro(200, 1, "777");
    const int32_t otraTabla = registro(6, 2, "777");
    EXPECT_FALSE(dao.getDatosQuiralte());

    const int32_t valido = registro(200, 2, "777");
    const auto fila = dao.getDatosQuiralte();
    ASSERT_TRUE(fila);
    EXPECT_EQ(fila->id, std::to_string(valido));
    EXPECT_EQ(fila->campo(11), "777");
    EXPECT_EQ(fila->campo(1), "paciente");

    dao.desconectar();
    dao.MarcarRegistroEnviadoQuiralte(valido);
    EXPECT_FALSE(dao.conectado());
    dao.MarcarRegistroEnviadoQuiralte(valido);  // already gone: not an error
    dao.conectar();
    EXPECT_EQ(contar("Id = " + std::to_string(valido)), 0);
    for (int32_t id : {noNumerico, sinTercero, otroServicio, otraTabla}) {
        EXPECT_EQ(contar("Id = " + std::to_string(id)), 1) << id;
    }
    EXPECT_FALSE(dao.getDatosQuiralte());
}

}  // namespace
