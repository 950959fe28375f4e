// The users family and the remote order actions, applied to a real site
// database with a fixed clock.
#include <gtest/gtest.h>

#include "datos/Estado.h"
#include "protocolo/Comunicacion.h"
#include "soporte/EntornoAplicacion.h"

namespace {

using prueba::EntornoAplicacion;

const std::string kGeneral = protocolo::kDestinoGeneral;

// A user record: Campo2 IdEmpleado, 3 Nombre, 4 pw, 5 Documento, 6 Nick,
// 7 acceso, 8 labor, 9 lugar, 10 Fecha, 11 Base, 16 Direccion, 17 Telefono.
std::map<int, std::string> usuario(const std::string& documento, const std::string& pw) {
    return {{2, "7"},           {3, " maria gomez p "}, {4, pw},         {5, documento},
            {6, "mgp"},         {7, "Admin"},           {8, "Caja"},     {9, "Norte"},
            {10, "07/12/2026"}, {11, "50000"},          {16, "Calle 1"}, {17, "555"}};
}

TEST(Usuarios, ExistenteConservaSuClaveYNuevoTomaLaDelRegistro) {
    EntornoAplicacion e;
    e.ejecutar("INSERT INTO TERCEROS (IdDocumento, Nombre) VALUES ('1017', 'PEDRO')");
    int32_t existente = e.recibir(25, "A", usuario(" 43123456 ", "nueva"));
    auto nuevo = usuario("1017", "secreta");
    nuevo[2] = "";  // no employee number: the column keeps its default
    int32_t alta = e.recibir(25, "A", nuevo);
    int32_t desconocido = e.recibir(25, "A", usuario("0000", "x"));
    e.aplicar();

    for (int32_t id : {existente, alta, desconocido}) EXPECT_EQ(e.funcionDe(id), "X");
    EXPECT_EQ(e.valor("SELECT Nombre || '|' || pw || '|' || Fecha || '|' || Nick || '|' || Base "
                      "FROM PW WHERE Documento = '43123456'"),
              "MARIA GOMEZ P|1234|2024-02-01|mgp|50000.0");
    EXPECT_EQ(e.contar("PW WHERE Documento = '43123456'"), 1);
    EXPECT_EQ(e.valor("SELECT pw || '|' || Fecha || '|' || IdEmpleado || '|' || Telefono FROM PW "
                      "WHERE Documento = '1017'"),
              "secreta|2026-12-07|0|555");
    EXPECT_EQ(e.contar("PW"), 2);

    // A later record without a base amount leaves the user's as it stands.
    auto sinBase = usuario("43123456", "otra");
    sinBase[11] = "";
    e.recibir(25, "A", sinBase);
    e.aplicar();
    EXPECT_EQ(e.valor("SELECT Base FROM PW WHERE Documento = '43123456'"), "50000");
}

// The site's working date as stored.
std::string fechaTrabajo(EntornoAplicacion& e) {
    return e.valor("SELECT fecha || '' FROM COMANDAS WHERE nombreproducto = 'Registro de Control'");
}

// A new delivery order line: Campo1 product, 2 quantity, 3 note, 4 name,
// 5 address, 6 telephone, 7.. side dishes.
std::map<int, std::string> pedido(const std::string& producto = "2001",
                                  const std::string& telefono = "3104445566") {
    return {{1, producto},        {2, "2"},           {3, "Sin cebolla"},
            {4, " luis o'neil "}, {5, "calle 8 # 1"}, {6, telefono}};
}

TEST(Acciones, PedidoDeDomicilioConAcompanamientosYHoraDelServicio) {
    EntornoAplicacion e;
    e.reloj.poner(1, 30);
    auto p = pedido();
    p[7] = "1005";
    p[8] = "1006";
    p[10] = "1004";  // after an empty column: not a side dish
    int32_t primero = e.recibir(22, "A", p);
    e.aplicar();
    ASSERT_EQ(e.funcionDe(primero), "X") << e.bitacora.lineas.back();

    const std::string tercero =
        e.valor("SELECT IdTercero FROM TERCEROS WHERE Telefono1 = '3104445566'");
    EXPECT_EQ(e.valor("SELECT Nombre FROM TERCEROS WHERE IdTercero = " + tercero), "LUIS O'NEIL");
    EXPECT_EQ(
        e.valor("SELECT idmesa || '|' || idproducto || '|' || cantidad || '|' || valor || "
                "'|' || hora || '|' || fecha || '|' || detalle || '|' || mesero || '|' || "
                "Impx FROM COMANDAS WHERE Tercero = '" +
                tercero + "'"),
        "2002|1530|2.0|50000|01:30:00|" + fechaTrabajo(e) + "|Sin cebolla|Cliente Domicilios|1");
    EXPECT_EQ(e.valor("SELECT group_concat(CODINSUMO, ',') FROM ACOMPANAMIENTOS"), "1005,1006");
    EXPECT_EQ(e.valor("SELECT group_concat(Tabla, ',') FROM (SELECT Tabla FROM COMUNICACIONES "
                      "WHERE Origen = '" +
                      e.base.sitio() + "' ORDER BY Id)"),
              "12,12,6,10,10");

    // Later in the day the same customer keeps its table.
    e.reloj.poner(13, 30);
    e.recibir(22, "A", pedido("2003"));
    e.aplicar();
    EXPECT_EQ(e.valor("SELECT idmesa || '|' || idproducto FROM COMANDAS WHERE CodigoAB = '2003'"),
              "2002|810");
    EXPECT_EQ(e.contar("TERCEROS WHERE Telefono1 = '3104445566'"), 1);
}

TEST(Acciones, CuentaPagoYAnulacion) {
    EntornoAplicacion e;
    e.recibir(22, "A", pedido());
    e.aplicar();
    const std::string linea = e.valor("SELECT MIN(idComanda) FROM COMANDAS WHERE idmesa = '2002'");
    e.recibir(22, "A", pedido("2003"));
    e.aplicar();

    e.reloj.poner(20, 5, 9);
    e.recibir(22, "A", {{1, "3104445566"}, {2, "Impresion Cuenta"}});
    e.recibir(22, "A", {{1, "3104445566"}, {2, "Detalle domicilio"}, {3, "tarjeta de O'Hara"}});
    // Nobody has this telephone: nothing written.
    int32_t nadie = e.recibir(22, "A", {{1, "999"}, {2, "Impresion Cuenta"}});
    e.aplicar();
    EXPECT_EQ(e.funcionDe(nadie), "X");
    EXPECT_EQ(e.valor("SELECT idmesa || '|' || concepto || '|' || hora || '|' || fecha || '|' || "
                      "mesero || '|' || ImprM FROM COMANDAS WHERE nombreproducto = 'Impresion "
                      "Cuenta'"),
              "2002|Impresion|20:05:09|" + fechaTrabajo(e) + "|Cliente Domicilios|X");
    EXPECT_EQ(e.contar("COMANDAS WHERE nombreproducto = 'Impresion Cuenta'"), 1);
    // The payment note goes on the table's first line only.
    EXPECT_EQ(e.valor("SELECT group_concat(idComanda, ',') FROM COMANDAS WHERE Detalle1 = 'Pago "
                      "en tarjeta de O''Hara'"),
              linea);

    // Cancelled: marked, not deleted. A key that is not a whole number is
    // refused and never reaches the statement.
    int32_t anular = e.recibir(22, "E", {{1, linea}});
    int32_t malo = e.recibir(22, "E", {{1, "0 OR 1=1"}});
    e.aplicar();
    EXPECT_EQ(e.funcionDe(anular), "X");
    EXPECT_EQ(e.valor("SELECT ImprM FROM COMANDAS WHERE idComanda = " + linea), "E");
    EXPECT_EQ(e.funcionDe(malo), "E");
    EXPECT_TRUE(e.enBitacora("Campo1 (la linea a anular) no es un numero entero: '0 OR 1=1'"));
    EXPECT_EQ(e.contar("COMANDAS WHERE ImprM = 'E'"), 1);

    // A customer without a pending order: the next free delivery table.
    e.ejecutar("UPDATE COMANDAS SET estado = 'Pagada' WHERE idmesa = '2002'");
    e.recibir(22, "A", {{1, "3104445566"}, {2, "Impresion Cuenta"}});
    e.aplicar();
    EXPECT_EQ(e.valor("SELECT MAX(idmesa) FROM COMANDAS WHERE nombreproducto = 'Impresion Cuenta'"),
              "2003");
}

TEST(Acciones, PedidoQueFallaNoDejaNadaYUnProductoDesconocidoNoCambiaNada) {
    EntornoAplicacion e;
    const int terceros = e.contar("TERCEROS");
    int32_t desconocido = e.recibir(22, "A", pedido("7777"));
    auto letras = pedido("2001", "3109990000");
    letras[2] = "dos";
    int32_t cantidadMala = e.recibir(22, "A", letras);
    e.ejecutarDirecto(
        "CREATE TRIGGER sinAcompanamientos BEFORE INSERT ON ACOMPANAMIENTOS BEGIN SELECT "
        "RAISE(ABORT, 'acompanamientos bloqueados'); END");
    auto conAcompanamiento = pedido();
    conAcompanamiento[7] = "1005";
    int32_t fallido = e.recibir(22, "A", conAcompanamiento);
    e.aplicar();

    EXPECT_EQ(e.funcionDe(desconocido), "X");
    EXPECT_EQ(e.funcionDe(cantidadMala), "A");
    EXPECT_EQ(e.funcionDe(fallido), "A");
    EXPECT_TRUE(e.enBitacora("acompanamientos bloqueados"));
    // Neither customer, nor line, nor queued record of any of the three.
    EXPECT_EQ(e.contar("TERCEROS"), terceros);
    EXPECT_EQ(e.contar("COMANDAS WHERE Tercero IS NOT NULL"), 0);
    EXPECT_EQ(e.contar("COMUNICACIONES WHERE Origen = '" + e.base.sitio() + "'"), 0);

    e.ejecutarDirecto("DROP TRIGGER sinAcompanamientos");
    e.aplicar();
    EXPECT_EQ(e.funcionDe(fallido), "X");
    EXPECT_EQ(e.contar("ACOMPANAMIENTOS"), 1);
    EXPECT_EQ(e.contar("COMUNICACIONES WHERE Origen = '" + e.base.sitio() + "'"), 4);
}

// At a site of the "Comun" regime the price includes the tax: the line's
// tax is the price's share of it and its tax base the rest.
TEST(Acciones, PedidoEnRegimenComunSeparaElImpuestoDeLaBase) {
    EntornoAplicacion e;
    e.ejecutar("UPDATE XX0100 SET DESCRIPCION = 'Comun' WHERE NOMBRE = 'REGIMEN'");
    e.ejecutar("UPDATE PRODUCTOS SET PrecioUnidad = 11900 WHERE CodigoAB = '2001'");
    const int32_t id = e.recibir(22, "A", pedido());
    e.aplicar();
    ASSERT_EQ(e.funcionDe(id), "X") << e.bitacora.lineas.back();
    EXPECT_EQ(e.valor("SELECT valor || '|' || ImpVr || '|' || BImp || '|' || Impx FROM COMANDAS "
                      "WHERE CodigoAB = '2001'"),
              "23800|3800|20000|1");
}

// A Null where the order needs a number (the product's price, under the
// "Comun" regime its tax value, a side dish's cost) fails the record: it is
// reported and retried, and nothing of it is written, never a line booked
// at 0.
TEST(Acciones, UnNuloDondeElPedidoNecesitaUnNumeroFallaElRegistro) {
    EntornoAplicacion e;
    e.ejecutar("UPDATE PRODUCTOS SET PrecioUnidad = NULL WHERE CodigoAB = '2001'");
    e.ejecutar("UPDATE INSUMOS SET Costo = NULL WHERE Codigo = '1006'");
    e.ejecutar("UPDATE PRODUCTOS SET ImpVr = NULL, impx = 0 WHERE CodigoAB = '2003'");
    auto conAcompanamiento = pedido("2002", "3100000002");
    conAcompanamiento[7] = "1006";
    const int32_t sinPrecio = e.recibir(22, "A", pedido("2001", "3100000001"));
    const int32_t sinCosto = e.recibir(22, "A", conAcompanamiento);
    const int32_t sinImpuesto = e.recibir(22, "A", pedido("2003", "3100000003"));
    e.aplicar();
    EXPECT_EQ(e.funcionDe(sinPrecio), "A");
    EXPECT_EQ(e.funcionDe(sinCosto), "A");
    EXPECT_TRUE(e.enBitacora("el precio del producto '2001' es nulo"));
    EXPECT_TRUE(e.enBitacora("el costo del insumo '1006' es nulo"));
    // Outside the "Comun" regime a product's tax value is not read.
    EXPECT_EQ(e.funcionDe(sinImpuesto), "X");
    e.ejecutar("DELETE FROM COMANDAS WHERE CodigoAB = '2003'");

    e.ejecutar("UPDATE XX0100 SET DESCRIPCION = 'Comun' WHERE NOMBRE = 'REGIMEN'");
    const int32_t comun = e.recibir(22, "A", pedido("2003", "3100000004"));
    e.aplicar();
    EXPECT_EQ(e.funcionDe(comun), "A");
    EXPECT_TRUE(e.enBitacora("el valor del impuesto del producto '2003' es nulo"));
    EXPECT_EQ(e.contar("COMANDAS WHERE Tercero IS NOT NULL"), 0);
}

// The site's working date moves on while the service runs for days: each
// order is dated with the date of the day it is applied.
TEST(Acciones, LaFechaDeTrabajoSeLeeEnCadaPaso) {
    EntornoAplicacion e;
    e.recibir(22, "A", pedido("2001"));
    e.aplicar();
    e.ejecutar(
        "UPDATE COMANDAS SET fecha = '2026-12-08' WHERE nombreproducto = 'Registro de "
        "Control'");
    e.recibir(22, "A", pedido("2003"));
    e.recibir(22, "A", {{1, "3104445566"}, {2, "Impresion Cuenta"}});
    e.aplicar();
    EXPECT_NE(e.valor("SELECT fecha || '' FROM COMANDAS WHERE CodigoAB = '2001'"), "2026-12-08");
    EXPECT_EQ(e.valor("SELECT fecha || '' FROM COMANDAS WHERE CodigoAB = '2003'"), "2026-12-08");
    EXPECT_EQ(e.valor("SELECT fecha || '' FROM COMANDAS WHERE nombreproducto = 'Impresion "
                      "Cuenta'"),
              "2026-12-08");
}

// Past table 2999 a new customer gets the lowest delivery table without a
// pending order, and its payment note goes on its own line there, not on
// the paid line of the customer who had the table before.
TEST(Acciones, PasadaLaMesa2999ElPedidoTomaUnaLibreYSuPagoVaASuLinea) {
    EntornoAplicacion e;
    e.ejecutar(
        "INSERT INTO COMANDAS (idmesa, tercero, estado, nombreproducto) VALUES ('2002', "
        "'501', 'Pagada', 'Vieja')");
    e.ejecutar(
        "INSERT INTO COMANDAS (idmesa, tercero, estado, nombreproducto) VALUES ('2999', "
        "'502', 'Pendiente', 'Otra')");
    e.recibir(22, "A", pedido());
    e.recibir(22, "A", {{1, "3104445566"}, {2, "Detalle domicilio"}, {3, "efectivo"}});
    e.aplicar();
    EXPECT_EQ(e.valor("SELECT idmesa || '|' || ifnull(Detalle1, '') FROM COMANDAS WHERE "
                      "CodigoAB = '2001'"),
              "2002|Pago en efectivo");
    EXPECT_EQ(e.valor("SELECT ifnull(Detalle1, 'nada') FROM COMANDAS WHERE nombreproducto = "
                      "'Vieja'"),
              "nada");
}

// An order action that changes nothing at the site is marked, so it holds
// nothing back, but it is no success: the console says why and the record
// is kept whole in PEDIDOS_NO_APLICADOS, which `estado` counts.
TEST(Acciones, UnaAccionQueNoEscribeNadaSeDiceYSeGuarda) {
    EntornoAplicacion e;
    e.recibir(22, "A", pedido());  // the customer 3104445566, on table 2002
    e.aplicar();
    e.ejecutar("UPDATE COMANDAS SET estado = 'Pagada' WHERE CodigoAB = '2001'");
    const int32_t desconocido = e.recibir(22, "A", pedido("7777"));
    const int32_t cuenta = e.recibir(22, "A", {{1, "999"}, {2, "Impresion Cuenta"}});
    const int32_t pago = e.recibir(22, "A", {{1, "999"}, {2, "Detalle domicilio"}, {3, "x"}});
    const int32_t sinPendiente =
        e.recibir(22, "A", {{1, "3104445566"}, {2, "Detalle domicilio"}, {3, "x"}});
    const int32_t anular = e.recibir(22, "E", {{1, "987654"}});
    auto incompleto = pedido();
    incompleto[5] = "";
    const int32_t sinDireccion = e.recibir(22, "A", incompleto);
    e.aplicar();

    const std::vector<std::pair<int32_t, std::string>> esperados = {
        {desconocido, "el producto '7777' no existe en este sitio"},
        {cuenta, "nadie tiene el telefono '999'"},
        {pago, "nadie tiene el telefono '999'"},
        {sinPendiente, "el cliente del telefono '3104445566' no tiene un pedido pendiente"},
        {anular, "no hay linea 987654 que anular"},
        {sinDireccion, "el pedido no trae nombre, direccion y telefono"},
    };
    for (const auto& [id, motivo] : esperados) {
        const std::string n = std::to_string(id);
        EXPECT_EQ(e.funcionDe(id), "X");
        EXPECT_TRUE(e.enBitacora("Pedido " + n + " no aplicado: " + motivo)) << motivo;
        EXPECT_NE(e.valor("SELECT Motivo FROM PEDIDOS_NO_APLICADOS WHERE IdComunicacion = " + n)
                      .find(motivo),
                  std::string::npos)
            << motivo;
    }
    EXPECT_EQ(e.aplicador.resumen().aplicados, 0);
    EXPECT_EQ(e.aplicador.resumen().pedidosNoAplicados, 6);
    EXPECT_TRUE(e.enBitacora("Comunicaciones aplicadas: 0, fallidas: 0, pedidos no aplicados: 6"));
    // Kept whole: every column of the record, the origin and the date.
    EXPECT_EQ(e.valor("SELECT Origen || '|' || Fecha FROM PEDIDOS_NO_APLICADOS WHERE "
                      "IdComunicacion = " +
                      std::to_string(desconocido)),
              "900100002|2026-12-07 13:30:15");
    const std::string texto = e.valor(
        "SELECT Texto FROM PEDIDOS_NO_APLICADOS WHERE "
        "IdComunicacion = " +
        std::to_string(desconocido));
    EXPECT_NE(texto.find("\"Campo1\":\"7777\""), std::string::npos) << texto;
    EXPECT_NE(texto.find("\"Campo6\":\"3104445566\""), std::string::npos) << texto;
    EXPECT_EQ(datos::leerEstadoSitio(e.con).pedidosNoAplicados, 6);

    // Under the "Comun" regime a product whose tax row is missing is not
    // found either; it is told apart.
    e.ejecutar("UPDATE XX0100 SET DESCRIPCION = 'Comun' WHERE NOMBRE = 'REGIMEN'");
    e.ejecutar("UPDATE PRODUCTOS SET impx = 7 WHERE CodigoAB = '2003'");
    const int32_t sinImpuesto = e.recibir(22, "A", pedido("2003"));
    e.aplicar();
    EXPECT_EQ(e.funcionDe(sinImpuesto), "X");
    EXPECT_TRUE(e.enBitacora("Pedido " + std::to_string(sinImpuesto) +
                             " no aplicado: el producto '2003' no tiene su impuesto ('Impuesto7' "
                             "no esta en XX0100)"));
}

// While a delivery order waits for its retry, the bill request and the
// payment note of the same customer behind it wait too: applied first, they
// would find no pending order and be marked done. Other customers' actions
// go on.
TEST(Acciones, LasAccionesDeUnClienteEsperanDetrasDeSuPedidoFallido) {
    EntornoAplicacion e;
    e.ejecutarDirecto(
        "CREATE TRIGGER sinAcompanamientos BEFORE INSERT ON ACOMPANAMIENTOS BEGIN SELECT "
        "RAISE(ABORT, 'acompanamientos bloqueados'); END");
    auto conAcompanamiento = pedido();
    conAcompanamiento[7] = "1005";
    const int32_t orden = e.recibir(22, "A", conAcompanamiento);
    const int32_t cuenta = e.recibir(22, "A", {{1, "3104445566"}, {2, "Impresion Cuenta"}});
    const int32_t pago =
        e.recibir(22, "A", {{1, " 3104445566"}, {2, "Detalle domicilio"}, {3, "efectivo"}});
    const int32_t otro = e.recibir(22, "A", pedido("2003", "3200000000"));
    e.aplicar();
    for (int32_t id : {orden, cuenta, pago}) EXPECT_EQ(e.funcionDe(id), "A") << id;
    EXPECT_EQ(e.funcionDe(otro), "X");
    EXPECT_EQ(e.contar("PEDIDOS_NO_APLICADOS"), 0);
    EXPECT_EQ(e.aplicador.resumen().enEspera, 2);

    e.ejecutarDirecto("DROP TRIGGER sinAcompanamientos");
    e.aplicar();
    for (int32_t id : {orden, cuenta, pago}) EXPECT_EQ(e.funcionDe(id), "X") << id;
    EXPECT_EQ(e.contar("PEDIDOS_NO_APLICADOS"), 0);
    EXPECT_EQ(e.valor("SELECT idmesa || '|' || Detalle1 FROM COMANDAS WHERE CodigoAB = '2001'"),
              "2003|Pago en efectivo");
    EXPECT_EQ(e.valor("SELECT idmesa FROM COMANDAS WHERE nombreproducto = 'Impresion Cuenta'"),
              "2003");
}

}  // namespace
