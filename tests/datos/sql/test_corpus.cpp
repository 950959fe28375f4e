// Every statement text the system issues, with its concatenated values filled
// in, must translate to SQLite that prepares and runs against tables holding
// the columns it names. They run in order, so the scratch table AUX exists
// between its CREATE and DROP statements.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BaseMemoria.h"
#include "comun/Comunicacion.h"

namespace {

const std::string S = "900100001";  // site code: client 900100, branch 001
const std::string G = comun::kDestinoGeneral;

std::vector<std::string> corpus() {
    std::string columnasCampo;
    for (int k = 1; k <= 3; ++k) columnasCampo += ", Campo" + std::to_string(k);
    return {
        // Site parameters
        "SELECT DESCRIPCION AS clavesys FROM XX0100 WHERE UCASE(NOMBRE) = 'REGIMEN'",
        "SELECT DESCRIPCION AS cliente FROM XX0100 WHERE UCASE(NOMBRE) = 'Nombre Establecimiento'",
        "SELECT DESCRIPCION AS IpRemota FROM XX0100 WHERE UCASE(NOMBRE) = 'Ip Servidor Remoto'",
        "SELECT DESCRIPCION AS clavesys FROM XX0100 WHERE NOMBRE = 'Terminal Cliente'",
        "SELECT DESCRIPCION AS clavesys FROM XX0100 WHERE NOMBRE = 'Servidor Uno Uno' Or NOMBRE = "
        "'Servidor Uno Muchos'",
        "SELECT FECHA FROM COMANDAS WHERE NOMBREPRODUCTO = 'Registro de Control'",
        "SELECT DESCRIPCION AS idSyA FROM XX0100 WHERE UCASE(NOMBRE) = 'Codigo Sucursales y "
        "Agencias'",
        // Communications queue
        "SELECT top 200  * FROM COMUNICACIONES WHERE ENVIADO = False AND ISNUMERIC(TABLA) and "
        "Destino <> '" +
            S +
            "' AND SERVICIO <> 4 UNION SELECT top 1  * FROM COMUNICACIONES WHERE ENVIADO = False "
            "AND ISNUMERIC(TABLA) and Destino <> '" +
            S + "' AND SERVICIO = 4 ORDER BY SERVICIO, ID",
        "INSERT INTO comunicaciones (Servicio, Tabla, Origen, Destino, Funcion " + columnasCampo +
            ") VALUES (2, 6, '" + S + "', '" + G + "', 'A',' a''b','','7') ",
        "SELECT IDSYA FROM SUCYAGEN WHERE IDCLIENTE = '900100' AND IDSYA <> '001'",
        "Comunicaciones",
        "UPDATE COMUNICACIONES SET ENVIADO = TRUE WHERE ID = 17",
        "DELETE FROM COMUNICACIONES WHERE ENVIADO = TRUE AND Destino <> '" + S +
            "' AND (DESTINO <> '0' AND ORIGEN <> '0') ",
        // Inbound store
        "SELECT ID FROM COMUNICACIONES WHERE CAMPO40 = '77'",
        "SELECT ID FROM COMUNICACIONES WHERE origen = '" + S + "' AND destino = '" + G +
            "' AND tabla = 6 AND servicio = 0 AND campo1 = '77'",
        // Partner data
        "SELECT top 1 * FROM COMUNICACIONES as C WHERE TABLA = 200 and SERVICIO = 2 and "
        "isnumeric(Campo11) AND EXISTS (select Nombre from terceros where idCliente = Campo11 ) ",
        "delete from comunicaciones where id = ?",
        // Applying communications
        "SELECT * FROM COMUNICACIONES WHERE FUNCION <> 'X' AND DESTINO = '" + S +
            "' AND (Tabla <> 23 and Tabla <> 27) ORDER BY TABLA, id",
        // Products, supplies and recipe lines
        "SELECT * FROM Terceros WHERE IDDOCUMENTO = '800100'",
        "SELECT * FROM SucYAgen WHERE Tercero = '800100' AND idSyA = '001'",
        "SELECT Nombre FROM Insumos WHERE Codigo = '101'",
        "SELECT NombreProducto FROM ProductoS WHERE CodigoAB = '101'",
        "SELECT codigo FROM preparaciones WHERE Codigo = '101'",
        "insert into preparaciones values('101')",
        "UPDATE INSUMOS SET COSTO = '12.5' WHERE CODIGO = '101' ",
        "DELETE FROM PRODUCTOS WHERE CODIGOAB = '101'",
        "DELETE FROM RZS WHERE IDPRODUCTO = '101'",
        "UPDATE PRODUCTOS SET NombreProducto = 'Pan', Categoria = 'Panes', Negocio = 'COCINA', "
        "Impx = '19', PrecioUnidad = '2500' WHERE CodigoAB = '101'",
        "select * from insumos",
        "UPDATE INSUMOS SET INVENTARIO = -1, NOMBRE = '' WHERE CODIGO = '101'",
        "SELECT * FROM Insumos WHERE Codigo = '101'",
        "SELECT CODIGO FROM PREPARACIONES WHERE CODIGO = '101'",
        "INSERT INTO PREPARACIONES VALUES('101')",
        "DELETE FROM RZS WHERE IDPRODUCTO = '101' AND TIPO like 'Prin*'",
        // Inventory movements and column-copy families
        "select COUNT(*) AS ID from movinvHOY where fecha = #2026/12/07# AND NUMERORR = 'R-1' AND "
        "SyA = '900100002' AND CODIGO = '101' UNION select COUNT(*) AS ID from movinv where fecha "
        "= #2026/12/07# AND NUMERORR = 'R-1' AND SyA = '900100002' AND CODIGO = '101' ",
        "SELECT * FROM SucYAgen WHERE TERCERO = '800100' AND IDSYA = '001'",
        // Users and remote order actions
        "SELECT IDTERCERO FROM TERCEROS WHERE IDDOCUMENTO = '79000111'",
        "SELECT * FROM PW WHERE IDTERCERO = 5",
        "UPDATE COMANDAS SET IMPRM = 'E' WHERE idComanda = 57",
        "INSERT INTO COMANDAS (idmesa, nombreproducto, concepto, fecha, hora, mesero, ImprM) "
        "VALUES "
        "('2005', 'Impresion Cuenta', 'Impresion', '2026-12-07', '13:30:00', 'Cliente "
        "Domicilios', 'X')",
        "UPDATE COMANDAS SET DETALLE1 = 'Pago en efectivo' WHERE IDCOMANDA = (SELECT "
        "MIN(IDCOMANDA) FROM COMANDAS WHERE idmesa = '2005') ",
        // Remote orders
        "INSERT INTO comandas(CodigoAB,idmesa,nombreproducto,cantidad,fecha,mesero,nick,estado,"
        "concepto,ok, despcoc,desp,tdc,tdm,negocio,tin,idproducto,hora, valor,detalle, imprCoc, "
        "ImprM, BImp, Impx, ImpVr, idFactura, Tercero, Detalle2) Values ('101','2005','Pan','2',"
        "'07/12/2026','Cliente Domicilios','Cliente Domicilios','Pendiente','Ventas','0','Y','X',"
        "'0','0','COCINA','O','810','13:30:00',5000,'sin sal',' ','C','4202',' 19','798','0','5',"
        "'0')",
        "SELECT * FROM COMANDAS WHERE IDCOMANDA = (SELECT MAX(IDCOMANDA) FROM COMANDAS)",
        "SELECT TOP 1 IDMESA FROM COMANDAS WHERE ESTADO = 'Pendiente' AND TERCERO = '5'",
        "Select max(cint(IIF(ISNUMERIC(IDMESA),IDMESA,0))) as mesa from Comandas where "
        "cint(IIF(ISNUMERIC(IDMESA),IDMESA,0)) > 2000 AND cint(IIF(ISNUMERIC(IDMESA),IDMESA,0)) < "
        "3000 ",
        "INSERT INTO ACOMPANAMIENTOS(IDCOMANDA, NOMBREPRODUCTO, CODPRODUCTO, ACOMPANAMIENTO, "
        "CODINSUMO, CANTIDAD, COSTO) VALUES (1, 'Pan', 101, 'Queso', 202, '2' , '350.5')",
        "SELECT TOP 1 * FROM ACOMPANAMIENTOS ORDER BY ID DESC",
        "SELECT @@IDENTITY AS id",
        "SELECT * FROM COMANDAS WHERE IDCOMANDA = ?",
        "SELECT * FROM ACOMPANAMIENTOS WHERE ID = ?",
        "SELECT * FROM INSUMOS AS I WHERE i.codigo = '202'",
        // Inventory replication
        "SELECT TOP 50 * FROM COMUNICACIONES WHERE DESTINO = '" + G +
            "' AND (tabla = 1 or tabla = 2 or tabla = 3) AND ENVIADO = FALSE",
        "SELECT count(*) as cantidad FROM COMUNICACIONES WHERE DESTINO = '" + G +
            "' AND (tabla = 1 or tabla = 2 or tabla = 3) AND ENVIADO = FALSE",
        "SELECT count(*) as cantidad FROM COMUNICACIONES WHERE DESTINO = '" + G +
            "' AND (tabla = 1 or tabla = 2 or tabla = 3)",
        "delete from comunicaciones where tabla = 1 or tabla = 2 or tabla = 3",
        "SELECT * FROM INSUMOS",
        "SELECT * FROM PRODUCTOS",
        "SELECT * FROM RZS",
        "delete from insumos",
        "SELECT * FROM COMUNICACIONES WHERE DESTINO = '" + G +
            "' AND (tabla = 1 or tabla = 2 or tabla = 3) AND ENVIADO = FALSE",
        "SELECT * FROM COMUNICACIONES WHERE DESTINO = '" + G +
            "' AND (tabla = 1 or tabla = 2 or tabla = 3) AND SERVICIO = 1 AND ENVIADO = TRUE",
        "CREATE TABLE AUX (CODIGO NUMERIC, NOMBRE TEXT, SALDO NUMERIC, U_FECHA TEXT)",
        "INSERT INTO AUX SELECT * FROM UltimoRegistroInventario",
        "UPDATE INSUMOS AS I INNER JOIN AUX AS A ON CSTR(A.CODIGO) = I.CODIGO SET I.UINVF = "
        "A.U_FECHA, I.UINVC = A.SALDO",
        "DROP TABLE AUX",
        "CREATE TABLE AUX (CODIGO NUMERIC, SALDO NUMERIC)",
        "UPDATE INSUMOS SET CANTKAL = UINVC",
        "INSERT INTO AUX SELECT CODIGO, SALDO FROM SaldoInsumosUltimoCierre",
        "UPDATE INSUMOS AS I INNER JOIN AUX AS A ON CSTR(A.CODIGO) = I.CODIGO SET I.CANTKAL = "
        "A.SALDO",
        "DROP TABLE AUX",
        // Third parties and users
        "SELECT IDTERCERO FROM TERCEROS WHERE TELEFONO1 = '3001234567'",
        "SELECT * FROM TERCEROS WHERE IDTERCERO = 5",
        "SELECT * FROM SUCYAGEN AS S INNER JOIN PSYAG AS PA ON LEFT(S.IDSYA,5) = PA.CODIGO WHERE "
        "TERCERO = '800100' ",
        "select * from Terceros where telefono1 = '3001234567'",
        "Terceros",
        "SELECT TOP 1 * FROM TERCEROS ORDER BY IDTercero DESC",
        "SELECT * FROM TERCEROS WHERE IDTercero = 5",
        "SELECT * FROM PRODUCTOS AS P INNER JOIN XX0100 AS X ON 'Impuesto'&P.IMPX = X.NOMBRE WHERE "
        "CodigoAB = '101' ",
        "SELECT * FROM PRODUCTOS WHERE CodigoAB = '101' ",
        "SELECT * FROM PW WHERE idtercero = 5",
        // Doctors import
        "Update Terceros set Proveedor = true, Cliente = False, idCliente = '12', Nombre = 'Ana "
        "Perez'  where IdDocumento = '52000111' ",
        "insert into Terceros (Nombre, IdDocumento, IdCliente, proveedor, Representante, "
        "TipoDocumento, Persona, Regimen, Direccion, Telefono1, Telefono2, Mail, Sangre, "
        "Comentarios, FNacimiento, FIngreso, FRetiro, Ciudad) Values(?, ?, ?, true, 'No Definido', "
        "'Nit/CC', 'No definido', 'Simplificado', 'No Definido', 'No Definido', 'No Definido', 'No "
        "Definido', '0', 'No Definido', Now, Now, Now, 'No Definido')",
        // Support messaging window
        "INSERT INTO MENSAJE(mensaje, destino, origen, PRIORIDAD) VALUES ('hola', 'SERVIDOR', "
        "'LOCAL', -2)",
        "INSERT INTO COMUNICACIONES(Servicio, Tabla, Origen, Destino, Funcion, Campo1, Campo2, "
        "Campo3, Campo4) VALUES (2, 14, '" +
            S + "', '" + G + "', 'A', 'hola', 'CHAT', 'LOCAL', 1)",
        "INSERT INTO COMUNICACIONES(ORIGEN, DESTINO, SERVICIO, TABLA , Campo1, Campo2, Campo3, "
        "Campo4) VALUES ('" +
            S + "', '" + G + "', 4, 20 , 'cliente' , 'Mensaje' , 'Tienda' , '3001234567' ) ",
        "SELECT TOP 15 * FROM MENSAJE WHERE PRIORIDAD = -2 ORDER by ID DESC ",
    };
}

TEST(Corpus, CadaSentenciaSeTraduceYCorre) {
    prueba::BaseMemoria base;
    for (const std::string& sql : corpus()) {
        SCOPED_TRACE(sql);
        EXPECT_NO_THROW(base.ejecutar(sql));
    }
}

}  // namespace
