// The order, third-party and inventory services on real site databases.
#include <gtest/gtest.h>

#include "protocolo/Comunicacion.h"
#include "servicios/ServicioComandas.h"
#include "servicios/ServicioInventario.h"
#include "servicios/ServicioTerceros.h"
#include "soporte/EntornoAplicacion.h"

namespace {

using prueba::EntornoAplicacion;
using namespace servicios;

const std::string kGeneral = protocolo::kDestinoGeneral;

// The connection the services need, open for one block of calls.
struct Abierta {
    explicit Abierta(EntornoAplicacion& e) : e(e) { e.con.conectar(); }
    ~Abierta() { e.con.desconectar(); }
    EntornoAplicacion& e;
};

void linea(EntornoAplicacion& e, const std::string& mesa, const std::string& tercero,
           const std::string& estado = "Pendiente") {
    e.ejecutar("INSERT INTO COMANDAS (idmesa, tercero, estado, nombreproducto) VALUES ('" + mesa +
               "', '" + tercero + "', '" + estado + "', 'Linea')");
}

int16_t mesaDe(EntornoAplicacion& e, int32_t tercero) {
    Abierta a(e);
    return ServicioComandas(e.con, e.reloj).getMesaDomicilio(tercero);
}

TEST(Comandas, MesaDeDomicilio) {
    EntornoAplicacion e;
    // Nothing in use: the maximum over no table is null.
    EXPECT_EQ(mesaDe(e, 5), 2002);
    // Outside 2001..2999, or not a number: not counted.
    linea(e, "2000", "9");
    linea(e, "3000", "9");
    linea(e, "Barra", "9");
    EXPECT_EQ(mesaDe(e, 5), 2002);
    linea(e, "2001", "8", "Pagada");
    linea(e, "2010", "8", "Pagada");
    EXPECT_EQ(mesaDe(e, 5), 2011);
    // A customer with a pending order keeps its table; a table that is not
    // a number is no one's delivery table.
    linea(e, "2005", "7");
    EXPECT_EQ(mesaDe(e, 7), 2005);
    linea(e, "Terraza", "6");
    EXPECT_EQ(mesaDe(e, 6), 2011);
    linea(e, "2011", "6");
    EXPECT_EQ(mesaDe(e, 6), 2011);

    // Once 2999 is in use, the lowest table from 2002 on without a pending
    // order: no two customers share one.
    linea(e, "2999", "9");
    EXPECT_EQ(mesaDe(e, 4), 2002);
    linea(e, "2002", "4");
    linea(e, "2003", "3", "Pagada");
    EXPECT_EQ(mesaDe(e, 3), 2003);
    // When every one holds a pending order, the order waits.
    {
        Abierta a(e);
        datos::Transaccion t(e.con);
        for (int mesa = 2003; mesa < 2999; ++mesa)
            e.con.comando("INSERT INTO COMANDAS (idmesa, tercero, estado) VALUES ('" +
                          std::to_string(mesa) + "', 'x', 'Pendiente')");
        t.confirmar();
    }
    EXPECT_THROW(mesaDe(e, 2), MesasAgotadas);
}

clsComandas comanda() {
    clsComandas c;
    c.CodigoAB = "2001";
    c.NombreProducto = "Pizza D'Angelo";
    c.Cantidad = 2;
    c.valor = 50000.5;
    c.Fecha = comun::Fecha{2026, 12, 7};
    c.Mesero = "Cliente Domicilios";
    c.nick = "Cliente Domicilios";
    c.Negocio = "COCINA";
    c.IdProducto = 810;
    c.Detalle = "Sin piña, para O'Brien";
    c.BImp = comun::Moneda{12345000};  // 1234.5
    c.ImpVr = comun::Moneda{2355000};  // 235.5
    return c;
}

clsAcompanamientos acompanamiento(int32_t codigo) {
    clsAcompanamientos a;
    a.CodigoProducto = 2001;
    a.CodigoAcompanamiento = codigo;
    a.Cantidad = 2;
    return a;
}

TEST(Comandas, CuentaConTresAcompanamientosEscribeYEncolaCadaFila) {
    EntornoAplicacion e;
    int32_t id = 0;
    {
        Abierta a(e);
        ServicioComandas s(e.con, e.reloj);
        // 9999 has no supply row.
        ASSERT_TRUE(s.setCuenta(
            comanda(), {acompanamiento(1005), acompanamiento(1006), acompanamiento(9999)}, 3, 2));
        id = s.ultimaComanda();
        EXPECT_EQ(s.ultimaMesa(), "2002");
    }
    const std::string clave = std::to_string(id);
    // Whole numbers rounded half to even; an empty tax number is a blank.
    EXPECT_EQ(e.valor("SELECT CodigoAB || '|' || idmesa || '|' || nombreproducto || '|' || "
                      "cantidad || '|' || fecha || '|' || hora || '|' || estado || '|' || "
                      "concepto || '|' || ok || despcoc || desp || tdc || tdm || '|' || tin || "
                      "'|' || idproducto || '|' || valor || '|' || detalle || '|[' || imprCoc || "
                      "']' || ImprM || '|' || BImp || '|[' || Impx || ']|' || ImpVr || '|' || "
                      "idFactura || '|' || Tercero || '|' || Detalle2 FROM COMANDAS WHERE "
                      "idComanda = " +
                      clave),
              "2001|2002|Pizza D'Angelo|2.0|2026-12-07|13:30:15|Pendiente|Ventas|0YX00|O|810|"
              "50000.5|Sin piña, para O'Brien|[ ]C|1234|[ ]|236|0|3|2");
    EXPECT_EQ(e.contar("COMANDAS WHERE idComanda = " + clave), 1);

    EXPECT_EQ(e.contar("ACOMPANAMIENTOS WHERE IDCOMANDA = " + clave), 3);
    EXPECT_EQ(e.valor("SELECT NOMBREPRODUCTO || '|' || ACOMPANAMIENTO || '|' || CANTIDAD || '|' "
                      "|| COSTO FROM ACOMPANAMIENTOS WHERE CODINSUMO = 1005"),
              "PIZZA HAWAIANA|PAPA|2.0|2500.0");
    // A side dish without a supply: no name, no cost.
    EXPECT_EQ(e.valor("SELECT '[' || ACOMPANAMIENTO || ']' || COSTO FROM ACOMPANAMIENTOS WHERE "
                      "CODINSUMO = 9999"),
              "[]0.0");

    // One record per row written, in the order written, for every site.
    EXPECT_EQ(e.valor("SELECT group_concat(Tabla || Funcion || Servicio || Destino, ',') FROM "
                      "(SELECT * FROM COMUNICACIONES ORDER BY Id)"),
              "6A2" + kGeneral + ",10A2" + kGeneral + ",10A2" + kGeneral + ",10A2" + kGeneral);
    EXPECT_EQ(e.valor("SELECT Campo1 FROM COMUNICACIONES WHERE Tabla = 6"), clave);
    EXPECT_EQ(e.contar("COMUNICACIONES WHERE Tabla = 10 AND Campo2 = '" + clave + "'"), 3);
}

TEST(Comandas, OtroEscritorEntreLaInsercionYLaLecturaNoSeEncolaEnLugarDeLaNuestra) {
    EntornoAplicacion e;
    // The site's own application adds rows of the same tables while the
    // line is written (here a trigger does it inside the very insert).
    e.ejecutarDirecto(
        "CREATE TRIGGER otraComanda AFTER INSERT ON COMANDAS WHEN NEW.mesero = 'Cliente "
        "Domicilios' BEGIN INSERT INTO COMANDAS (idmesa, nombreproducto, mesero) VALUES ('7', "
        "'Limonada de la mesa 7', 'ANA'); END;"
        "CREATE TRIGGER otroAcompanamiento AFTER INSERT ON ACOMPANAMIENTOS WHEN NEW.IDCOMANDA <> 1 "
        "BEGIN INSERT INTO ACOMPANAMIENTOS (IDCOMANDA, NOMBREPRODUCTO) VALUES (1, 'AJENO'); END;");
    int32_t id = 0;
    {
        Abierta a(e);
        ServicioComandas s(e.con, e.reloj);
        s.setCuenta(comanda(), {acompanamiento(1005)}, 3);
        id = s.ultimaComanda();
    }
    EXPECT_EQ(
        e.valor("SELECT nombreproducto FROM COMANDAS WHERE idComanda = " + std::to_string(id)),
        "Pizza D'Angelo");
    EXPECT_EQ(e.valor("SELECT Campo4 FROM COMUNICACIONES WHERE Tabla = 6"), "Pizza D'Angelo");
    EXPECT_EQ(e.valor("SELECT Campo2 || Campo3 FROM COMUNICACIONES WHERE Tabla = 10"),
              std::to_string(id) + "PIZZA HAWAIANA");
    EXPECT_EQ(e.contar("COMUNICACIONES"), 2);
}

TEST(Terceros, ClienteNuevoYConocidoPorTelefono) {
    EntornoAplicacion e;
    const int terceros = e.contar("TERCEROS");
    RegTercero t;
    t.Nombre = "  ana o'brien  ";
    t.Direccion = "calle 5 # 3-2";
    t.Telefono1 = "  300111223344455566677";
    t.IdDocumento = "abc1234567890123456";
    int32_t id = 0;
    {
        Abierta a(e);
        ServicioTerceros s(e.con, e.reloj);
        id = s.setTerceroTelefono(t);
        ASSERT_GT(id, 0);
        // Found again by the telephone as given and as stored.
        EXPECT_EQ(s.getTerceroTelefono(t.Telefono1).idTercero, id);
        EXPECT_EQ(s.getTerceroTelefono("300111223344455566").Nombre, "ANA O'BRIEN");
        EXPECT_EQ(s.getTerceroTelefono("6000000").idTercero, 0);
        EXPECT_EQ(s.getTerceroTelefono("").idTercero, 0);
    }
    const std::string clave = std::to_string(id);
    EXPECT_EQ(
        e.valor("SELECT IdDocumento || '|' || Nombre || '|' || Direccion || '|' || "
                "Telefono1 || '|' || Telefono2 || '|' || Persona || '|' || representante || "
                "'|' || Ciudad || '|' || FIngreso || '|' || ifnull(FNacimiento, 'nula') || '|' || "
                "ifnull(FRetiro, 'nula') "
                "FROM TERCEROS WHERE IdTercero = " +
                clave),
        "ABC123456789012|ANA O'BRIEN|CALLE 5 # 3-2 |300111223344455566|No Definifo|No "
        "definido|No Definido|No Definido|2026-12-07|1899-12-30|1899-12-30");
    // Queued for every site and for the client's other branch.
    EXPECT_EQ(e.valor("SELECT group_concat(Destino, ',') FROM (SELECT Destino FROM "
                      "COMUNICACIONES WHERE Tabla = 12 AND Funcion = 'A' AND Campo1 = '" +
                      clave + "' ORDER BY Id)"),
              kGeneral + ",900100002");

    // A known telephone: the same third party, renamed in place.
    RegTercero otra;
    otra.Nombre = "Ana María";
    otra.Direccion = "carrera 9";
    otra.Telefono1 = "300111223344455566";
    RegTercero sinNombre;
    sinNombre.Telefono1 = "555";
    {
        Abierta a(e);
        ServicioTerceros s(e.con, e.reloj);
        EXPECT_EQ(s.setTerceroTelefono(otra), id);
        EXPECT_EQ(s.setTerceroTelefono(sinNombre), 0);
    }
    EXPECT_EQ(e.contar("TERCEROS"), terceros + 1);
    EXPECT_EQ(e.valor("SELECT Nombre || '|' || Direccion FROM TERCEROS WHERE IdTercero = " + clave),
              "ANA MARÍA|CARRERA 9 ");
    EXPECT_EQ(e.contar("COMUNICACIONES WHERE Tabla = 12"), 4);
}

TEST(Terceros, LecturaConNulosYSucursales) {
    EntornoAplicacion e;
    e.ejecutar(
        "INSERT INTO TERCEROS (IdDocumento, Nombre, Sangre) VALUES ('X-1', 'SIN DATOS', 'O+')");
    Abierta a(e);
    ServicioTerceros s(e.con, e.reloj);
    const auto id = [&](const std::string& doc) {
        auto rs = e.con.Query("SELECT IdTercero FROM TERCEROS WHERE IdDocumento = '" + doc + "'");
        return (*rs)[size_t{0}].CLng();
    };
    const RegTercero sinDatos = s.getTercero(id("X-1"));
    EXPECT_EQ(sinDatos.Direccion, "No Definido");
    EXPECT_EQ(sinDatos.Telefono1, "No Definido");
    EXPECT_EQ(sinDatos.Telefono2, "No Definido");
    EXPECT_EQ(sinDatos.Sangre, 0);
    EXPECT_EQ(sinDatos.idCliente, "");
    ASSERT_EQ(sinDatos.sucursales.size(), 1u);
    EXPECT_EQ(sinDatos.sucursales[0].idSyA, "");

    const RegTercero proveedor = s.getTercero(id("800200300"));
    ASSERT_EQ(proveedor.sucursales.size(), 2u);
    EXPECT_EQ(proveedor.sucursales[0].NombreMunicipio, "Itagüí");
    EXPECT_EQ(proveedor.sucursales[1].NombreDpto, "Bogotá D.C.");
    EXPECT_EQ(proveedor.sucursales[1].idSyA, "11001-01");
    EXPECT_EQ(s.getTercero(999999).idTercero, 0);

    const RegUsuario maria = s.getUsuario(id("43123456"));
    EXPECT_EQ(maria.nick, "maria");
    EXPECT_EQ(maria.pw, "1234");
    EXPECT_EQ(maria.Base, 100000);
    EXPECT_EQ(s.getUsuario(999999).idTercero, 0);
}

TEST(Terceros, ProductoConImpuestoDelRegimenComunYPrecioDelDia) {
    EntornoAplicacion e;
    e.ejecutar("UPDATE XX0100 SET DESCRIPCION = 'Comun' WHERE NOMBRE = 'REGIMEN'");
    e.ejecutar("UPDATE PRODUCTOS SET PrecioUnidad = 11900, Precio2 = 0 WHERE CodigoAB = '2003'");
    Abierta a(e);
    ServicioTerceros s(e.con, e.reloj);
    const RegProducto p = s.getProducto("2003");
    EXPECT_EQ(p.CodigoAB, 2003);
    EXPECT_EQ(p.NombreProducto, "Gaseosa");
    EXPECT_EQ(p.Negocio, "BAR");
    EXPECT_EQ(p.ImpX, 1);
    EXPECT_DOUBLE_EQ(p.impuestoUnidad, 1900);
    EXPECT_EQ(p.CodigoBarras, "7701234000035");
    // Monday's price is Precio2; 0 there falls back to the unit price.
    EXPECT_DOUBLE_EQ(p.precioAlterno, 11900);
    EXPECT_DOUBLE_EQ(s.getProducto("2001").precioAlterno, 24000);
    EXPECT_DOUBLE_EQ(s.getProducto("2001", 2).precioAlterno, 27000);
    EXPECT_EQ(s.getProducto("no existe").CodigoAB, 0);
    EXPECT_EQ(s.getProducto("' OR '1'='1").CodigoAB, 0);
}

// Ten supplies, five products and three recipe lines on a base without the
// demo catalogue, and queue records of those tables from before.
void inventario(EntornoAplicacion& e) {
    Abierta a(e);
    for (int i = 0; i < 10; ++i)
        e.con.comando("INSERT INTO INSUMOS (Codigo, Nombre) VALUES ('" + std::to_string(100 + i) +
                      "', 'INSUMO')");
    for (int i = 0; i < 5; ++i)
        e.con.comando("INSERT INTO PRODUCTOS (CodigoAB, NombreProducto) VALUES ('" +
                      std::to_string(200 + i) + "', 'Producto')");
    for (int i = 0; i < 3; ++i)
        e.con.comando("INSERT INTO RZS (IdProducto, IdInsumo) VALUES ('200', '" +
                      std::to_string(100 + i) + "')");
    e.con.comando("INSERT INTO COMUNICACIONES (Servicio, Tabla, Destino, Funcion) VALUES (2, 1, '" +
                  kGeneral + "', 'A')");
    e.con.comando("INSERT INTO COMUNICACIONES (Servicio, Tabla, Destino, Funcion) VALUES (2, 6, '" +
                  kGeneral + "', 'A')");
}

TEST(Inventario, CopiaCompletaDeLasTresTablasEnLaCola) {
    EntornoAplicacion e(false);
    {
        Abierta a(e);
        ServicioInventario s(e.con);
        EXPECT_EQ(s.getInusmosProductosRzs(), "null");
        EXPECT_EQ(s.getInusmosProductosRzsNum(), 0);
        EXPECT_EQ(s.getInusmosProductosRzsNumAll(), 0);
    }
    inventario(e);
    {
        Abierta a(e);
        EXPECT_EQ(ServicioInventario(e.con).setInusmosProductosRzs(), "");
    }
    EXPECT_EQ(e.valor("SELECT group_concat(Tabla || Funcion, ',') FROM (SELECT * FROM "
                      "COMUNICACIONES WHERE Tabla IN (1, 2, 3) ORDER BY Id)"),
              "1E,2E,3E,1A,1A,1A,1A,1A,1A,1A,1A,1A,1A,2A,2A,2A,2A,2A,3A,3A,3A");
    EXPECT_EQ(e.contar("COMUNICACIONES WHERE Tabla = 6"), 1);
    EXPECT_EQ(e.contar("COMUNICACIONES WHERE Funcion = 'E' AND Servicio = 1 AND Campo1 = '" +
                       e.base.sitio() + "'"),
              3);

    e.ejecutar("UPDATE COMUNICACIONES SET Enviado = TRUE WHERE Tabla = 2 AND Servicio = 1");
    Abierta a(e);
    ServicioInventario s(e.con);
    EXPECT_EQ(s.getInusmosProductosRzsNum(), 20);
    EXPECT_EQ(s.getInusmosProductosRzsNumAll(), 21);
    EXPECT_TRUE(s.getSolicitudInusmosProductosRzs());
    const std::string lote = s.getInusmosProductosRzs();
    EXPECT_EQ(lote.front(), '[');
    EXPECT_NE(lote.find("\"Funcion\":\"E\""), std::string::npos);
}

TEST(Inventario, CincuentaDeCientoVeinteYSolicitud) {
    EntornoAplicacion e(false);
    e.con.conectar();
    for (int i = 0; i < 120; ++i)
        e.con.comando(
            "INSERT INTO COMUNICACIONES (Servicio, Tabla, Destino, Funcion, Campo1) "
            "VALUES (2, " +
            std::to_string(1 + i % 3) + ", '" + kGeneral + "', 'A', 'r" + std::to_string(i) + "')");
    e.con.desconectar();
    {
        Abierta a(e);
        ServicioInventario s(e.con);
        EXPECT_EQ(s.getInusmosProductosRzsNum(), 120);
        const std::string lote = s.getInusmosProductosRzs();
        size_t filas = 0;
        for (size_t p = lote.find("\"Campo1\""); p != std::string::npos;
             p = lote.find("\"Campo1\"", p + 1))
            ++filas;
        EXPECT_EQ(filas, 50u);
        EXPECT_FALSE(s.getSolicitudInusmosProductosRzs());
    }
    // Opens its own connection; the supplies go, the request is queued.
    e.ejecutar("INSERT INTO INSUMOS (Codigo, Nombre) VALUES ('1', 'X')");
    const std::string pendientes = ServicioInventario(e.con).setSolicitudInusmosProductosRzs();
    EXPECT_FALSE(e.con.conectado());
    EXPECT_EQ(e.contar("INSUMOS"), 0);
    EXPECT_EQ(e.contar("COMUNICACIONES WHERE Servicio = 1 AND Funcion = 'A' AND "
                       "(Campo1 IS NULL OR Campo1 = '')"),
              3);
    EXPECT_NE(pendientes.find("\"Servicio\":\"1\""), std::string::npos);
}

TEST(Inventario, CorregirSaldosConLasDosConsultasGuardadas) {
    EntornoAplicacion e;
    // A scratch table left by a run that stopped half-way.
    e.ejecutarDirecto("CREATE TABLE AUX (CODIGO NUMERIC)");
    // The last step fails once: nothing of the run stays.
    e.ejecutarDirecto(
        "CREATE TRIGGER cierreBloqueado BEFORE UPDATE OF CANTKAL ON INSUMOS WHEN NEW.CANTKAL = 12 "
        "BEGIN SELECT RAISE(ABORT, 'cierre bloqueado'); END");
    e.ejecutar("UPDATE INSUMOS SET UInvC = 99 WHERE Codigo = '1005'");
    EXPECT_THROW(ServicioInventario(e.con).corregirSaldosInventario(), datos::ErrorBD);
    EXPECT_EQ(e.valor("SELECT UInvC FROM INSUMOS WHERE Codigo = '1005'"), "99");
    EXPECT_EQ(e.contar("sqlite_master WHERE name = 'AUX'"), 0);

    e.ejecutarDirecto("DROP TRIGGER cierreBloqueado");
    // Stale counted quantities: a supply that has no closing balance takes
    // its balance at the last inventory, one never moved its stored one.
    e.ejecutar("UPDATE INSUMOS SET CANTKAL = 777 WHERE Codigo IN ('1005', '2002')");
    ServicioInventario(e.con).corregirSaldosInventario();
    const auto saldo = [&](const std::string& codigo) {
        return e.valor(
            "SELECT UInvF || '|' || UInvC || '|' || CANTKAL FROM INSUMOS WHERE Codigo = '" +
            codigo + "'");
    };
    // Closed on 30/11: the balance at the closing.
    EXPECT_EQ(saldo("1002"), "2026-11-30|12.0|12.0");
    EXPECT_EQ(saldo("1001"), "2026-11-20|40.0|40.0");
    // Only moved after the closing: its balance at the last inventory.
    EXPECT_EQ(saldo("1005"), "2026-12-03|30.0|30.0");
    EXPECT_EQ(saldo("2002"), "2001-01-01|0.0|0.0");
    EXPECT_EQ(e.contar("sqlite_master WHERE name = 'AUX'"), 0);
}

}  // namespace
