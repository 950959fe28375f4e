// Hostile text through every member of an inbound record and every family:
// getData answers whose values carry quotes, comment and statement marks,
// parameter markers, NULs, very long texts, numbers where text goes and text
// where numbers go are stored and applied on a real site database. Whatever
// a value holds, it never reaches beyond the rows its record addresses: every
// row that stood before the corpus stands unchanged after it, and a text
// that is stored is stored as it was sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "json/JSON.h"
#include "soporte/EntornoAplicacion.h"

namespace {

using prueba::EntornoAplicacion;

const std::string kSitio = "900100001";
const std::string kOrigen = "900100002";

std::vector<std::string> corpus() {
    return {
        "O'Brien",
        "x' OR '1'='1",
        "'; DELETE FROM PRODUCTOS; --",
        "') ; DROP TABLE COMANDAS; --",
        "1 OR 1=1",
        "-- nada",
        "a;b",
        "::campo",
        ":nombre",
        "?",
        "?1 @a $b",
        "\"entre comillas\"",
        "[corchetes]",
        "#2026/01/01#",
        "*",
        "%",
        "_",
        "\\",
        std::string("a\0b", 3),
        std::string(20000, 'L'),
        "ñandú € 5",
        "12345678901234567890",
        "1E400",
        "-0",
        "2.5",
        "doce",
        " ",
    };
}

// A JSON string for a text, every control character escaped.
std::string cadena(const std::string& t) {
    std::string s = "\"";
    for (char c : t) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            s += '\\';
            s += c;
        } else if (u < 0x20) {
            char e[8];
            std::snprintf(e, sizeof e, "\\u%04x", u);
            s += e;
        } else {
            s += c;
        }
    }
    return s + "\"";
}

using Campos = std::map<int, std::string>;

struct Entrada {
    std::map<std::string, std::string> miembros;  // id, Tabla, Origen, ...
    Campos campos;
};

std::string comoJSON(const std::vector<Entrada>& registros) {
    std::string lista = "[";
    for (const Entrada& r : registros) {
        if (lista.size() > 1) lista += ",";
        std::string objeto = "{";
        for (const auto& [clave, valor] : r.miembros)
            objeto += (objeto.size() > 1 ? "," : "") + cadena(clave) + ":" + cadena(valor);
        for (const auto& [k, valor] : r.campos)
            objeto += ",\"Campo" + std::to_string(k) + "\":" + cadena(valor);
        lista += objeto + "}";
    }
    return lista + "]";
}

// One family: its table code, the number of payload columns its table has,
// a sound record of it (`n` makes its keys unique) and the functions tried.
struct Familia {
    int tabla;
    int columnas;
    Campos (*base)(int n);
    std::vector<std::string> funciones;
};

Campos insumo(int n) {
    const std::string c = "INY-I" + std::to_string(n);
    return {{1, c},          {2, "Insumo iny"}, {3, "PEPS"}, {4, "1"},  {5, "Kilo"},
            {6, "100"},      {7, "05/05/2005"}, {8, "1"},    {9, "B"},  {10, "Std"},
            {11, "Materia"}, {12, c},           {13, "N"},   {14, "1"}, {15, "06/06/2006"},
            {16, "0"},       {17, "2"}};
}
Campos producto(int n) {
    Campos c = {{1, "INY-P" + std::to_string(n)},
                {2, "Producto iny"},
                {3, "Pizzas"},
                {4, "BAR"},
                {7, "1"},
                {9, "21000"},
                {12, "True"}};
    for (int k = 13; k <= 21; ++k) c[k] = "1000";
    return c;
}
// Recipe lines of the demo's product 2001; a type of their own, so that an
// erase of these never matches the demo's lines.
Campos receta(int n) {
    return {{2, "2001"},
            {3, "1001"},
            {4, "PIZZA"},
            {5, "HARINA"},
            {6, "0.5"},
            {7, "Kilo"},
            {8, "Iny" + std::to_string(n)},
            {10, "Masa"},
            {11, "UNIDAD"}};
}
Campos fila(int n) {
    Campos c;
    for (int k = 2; k <= 9; ++k) c[k] = "v" + std::to_string(n);
    c[3] = "2026/12/07";
    return c;
}
Campos sucursal(int n) {
    return {{2, "Sede iny"},
            {3, "T" + std::to_string(n)},
            {4, "S" + std::to_string(n)},
            {5, "Calle"},
            {6, "300"},
            {7, "True"}};
}
Campos mensaje(int n) {
    return {{1, "Mensaje iny " + std::to_string(n)}, {2, "CHAT"}, {3, "LOCAL"}, {4, "1"}};
}
Campos movimiento(int n) {
    return {{2, "INY-M"},
            {3, "Papa"},
            {4, "Kilo"},
            {5, "-1"},
            {6, "100"},
            {7, "2026/12/07"},
            {8, "10:00:00"},
            {9, "Remision"},
            {10, kOrigen},
            {11, "1"},
            {18, "RR" + std::to_string(n)},
            {19, "100"}};
}
Campos pedido(int n) {
    return {{1, "2001"},        {2, "1"},     {3, "Sin hielo"},
            {4, "Cliente iny"}, {5, "Calle"}, {6, "300INY" + std::to_string(n)},
            {7, "1005"}};
}
Campos cuenta(int n) {
    return {{1, "300INY" + std::to_string(n % 5)}, {2, "Impresion Cuenta"}};
}
Campos pago(int n) {
    return {{1, "300INY" + std::to_string(n % 5)}, {2, "Detalle domicilio"}, {3, "Efectivo"}};
}
// Users of the customer the first order of the corpus registers.
Campos usuario(int n) {
    return {{2, std::to_string(n)},          {3, "cajero"}, {4, "clave"},       {5, "300INY0"},
            {6, "caja" + std::to_string(n)}, {7, "1"},      {10, "2026/12/07"}, {11, "0"}};
}

const std::vector<Familia>& familias() {
    static const std::vector<Familia> todas = {
        {1, 17, insumo, {"A", "E"}}, {2, 21, producto, {"A", "E"}}, {3, 12, receta, {"A", "E"}},
        {7, 11, fila, {"A"}},        {8, 19, fila, {"A"}},          {11, 9, fila, {"A"}},
        {12, 4, fila, {"A"}},        {13, 11, sucursal, {"A"}},     {14, 6, mensaje, {"A", "E"}},
        {16, 19, movimiento, {"A"}}, {22, 8, pedido, {"A", "E"}},   {22, 3, cuenta, {"A"}},
        {22, 4, pago, {"A"}},        {24, 9, fila, {"A"}},          {25, 17, usuario, {"A"}},
        {0, 3, fila, {"A"}},         {9, 3, fila, {"A"}},           {99, 3, fila, {"A"}},
    };
    return todas;
}

// Every row of every table but SQLite's own, each as one text of its
// values and their kinds.
std::map<std::string, std::multiset<std::string>> fotografia(EntornoAplicacion& e) {
    std::map<std::string, std::multiset<std::string>> tablas;
    e.con.conectar();
    std::vector<std::string> nombres;
    {
        auto rs = e.con.Query(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite*'");
        while (!datos::DAO_Conexion::RsVacio(rs)) {
            nombres.push_back((*rs)[size_t{0}].texto());
            rs->MoveNext();
        }
    }
    for (const std::string& tabla : nombres) {
        auto& filas = tablas[tabla];
        auto rs = e.con.Query("SELECT * FROM [" + tabla + "]");
        while (!datos::DAO_Conexion::RsVacio(rs)) {
            std::string texto;
            for (size_t i = 0; i < rs->numeroCampos(); ++i) {
                const comun::Variant v = rs->valorCampo(i);
                texto += std::to_string(static_cast<int>(v.tipo())) + ":" + v.texto() + "|";
            }
            filas.insert(std::move(texto));
            rs->MoveNext();
        }
    }
    e.con.desconectar();
    return tablas;
}

// What stood before and is gone or changed now, table by table.
std::map<std::string, std::vector<std::string>> perdidas(
    const std::map<std::string, std::multiset<std::string>>& antes,
    const std::map<std::string, std::multiset<std::string>>& despues) {
    std::map<std::string, std::vector<std::string>> faltan;
    for (const auto& [tabla, filas] : antes) {
        auto it = despues.find(tabla);
        if (it == despues.end()) {
            faltan[tabla].push_back("(the table is gone)");
            continue;
        }
        std::multiset<std::string> quedan = it->second;
        for (const std::string& f : filas) {
            auto hallada = quedan.find(f);
            if (hallada == quedan.end())
                faltan[tabla].push_back(f.substr(0, 200));
            else
                quedan.erase(hallada);
        }
    }
    return faltan;
}

std::string registroFallido(const std::map<std::string, std::vector<std::string>>& faltan) {
    std::string texto;
    for (const auto& [tabla, filas] : faltan)
        for (const auto& f : filas) texto += tabla + ": " + f + "\n";
    return texto;
}

// Rows of `desdeDonde`, whose "?" takes `parametro`.
int contar(EntornoAplicacion& e, const std::string& desdeDonde, const comun::Variant& parametro) {
    e.con.conectar();
    auto rs = e.con.Query("SELECT COUNT(*) AS n FROM " + desdeDonde, {parametro});
    const int n = std::stoi((*rs)[size_t{0}].texto());
    rs->Close();
    e.con.desconectar();
    return n;
}

// Rows the corpus must leave alone, beside the demo catalogue: queued and
// applied communications, an order line, a user and a branch.
void sembrarTestigos(EntornoAplicacion& e) {
    e.ejecutar(
        "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, Campo1) "
        "VALUES (2, 2, '" +
        kSitio + "', '000000000000000', 'A', False, 'TESTIGO-SALIENTE')");
    e.recibir(14, "X", {{1, "testigo aplicado"}, {40, "777"}});
    e.ejecutar(
        "INSERT INTO COMANDAS (idmesa, nombreproducto, concepto, fecha, hora, ImprM) VALUES "
        "('7', 'TESTIGO', 'Ventas', #2026/12/07#, '12:00:00', 'N')");
    e.ejecutar("INSERT INTO SUCYAGEN (Nombre, Tercero, IdSyA) VALUES ('Sede testigo', 'TT', 'SS')");
    e.ejecutar(
        "INSERT INTO TERCEROS (IdDocumento, Nombre, Telefono1) VALUES ('DOC-T', 'TESTIGO', "
        "'3009990000')");
    e.ejecutar(
        "INSERT INTO PW (idTercero, Nombre, Documento, pw) VALUES ((SELECT MAX(idTercero) FROM "
        "TERCEROS), 'TESTIGO', 'DOC-T', 'secreto')");
}

class Inyeccion : public testing::Test {
  protected:
    void SetUp() override {
        sembrarTestigos(e);
        antes = fotografia(e);
    }

    // Stores `registros` as one getData answer and applies them.
    void recibirYAplicar(const std::vector<Entrada>& registros) {
        const json::Analisis analisis = json::parse(comoJSON(registros));
        ASSERT_EQ(analisis.errores, "");
        const comun::Variant& respuesta = analisis.valor;
        e.con.setComunicacion(respuesta);
        e.aplicar();
    }

    EntornoAplicacion e;
    std::map<std::string, std::multiset<std::string>> antes;
};

Entrada entradaDe(int tabla, const std::string& funcion, const Campos& campos, int id) {
    Entrada r;
    r.miembros = {{"id", "INY-" + std::to_string(id)},
                  {"Tabla", std::to_string(tabla)},
                  {"Origen", kOrigen},
                  {"Destino", kSitio},
                  {"Servicio", "2"},
                  {"Funcion", funcion}};
    r.campos = campos;
    return r;
}

TEST_F(Inyeccion, CadaMiembroDelRegistroNoAlcanzaOtrasFilas) {
    // The frame members, each hostile in turn on a sound message record.
    std::vector<Entrada> registros;
    int id = 0;
    for (const char* miembro : {"id", "Tabla", "Origen", "Destino", "Servicio", "Funcion"}) {
        for (const std::string& h : corpus()) {
            ++id;
            Entrada r = entradaDe(14, "A", mensaje(id), id);
            r.miembros[miembro] = miembro == std::string("id") ? h + std::to_string(id) : h;
            registros.push_back(std::move(r));
        }
    }
    recibirYAplicar(registros);
    EXPECT_EQ(registroFallido(perdidas(antes, fotografia(e))), "");
    // Every record is somewhere: stored, or set aside with its reason; a
    // record of table code 0 ("-0") is removed when applied, as such records
    // are.
    for (const Entrada& r : registros) {
        const comun::Variant id(r.miembros.at("id"));
        const bool guardado = contar(e, "COMUNICACIONES WHERE Campo40 = ?", id) == 1;
        const bool apartado = contar(e, "CUARENTENA WHERE IdServidor = ?", id) == 1;
        const bool tablaCero = r.miembros.at("Tabla") == "-0";
        EXPECT_TRUE(guardado != apartado || tablaCero) << comoJSON({r}).substr(0, 200);
    }
}

TEST_F(Inyeccion, CadaCampoDeCadaFamiliaNoAlcanzaOtrasFilas) {
    int id = 0;
    for (const Familia& f : familias()) {
        std::vector<Entrada> registros;
        for (const std::string& funcion : f.funciones) {
            for (int k = 1; k <= f.columnas; ++k) {
                for (const std::string& h : corpus()) {
                    Campos c = f.base(++id);
                    c[k] = h;
                    registros.push_back(entradaDe(f.tabla, funcion, c, id));
                }
            }
        }
        recibirYAplicar(registros);
        EXPECT_EQ(registroFallido(perdidas(antes, fotografia(e))), "")
            << "family " << f.tabla << " (" << f.base(0)[2] << ")";
        // The demo's own recipe lines and the witness order line are intact.
        EXPECT_EQ(e.contar("RZS WHERE IDPRODUCTO = '2001' AND TIPO = 'Receta'"), 4);
        EXPECT_EQ(e.valor("SELECT ImprM FROM COMANDAS WHERE nombreproducto = 'TESTIGO'"), "N");
    }
    // A name is kept as it was sent, or the record is refused whole: never
    // cut, unquoted or trimmed into something else.
    for (const std::string& h : corpus()) {
        if (h.size() > 100 || h == " ") continue;  // refused: longer than the column, or blank
        EXPECT_EQ(contar(e, "PRODUCTOS WHERE NombreProducto = ?", comun::Variant(h)), 1)
            << "product name not stored as sent: " << h.substr(0, 40);
    }
}

// A key or a value that holds a quote, a comment mark and a NUL reaches the
// rows it names, whole: each family binds it, so the statement neither stops
// at the NUL nor misses the row. `antes` seeds the rows (bound, so the value
// is stored whole), `campos` is the record, `despues` counts what must hold.
struct CasoValorEntero {
    const char* nombre;
    int tabla;
    const char* funcion;
    std::vector<std::string> antes;
    std::map<int, std::string> campos;
    std::string despues;
    int esperado;
};

void PrintTo(const CasoValorEntero& c, std::ostream* os) {
    *os << c.nombre;
}

const std::string kValorEntero = std::string("it's -- a\0b", 11);

class ValorEntero : public testing::TestWithParam<CasoValorEntero> {};

TEST_P(ValorEntero, LlegaEnteroALaFilaQueNombra) {
    const CasoValorEntero& c = GetParam();
    EntornoAplicacion e;
    // Every "?" of the seeds and the check takes the value.
    auto conValor = [](const std::string& sql) {
        return datos::ListaParametros(static_cast<size_t>(std::count(sql.begin(), sql.end(), '?')),
                                      comun::Variant(kValorEntero));
    };
    e.con.conectar();
    for (const std::string& sql : c.antes) e.con.comando(sql, conValor(sql));
    std::string columnas = "Servicio, Tabla, Origen, Destino, Funcion, Enviado";
    std::string marcas = "2, ?, ?, ?, ?, 1";
    datos::ListaParametros valores = {comun::Variant(c.tabla), comun::Variant(kOrigen),
                                      comun::Variant(kSitio), comun::Variant(c.funcion)};
    for (const auto& [k, v] : c.campos) {
        columnas += ", Campo" + std::to_string(k);
        marcas += ", ?";
        valores.emplace_back(v == "{valor}" ? kValorEntero : v);
    }
    e.con.comando("INSERT INTO COMUNICACIONES (" + columnas + ") VALUES (" + marcas + ")", valores);
    e.con.desconectar();

    e.aplicar();

    EXPECT_EQ(e.aplicador.resumen().aplicados, 1) << e.bitacora.lineas.back();
    e.con.conectar();
    auto rs = e.con.Query("SELECT COUNT(*) AS n FROM " + c.despues, conValor(c.despues));
    EXPECT_EQ((*rs)["n"].texto(), std::to_string(c.esperado));
    rs->Close();
    e.con.desconectar();
}

INSTANTIATE_TEST_SUITE_P(
    Familias, ValorEntero,
    testing::Values(
        CasoValorEntero{"PedidoDeDomicilio",
                        22,
                        "A",
                        {},
                        {{1, "2001"},
                         {2, "1"},
                         {3, "{valor}"},
                         {4, "{valor}"},
                         {5, "Calle 1"},
                         {6, "3101112233"}},
                        "COMANDAS AS C INNER JOIN TERCEROS AS T ON C.Tercero = T.IdTercero WHERE "
                        "C.detalle = ? AND T.Nombre = UCASE(?)",
                        1},
        CasoValorEntero{"ProductoActualizado",
                        2,
                        "A",
                        {"INSERT INTO PRODUCTOS (CodigoAB, NombreProducto) VALUES (?, 'viejo')"},
                        {{1, "{valor}"}, {2, "nuevo"}, {7, "1"}, {9, "100"}},
                        "PRODUCTOS WHERE CodigoAB = ? AND NombreProducto = 'nuevo'",
                        1},
        CasoValorEntero{"ProductoBorrado",
                        2,
                        "E",
                        {"INSERT INTO PRODUCTOS (CodigoAB, NombreProducto) VALUES (?, 'viejo')",
                         "INSERT INTO RZS (IdProducto, IdInsumo) VALUES (?, '1')"},
                        {{1, "{valor}"}, {2, "x"}},
                        "PRODUCTOS WHERE CodigoAB = ? OR EXISTS (SELECT 1 FROM RZS WHERE "
                        "IdProducto = ?)",
                        0},
        CasoValorEntero{"InsumoBorrado",
                        1,
                        "E",
                        {"INSERT INTO INSUMOS (Codigo, Nombre, Inventario) VALUES (?, 'SAL', 0)"},
                        {{1, "{valor}"}, {2, "SAL"}},
                        "INSUMOS WHERE Codigo = ? AND Inventario = -1",
                        1},
        CasoValorEntero{"SedeActualizada",
                        13,
                        "A",
                        {"INSERT INTO SUCYAGEN (Nombre, Tercero, IdSyA) VALUES ('vieja', ?, 'S1')"},
                        {{1, "nueva"}, {3, "{valor}"}, {4, "S1"}},
                        "SUCYAGEN WHERE Tercero = ? AND IdSyA = 'S1'",
                        1},
        CasoValorEntero{"Usuario",
                        25,
                        "A",
                        {"INSERT INTO TERCEROS (IdDocumento, Nombre) VALUES (?, 'ANA')"},
                        {{2, "7"}, {3, "ana"}, {4, "pw"}, {5, "{valor}"}, {6, "ana"}},
                        "PW WHERE Documento = ?",
                        1}),
    [](const testing::TestParamInfo<CasoValorEntero>& i) { return std::string(i.param.nombre); });

}  // namespace
