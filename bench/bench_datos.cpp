// The data layer's costs: opening a whole table (must not depend on its
// size), appending through AddNew/Update against raw prepared inserts, and
// translating Access statements.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "datos/DAO_Conexion.h"
#include "datos/sql/Traductor.h"

namespace {

using Reloj = std::chrono::steady_clock;

void ejecutar(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string m = error ? error : "sqlite";
        sqlite3_free(error);
        throw std::runtime_error(m);
    }
}

// One database for the whole run: a table of a million rows, one of ten,
// and empty tables to append to. Removed at exit.
class BaseBanco {
  public:
    BaseBanco() {
        std::random_device rd;
        carpeta_ = std::filesystem::temp_directory_path() / ("sinc-bench-" + std::to_string(rd()));
        std::filesystem::create_directories(carpeta_);
        ruta_ = (carpeta_ / "banco.db").string();
        sqlite3* db = nullptr;
        sqlite3_open_v2(ruta_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        ejecutar(db, "PRAGMA journal_mode=WAL");
        const char* columnas =
            " (Id INTEGER PRIMARY KEY AUTOINCREMENT, Nombre TEXT(50), Cantidad LONG, "
            "Precio DOUBLE, Fecha DATETIME, Activo YESNO DEFAULT 0)";
        for (const char* t : {"Grande", "Pequena", "Destino", "DestinoCrudo"})
            ejecutar(db, (std::string("CREATE TABLE ") + t + columnas).c_str());
        ejecutar(db, "BEGIN");
        ejecutar(
            db,
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000) "
            "INSERT INTO Grande (Nombre, Cantidad, Precio, Fecha) "
            "SELECT 'fila ' || i, i, i * 0.5, '2026-12-07' FROM n");
        ejecutar(db,
                 "INSERT INTO Pequena (Nombre, Cantidad, Precio, Fecha) "
                 "SELECT Nombre, Cantidad, Precio, Fecha FROM Grande WHERE Id <= 10");
        ejecutar(db, "COMMIT");
        sqlite3_close(db);
    }
    ~BaseBanco() {
        std::error_code ec;
        std::filesystem::remove_all(carpeta_, ec);
    }
    const std::string& ruta() const { return ruta_; }

  private:
    std::filesystem::path carpeta_;
    std::string ruta_;
};

BaseBanco& base() {
    static BaseBanco b;
    return b;
}

// Opens a whole table and asks whether it is empty (the first row only).
double abrir(datos::DAO_Conexion& c, const char* tabla, int veces) {
    auto inicio = Reloj::now();
    for (int i = 0; i < veces; ++i) {
        auto rs = c.Query(tabla);
        benchmark::DoNotOptimize(datos::DAO_Conexion::RsVacio(rs));
    }
    return std::chrono::duration<double>(Reloj::now() - inicio).count();
}

void BM_AbrirTabla(benchmark::State& state) {
    datos::DAO_Conexion c;
    c.dataFile(base().ruta());
    c.conectar();
    const char* tabla = state.range(0) == 10 ? "Pequena" : "Grande";
    for (auto _ : state) {
        auto rs = c.Query(tabla);
        benchmark::DoNotOptimize(datos::DAO_Conexion::RsVacio(rs));
    }
}
BENCHMARK(BM_AbrirTabla)->Arg(10)->Arg(1000000);

// The two opens side by side; "razon" is million-row time over ten-row time
// (target: at most 1.2), from the best round of each so that a busy machine
// does not skew it.
void BM_AbrirTablaRazon(benchmark::State& state) {
    datos::DAO_Conexion c;
    c.dataFile(base().ruta());
    c.conectar();
    double grande = 1e9, pequena = 1e9;
    for (auto _ : state) {
        pequena = std::min(pequena, abrir(c, "Pequena", 200));
        grande = std::min(grande, abrir(c, "Grande", 200));
    }
    state.counters["razon"] = grande / pequena;
}
BENCHMARK(BM_AbrirTablaRazon)->Iterations(20);

constexpr int kFilasPorLote = 10000;

double anadirConRecordset(datos::DAO_Conexion& c) {
    auto inicio = Reloj::now();
    datos::Transaccion t(c);
    auto rs = c.Query("Destino");
    for (int i = 0; i < kFilasPorLote; ++i) {
        rs->AddNew();
        rs->asignar(size_t{1}, "producto");
        rs->asignar(size_t{2}, int32_t{i});
        rs->asignar(size_t{3}, i * 0.25);
        rs->asignar(size_t{4}, "07/12/2026");
        rs->Update();
    }
    t.confirmar();
    return std::chrono::duration<double>(Reloj::now() - inicio).count();
}

// The same rows through one raw prepared statement on a plain connection.
double anadirCrudo(sqlite3* db) {
    auto inicio = Reloj::now();
    sqlite3_stmt* st = nullptr;
    ejecutar(db, "BEGIN IMMEDIATE");
    sqlite3_prepare_v2(db,
                       "INSERT INTO DestinoCrudo (Nombre, Cantidad, Precio, Fecha) "
                       "VALUES (?, ?, ?, ?)",
                       -1, &st, nullptr);
    for (int i = 0; i < kFilasPorLote; ++i) {
        sqlite3_bind_text(st, 1, "producto", -1, SQLITE_STATIC);
        sqlite3_bind_int(st, 2, i);
        sqlite3_bind_double(st, 3, i * 0.25);
        sqlite3_bind_text(st, 4, "2026-12-07", -1, SQLITE_STATIC);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    ejecutar(db, "COMMIT");
    return std::chrono::duration<double>(Reloj::now() - inicio).count();
}

void BM_AnadirAddNewUpdate(benchmark::State& state) {
    datos::DAO_Conexion c;
    c.dataFile(base().ruta());
    c.conectar();
    for (auto _ : state) anadirConRecordset(c);
    state.SetItemsProcessed(state.iterations() * kFilasPorLote);
}
BENCHMARK(BM_AnadirAddNewUpdate)->Unit(benchmark::kMillisecond);

void BM_AnadirCrudo(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(base().ruta().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    for (auto _ : state) anadirCrudo(db);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * kFilasPorLote);
}
BENCHMARK(BM_AnadirCrudo)->Unit(benchmark::kMillisecond);

// "filas_s": rows per second through AddNew/Update (target: 100,000 or
// more); "razon": its time over the raw inserts' time.
void BM_AnadirRazon(benchmark::State& state) {
    datos::DAO_Conexion c;
    c.dataFile(base().ruta());
    c.conectar();
    sqlite3* db = nullptr;
    sqlite3_open_v2(base().ruta().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    double recordset = 0, crudo = 0;
    for (auto _ : state) {
        recordset += anadirConRecordset(c);
        crudo += anadirCrudo(db);
    }
    sqlite3_close(db);
    state.counters["filas_s"] = static_cast<double>(state.iterations()) * kFilasPorLote / recordset;
    state.counters["razon"] = recordset / crudo;
}
BENCHMARK(BM_AnadirRazon)->Iterations(10)->Unit(benchmark::kMillisecond);

const std::vector<std::string>& sentencias() {
    static const std::vector<std::string> s = {
        "SELECT top 200  * FROM COMUNICACIONES WHERE ENVIADO = False AND ISNUMERIC(TABLA) and "
        "Destino <> '900100001' AND SERVICIO <> 4 UNION SELECT top 1  * FROM COMUNICACIONES "
        "WHERE ENVIADO = False AND ISNUMERIC(TABLA) and Destino <> '900100001' AND SERVICIO = 4 "
        "ORDER BY SERVICIO, ID",
        "SELECT DESCRIPCION AS clavesys FROM XX0100 WHERE UCASE(NOMBRE) = 'REGIMEN'",
        "SELECT * FROM COMUNICACIONES WHERE FUNCION <> 'X' AND DESTINO = '900100001' AND "
        "(Tabla <> 23 and Tabla <> 27) ORDER BY TABLA, id",
        "UPDATE COMUNICACIONES SET ENVIADO = TRUE WHERE ID = 17",
        "DELETE FROM COMUNICACIONES WHERE ENVIADO = TRUE AND Destino <> '900100001' AND "
        "(DESTINO <> '0' AND ORIGEN <> '0') ",
        "select COUNT(*) AS ID from movinvHOY where fecha = #2026/12/07# AND NUMERORR = '15' AND "
        "SyA = '900100002' AND CODIGO = 'A1' UNION select COUNT(*) AS ID from movinv where "
        "fecha = #2026/12/07# AND NUMERORR = '15' AND SyA = '900100002' AND CODIGO = 'A1' ",
        "DELETE FROM RZS WHERE IDPRODUCTO = '12' AND TIPO like 'Prep*'",
        "SELECT top 1 * FROM COMUNICACIONES as C WHERE TABLA = 200 and SERVICIO = 2 and "
        "isnumeric(Campo11) AND EXISTS (select Nombre from terceros where idCliente = Campo11 ) ",
    };
    return s;
}

void BM_Traducir(benchmark::State& state) {
    for (auto _ : state)
        for (const auto& s : sentencias()) benchmark::DoNotOptimize(datos::sql::traducir(s));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(sentencias().size()));
}
BENCHMARK(BM_Traducir);

}  // namespace

BENCHMARK_MAIN();
