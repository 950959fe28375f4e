// The apply frame (selection, marking, failures and atomicity), inventory
// movements and the column-copy families, on a real site database.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "soporte/EntornoAplicacion.h"
#include "soporte/FallaSqlite.h"

namespace {

using prueba::EntornoAplicacion;

const std::string kOrigen = "900100002";

// A movement record: Campo k is column k-1 of MovInvHoy (Campo2 CODIGO,
// Campo5 Cantidad, Campo6 Costo, Campo7 fecha, Campo9 Concepto, Campo18
// NUMERORR).
std::map<int, std::string> movimiento(const std::string& codigo, const std::string& cantidad,
                                      const std::string& concepto,
                                      const std::string& fecha = "07/12/2026",
                                      const std::string& documento = "RM-77") {
    return {{2, codigo}, {3, "HARINA"},   {4, "Kilo"},   {5, cantidad},   {6, "20000"},
            {7, fecha},  {8, "10:30:00"}, {9, concepto}, {10, "otro"},    {11, "2"},
            {12, "ana"}, {13, "True"},    {14, "1.5"},   {18, documento}, {19, "9"}};
}

TEST(Marco, SoloLeeLoPendienteDeEsteSitioYMarcaLoQueNoCambiaNada) {
    EntornoAplicacion e;
    int32_t otroSitio = e.recibir(8, "A", {{2, "1001"}}, kOrigen, "900100003");
    int32_t yaAplicado = e.recibir(8, "X", {{2, "1001"}});
    int32_t c23 = e.recibir(23, "A", {{2, "1001"}});
    int32_t c27 = e.recibir(27, "A", {{2, "1001"}});
    int32_t c6 = e.recibir(6, "A", {{2, "1001"}});
    int32_t c9 = e.recibir(9, "A", {{2, "1001"}});
    int32_t c12 = e.recibir(12, "A", {{2, "1001"}});
    int32_t c99 = e.recibir(99, "A", {{2, "1001"}});
    int32_t sol0 = e.recibir(0, "A", {}, kOrigen, {}, 1);
    int32_t solProducto = e.recibir(2, "A", {{1, "7001"}, {2, "X"}}, kOrigen, {}, 1);
    int32_t acciones = e.recibir(22, "A", {{1, "1"}});
    int32_t usuarios = e.recibir(25, "A", {{1, "1"}});
    const int movInv = e.contar("MovInv");

    e.aplicar();

    EXPECT_EQ(e.funcionDe(otroSitio), "A");
    EXPECT_EQ(e.funcionDe(yaAplicado), "X");
    EXPECT_EQ(e.funcionDe(c23), "A");
    EXPECT_EQ(e.funcionDe(c27), "A");
    for (int32_t id : {c6, c9, c12, c99, solProducto}) EXPECT_EQ(e.funcionDe(id), "X") << id;
    EXPECT_FALSE(e.registroExiste(sol0));
    EXPECT_EQ(e.contar("MovInv"), movInv);
    EXPECT_EQ(e.contar("Productos WHERE CodigoAB = '7001'"), 0);
    // An order action and a user that match nothing: marked, nothing
    // written; the order action is counted apart.
    EXPECT_EQ(e.funcionDe(acciones), "X");
    EXPECT_EQ(e.funcionDe(usuarios), "X");
    EXPECT_EQ(e.aplicador.resumen().aplicados, 7);
    EXPECT_TRUE(e.enBitacora("aplicadas: 7, fallidas: 0, pedidos no aplicados: 1"));
    EXPECT_FALSE(e.con.conectado());
}

TEST(Marco, UnRegistroQueFallaNoDetieneALosDemasNiQuedaAMedias) {
    EntornoAplicacion e;
    auto bueno = [](const std::string& codigo) {
        return std::map<int, std::string>{{1, codigo}, {2, "Producto " + codigo}, {9, "100"}};
    };
    int32_t a = e.recibir(2, "A", bueno("5001"));
    // Enough records before the bad one that it falls in a later commit group.
    for (int i = 0; i < 250; ++i) e.recibir(8, "A", {{2, "R" + std::to_string(i)}});
    auto malo = bueno("5002");
    malo[9] = "cien pesos";  // the price column refuses it, after the supply was written
    int32_t b = e.recibir(2, "A", malo);
    int32_t c = e.recibir(2, "A", bueno("5003"));

    e.aplicar();
    EXPECT_EQ(e.funcionDe(a), "X");
    EXPECT_EQ(e.funcionDe(b), "A");
    EXPECT_EQ(e.funcionDe(c), "X");
    EXPECT_EQ(e.contar("Productos WHERE CodigoAB IN ('5001', '5003')"), 2);
    EXPECT_EQ(e.contar("MovInv WHERE CODIGO LIKE 'R*'"), 250);
    // Nothing of the failed record stays: not even its backing supply.
    EXPECT_EQ(e.contar("Productos WHERE CodigoAB = '5002'"), 0);
    EXPECT_EQ(e.contar("Insumos WHERE Codigo = '5002'"), 0);
    EXPECT_TRUE(e.enBitacora("Comunicacion " + std::to_string(b)));
    EXPECT_EQ(e.aplicador.resumen().fallidos, 1);

    // Retried on the next run; the others are not applied again.
    e.aplicar();
    EXPECT_EQ(e.contar("MovInv WHERE CODIGO LIKE 'R*'"), 250);
    EXPECT_EQ(e.aplicador.resumen().aplicados, 0);
    EXPECT_EQ(e.aplicador.resumen().fallidos, 1);
    EXPECT_EQ(e.contar("Insumos WHERE Codigo = '5001'"), 1);
}

TEST(Marco, FalloEnLaUltimaEscrituraNoDejaElMovimientoAMedias) {
    EntornoAplicacion e;
    e.ejecutarDirecto(
        "CREATE TRIGGER costoBloqueado BEFORE UPDATE OF Costo ON Insumos "
        "BEGIN SELECT RAISE(ABORT, 'costo bloqueado'); END");
    int32_t id = e.recibir(16, "A", movimiento("1001", "-5", "Remision"));
    e.aplicar();
    EXPECT_EQ(e.funcionDe(id), "A");
    EXPECT_EQ(e.contar("MovInvHoy"), 0);
    EXPECT_TRUE(e.enBitacora("costo bloqueado"));

    // Once the cause is gone the record lands exactly once.
    e.ejecutarDirecto("DROP TRIGGER costoBloqueado");
    e.aplicar();
    e.ejecutar("UPDATE COMUNICACIONES SET Funcion = 'A' WHERE Id = " + std::to_string(id));
    e.aplicar();
    EXPECT_EQ(e.contar("MovInvHoy"), 1);
}

// A record whose table code or kind cannot be read as a whole number of 32
// bits fails alone: the good records of its group are applied, and a code
// of 2.5 is never rounded into a product.
TEST(Marco, UnCodigoQueNoEsEnteroSoloDetieneASuRegistro) {
    EntornoAplicacion e;
    // A full commit group of good records, in one statement.
    std::string filas;
    for (int i = 0; i < 250; ++i) {
        filas += std::string(i ? ", " : "") + "(2, 8, '900100002', '" + e.base.sitio() +
                 "', 'A', TRUE, 'R" + std::to_string(i) + "')";
    }
    e.ejecutar(
        "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, "
        "Campo2) VALUES " +
        filas);
    const int32_t producto = e.recibir(2, "A", {{1, "5010"}, {2, "Bueno"}, {9, "100"}});
    const int32_t mitad = e.recibir(2, "A", {{1, "5011"}, {2, "Medio"}, {9, "100"}});
    const int32_t grande = e.recibir(8, "A", {{2, "G"}});
    const int32_t servicio = e.recibir(8, "A", {{2, "S"}});
    const int32_t texto = e.recibir(8, "A", {{2, "T"}});
    const std::string donde = " WHERE Id = ";
    e.ejecutar("UPDATE COMUNICACIONES SET Tabla = 2.5" + donde + std::to_string(mitad));
    e.ejecutar("UPDATE COMUNICACIONES SET Tabla = 99999999999" + donde + std::to_string(grande));
    e.ejecutar("UPDATE COMUNICACIONES SET Servicio = 99999999999" + donde +
               std::to_string(servicio));
    e.ejecutar("UPDATE COMUNICACIONES SET Tabla = 'ocho'" + donde + std::to_string(texto));

    e.aplicar();
    EXPECT_EQ(e.contar("MovInv WHERE CODIGO LIKE 'R*'"), 250);
    EXPECT_EQ(e.funcionDe(producto), "X");
    for (int32_t id : {mitad, grande, servicio, texto}) EXPECT_EQ(e.funcionDe(id), "A") << id;
    EXPECT_EQ(e.contar("Productos WHERE CodigoAB = '5011'"), 0);
    EXPECT_EQ(e.contar("MovInv WHERE CODIGO IN ('G', 'S', 'T')"), 0);
    EXPECT_EQ(e.aplicador.resumen().fallidos, 4);
    EXPECT_TRUE(e.enBitacora("Comunicacion " + std::to_string(mitad) +
                             " (tabla 2.5) no aplicada: Tabla no es un numero entero"));
    EXPECT_TRUE(e.enBitacora("Servicio no es un numero entero"));
    EXPECT_FALSE(e.enBitacora("interrumpida"));
}

// A poison record is tried again after 1, 2, 4, 8 ... runs, and at the latest
// ten minutes after its last failure; it is reported on its first failure
// and when its message changes, and once it applies its state goes.
TEST(Reintentos, UnRegistroQueFallaEsperaCadaVezMasYSeInformaUnaVez) {
    EntornoAplicacion e;
    auto bloquear = [&](const std::string& motivo) {
        e.ejecutarDirecto(
            "DROP TRIGGER IF EXISTS bloqueo; CREATE TRIGGER bloqueo BEFORE INSERT "
            "ON MovInv BEGIN SELECT RAISE(ABORT, '" +
            motivo + "'); END");
    };
    bloquear("movimiento bloqueado");
    const int32_t id = e.recibir(8, "A", {{2, "V-1001"}});
    const int32_t otro = e.recibir(8, "A", {{2, "V-1002"}});
    const std::string linea = "Comunicacion " + std::to_string(id) + " (tabla 8) no aplicada";
    auto lineas = [&](const std::string& parte) {
        int n = 0;
        for (const auto& l : e.bitacora.lineas) n += l.find(parte) != std::string::npos;
        return n;
    };

    std::vector<int> intentos;
    for (int corrida = 1; corrida <= 16; ++corrida) {
        e.aplicar();
        if (e.aplicador.resumen().fallidos > 0) intentos.push_back(corrida);
        if (corrida == 1)
            e.ejecutar("DELETE FROM COMUNICACIONES WHERE Id = " + std::to_string(otro));
    }
    EXPECT_EQ(intentos, (std::vector<int>{1, 2, 4, 8, 16}));
    EXPECT_EQ(lineas(linea), 1);
    EXPECT_TRUE(e.enBitacora("en espera: 1"));
    EXPECT_EQ(e.valor("SELECT Intentos FROM FALLOS_APLICACION WHERE IdComunicacion = " +
                      std::to_string(id)),
              "5");
    // The record that left the queue left no state behind.
    EXPECT_EQ(e.contar("FALLOS_APLICACION"), 1);

    // Ten minutes after its last failure it is due whatever the count; its
    // new message is reported.
    bloquear("otro motivo");
    e.reloj.poner(13, 40, 15);
    e.aplicar();
    EXPECT_EQ(e.aplicador.resumen().fallidos, 1);
    EXPECT_EQ(lineas(linea), 2);
    EXPECT_TRUE(e.enBitacora("otro motivo"));
    e.aplicar();
    EXPECT_EQ(e.aplicador.resumen().fallidos, 0);
    EXPECT_EQ(e.aplicador.resumen().enEspera, 1);

    e.ejecutarDirecto("DROP TRIGGER bloqueo");
    e.reloj.poner(13, 50, 15);
    e.aplicar();
    EXPECT_EQ(e.funcionDe(id), "X");
    EXPECT_EQ(e.contar("MovInv WHERE CODIGO = 'V-1001'"), 1);
    EXPECT_EQ(e.contar("FALLOS_APLICACION"), 0);
}

// A record that failed while the clock ran a day ahead is stamped
// "tomorrow": once the clock is set right, it is due now, not when the
// clock passes the stamp.
TEST(Reintentos, UnFalloFechadoEnElFuturoSeReintentaYa) {
    EntornoAplicacion e;
    const int32_t id = e.recibir(8, "A", {{2, "V-1001"}});
    e.ejecutar(
        "INSERT INTO FALLOS_APLICACION (IdComunicacion, Intentos, Espera, Mensaje, "
        "PrimerFallo, UltimoFallo) VALUES (" +
        std::to_string(id) + ", 20, 500000, 'x', #2026/12/08 13:30:00#, #2026/12/08 13:30:00#)");
    e.aplicar();
    EXPECT_EQ(e.funcionDe(id), "X");
    EXPECT_EQ(e.aplicador.resumen().enEspera, 0);
    EXPECT_EQ(e.contar("FALLOS_APLICACION"), 0);
}

TEST(Marco, UnaSeleccionIlegibleEsUnErrorNoUnaCorridaVacia) {
    EntornoAplicacion e;
    e.recibir(8, "A", {{2, "1001"}});
    prueba::corromperTabla(e.base.ruta(), "COMUNICACIONES");
    EXPECT_THROW(e.aplicar(), datos::ErrorBD);
    EXPECT_TRUE(e.enBitacora("database disk image is malformed"));
    EXPECT_FALSE(e.enBitacora("Comunicaciones aplicadas"));
    EXPECT_FALSE(e.con.conectado());
}

// A failure of the database itself while a good record is applied (an I/O
// error on one of its statements) is no fault of the record: the run ends,
// the record is neither marked nor kept among the failed ones, nothing of
// it stays, and the next run applies it.
TEST(Marco, UnFalloDeLaBaseNoEsCulpaDelRegistro) {
    EntornoAplicacion e;
    prueba::FallaSqlite falla;
    const int32_t id = e.recibir(2, "A", {{1, "F-1"}, {2, "Arepa"}, {7, "1"}, {9, "3000"}});
    // The family's lookup, its write and the record's mark.
    for (const char* sentencia :
         {"WHERE CodigoAB = ", "INSERT INTO \"Productos\"", "SET FUNCION = 'X'"}) {
        falla.fallar(sentencia);
        try {
            e.aplicar();
            ADD_FAILURE() << "applied despite the failure in " << sentencia;
        } catch (const datos::ErrorBD& error) {
            EXPECT_TRUE(error.deLaBase()) << error.what();
        }
        EXPECT_NE(falla.fallida().find(sentencia), std::string::npos)
            << sentencia << " / " << falla.fallida();
        EXPECT_TRUE(e.enBitacora("interrumpida: disk I/O error")) << sentencia;
        EXPECT_EQ(e.funcionDe(id), "A");
        EXPECT_EQ(e.contar("FALLOS_APLICACION"), 0) << sentencia;
        EXPECT_EQ(e.contar("Productos WHERE CodigoAB = 'F-1'"), 0) << sentencia;
        EXPECT_FALSE(e.con.conectado());
    }
    EXPECT_FALSE(e.enBitacora("no aplicada"));
    e.aplicar();
    EXPECT_EQ(e.funcionDe(id), "X");
    EXPECT_EQ(e.contar("Productos WHERE CodigoAB = 'F-1'"), 1);
}

// The same document number sent by two sites is two movements: the
// duplicate check is by site too, or one would be lost without a trace.
TEST(Movimientos, ElMismoDocumentoDeDosSitiosSonDosMovimientos) {
    EntornoAplicacion e;
    const int32_t uno = e.recibir(16, "A", movimiento("1001", "-5", "Remision"), "900100002");
    const int32_t dos = e.recibir(16, "A", movimiento("1001", "-5", "Remision"), "900100003");
    e.aplicar();
    EXPECT_EQ(e.funcionDe(uno), "X");
    EXPECT_EQ(e.funcionDe(dos), "X");
    EXPECT_EQ(e.contar("MovInvHoy WHERE NUMERORR = 'RM-77'"), 2);
    EXPECT_EQ(e.contar("MovInvHoy WHERE SyA = '900100003'"), 1);
}

TEST(Movimientos, RemisionSeGuardaComoReciboYUnaCopiaRepetidaSeReconoce) {
    EntornoAplicacion e;
    int32_t id = e.recibir(16, "A", movimiento("1001", "-5", "Remision"));
    e.aplicar();
    EXPECT_EQ(e.funcionDe(id), "X");
    ASSERT_EQ(e.contar("MovInvHoy"), 1);
    EXPECT_EQ(e.valor("SELECT Concepto FROM MovInvHoy"), "Recibo");
    EXPECT_EQ(e.valor("SELECT Cantidad FROM MovInvHoy"), "5");
    EXPECT_EQ(e.valor("SELECT SyA FROM MovInvHoy"), kOrigen);
    EXPECT_EQ(e.valor("SELECT Confirmado FROM MovInvHoy"), "False");
    EXPECT_EQ(e.valor("SELECT fecha FROM MovInvHoy"), "07/12/2026");
    EXPECT_EQ(e.valor("SELECT Bodega FROM MovInvHoy"), "2");
    EXPECT_EQ(e.valor("SELECT Costo FROM Insumos WHERE Codigo = '1001'"), "4000");

    // The same movement delivered again is known and skipped.
    int32_t copia = e.recibir(16, "A", movimiento("1001", "-5", "Remision"));
    e.aplicar();
    EXPECT_EQ(e.funcionDe(copia), "X");
    EXPECT_EQ(e.contar("MovInvHoy"), 1);

    // A movement dated with its time of day is recognised on re-delivery too.
    const auto conHora = movimiento("1001", "2", "Traslado", "08/12/2026 10:30:00", "TR-5");
    e.recibir(16, "A", conHora);
    e.aplicar();
    int32_t otraVez = e.recibir(16, "A", conHora);
    e.aplicar();
    EXPECT_EQ(e.funcionDe(otraVez), "X");
    EXPECT_EQ(e.contar("MovInvHoy WHERE NUMERORR = 'TR-5'"), 1);
}

TEST(Movimientos, ConocidoEnLosGuardadosOtroConceptoYValoresRaros) {
    EntornoAplicacion e;
    e.ejecutar(
        "INSERT INTO MovInv (CODIGO, fecha, NUMERORR, SyA, Cantidad) "
        "VALUES ('1002', '2026-12-06', 'RM-9', '" +
        kOrigen + "', 3)");
    e.recibir(16, "A", movimiento("1002", "3", "Traslado", "06/12/2026", "RM-9"));
    auto raro = movimiento("1003", "4", "Traslado", "05/12/2026", "RM-O'10");
    raro[11] = "dos";    // Bodega (SHORT)
    raro[14] = "medio";  // Factor (SINGLE)
    raro[6] = "mucho";   // Costo (DOUBLE): refused, left at its default
    e.recibir(16, "A", raro);
    auto cero = movimiento("1004", "0", "Remision", "05/12/2026", "RM-11");
    e.recibir(16, "A", cero);
    int32_t sinFecha = e.recibir(16, "A", movimiento("1005", "1", "Remision", "ayer", "RM-12"));
    // A unit cost that overflows a double is refused, not written as text.
    auto desborde = movimiento("1006", "0.001", "Remision", "05/12/2026", "RM-13");
    desborde[6] = "1E308";
    int32_t infinito = e.recibir(16, "A", desborde);

    e.aplicar();
    EXPECT_EQ(e.contar("MovInvHoy WHERE CODIGO = '1002'"), 0);
    EXPECT_EQ(e.valor("SELECT Concepto FROM MovInvHoy WHERE CODIGO = '1003'"), "Remision");
    EXPECT_EQ(e.valor("SELECT Cantidad FROM MovInvHoy WHERE CODIGO = '1003'"), "-4");
    EXPECT_EQ(e.valor("SELECT Bodega FROM MovInvHoy WHERE CODIGO = '1003'"), "0");
    EXPECT_EQ(e.valor("SELECT Factor FROM MovInvHoy WHERE CODIGO = '1003'"), "0");
    EXPECT_EQ(e.valor("SELECT NUMERORR FROM MovInvHoy WHERE CODIGO = '1003'"), "RM-O'10");
    EXPECT_EQ(e.valor("SELECT Costo FROM Insumos WHERE Codigo = '1003'"), "0");
    // No quantity: stored, cost untouched.
    EXPECT_EQ(e.contar("MovInvHoy WHERE CODIGO = '1004'"), 1);
    EXPECT_EQ(e.valor("SELECT Costo FROM Insumos WHERE Codigo = '1004'"), "22000");
    // Not a date: refused and kept for a look.
    EXPECT_EQ(e.contar("MovInvHoy WHERE CODIGO = '1005'"), 0);
    EXPECT_EQ(e.funcionDe(sinFecha), "A");
    EXPECT_TRUE(e.enBitacora("Comunicacion " + std::to_string(sinFecha)));
    EXPECT_EQ(e.funcionDe(infinito), "A");
    EXPECT_EQ(e.contar("MovInvHoy WHERE CODIGO = '1006'"), 0);
    EXPECT_EQ(e.contar("Insumos WHERE typeof(Costo) = 'text'"), 0);
}

TEST(Copias, SucursalSeActualizaEnSuSitioConSiNoEstricto) {
    EntornoAplicacion e;
    // ID, IDCLIENTE, Tercero, IDSYA, idTercero, Nombre, Direccion, Telefono,
    // Principal, Bodega, Domicilios.
    std::map<int, std::string> c = {{1, "77"},        {2, "900100"}, {3, "T-1"},     {4, "11001"},
                                    {5, "4"},         {6, "Norte"},  {7, "Calle 1"}, {8, "555"},
                                    {9, "Verdadero"}, {10, "1"},     {11, "True"}};
    e.recibir(13, "A", c);
    e.aplicar();
    ASSERT_EQ(e.contar("SucYAgen WHERE Tercero = 'T-1'"), 1);
    const std::string id = e.valor("SELECT ID FROM SucYAgen WHERE Tercero = 'T-1'");
    EXPECT_EQ(e.valor("SELECT Principal FROM SucYAgen WHERE Tercero = 'T-1'"), "True");
    EXPECT_EQ(e.valor("SELECT Bodega FROM SucYAgen WHERE Tercero = 'T-1'"), "False");
    EXPECT_EQ(e.valor("SELECT Domicilios FROM SucYAgen WHERE Tercero = 'T-1'"), "True");

    c[6] = "Norte II";
    c[7] = "";
    c[9] = "False";
    e.recibir(13, "A", c);
    e.recibir(13, "E", {{3, "T-2"}, {4, "11001"}});
    e.aplicar();
    EXPECT_EQ(e.contar("SucYAgen WHERE Tercero IN ('T-1', 'T-2')"), 1);
    EXPECT_EQ(e.valor("SELECT ID FROM SucYAgen WHERE Tercero = 'T-1'"), id);
    EXPECT_EQ(e.valor("SELECT Nombre FROM SucYAgen WHERE Tercero = 'T-1'"), "Norte II");
    EXPECT_EQ(e.valor("SELECT Direccion FROM SucYAgen WHERE Tercero = 'T-1'"), "");
    EXPECT_EQ(e.valor("SELECT Principal FROM SucYAgen WHERE Tercero = 'T-1'"), "False");
}

TEST(Copias, VentasMensajesEInsercionGenerica) {
    EntornoAplicacion e;
    // rVent: Id, Fecha, SyA, Factura, CodigoAB, NombreProducto, Cantidad, ...
    e.recibir(7, "A", {{1, "5"}, {2, "06/12/2026"}, {3, kOrigen}, {4, "F-1"}, {5, "2001"}});
    e.recibir(7, "E", {{4, "F-2"}});
    // A message with any letter is added; column 1 takes Campo1.
    e.recibir(14, "E", {{1, "Hola"}, {2, "900100001"}, {3, kOrigen}, {4, "1"}});
    // CxPg twice: two rows. A refused value leaves its column unset.
    std::map<int, std::string> cxp = {
        {2, "01/12/2026"}, {3, "T-9"}, {4, "FC-1"}, {6, "no es numero"}, {9, kOrigen}};
    e.recibir(11, "A", cxp);
    e.recibir(11, "A", cxp);
    e.aplicar();

    EXPECT_EQ(e.contar("rVent"), 1);
    EXPECT_EQ(e.valor("SELECT Cantidad FROM rVent"), "0");
    EXPECT_NE(e.valor("SELECT Id FROM rVent"), "");
    EXPECT_EQ(e.valor("SELECT Fecha FROM rVent"), "06/12/2026");
    EXPECT_EQ(e.valor("SELECT mensaje FROM Mensaje WHERE origen = '" + kOrigen + "'"), "Hola");
    EXPECT_EQ(e.valor("SELECT PRIORIDAD FROM Mensaje WHERE origen = '" + kOrigen + "'"), "1");
    EXPECT_EQ(e.contar("CxPg WHERE Documento = 'FC-1'"), 2);
    EXPECT_EQ(e.valor("SELECT Valor FROM CxPg"), "0");
    EXPECT_EQ(e.valor("SELECT Tercero FROM CxPg"), "T-9");
    EXPECT_EQ(e.aplicador.resumen().fallidos, 0);
    // Each skipped value leaves a debug line naming its record, table,
    // column and the column's reason; the operator's log does not get it.
    ASSERT_EQ(e.bitacora.depuracion.size(), 2u);
    for (const std::string& linea : e.bitacora.depuracion) {
        EXPECT_NE(linea.find("columna CxPg.Valor omitida: "), std::string::npos) << linea;
        EXPECT_GT(linea.size(), linea.find("omitida: ") + 9) << linea;
    }
    EXPECT_FALSE(e.enBitacora("omitida"));
}

}  // namespace
