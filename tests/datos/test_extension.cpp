// The loadable extension (access.so) on a real site database, opened by a
// plain SQLite connection as another program would open it: what it can
// write, and that it compares text exactly as the program does.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <utility>
#include <vector>

#include "datos/DAO_Conexion.h"
#include "datos/sql/FuncionesSqlite.h"
#include "soporte/BaseDePrueba.h"

namespace {

// Named without its suffix, as a site names it: SQLite adds the system's own
// (access.so, access.dll).
const std::string kExtension = std::string(SINC_LIB_DIR) + "/access";
const char* kInsercion =
    "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Campo1, Campo2) "
    "VALUES (2, 2, '900100001', '000000000000000', 'A', 'EXT-01', 'Café de olla')";

// A bare SQLite connection: nothing of the program registered on it.
class Conexion {
  public:
    explicit Conexion(const std::string& ruta) {
        if (sqlite3_open_v2(ruta.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            ADD_FAILURE() << "cannot open " << ruta;
    }
    ~Conexion() { sqlite3_close_v2(db_); }
    Conexion(const Conexion&) = delete;
    Conexion& operator=(const Conexion&) = delete;

    // Loads the extension as the sqlite3 shell's .load does; "" when it
    // loaded, else SQLite's message.
    std::string cargarExtension() {
        sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 1, nullptr);
        char* error = nullptr;
        const int rc = sqlite3_load_extension(db_, kExtension.c_str(), nullptr, &error);
        std::string mensaje = rc == SQLITE_OK ? "" : (error ? error : "load failed");
        sqlite3_free(error);
        return mensaje;
    }
    // Runs one statement; "" when it succeeded, else SQLite's message.
    std::string ejecutar(const std::string& sql) {
        char* error = nullptr;
        const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
        std::string mensaje = rc == SQLITE_OK ? "" : (error ? error : sqlite3_errstr(rc));
        sqlite3_free(error);
        return mensaje;
    }
    // Every row of a query, its columns joined with "|".
    std::vector<std::string> filas(const std::string& sql,
                                   const std::vector<std::string>& parametros = {}) {
        std::vector<std::string> r;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
            return r;
        }
        for (size_t i = 0; i < parametros.size(); ++i)
            sqlite3_bind_text(st, static_cast<int>(i + 1), parametros[i].c_str(), -1,
                              SQLITE_TRANSIENT);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            std::string fila;
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                if (c) fila += '|';
                const auto* t = sqlite3_column_text(st, c);
                fila += t ? reinterpret_cast<const char*>(t) : "NULL";
            }
            r.push_back(fila);
        }
        if (rc != SQLITE_DONE) r.push_back(std::string("error: ") + sqlite3_errmsg(db_));
        sqlite3_finalize(st);
        return r;
    }
    sqlite3* db() { return db_; }

  private:
    sqlite3* db_ = nullptr;
};

// Without the extension a write to the queue fails with SQLite's own clear
// message and stores nothing; with it the row lands, and it is in the very
// next batch the synchronizer posts.
TEST(ExtensionAccess, OtroProgramaEscribeLaColaYElSincronizadorLaEnvia) {
    prueba::BaseDePrueba base;
    {
        Conexion sinExtension(base.ruta());
        EXPECT_EQ(sinExtension.ejecutar(kInsercion), "no such collation sequence: ACCESS");
        EXPECT_EQ(sinExtension.filas("SELECT COUNT(*) FROM COMUNICACIONES"),
                  std::vector<std::string>{"0"});
    }
    {
        Conexion conExtension(base.ruta());
        ASSERT_EQ(conExtension.cargarExtension(), "");
        ASSERT_EQ(conExtension.ejecutar(kInsercion), "");
    }

    datos::DAO_Conexion dao;
    dao.dataFile(base.ruta());
    datos::GuardaConexion guarda(dao);
    const std::string lote = protocolo::codificar(dao.getComunicacion());
    EXPECT_NE(lote.find("\"EXT-01\""), std::string::npos) << lote;
    EXPECT_NE(lote.find(R"("Caf\u00E9 de olla")"), std::string::npos) << lote;
}

// The extension and the program agree on every comparison and function
// result, the indexes stay in use, and a unique index refuses the same
// duplicates whichever program writes.
TEST(ExtensionAccess, ComparaYCalculaComoElPrograma) {
    prueba::BaseDePrueba base;
    Conexion extension(base.ruta());
    ASSERT_EQ(extension.cargarExtension(), "");
    Conexion programa(base.ruta());
    datos::sql::registrarFunciones(programa.db());

    const std::vector<std::pair<std::string, std::string>> pares = {
        {"peña", "PENA"}, {"José", "JOSE"}, {"Ærø", "aero"}, {"a", "B"},
        {"Zoë", "zoe "},  {"ŁÓDŹ", "lodz"}, {"", "x"},       {"\xff\xfe", "\xc3\xbf"}};
    const std::string comparar =
        "SELECT ?1 = ?2 COLLATE ACCESS, ?1 < ?2 COLLATE ACCESS, ?1 LIKE ?2, ucase(?1), "
        "isnumeric(?1), cstr(?1) || concatenar(?1, NULL, ?2), izquierda(?1, 2)";
    for (const auto& [a, b] : pares)
        EXPECT_EQ(extension.filas(comparar, {a, b}), programa.filas(comparar, {a, b}))
            << a << " / " << b;
    for (const std::string numero : {"2.5", "3.5", "-32768.4", "32767.6", "abc"})
        EXPECT_EQ(extension.filas("SELECT cint(?1)", {numero}),
                  programa.filas("SELECT cint(?1)", {numero}))
            << numero;

    const auto plan =
        extension.filas("EXPLAIN QUERY PLAN SELECT * FROM Productos WHERE CodigoAB = 'x'");
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_NE(plan[0].find("USING INDEX Productos_CodigoAB"), std::string::npos) << plan[0];

    EXPECT_EQ(programa.ejecutar("INSERT INTO Productos (CodigoAB) VALUES ('peña')"), "");
    EXPECT_NE(extension.ejecutar("INSERT INTO Productos (CodigoAB) VALUES ('PENA')"), "");
    EXPECT_EQ(extension.filas("SELECT CodigoAB FROM Productos WHERE CodigoAB = 'Pena'"),
              std::vector<std::string>{"peña"});
}

}  // namespace
