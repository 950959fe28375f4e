// The site schema: the column positions the positional copies rely on, the
// kinds the data layer reads from declared types, the schema tool's refusals
// and settings, the saved queries, and the sincronizador crear-base command.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "datos/DAO_Conexion.h"
#include "datos/Esquema.h"
#include "datos/sql/FuncionesSqlite.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/LineaDeOrdenes.h"
#include "soporte/Reloj.h"
#include "soporte/Sentencias.h"

namespace {

namespace fs = std::filesystem;

// A raw connection with the collation and functions the schema needs.
class Conexion {
  public:
    explicit Conexion(const std::string& ruta) {
        if (sqlite3_open_v2(ruta.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + ruta);
        datos::sql::registrarFunciones(db_);
    }
    ~Conexion() { sqlite3_close_v2(db_); }
    Conexion(const Conexion&) = delete;
    Conexion& operator=(const Conexion&) = delete;
    sqlite3* db() const { return db_; }

    // Every row of sql, each as its column texts (NULL as "<null>").
    std::vector<std::vector<std::string>> filas(const std::string& sql) const {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in " + sql);
        std::vector<std::vector<std::string>> resultado;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            std::vector<std::string> fila;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const unsigned char* t = sqlite3_column_text(st, i);
                fila.push_back(t ? reinterpret_cast<const char*>(t) : "<null>");
            }
            resultado.push_back(std::move(fila));
        }
        std::string error = rc == SQLITE_DONE ? "" : sqlite3_errmsg(db_);
        sqlite3_finalize(st);
        if (!error.empty()) throw std::runtime_error(error + " in " + sql);
        return resultado;
    }
    std::string valor(const std::string& sql) const {
        auto f = filas(sql);
        return f.empty() || f[0].empty() ? "<none>" : f[0][0];
    }
    void ejecutar(const std::string& sql) const {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string m = error ? error : "";
            sqlite3_free(error);
            throw std::runtime_error(m + " in " + sql);
        }
    }

    // Column names of a table or view in stored order.
    std::vector<std::string> columnas(const std::string& tabla) const {
        std::vector<std::string> nombres;
        for (const auto& f : filas("SELECT name FROM pragma_table_info('" + tabla + "')"))
            nombres.push_back(f[0]);
        return nombres;
    }
    std::string tipo(const std::string& tabla, const std::string& columna) const {
        return valor("SELECT type FROM pragma_table_info('" + tabla + "') WHERE name = '" +
                     columna + "'");
    }

  private:
    sqlite3* db_ = nullptr;
};

std::vector<std::string> campos(int desde, int hasta) {
    std::vector<std::string> r;
    for (int k = desde; k <= hasta; ++k) r.push_back("Campo" + std::to_string(k));
    return r;
}

std::string leerArchivo(const std::string& ruta) {
    std::ifstream f(ruta, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

class Esquema : public ::testing::Test {
  protected:
    prueba::BaseDePrueba base_{true, "900100", "003"};
    Conexion con_{base_.ruta()};
};

TEST_F(Esquema, ComunicacionesHasTheRecordLayout) {
    std::vector<std::string> esperadas{"Id",      "Servicio", "Tabla",  "Origen",
                                       "Destino", "Funcion",  "Enviado"};
    for (auto& c : campos(1, 40)) esperadas.push_back(c);
    EXPECT_EQ(con_.columnas("COMUNICACIONES"), esperadas);
    EXPECT_EQ(con_.tipo("COMUNICACIONES", "Enviado"), "YESNO");
    EXPECT_EQ(con_.tipo("COMUNICACIONES", "Tabla"), "LONG");

    // A row added with only the header gets Enviado false and a fresh Id;
    // the queue's indexes exist.
    con_.ejecutar(
        "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Campo1) "
        "VALUES (2, 14, '900100003', '000000000000000', 'A', '007')");
    EXPECT_EQ(con_.valor("SELECT Enviado FROM COMUNICACIONES"), "0");
    EXPECT_EQ(con_.valor("SELECT Id FROM COMUNICACIONES"), "1");
    EXPECT_EQ(con_.valor("SELECT Campo1 FROM COMUNICACIONES"), "007") << "codes keep leading zeros";
    EXPECT_EQ(con_.tipo("COMUNICACIONES", "Campo1"), "LONGTEXT") << "payloads are memos";
    std::set<std::string> indices;
    for (auto& f : con_.filas("SELECT name FROM pragma_index_list('COMUNICACIONES')"))
        indices.insert(f[0]);
    EXPECT_EQ(indices, (std::set<std::string>{"COMUNICACIONES_Envio", "COMUNICACIONES_Destino",
                                              "COMUNICACIONES_Campo40", "COMUNICACIONES_Acuse"}));
    EXPECT_EQ(
        con_.valor("SELECT group_concat(name) FROM pragma_index_info('COMUNICACIONES_Envio')"),
        "Enviado,Servicio,Id");
    EXPECT_EQ(
        con_.valor("SELECT group_concat(name) FROM pragma_index_info('COMUNICACIONES_Acuse')"),
        "Servicio,Campo1");
}

TEST_F(Esquema, PositionalCopiesLineUpWithTheRecordFields) {
    // Column p of a table travels as Campo(p+1).
    auto posicion = [&](const std::string& tabla, const std::string& columna) {
        auto c = con_.columnas(tabla);
        for (size_t i = 0; i < c.size(); ++i)
            if (c[i] == columna) return static_cast<int>(i);
        return -1;
    };
    for (const char* t : {"MovInvHoy", "MovInv"}) {
        SCOPED_TRACE(t);
        EXPECT_EQ(con_.tipo(t, con_.columnas(t)[0]), "INTEGER");
        EXPECT_EQ(posicion(t, "CODIGO"), 1);
        EXPECT_EQ(posicion(t, "fecha"), 6);
        EXPECT_EQ(posicion(t, "NUMERORR"), 17);
        for (const char* c : {"SyA", "Concepto", "Cantidad", "Costo", "Confirmado"})
            EXPECT_GE(posicion(t, c), 0) << c;
        EXPECT_LE(con_.columnas(t).size(), 40u);
    }
    EXPECT_EQ(con_.columnas("MovInvHoy"), con_.columnas("MovInv"));
    std::set<std::string> tipos;
    for (auto& c : con_.columnas("MovInvHoy")) tipos.insert(con_.tipo("MovInvHoy", c));
    EXPECT_TRUE(tipos.count("SHORT") && tipos.count("SINGLE") && tipos.count("DATETIME"));

    auto inicio = [&](const std::string& tabla, size_t n) {
        auto c = con_.columnas(tabla);
        c.resize(std::min(n, c.size()));
        return c;
    };
    EXPECT_EQ(inicio("Insumos", 2), (std::vector<std::string>{"Codigo", "Nombre"}));
    for (const char* c :
         {"Tipo", "Inventario", "medida", "Costo", "UInvF", "UInvC", "Empaque", "Standar",
          "Categoria", "Padre", "lProduccion", "CostoEstimado", "Fecha Costo", "CANTKAL"})
        EXPECT_GE(posicion("Insumos", c), 0) << c;

    EXPECT_EQ(inicio("Productos", 4),
              (std::vector<std::string>{"CodigoAB", "NombreProducto", "Categoria", "Negocio"}));
    EXPECT_EQ(posicion("Productos", "impx"), 6);
    EXPECT_EQ(posicion("Productos", "PrecioUnidad"), 8);
    EXPECT_EQ(posicion("Productos", "Bloquear"), 11);
    for (int i = 1; i <= 9; ++i)
        EXPECT_EQ(posicion("Productos", "Precio" + std::to_string(i)), 11 + i);

    EXPECT_EQ(inicio("Rzs", 12),
              (std::vector<std::string>{"Consecutivo", "IdProducto", "IdInsumo", "Producto",
                                        "Insumo", "Cantidad", "medida", "Tipo", "Costo",
                                        "NombreGrupo", "Medidor", "Bmedidor"}));

    EXPECT_EQ(con_.columnas("MENSAJE"), (std::vector<std::string>{"ID", "mensaje", "destino",
                                                                  "origen", "PRIORIDAD", "Fecha"}));
    auto pw = con_.columnas("PW");
    ASSERT_EQ(pw.size(), 17u);
    EXPECT_EQ(inicio("PW", 11),
              (std::vector<std::string>{"idTercero", "IdEmpleado", "Nombre", "pw", "Documento",
                                        "Nick", "acceso", "labor", "lugar", "Fecha", "Base"}));
    EXPECT_EQ(pw[15], "Direccion");
    EXPECT_EQ(pw[16], "Telefono");

    EXPECT_EQ(posicion("SucYAgen", "Tercero"), 2);
    EXPECT_EQ(posicion("SucYAgen", "IDSYA"), 3);
    int siNo = 0;
    for (auto& c : con_.columnas("SucYAgen")) siNo += con_.tipo("SucYAgen", c) == "YESNO";
    EXPECT_GE(siNo, 2);

    EXPECT_EQ(
        con_.columnas("Terceros"),
        (std::vector<std::string>{
            "IdTercero",   "IdDocumento",       "Nombre",         "representante", "TipoDocumento",
            "Persona",     "GranContribuyente", "Autorretenedor", "regimen",       "Direccion",
            "Ciudad",      "Telefono1",         "Telefono2",      "Mail",          "Sangre",
            "Comentarios", "FNacimiento",       "FIngreso",       "FRetiro",       "SyA",
            "idCliente",   "Proveedor",         "cliente",        "empleado",      "Socio",
            "Otro"}));
    EXPECT_EQ(con_.columnas("ACOMPANAMIENTOS"),
              (std::vector<std::string>{"ID", "IDCOMANDA", "NOMBREPRODUCTO", "CODPRODUCTO",
                                        "ACOMPANAMIENTO", "CODINSUMO", "CANTIDAD", "COSTO"}));
    EXPECT_EQ(con_.columnas("PREPARACIONES"), (std::vector<std::string>{"Codigo"}));
    EXPECT_EQ(con_.columnas("PSYAG"),
              (std::vector<std::string>{"CODIGO", "NombreMunicipio", "NombreDpto"}));

    // Every table a record can come from fits in Campo1..Campo40.
    for (auto& f : con_.filas("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT "
                              "LIKE 'sqlite%' AND name <> 'COMUNICACIONES'"))
        EXPECT_LE(con_.columnas(f[0]).size(), 40u) << f[0];
}

TEST_F(Esquema, DeclaredTypesAreAccessKindsAndTextComparesAsAccess) {
    const std::set<std::string> simples{"YESNO",  "DATETIME", "SHORT",   "LONG",
                                        "SINGLE", "DOUBLE",   "CURRENCY"};
    const std::set<std::string> propias{"CUARENTENA",           "FALLOS_APLICACION",
                                        "ESTADO_SINCRONIZADOR", "COMUNICACIONES_PENDIENTES",
                                        "PEDIDOS_NO_APLICADOS", "APARTADOS_ENVIO"};
    int tablas = 0;
    for (auto& t : con_.filas("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT "
                              "LIKE 'sqlite%'")) {
        ++tablas;
        for (auto& c : con_.columnas(t[0])) {
            SCOPED_TRACE(t[0] + "." + c);
            const char* tipo = nullptr;
            const char* colacion = nullptr;
            int noNulo = 0, clave = 0, autoinc = 0;
            ASSERT_EQ(sqlite3_table_column_metadata(con_.db(), nullptr, t[0].c_str(), c.c_str(),
                                                    &tipo, &colacion, &noNulo, &clave, &autoinc),
                      SQLITE_OK);
            std::string declarado = tipo ? tipo : "";
            if (declarado == "INTEGER") {
                EXPECT_TRUE(clave && autoinc) << "an INTEGER column is the counter";
            } else if (declarado.rfind("TEXT(", 0) == 0 || declarado == "LONGTEXT") {
                // The synchronizer's own tables compare plainly, so that any
                // SQLite tool reads them without the extension.
                EXPECT_STREQ(colacion, propias.count(t[0]) ? "BINARY" : "ACCESS");
            } else {
                EXPECT_TRUE(simples.count(declarado)) << declarado;
                EXPECT_FALSE(clave);
            }
        }
    }
    EXPECT_EQ(tablas, 24);
    std::set<std::string> objetos;
    for (auto& f :
         con_.filas("SELECT upper(name) FROM sqlite_master WHERE type IN ('table', 'view')"))
        objetos.insert(f[0]);
    for (const char* t : {"COMUNICACIONES",
                          "XX0100",
                          "INSUMOS",
                          "PRODUCTOS",
                          "RZS",
                          "PREPARACIONES",
                          "MOVINVHOY",
                          "MOVINV",
                          "TERCEROS",
                          "SUCYAGEN",
                          "PSYAG",
                          "PW",
                          "COMANDAS",
                          "ACOMPANAMIENTOS",
                          "MENSAJE",
                          "RVENT",
                          "CXPG",
                          "CONGEN",
                          "CUARENTENA",
                          "FALLOS_APLICACION",
                          "ESTADO_SINCRONIZADOR",
                          "COMUNICACIONES_PENDIENTES",
                          "PEDIDOS_NO_APLICADOS",
                          "ULTIMOREGISTROINVENTARIO",
                          "SALDOINSUMOSULTIMOCIERRE"})
        EXPECT_TRUE(objetos.count(t)) << t;

    // Codes, names and accents compare without regard to case, as in Access,
    // and the unique code indexes hold under that comparison.
    EXPECT_EQ(con_.valor("SELECT Nombre FROM Terceros WHERE Nombre = 'maria gomez'"),
              "MARIA GOMEZ");
    EXPECT_EQ(con_.valor("SELECT count(*) FROM Terceros WHERE Ciudad = 'MEDELLIN'"), "2");
    EXPECT_THROW(con_.ejecutar("INSERT INTO Productos (CodigoAB) VALUES ('2001')"),
                 std::runtime_error);
}

TEST_F(Esquema, SchemaToolWritesSettingsControlRowAndWal) {
    auto ajuste = [&](const std::string& nombre) {
        return con_.valor("SELECT DESCRIPCION FROM XX0100 WHERE NOMBRE = '" + nombre + "'");
    };
    EXPECT_EQ(ajuste("Identificador Cliente"), "900100");
    EXPECT_EQ(ajuste("Codigo Sucursales y Agencias"), "003");
    EXPECT_EQ(ajuste("Nombre Establecimiento"), "Sitio de prueba 900100003");
    EXPECT_EQ(ajuste("REGIMEN"), "Simplificado");
    EXPECT_EQ(ajuste("Terminal Cliente"), "0");
    EXPECT_EQ(ajuste("Servidor Uno Uno"), "0");
    // The tax join of the "Comun" regime finds a rate for every demo product.
    EXPECT_EQ(con_.valor("SELECT count(*) FROM Productos AS P INNER JOIN XX0100 AS X "
                         "ON 'Impuesto' || P.impx = X.NOMBRE"),
              con_.valor("SELECT count(*) FROM Productos"));

    auto control = con_.filas(
        "SELECT fecha, idComanda FROM COMANDAS WHERE NOMBREPRODUCTO = 'Registro de Control'");
    ASSERT_EQ(control.size(), 1u);
    EXPECT_EQ(control[0][0], datos::fechaHoyIso());
    EXPECT_EQ(control[0][0].size(), 10u);
    EXPECT_EQ(con_.valor("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(con_.valor("PRAGMA integrity_check"), "ok");
}

TEST_F(Esquema, DemoCatalogueServesTheLookups) {
    // The client's other branches: 001 and 002 besides this site's 003.
    EXPECT_EQ(con_.valor("SELECT group_concat(IDSYA) FROM (SELECT IDSYA FROM SUCYAGEN WHERE "
                         "IDCLIENTE = '900100' AND IDSYA <> '003' ORDER BY IDSYA)"),
              "001,002");
    // A supplier's branches joined to their municipality.
    auto sucursales = con_.filas(
        "SELECT NombreMunicipio FROM SUCYAGEN AS S INNER JOIN PSYAG AS PA ON "
        "substr(S.IDSYA, 1, 5) = PA.CODIGO WHERE TERCERO = '800200300' ORDER BY 1");
    ASSERT_EQ(sucursales.size(), 2u);
    EXPECT_EQ(sucursales[0][0], "Bogotá D.C.");
    // Every recipe line names an existing product supply and ingredient.
    EXPECT_EQ(con_.valor("SELECT count(*) FROM Rzs WHERE IdProducto NOT IN (SELECT Codigo FROM "
                         "Insumos) OR IdInsumo NOT IN (SELECT Codigo FROM Insumos)"),
              "0");
    EXPECT_EQ(con_.valor("SELECT count(*) FROM PW AS U INNER JOIN Terceros AS T ON "
                         "T.IdTercero = U.idTercero"),
              "1");
}

TEST_F(Esquema, SavedQueriesFeedTheBalanceRepair) {
    EXPECT_EQ(con_.columnas("UltimoRegistroInventario"),
              (std::vector<std::string>{"CODIGO", "NOMBRE", "SALDO", "U_FECHA"}));
    EXPECT_EQ(con_.columnas("SaldoInsumosUltimoCierre"),
              (std::vector<std::string>{"CODIGO", "SALDO"}));
    auto ultimo = con_.filas("SELECT * FROM UltimoRegistroInventario WHERE CODIGO = '1001'");
    ASSERT_EQ(ultimo.size(), 1u);
    EXPECT_EQ(ultimo[0],
              (std::vector<std::string>{"1001", "HARINA DE TRIGO", "40.0", "2026-11-20"}));
    // Closing on 2026-11-30: the December purchase of 1005 is after it.
    EXPECT_EQ(con_.valor("SELECT group_concat(CODIGO || '=' || SALDO) FROM (SELECT * FROM "
                         "SaldoInsumosUltimoCierre ORDER BY CODIGO)"),
              "1001=40.0,1002=12.0");

    // The scratch-table statements of the repair run against the views.
    con_.ejecutar("CREATE TABLE AUX (CODIGO NUMERIC, NOMBRE TEXT, SALDO NUMERIC, U_FECHA TEXT)");
    con_.ejecutar("INSERT INTO AUX SELECT * FROM UltimoRegistroInventario");
    EXPECT_EQ(con_.valor("SELECT count(*) FROM AUX"), "3");
    con_.ejecutar("DROP TABLE AUX");
    con_.ejecutar("CREATE TABLE AUX (CODIGO NUMERIC, SALDO NUMERIC)");
    con_.ejecutar("INSERT INTO AUX SELECT CODIGO, SALDO FROM SaldoInsumosUltimoCierre");
    EXPECT_EQ(con_.valor("SELECT count(*) FROM AUX"), "2");

    // With no closing at all the second view is empty.
    con_.ejecutar("DELETE FROM MovInv WHERE Concepto = 'cierre'");
    EXPECT_EQ(con_.valor("SELECT count(*) FROM SaldoInsumosUltimoCierre"), "0");
}

TEST(CrearBaseSitio, RefusesExistingFilesAndBadCodesAndLeavesNothingHalfMade) {
    prueba::BaseDePrueba base(false);
    const std::string ruta = base.ruta();
    const std::string antes = leerArchivo(ruta);
    try {
        datos::crearBaseSitio(ruta, "900100", "001", "Otra", true);
        FAIL() << "an existing file was accepted";
    } catch (const datos::ErrorEsquema& e) {
        EXPECT_NE(std::string(e.what()).find(ruta), std::string::npos) << e.what();
    }
    EXPECT_EQ(leerArchivo(ruta), antes) << "the existing database must not change";

    const std::string carpeta = fs::path(ruta).parent_path().string();
    const std::string nueva = carpeta + "/nueva.db";
    for (auto [cliente, sucursal] :
         std::vector<std::pair<std::string, std::string>>{{"", "001"},
                                                          {"900100", ""},
                                                          {"900'100", "001"},
                                                          {"900100", "0 1"},
                                                          {"000000000000", "000"}}) {
        EXPECT_THROW(datos::crearBaseSitio(nueva, cliente, sucursal, "", false),
                     datos::ErrorEsquema)
            << cliente << "/" << sucursal;
        EXPECT_FALSE(fs::exists(nueva));
    }
    EXPECT_THROW(datos::crearBaseSitio(carpeta + "/no/existe/sitio.db", "900100", "001", "", false),
                 datos::ErrorEsquema);

    // Without demo: schema and settings, but no catalogue; the name defaults.
    datos::crearBaseSitio(nueva, "900100", "002", "", false);
    Conexion con(nueva);
    EXPECT_EQ(con.valor("SELECT count(*) FROM Insumos"), "0");
    EXPECT_EQ(con.valor("SELECT count(*) FROM SucYAgen"), "0");
    EXPECT_EQ(con.valor("SELECT DESCRIPCION FROM XX0100 WHERE NOMBRE = 'Nombre Establecimiento'"),
              "Sitio 900100002");
    EXPECT_EQ(con.valor("SELECT count(*) FROM COMANDAS"), "1");
}

// Runs a command line and gives its exit status, standard output and error.
// The schema tool's "today" and the SQL function now() read the clock they
// are given, so a site's dates can be fixed in tests.
TEST(CrearBaseSitio, HoyYNowLeenElRelojDado) {
    prueba::RelojFijo reloj({2031, 2, 3, 4, 5, 6});
    prueba::BaseDePrueba base(false);
    const std::string nueva = fs::path(base.ruta()).parent_path().string() + "/reloj.db";
    datos::crearBaseSitio(nueva, "900100", "003", "", false, reloj);
    EXPECT_EQ(Conexion(nueva).valor(
                  "SELECT fecha FROM COMANDAS WHERE NOMBREPRODUCTO = 'Registro de Control'"),
              "2031-02-03");
    datos::DAO_Conexion dao;
    dao.dataFile(nueva);
    dao.reloj(&reloj);
    dao.conectar();
    auto rs = dao.Query("SELECT now() AS ahora");
    ASSERT_FALSE(datos::DAO_Conexion::RsVacio(rs));
    EXPECT_EQ(rs->valorCampo(0).texto(), "2031-02-03 04:05:06");
    rs->Close();
    dao.desconectar();
}

struct Salida {
    int estado;
    std::string salida;
    std::string error;
};

Salida ejecutar(const std::string& argumentos, const std::string& carpeta) {
    const std::string out = carpeta + "/salida.txt";
    const std::string err = carpeta + "/error.txt";
    std::string linea = std::string("\"") + SINC_BIN_DIR + "/sincronizador\" " + argumentos +
                        " >\"" + out + "\" 2>\"" + err + "\"";
    const int estado = prueba::correrLinea(linea);
    return {estado, leerArchivo(out), leerArchivo(err)};
}

TEST(ComandoCrearBase, CreatesADatabaseAndRefusesToOverwriteIt) {
    prueba::BaseDePrueba base(false);
    const std::string carpeta = fs::path(base.ruta()).parent_path().string();
    const std::string ruta = carpeta + "/sede norte.db";

    Salida s = ejecutar("crear-base \"" + ruta +
                            "\" --cliente 900100 --sucursal 002 --nombre \"Pizzeria Norte\" --demo",
                        carpeta);
    ASSERT_EQ(s.estado, 0) << s.error;
    EXPECT_NE(s.salida.find(ruta), std::string::npos) << s.salida;
    EXPECT_NE(s.salida.find("900100002"), std::string::npos) << s.salida;
    {
        Conexion con(ruta);
        EXPECT_EQ(
            con.valor("SELECT DESCRIPCION FROM XX0100 WHERE NOMBRE = 'Nombre Establecimiento'"),
            "Pizzeria Norte");
        EXPECT_EQ(con.valor("SELECT count(*) FROM Productos"), "3");
    }
    const std::string antes = leerArchivo(ruta);

    s = ejecutar("crear-base \"" + ruta + "\" --cliente 900100 --sucursal 002", carpeta);
    EXPECT_NE(s.estado, 0);
    EXPECT_NE(s.error.find("already exists"), std::string::npos) << s.error;
    EXPECT_EQ(leerArchivo(ruta), antes);

    s = ejecutar("crear-base \"" + carpeta + "/otra.db\" --sucursal 002", carpeta);
    EXPECT_NE(s.estado, 0) << "the client identifier is required";
    EXPECT_FALSE(fs::exists(carpeta + "/otra.db"));
}

// The statement texts the system runs, through the real data layer, against
// a fresh demo site 900100 + 003. A missing or misnamed column fails here.
TEST(SentenciasDelSistema, RunAgainstTheSchema) {
    prueba::BaseDePrueba base(true, "900100", "003");
    datos::DAO_Conexion con;
    con.dataFile(base.ruta());
    con.conectar();
    con.cargarValoresSitio();
    EXPECT_EQ(con.getSyASys(), "900100003");
    EXPECT_EQ(con.getRegimen(), "Simplificado");
    EXPECT_EQ(con.getNombreCliente(), "Sitio de prueba 900100003");
    EXPECT_FALSE(con.getEsTerminalCliente());
    EXPECT_FALSE(con.getEsServidor());
    EXPECT_EQ(con.getFechaSys(), datos::fechaHoyIso());

    auto correr = [&con](const std::string& sql) {
        SCOPED_TRACE(sql);
        std::string inicio = sql.substr(0, 6);
        for (auto& c : inicio) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        // A value the program binds takes a text here.
        const datos::ListaParametros marcas(
            static_cast<size_t>(std::count(sql.begin(), sql.end(), '?')),
            comun::Variant(std::string("1")));
        try {
            if (inicio == "SELECT") {
                auto rs = con.Query(sql, marcas);
                datos::DAO_Conexion::CerrarRs(rs);
            } else {
                con.comando(sql, marcas);
            }
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
    };

    // A few results that depend on the schema's layout and collation, from
    // the program's statements with the demo's codes.
    // Their values bound, as the program binds them.
    auto rs = con.Query(prueba::sentenciaCon("SELECT * FROM PRODUCTOS AS P INNER JOIN"),
                        {comun::Variant("2001")});
    ASSERT_FALSE(datos::DAO_Conexion::RsVacio(rs));
    EXPECT_EQ((*rs)["Vr"].CStr(), "19");
    con.comando(prueba::sentenciaCon("UPDATE INSUMOS SET INVENTARIO = -1"),
                {comun::Variant("1006")});
    rs = con.Query("SELECT Nombre FROM Insumos WHERE Codigo = '1006'");
    EXPECT_EQ((*rs)["Nombre"].CStr(), "");
    con.comando(prueba::sentenciaCon("DELETE FROM RZS WHERE IDPRODUCTO = ? AND TIPO like"),
                {comun::Variant("2002"), comun::Variant("Rece*")});
    rs = con.Query("SELECT COUNT(*) AS n FROM Rzs WHERE IdProducto = '2002'");
    EXPECT_EQ((*rs)["n"].CStr(), "0") << "the LIKE pattern 'Rece*' took the line of type Receta";
    for (const auto& sql : prueba::tramoDeSentencias("CREATE TABLE AUX (CODIGO NUMERIC, NOMBRE", 9))
        correr(sql);
    rs = con.Query("SELECT CANTKAL, UINVC FROM Insumos WHERE Codigo = '1005'");
    EXPECT_EQ((*rs)["UINVC"].CStr(), "30") << "not listed at the closing: CANTKAL = UINVC";
    EXPECT_EQ((*rs)["CANTKAL"].CStr(), "30");
    rs = con.Query("SELECT CANTKAL FROM Insumos WHERE Codigo = '1002'");
    EXPECT_EQ((*rs)["CANTKAL"].CStr(), "12");
    rs.reset();

    // Then every statement as the file has it.
    for (const auto& s : prueba::leerSentencias()) correr(s.texto);
    con.desconectar();
}

}  // namespace
