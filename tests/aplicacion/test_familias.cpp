// The catalogue families: supplies, products and recipe lines, applied to a
// real site database.
#include <gtest/gtest.h>

#include "soporte/EntornoAplicacion.h"

namespace {

using prueba::EntornoAplicacion;

// A supply record: Campo k is the k-th column of Insumos.
std::map<int, std::string> insumo(const std::string& codigo, const std::string& nombre) {
    return {{1, codigo},     {2, nombre},  {3, "PEPS"},           {4, "12"},
            {5, "Kilo"},     {6, "1500"},  {7, "05/05/2005"},     {8, "3"},
            {9, "Bolsa"},    {10, "Std"},  {11, "Materia Prima"}, {12, codigo},
            {13, "Ninguno"}, {14, "1500"}, {15, "06/06/2006"},    {16, "0"},
            {17, "2"}};
}

std::map<int, std::string> producto(const std::string& codigo, const std::string& nombre,
                                    const std::string& negocio = "") {
    std::map<int, std::string> c = {{1, codigo}, {2, nombre},  {3, "Pizzas"}, {4, negocio},
                                    {7, "1"},    {9, "21000"}, {12, "True"}};
    for (int k = 13; k <= 21; ++k) c[k] = std::to_string(1000 * (k - 12));
    return c;
}

std::map<int, std::string> lineaReceta(const std::string& prod, const std::string& ins,
                                       const std::string& tipo = "Receta") {
    return {{2, prod},  {3, ins},    {4, " PRODUCTO "}, {5, " INSUMO "},
            {6, "0.5"}, {7, "Kilo"}, {8, tipo},         {10, " Masa "}};
}

TEST(Catalogo, UnaCorridaGuardaInsumoProductoYReceta) {
    EntornoAplicacion e;
    // Queued in reverse order: the run still applies supplies, then
    // products, then recipe lines.
    int32_t r = e.recibir(3, "A", lineaReceta("4001", "3001"));
    int32_t p = e.recibir(
        2, "A", producto("4001", "Pizza D'Angelo de la casa con extra queso y borde relleno"));
    int32_t s = e.recibir(1, "A", insumo("3001", "  Harina O'Neil  "));
    e.aplicar();

    for (int32_t id : {r, p, s}) EXPECT_EQ(e.funcionDe(id), "X");
    EXPECT_EQ(e.valor("SELECT Nombre FROM Insumos WHERE Codigo = '3001'"), "Harina O'Neil");
    EXPECT_EQ(e.valor("SELECT Inventario FROM Insumos WHERE Codigo = '3001'"), "12");
    // A new supply takes no dates from the record.
    EXPECT_EQ(e.valor("SELECT UInvF FROM Insumos WHERE Codigo = '3001'"), "");

    EXPECT_EQ(e.valor("SELECT NombreProducto FROM Productos WHERE CodigoAB = '4001'"),
              "Pizza D'Angelo de la casa con extra queso y borde relleno");
    EXPECT_EQ(e.valor("SELECT Negocio FROM Productos WHERE CodigoAB = '4001'"), "COCINA");
    EXPECT_EQ(e.valor("SELECT Precio9 FROM Productos WHERE CodigoAB = '4001'"), "9000");
    EXPECT_EQ(e.valor("SELECT Bloquear FROM Productos WHERE CodigoAB = '4001'"), "True");

    // The backing supply of the new product, with its defaults.
    EXPECT_EQ(e.valor("SELECT Nombre FROM Insumos WHERE Codigo = '4001'"),
              "PIZZA D'ANGELO DE LA CASA CON EXTRA QUESO Y BORDE");
    EXPECT_EQ(e.valor("SELECT Categoria FROM Insumos WHERE Codigo = '4001'"), "Producto Terminado");
    EXPECT_EQ(e.valor("SELECT UInvF FROM Insumos WHERE Codigo = '4001'"), "01/01/2001");
    EXPECT_EQ(e.valor("SELECT Padre FROM Insumos WHERE Codigo = '4001'"), "4001");

    EXPECT_EQ(e.contar("Rzs WHERE IdProducto = '4001' AND IdInsumo = '3001'"), 1);
    EXPECT_EQ(e.valor("SELECT Producto FROM Rzs WHERE IdProducto = '4001'"), "PRODUCTO");
    EXPECT_EQ(e.valor("SELECT Medidor FROM Rzs WHERE IdProducto = '4001'"), "UNIDAD");
    EXPECT_EQ(e.contar("PREPARACIONES WHERE Codigo IN ('3001', '4001')"), 2);
}

TEST(Catalogo, ActualizarProductoSoloTocaCincoColumnas) {
    EntornoAplicacion e;
    auto c = producto("2001", "Pizza Hawaiana Grande");
    c[3] = "Especiales";
    c[7] = "2";
    c[9] = "27500";
    c[12] = "True";
    e.recibir(2, "A", c);
    e.aplicar();

    EXPECT_EQ(e.valor("SELECT NombreProducto FROM Productos WHERE CodigoAB = '2001'"),
              "Pizza Hawaiana Grande");
    EXPECT_EQ(e.valor("SELECT Categoria FROM Productos WHERE CodigoAB = '2001'"), "Especiales");
    EXPECT_EQ(e.valor("SELECT Negocio FROM Productos WHERE CodigoAB = '2001'"), "");
    EXPECT_EQ(e.valor("SELECT impx FROM Productos WHERE CodigoAB = '2001'"), "2");
    EXPECT_EQ(e.valor("SELECT PrecioUnidad FROM Productos WHERE CodigoAB = '2001'"), "27500");
    // Untouched by an update.
    EXPECT_EQ(e.valor("SELECT Bloquear FROM Productos WHERE CodigoAB = '2001'"), "False");
    EXPECT_EQ(e.valor("SELECT Precio1 FROM Productos WHERE CodigoAB = '2001'"), "25000");
    EXPECT_EQ(e.valor("SELECT CodigoBarras FROM Productos WHERE CodigoAB = '2001'"),
              "7701234000011");
    EXPECT_EQ(e.contar("Productos WHERE CodigoAB = '2001'"), 1);
}

TEST(Catalogo, ActualizarProductoConImpuestoOPrecioQueNoEsNumeroSeRechaza) {
    EntornoAplicacion e;
    auto precio = producto("2001", "Pizza Hawaiana Grande");
    precio[9] = "cien";
    auto impuesto = producto("2002", "Papas Grandes");
    impuesto[7] = "";
    int32_t a = e.recibir(2, "A", precio);
    int32_t b = e.recibir(2, "A", impuesto);
    e.aplicar();

    // Neither is marked nor written: no text lands in a number column.
    EXPECT_EQ(e.funcionDe(a), "A");
    EXPECT_EQ(e.funcionDe(b), "A");
    EXPECT_EQ(e.aplicador.resumen().fallidos, 2);
    EXPECT_TRUE(e.enBitacora("Campo9 del producto no es un numero: 'cien'"));
    EXPECT_EQ(e.valor("SELECT NombreProducto FROM Productos WHERE CodigoAB = '2001'"),
              "Pizza Hawaiana");
    EXPECT_EQ(e.contar("Productos WHERE typeof(PrecioUnidad) = 'text' OR typeof(impx) = 'text'"),
              0);
}

// An update converts each value by its column's kind, as an insert does: a
// value the column cannot hold refuses the record, and the table stays
// readable afterwards.
TEST(Catalogo, ActualizarProductoConValorQueSuColumnaNoAdmiteSeRechaza) {
    EntornoAplicacion e;
    auto precio = producto("2001", "Pizza Hawaiana Grande");
    precio[9] = "1E400";
    auto impuesto = producto("2002", "Papas Grandes");
    impuesto[7] = "99999";
    auto nombre = producto("2003", std::string(101, 'G'));
    auto fraccion = producto("2003", "Gaseosa Grande");
    fraccion[7] = "2.5";
    const int32_t a = e.recibir(2, "A", precio);
    const int32_t b = e.recibir(2, "A", impuesto);
    const int32_t c = e.recibir(2, "A", nombre);
    const int32_t d = e.recibir(2, "A", fraccion);
    e.aplicar();

    for (int32_t id : {a, b, c}) EXPECT_EQ(e.funcionDe(id), "A") << id;
    EXPECT_EQ(e.funcionDe(d), "X");
    EXPECT_EQ(e.aplicador.resumen().fallidos, 3);
    EXPECT_EQ(e.valor("SELECT NombreProducto FROM Productos WHERE CodigoAB = '2001'"),
              "Pizza Hawaiana");
    // Converted as an insert converts it: half to even.
    EXPECT_EQ(e.valor("SELECT impx FROM Productos WHERE CodigoAB = '2003'"), "2");
    EXPECT_EQ(e.contar("Productos WHERE typeof(impx) <> 'integer' OR length(NombreProducto) > 100"),
              0);
    e.con.conectar();
    auto todos = e.con.Query("Productos");
    int filas = 0;
    while (!datos::DAO_Conexion::RsVacio(todos)) {
        for (size_t i = 0; i < todos->numeroCampos(); ++i) EXPECT_NO_THROW(todos->valorCampo(i));
        ++filas;
        todos->MoveNext();
    }
    todos->Close();
    e.con.desconectar();
    EXPECT_EQ(filas, 3);
}

// A name with no blank near the cut gives the backing supply exactly its
// first 50 characters, upper-cased.
TEST(Catalogo, NombreDelInsumoDeRespaldoSeCortaEnCincuenta) {
    EntornoAplicacion e;
    std::string nombre;
    for (int i = 0; i < 60; ++i) nombre += static_cast<char>('a' + i % 26);
    e.recibir(2, "A", producto("4004", nombre));
    e.aplicar();
    std::string esperado = nombre.substr(0, 50);
    for (char& c : esperado) c = static_cast<char>(c - 'a' + 'A');
    EXPECT_EQ(e.valor("SELECT Nombre FROM Insumos WHERE Codigo = '4004'"), esperado);
    EXPECT_EQ(e.valor("SELECT NombreProducto FROM Productos WHERE CodigoAB = '4004'"), nombre);
}

TEST(Catalogo, BorrarInsumoConservaSuFilaYQuitaSoloSuProductoYReceta) {
    EntornoAplicacion e;
    int32_t id = e.recibir(1, "E", {{1, "2001"}, {2, "PIZZA HAWAIANA"}});
    e.aplicar();
    EXPECT_EQ(e.funcionDe(id), "X");
    EXPECT_EQ(e.valor("SELECT Inventario FROM Insumos WHERE Codigo = '2001'"), "-1");
    EXPECT_EQ(e.valor("SELECT Nombre FROM Insumos WHERE Codigo = '2001'"), "");
    EXPECT_EQ(e.contar("Productos WHERE CodigoAB = '2001'"), 0);
    EXPECT_EQ(e.contar("Rzs WHERE IdProducto = '2001'"), 0);
    // Neighbours untouched.
    EXPECT_EQ(e.valor("SELECT Nombre FROM Insumos WHERE Codigo = '2002'"), "PAPAS A LA FRANCESA");
    EXPECT_EQ(e.contar("Productos WHERE CodigoAB = '2002'"), 1);
    EXPECT_EQ(e.contar("Rzs WHERE IdProducto = '2002'"), 1);
}

TEST(Catalogo, ActualizarInsumoConservaLasFechasLocales) {
    EntornoAplicacion e;
    e.recibir(1, "A", insumo("1001", "HARINA INTEGRAL"));
    e.aplicar();
    EXPECT_EQ(e.contar("Insumos WHERE Codigo = '1001'"), 1);
    EXPECT_EQ(e.valor("SELECT Nombre FROM Insumos WHERE Codigo = '1001'"), "HARINA INTEGRAL");
    EXPECT_EQ(e.valor("SELECT Costo FROM Insumos WHERE Codigo = '1001'"), "1500");
    EXPECT_EQ(e.valor("SELECT UInvF FROM Insumos WHERE Codigo = '1001'"), "30/11/2026");
    EXPECT_EQ(e.valor("SELECT [Fecha Costo] FROM Insumos WHERE Codigo = '1001'"), "30/11/2026");
}

TEST(Catalogo, BorrarRecetaSoloDeUnProductoYSegunElTipo) {
    EntornoAplicacion e;
    e.ejecutar(
        "INSERT INTO Rzs (IdProducto, IdInsumo, Tipo) VALUES ('2001', '1006', 'Extra'), "
        "('2002', '1001', 'Receta')");
    int32_t id = e.recibir(3, "E", lineaReceta("2001", "1001", "Recetario"));
    e.aplicar();
    EXPECT_EQ(e.funcionDe(id), "X");
    EXPECT_EQ(e.contar("Rzs WHERE IdProducto = '2001'"), 1);
    EXPECT_EQ(e.valor("SELECT Tipo FROM Rzs WHERE IdProducto = '2001'"), "Extra");
    EXPECT_EQ(e.contar("Rzs WHERE IdProducto = '2002'"), 2);

    // A type made of pattern characters is matched as written: a line of
    // type "*" or "?ece" erases the lines of that type only, not every line
    // of the product, nor its "Receta" lines.
    e.ejecutar(
        "INSERT INTO Rzs (IdProducto, IdInsumo, Tipo) VALUES ('2002', '1006', '*'), "
        "('2002', '1005', '?ece')");
    e.recibir(3, "E", lineaReceta("2002", "1006", "*"));
    e.recibir(3, "E", lineaReceta("2002", "1005", "?ece"));
    e.aplicar();
    EXPECT_EQ(e.contar("Rzs WHERE IdProducto = '2002'"), 2);
    EXPECT_EQ(e.contar("Rzs WHERE IdProducto = '2002' AND Tipo IN ('*', '?ece')"), 0);
}

TEST(Catalogo, LineaDeRecetaSinIngredienteRegistraSoloLaPreparacion) {
    EntornoAplicacion e;
    e.recibir(3, "A", lineaReceta("2003", "9999"));
    // An incomplete line (empty Campo4) is copied as it stands.
    auto incompleta = lineaReceta("2002", "1005");
    incompleta.erase(4);
    e.recibir(3, "A", incompleta);
    e.aplicar();
    EXPECT_EQ(e.contar("Rzs WHERE IdInsumo = '9999'"), 0);
    EXPECT_EQ(e.contar("PREPARACIONES WHERE Codigo = '2003'"), 1);
    EXPECT_EQ(e.contar("Rzs WHERE IdProducto = '2002'"), 2);
}

// The point of sale reads these rows: an empty value leaves a price, a
// balance or a date at the column's default, never Null.
TEST(Catalogo, ValorVacioAlInsertarDejaElValorPorDefecto) {
    EntornoAplicacion e;
    auto p = producto("4002", "Empanada");
    for (int k = 15; k <= 21; ++k) p[k] = "";  // Precio3 .. Precio9
    e.recibir(2, "A", p);
    auto i = insumo("3002", "Maiz");
    i[16] = "";  // CANTKAL
    i[17] = "";  // StockMinimo
    e.recibir(1, "A", i);
    e.recibir(14, "A", {{1, "Sin fecha"}, {2, "CHAT"}, {3, "LOCAL"}, {4, "1"}});
    e.aplicar();
    EXPECT_EQ(e.valor("SELECT Precio2 || '|' || Precio3 || '|' || Precio9 FROM Productos WHERE "
                      "CodigoAB = '4002'"),
              "2000|0|0");
    EXPECT_EQ(e.valor("SELECT CANTKAL || '|' || StockMinimo FROM Insumos WHERE Codigo = '3002'"),
              "0.0|0.0");
    EXPECT_EQ(e.contar("Mensaje WHERE mensaje = 'Sin fecha' AND Fecha IS NOT NULL"), 1);
}

// An update that carries no value for a number column keeps what the site
// has there instead of turning it into Null.
TEST(Catalogo, ValorVacioAlActualizarConservaElValor) {
    EntornoAplicacion e;
    auto i = insumo("3003", "Arroz");
    i[16] = "12.5";  // CANTKAL
    e.recibir(1, "A", i);
    e.aplicar();
    i[16] = "";
    i[6] = "";  // Costo
    e.recibir(1, "A", i);
    e.aplicar();
    EXPECT_EQ(
        e.valor("SELECT CANTKAL || '|' || (Costo IS NULL) FROM Insumos WHERE Codigo = '3003'"),
        "12.5|0");
}

}  // namespace
