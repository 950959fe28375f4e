// Behaviour of translated statements on a real (in-memory) SQLite database,
// and the translator's handling of malformed text and of its cache.
#include <gtest/gtest.h>

#include <string>

#include "BaseMemoria.h"
#include "datos/sql/Traductor.h"

namespace {

using datos::sql::ErrorTraduccion;
using datos::sql::traducir;
using Filas = std::vector<std::vector<std::string>>;

const std::string S = "900100001";

// The outbound batch: each arm of the UNION keeps its own TOP, and takes its
// rows in the final order, so the oldest rows leave first.
TEST(Traductor, TopEnCadaBrazoDeUnionConElOrdenFinal) {
    prueba::BaseMemoria base;
    base.sqlite("BEGIN");
    for (int k = 0; k < 253; ++k) {
        const bool cuatro = k == 40 || k == 41 || k == 250;
        base.sqlite("INSERT INTO COMUNICACIONES (Servicio, Tabla, Destino) VALUES (" +
                    std::string(cuatro ? "4" : "2") + ", " + (k == 7 ? "''" : "6") + ", '" +
                    (k == 8 ? S : "000000000000000") + "')");
    }
    base.sqlite("UPDATE COMUNICACIONES SET Enviado = 1 WHERE Id = 10");
    base.sqlite("COMMIT");
    const Filas filas = base.ejecutar(
        "SELECT top 200  * FROM COMUNICACIONES WHERE ENVIADO = False AND ISNUMERIC(TABLA) and "
        "Destino <> '" +
        S +
        "' AND SERVICIO <> 4 UNION SELECT top 1  * FROM COMUNICACIONES WHERE ENVIADO = False "
        "AND ISNUMERIC(TABLA) and Destino <> '" +
        S + "' AND SERVICIO = 4 ORDER BY SERVICIO, ID");
    ASSERT_EQ(filas.size(), 201u);
    // Ids are k + 1; rows 8 (empty Tabla), 9 (this site) and 10 (sent) never leave.
    std::vector<int> esperados;
    for (int id = 1; esperados.size() < 200; ++id)
        if (id != 8 && id != 9 && id != 10 && id != 41 && id != 42) esperados.push_back(id);
    for (size_t k = 0; k < 200; ++k) {
        EXPECT_EQ(filas[k][1], "2");
        EXPECT_EQ(std::stoi(filas[k][0]), esperados[k]);
    }
    EXPECT_EQ(filas[200][0], "41");
    EXPECT_EQ(filas[200][1], "4");
    // TOP alone and with ORDER BY ... DESC.
    EXPECT_EQ(base.valor("SELECT TOP 1 ID FROM COMUNICACIONES ORDER BY ID DESC"), "253");
}

// Text compares as the dialect does: without regard to case or accents, for
// literals, placeholders, LIKE and IN, against columns and expressions.
TEST(Traductor, ComparacionDeTextoSinCasoNiAcentos) {
    prueba::BaseMemoria base;
    base.sqlite(
        "INSERT INTO XX0100 VALUES ('Nombre Establecimiento', 'Café Peña'), ('REGIMEN', 'Comun'), "
        "('Terminal Cliente', '1'), ('Codigo Sucursales y Agencias', '001')");
    EXPECT_EQ(base.valor("SELECT DESCRIPCION AS cliente FROM XX0100 WHERE UCASE(NOMBRE) = "
                         "'Nombre Establecimiento'"),
              "Café Peña");
    EXPECT_EQ(base.valor("SELECT DESCRIPCION AS idSyA FROM XX0100 WHERE UCASE(NOMBRE) = 'Codigo "
                         "Sucursales y Agencias'"),
              "001");
    EXPECT_EQ(base.valor("SELECT NOMBRE FROM XX0100 WHERE DESCRIPCION = 'CAFE PENA'"),
              "Nombre Establecimiento");
    EXPECT_EQ(base.valor("SELECT NOMBRE FROM XX0100 WHERE ? = DESCRIPCION", {"café peña"}),
              "Nombre Establecimiento");
    EXPECT_EQ(base.valor("SELECT COUNT(*) FROM XX0100 WHERE NOMBRE IN ('regimen', 'TERMINAL "
                         "cliente')"),
              "2");
    EXPECT_EQ(base.valor("SELECT NOMBRE FROM XX0100 WHERE DESCRIPCION LIKE '*fé p?ña'"),
              "Nombre Establecimiento");
    EXPECT_EQ(base.valor("SELECT COUNT(*) FROM XX0100 WHERE DESCRIPCION < 'd' AND NOMBRE <> "
                         "'regimen'"),
              "3");
    // The collation backs unique indexes: a key differing only in case is a duplicate.
    base.sqlite("CREATE UNIQUE INDEX ixNombre ON XX0100 (NOMBRE)");
    EXPECT_THROW(base.ejecutar("INSERT INTO XX0100 VALUES ('regimen', 'x')"), std::runtime_error);
}

// LIKE patterns of the dialect: * any run, ? one character; % and _ are
// ordinary characters there. A pattern built at run time is converted too.
TEST(Traductor, LikeConComodinesDelDialecto) {
    prueba::BaseMemoria base;
    base.sqlite(
        "INSERT INTO RZS (IdProducto, Tipo) VALUES ('101', 'Principal'), ('101', 'PRINCIPIO'), "
        "('101', 'Otro'), ('102', 'Principal'), ('101', '50% desc'), ('101', '500 desc')");
    EXPECT_EQ(base.valor("SELECT COUNT(*) FROM RZS WHERE TIPO LIKE '50%*'"), "1");
    EXPECT_EQ(base.valor("SELECT COUNT(*) FROM RZS WHERE TIPO LIKE ? & '*'", {"prin"}), "3");
    EXPECT_EQ(base.valor("SELECT COUNT(*) FROM RZS WHERE TIPO NOT LIKE 'Otr?'"), "5");
    base.ejecutar("DELETE FROM RZS WHERE IDPRODUCTO = '101' AND TIPO like 'Prin*'");
    const Filas quedan = base.ejecutar("SELECT IdProducto, Tipo FROM RZS ORDER BY Tipo");
    EXPECT_EQ(
        quedan,
        (Filas{{"101", "50% desc"}, {"101", "500 desc"}, {"101", "Otro"}, {"102", "Principal"}}));
}

// A date written as text into a date column is stored in ISO form, so the
// dialect's date literals (year first, or month first) find it.
TEST(Traductor, FechasEnColumnasDeFecha) {
    prueba::BaseMemoria base;
    base.ejecutar(
        "INSERT INTO MOVINVHOY (fecha, NUMERORR, SyA, CODIGO) VALUES ('07/12/2026', "
        "'R-1', '900100002', '101')");
    base.ejecutar(
        "INSERT INTO MOVINV VALUES ('2026-12-08 10:30:00', 'R-2', '900100002', '101', "
        "'Remision', -5, 10)");
    EXPECT_EQ(base.valor("SELECT fecha FROM MOVINVHOY"), "2026-12-07");
    const std::string duplicado =
        "select COUNT(*) AS ID from movinvHOY where fecha = #2026/12/07# AND NUMERORR = 'R-1' AND "
        "SyA = '900100002' AND CODIGO = '101' UNION select COUNT(*) AS ID from movinv where fecha "
        "= #2026/12/07# AND NUMERORR = 'R-1' AND SyA = '900100002' AND CODIGO = '101' ";
    int suma = 0;
    for (const auto& fila : base.ejecutar(duplicado)) suma += std::stoi(fila[0]);
    EXPECT_EQ(suma, 1);
    EXPECT_EQ(base.valor("SELECT COUNT(*) FROM MOVINVHOY WHERE fecha = #12/7/2026#"), "1");
    EXPECT_EQ(base.valor("SELECT NUMERORR FROM MOVINV WHERE fecha = #2026/12/08 10:30:00 AM#"),
              "R-2");
    EXPECT_EQ(base.valor("SELECT NUMERORR FROM MOVINVHOY WHERE fecha = '07/12/2026'"), "R-1");
    // By position (no column list) and in UPDATE ... SET.
    base.ejecutar("INSERT INTO MOVINV VALUES ('09/12/2026', 'R-3', 'x', '1', 'c', 1, 1)");
    base.ejecutar("UPDATE MOVINVHOY SET fecha = '31/12/2026', NUMERORR = '31/12/2026'");
    EXPECT_EQ(base.valor("SELECT fecha FROM MOVINV WHERE NUMERORR = 'R-3'"), "2026-12-09");
    EXPECT_EQ(base.ejecutar("SELECT fecha, NUMERORR FROM MOVINVHOY"),
              (Filas{{"2026-12-31", "31/12/2026"}}));
    // An empty or impossible literal is an error, not a silent mismatch.
    EXPECT_THROW(traducir("SELECT * FROM MOVINV WHERE fecha = ## AND CODIGO = '1'"),
                 ErrorTraduccion);
    EXPECT_THROW(traducir("SELECT * FROM MOVINV WHERE fecha = #2026/02/30#"), ErrorTraduccion);
}

// corregirSaldosInventario: UPDATE ... INNER JOIN ... SET through a scratch
// table filled from saved queries.
TEST(Traductor, UpdateConInnerJoinYConsultasGuardadas) {
    prueba::BaseMemoria base;
    base.sqlite(
        "INSERT INTO INSUMOS (Codigo, Nombre, Inventario, Costo, UInvF, UInvC, CANTKAL) VALUES "
        "('101', 'Harina', 40, 0, NULL, 0, 0), ('202', 'Queso', 7.5, 3, NULL, 0, 0), "
        "('X9', 'Sal', 1, 0, '2020-01-01', 9, 9)");
    for (const char* sql :
         {"CREATE TABLE AUX (CODIGO NUMERIC, NOMBRE TEXT, SALDO NUMERIC, U_FECHA TEXT)",
          "INSERT INTO AUX SELECT * FROM UltimoRegistroInventario",
          "UPDATE INSUMOS AS I INNER JOIN AUX AS A ON CSTR(A.CODIGO) = I.CODIGO SET I.UINVF = "
          "A.U_FECHA, I.UINVC = A.SALDO",
          "DROP TABLE AUX", "CREATE TABLE AUX (CODIGO NUMERIC, SALDO NUMERIC)",
          "UPDATE INSUMOS SET CANTKAL = UINVC",
          "INSERT INTO AUX SELECT CODIGO, SALDO FROM SaldoInsumosUltimoCierre",
          "UPDATE INSUMOS AS I INNER JOIN AUX AS A ON CSTR(A.CODIGO) = I.CODIGO SET I.CANTKAL = "
          "A.SALDO",
          "DROP TABLE AUX"})
        base.ejecutar(sql);
    EXPECT_EQ(base.ejecutar("SELECT Codigo, UInvF, UInvC, CANTKAL FROM INSUMOS ORDER BY Codigo"),
              (Filas{{"101", "2026-12-01", "40.0", "40.0"},
                     {"202", "2026-12-01", "7.5", "3.0"},
                     {"X9", "2020-01-01", "9.0", "9.0"}}));
    // The joined table named in SET is the one updated; a WHERE is kept.
    base.ejecutar(
        "UPDATE PRODUCTOS AS P INNER JOIN INSUMOS AS I ON P.CodigoAB = I.Codigo SET "
        "I.Nombre = P.NombreProducto WHERE P.Negocio = 'cocina'");
    base.sqlite(
        "INSERT INTO PRODUCTOS (CodigoAB, NombreProducto, Negocio) VALUES ('101', 'Pan', "
        "'COCINA'), ('202', 'Arepa', 'BAR')");
    base.ejecutar(
        "UPDATE PRODUCTOS AS P INNER JOIN INSUMOS AS I ON P.CodigoAB = I.Codigo SET "
        "I.Nombre = P.NombreProducto WHERE P.Negocio = 'cocina'");
    EXPECT_EQ(base.ejecutar("SELECT Nombre FROM INSUMOS ORDER BY Codigo"),
              (Filas{{"Pan"}, {"Queso"}, {"Sal"}}));
    EXPECT_THROW(traducir("UPDATE a LEFT JOIN b ON a.x = b.x SET a.y = 1"), ErrorTraduccion);
}

// getMesaDomicilio's next free delivery table, and getProducto's join on a
// concatenation.
TEST(Traductor, MesaDomicilioYJoinConcatenado) {
    prueba::BaseMemoria base;
    const std::string mesa =
        "Select max(cint(IIF(ISNUMERIC(IDMESA),IDMESA,0))) as mesa from Comandas where "
        "cint(IIF(ISNUMERIC(IDMESA),IDMESA,0)) > 2000 AND cint(IIF(ISNUMERIC(IDMESA),IDMESA,0)) < "
        "3000 ";
    base.sqlite("INSERT INTO COMANDAS (IDMESA) VALUES ('2000'), ('3000'), ('A12'), (NULL), ('7')");
    EXPECT_EQ(base.valor(mesa), "NULL");
    base.sqlite("INSERT INTO COMANDAS (IDMESA) VALUES ('2001'), ('2010'), (' 2005 ')");
    EXPECT_EQ(base.valor(mesa), "2010");

    base.sqlite(
        "INSERT INTO XX0100 VALUES ('Impuesto19', '19'), ('IMPUESTO5', '5');"
        "INSERT INTO PRODUCTOS (CodigoAB, NombreProducto, impx) VALUES ('101', 'Pan', 19), "
        "('102', 'Vino', '5'), ('103', 'Agua', NULL)");
    const std::string producto =
        "SELECT NombreProducto, DESCRIPCION FROM PRODUCTOS AS P INNER JOIN XX0100 AS X ON "
        "'Impuesto'&P.IMPX = X.NOMBRE WHERE CodigoAB = '";
    EXPECT_EQ(base.ejecutar(producto + "101' "), (Filas{{"Pan", "19"}}));
    EXPECT_EQ(base.ejecutar(producto + "102' "), (Filas{{"Vino", "5"}}));
    EXPECT_TRUE(base.ejecutar(producto + "103' ").empty());
    // & treats Null as empty text; arithmetic binds tighter than &.
    EXPECT_EQ(base.valor("SELECT 'a' & NULL & 1 + 2 & 2.5"), "a32.5");
}

// CREATE TABLE with the dialect's types: text compares without case, a memo
// keeps its text as written, COUNTER numbers the rows.
TEST(Traductor, CreateTableConTiposDelDialecto) {
    prueba::BaseMemoria base;
    base.ejecutar(
        "CREATE TABLE NOTAS (ID COUNTER, CLAVE TEXT(20), NOTA MEMO, HECHA BIT, MONTO "
        "CURRENCY)");
    base.ejecutar("INSERT INTO NOTAS (CLAVE, NOTA, HECHA, MONTO) VALUES ('Ñandú', '007', TRUE, 5)");
    base.ejecutar("INSERT INTO NOTAS (CLAVE, NOTA, HECHA, MONTO) VALUES ('b', '0.50', FALSE, 1)");
    EXPECT_EQ(base.ejecutar("SELECT ID, NOTA, typeof(NOTA), HECHA FROM NOTAS WHERE CLAVE = "
                            "'nandu'"),
              (Filas{{"1", "007", "text", "1"}}));
    EXPECT_EQ(base.valor("SELECT MAX(ID) FROM NOTAS WHERE NOTA = '0.50'"), "2");
    EXPECT_EQ(base.valor("SELECT type FROM pragma_table_info('NOTAS') WHERE name = 'HECHA'"),
              "YESNO");
}

TEST(Traductor, TextoMalFormadoYVariasSentencias) {
    EXPECT_THROW(traducir("SELECT 'abc FROM t"), ErrorTraduccion);
    EXPECT_THROW(traducir("SELECT [abc FROM t"), ErrorTraduccion);
    EXPECT_THROW(traducir("SELECT (a FROM t"), ErrorTraduccion);
    EXPECT_THROW(traducir("SELECT a) FROM t"), ErrorTraduccion);
    EXPECT_THROW(traducir("SELECT a FROM t; DROP TABLE t"), ErrorTraduccion);
    EXPECT_THROW(traducir(""), ErrorTraduccion);
    EXPECT_THROW(traducir(std::string(5000, '(') + std::string(5000, ')')), ErrorTraduccion);
    EXPECT_EQ(traducir("DELETE * FROM t WHERE a = 1;"), "DELETE FROM t WHERE a = 1");
    EXPECT_EQ(traducir("Comunicaciones"), "SELECT * FROM Comunicaciones");
    // Quotes of both kinds inside literals survive; brackets become SQL names.
    EXPECT_EQ(traducir("SELECT \"O'Brien \"\"x\"\"\", [Fecha Costo] FROM t"),
              "SELECT 'O''Brien \"x\"', \"Fecha Costo\" FROM t");
}

}  // namespace
