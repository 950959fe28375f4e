// Site parameters read from a real site database made by the schema tool.
#include <gtest/gtest.h>

#include "datos/DAO_Conexion.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/Motor.h"

using datos::DAO_Conexion;
using datos::ErrorBD;

namespace {

class Parametros : public ::testing::Test {
  protected:
    Parametros() : base_(false, "900100", "001") {
        c_.dataFile(prueba::origen(base_.ruta()));
        c_.conectar();
    }

    void ajustar(const std::string& nombre, const char* valor) {
        c_.comando("DELETE FROM XX0100 WHERE NOMBRE = ?", {nombre});
        if (valor)
            c_.comando("INSERT INTO XX0100 (NOMBRE, DESCRIPCION) VALUES (?, ?)",
                       {nombre, std::string(valor)});
    }

    std::string mensajeDe(std::string (DAO_Conexion::*op)()) {
        try {
            (c_.*op)();
        } catch (const ErrorBD& e) {
            return e.what();
        }
        return "sin error";
    }

    prueba::BaseDePrueba base_;
    DAO_Conexion c_;
};

TEST_F(Parametros, CodigoDelSitioEsClienteMasSucursalLeidoCadaVez) {
    EXPECT_EQ(c_.getIdentificadorCliente(), "900100");
    EXPECT_EQ(c_.getSyASys(), "900100001");
    EXPECT_EQ(c_.getSyASys().size(), 9u);
    ajustar("Codigo Sucursales y Agencias", "002");
    EXPECT_EQ(c_.getSyASys(), "900100002");

    ajustar("Codigo Sucursales y Agencias", nullptr);
    EXPECT_NE(mensajeDe(&DAO_Conexion::getSyASys).find("Codigo Sucursales y Agencias"),
              std::string::npos);
}

TEST_F(Parametros, AjustesDeTextoYSuAusencia) {
    EXPECT_EQ(c_.getRegimen(), "Simplificado");
    ajustar("Nombre Establecimiento", "La Esquina");
    EXPECT_EQ(c_.getNombreCliente(), "La Esquina");
    ajustar("Ip Servidor Remoto", "10.0.0.5");
    EXPECT_EQ(c_.getIpServidor(), "10.0.0.5");

    ajustar("REGIMEN", nullptr);
    EXPECT_NE(mensajeDe(&DAO_Conexion::getRegimen).find("REGIMEN"), std::string::npos);
    ajustar("Ip Servidor Remoto", nullptr);
    EXPECT_NE(mensajeDe(&DAO_Conexion::getIpServidor).find("Ip Servidor Remoto"),
              std::string::npos);
    c_.comando("INSERT INTO XX0100 (NOMBRE) VALUES ('Ip Servidor Remoto')");  // null value
    EXPECT_THROW(c_.getIpServidor(), ErrorBD);
}

TEST_F(Parametros, BanderasSoloConElTextoUno) {
    ajustar("Terminal Cliente", "1");
    EXPECT_TRUE(c_.getEsTerminalCliente());
    for (const char* valor : {"0", "", "SI", " 1"}) {
        ajustar("Terminal Cliente", valor);
        EXPECT_FALSE(c_.getEsTerminalCliente()) << valor;
    }
    ajustar("Terminal Cliente", nullptr);
    EXPECT_FALSE(c_.getEsTerminalCliente());
    c_.comando("INSERT INTO XX0100 (NOMBRE) VALUES ('Terminal Cliente')");
    EXPECT_FALSE(c_.getEsTerminalCliente());

    EXPECT_FALSE(c_.getEsServidor());
    ajustar("Servidor Uno Uno", nullptr);
    EXPECT_FALSE(c_.getEsServidor());
    ajustar("Servidor Uno Muchos", "1");
    EXPECT_TRUE(c_.getEsServidor());
}

TEST_F(Parametros, FechaDeTrabajoDeLaFilaDeControl) {
    c_.comando(
        "UPDATE COMANDAS SET FECHA = '2026-12-07' WHERE NOMBREPRODUCTO = 'Registro de "
        "Control'");
    EXPECT_EQ(c_.getFechaSys(), "2026-12-07");
    // A time of day in the stored value does not spill into the year.
    c_.comando(
        "UPDATE COMANDAS SET FECHA = '2026-01-05 10:30:00' WHERE NOMBREPRODUCTO = "
        "'Registro de Control'");
    EXPECT_EQ(c_.getFechaSys(), "2026-01-05");

    c_.cargarValoresSitio();
    EXPECT_EQ(c_.sitio().fechaTrabajo, "2026-01-05");
    EXPECT_EQ(c_.sitio().identificadorCliente, "900100");
    EXPECT_EQ(c_.sitio().regimen, "Simplificado");
    EXPECT_FALSE(c_.sitio().esTerminalCliente);
    EXPECT_FALSE(c_.sitio().esServidor);

    c_.comando("DELETE FROM COMANDAS WHERE NOMBREPRODUCTO = 'Registro de Control'");
    EXPECT_THROW(c_.getFechaSys(), ErrorBD);
}

TEST(ConvertirFecha, AmbosSentidos) {
    EXPECT_EQ(DAO_Conexion::convertirFecha("07/12/2026"), "2026-12-07");
    EXPECT_EQ(DAO_Conexion::convertirFecha("2026-12-07", true), "07/12/2026");
    EXPECT_EQ(DAO_Conexion::convertirFecha(DAO_Conexion::convertirFecha("31/01/1999"), true),
              "31/01/1999");
    // Short texts give short pieces, never a fault.
    EXPECT_EQ(DAO_Conexion::convertirFecha("7/1"), "--71");
    EXPECT_EQ(DAO_Conexion::convertirFecha(""), "--");
    EXPECT_EQ(DAO_Conexion::convertirFecha("", true), "//");
}

}  // namespace
