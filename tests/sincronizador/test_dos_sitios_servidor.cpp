// What the server must get right for two sites to stay in step, in the
// two-site tier: ids near the 64-bit maximum, destinations that are not the
// client's, a server store restored from a backup, a site restored from a
// backup. In each case no record is lost, none is applied twice, and
// nothing is left waiting at the server.
#include <gtest/gtest.h>

#include <string>

#include "soporte/DosSitios.h"

namespace {

using namespace prueba;

class ServidorDeDosSitios : public ::testing::Test {
  protected:
    // Records the server still holds for `sitio`.
    int64_t pendientes(const std::string& sitio) {
        for (const auto& fila : s.central.almacen().estado())
            if (fila.sitio == sitio) return fila.pendientes;
        return 0;
    }
    std::string contar(SitioEnProceso& sitio, const std::string& sql) {
        return sitio.valor("SELECT COUNT(*) FROM " + sql);
    }
    DosSitios s;
};

// With the store's ids near the 64-bit maximum, B gets 19-digit ids,
// applies each record once and acknowledges it; the server stops offering
// them, and a record posted afterwards still arrives.
TEST_F(ServidorDeDosSitios, IdsDeDiecinueveCifrasSeAcusanYLoQueSigueLlega) {
    s.b.pasadas(1);
    s.central.ejecutarEnAlmacen(
        "DELETE FROM sqlite_sequence WHERE name = 'entregas'; "
        "INSERT INTO sqlite_sequence (name, seq) VALUES ('entregas', 9223372036854775000)");
    s.a.escribirProducto("ID19-1", "Pan de bono");
    s.a.escribirMensaje("Mensaje con id largo");
    s.a.pasadas(1);
    s.b.pasadas(3);

    const Filas ids = s.b.consultar("SELECT Campo40 FROM COMUNICACIONES WHERE Destino = '" +
                                    s.b.codigo() + "' ORDER BY Id");
    ASSERT_EQ(ids.size(), 2u);
    for (const auto& fila : ids) EXPECT_EQ(fila[0].size(), 19u) << fila[0];
    EXPECT_EQ(pendientes(s.b.codigo()), 0);

    s.a.escribirProducto("ID19-2", "Almojabana");
    s.a.pasadas(1);
    s.b.pasadas(2);
    EXPECT_EQ(s.filas("SELECT CodigoAB FROM PRODUCTOS WHERE CodigoAB LIKE 'ID19*' ORDER BY 1"),
              (FilasDeAmbos{{{"ID19-1"}, {"ID19-2"}}, {{"ID19-1"}, {"ID19-2"}}}));
    EXPECT_EQ(contar(s.b, "MENSAJE WHERE mensaje = 'Mensaje con id largo'"), "1");
    EXPECT_EQ(
        contar(s.b, "COMUNICACIONES WHERE Funcion <> 'X' AND Destino = '" + s.b.codigo() + "'"),
        "0");
    EXPECT_EQ(pendientes(s.b.codigo()), 0);
}

// A's records to another client's site, to no site, to its bare client
// code and to the general code with a trailing blank leave A's queue (the
// server acknowledges them), reach nobody, and are listed for the operator
// with the reason; the record to B beside them arrives.
TEST_F(ServidorDeDosSitios, DestinosAjenosYExtranosSeApartanYElBuenoLlega) {
    const std::string ajeno = "900600001";
    s.b.pasadas(1);
    s.central.central().atenderSincronizador("r=servicio/getData&idSyA=" + ajeno);
    for (const std::string destino : {ajeno, std::string(), std::string("900100"),
                                      std::string("000000000000000 "), s.b.codigo()})
        s.a.ejecutar(
            "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, "
            "Campo1, Campo2, Campo3, Campo4) VALUES (2, 14, '" +
            s.a.codigo() + "', '" + destino + "', 'A', False, 'Para [" + destino +
            "]', 'CHAT', 'LOCAL', '1')");
    s.a.pasadas(2);
    s.b.pasadas(2);

    EXPECT_EQ(contar(s.a, "COMUNICACIONES WHERE Enviado = False"), "0") << s.a.consola.todo;
    EXPECT_EQ(s.b.consultar("SELECT mensaje FROM MENSAJE WHERE mensaje LIKE 'Para*'"),
              (Filas{{"Para [" + s.b.codigo() + "]"}}));
    const auto apartados = s.central.almacen().apartados(s.a.codigo(), 10);
    ASSERT_EQ(apartados.size(), 4u);
    EXPECT_NE(apartados[0].apartado.motivo.find(ajeno), std::string::npos);
    EXPECT_NE(apartados[3].apartado.registro.find("000000000000000 "), std::string::npos);
    for (const auto& fila : s.central.almacen().estado()) {
        EXPECT_EQ(fila.pendientes, 0) << fila.sitio;
        if (fila.sitio == s.a.codigo()) EXPECT_EQ(fila.apartados, 4);
    }
}

}  // namespace
