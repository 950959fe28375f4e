// The apply step at volume: generic inserts, product updates and remote
// delivery order lines per second, and the cost of a run against a small
// and a very large target table.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "aplicacion/Aplicador.h"
#include "comun/Bitacora.h"
#include "datos/DAO_Conexion.h"
#include "datos/Esquema.h"

namespace {

using comun::Variant;

constexpr int kRegistros = 10000;
constexpr int kRegistrosEscala = 1000;

// A fresh site database in a temporary folder, removed when it goes.
class BaseBanco {
  public:
    explicit BaseBanco(bool demo = false) {
        std::random_device rd;
        carpeta_ =
            std::filesystem::temp_directory_path() / ("sinc-bench-ap-" + std::to_string(rd()));
        std::filesystem::create_directories(carpeta_);
        ruta_ = (carpeta_ / "sitio.db").string();
        datos::crearBaseSitio(ruta_, "900100", "001", "Banco de pruebas", demo);
        dao.dataFile(ruta_);
    }
    ~BaseBanco() {
        std::error_code ec;
        std::filesystem::remove_all(carpeta_, ec);
    }

    // Queues `n` records of one table code, built by `campos(i)` (the text
    // of the VALUES list after Funcion).
    template <class F>
    void recibir(int n, int tabla, const std::string& columnas, F campos) {
        dao.conectar();
        {
            datos::Transaccion t(dao);
            for (int i = 0; i < n; ++i)
                dao.comando(
                    "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, "
                    "Enviado" +
                    columnas + ") VALUES (2, " + std::to_string(tabla) +
                    ", '900100002', '900100001', 'A', 1" + campos(i) + ")");
            t.confirmar();
        }
        dao.desconectar();
    }
    // Makes every applied record pending again.
    void reabrir() { ejecutar("UPDATE COMUNICACIONES SET Funcion = 'A'"); }
    void ejecutar(const std::string& sql) {
        dao.conectar();
        dao.comando(sql);
        dao.desconectar();
    }

    datos::DAO_Conexion dao;

  private:
    std::filesystem::path carpeta_;
    std::string ruta_;
};

const std::string kColumnasMov = ", Campo2, Campo3, Campo5, Campo6, Campo7, Campo9, Campo18";
std::string camposMov(int i) {
    return ", '" + std::to_string(1000 + i % 50) + "', 'HARINA', '3', '9600', '07/12/2026', " +
           "'Compra', 'FC-" + std::to_string(i) + "'";
}

// Applies the queue once per iteration, then opens the records again for
// the next one; returns the seconds the runs took. With `esperados` > 0 a
// run that applies another number of records is an error.
double aplicarEnCadaIteracion(benchmark::State& state, BaseBanco& base, int esperados) {
    comun::BitacoraNula nula;
    aplicacion::Aplicador ap(base.dao, nula);
    double segundos = 0;
    for (auto _ : state) {
        const auto inicio = std::chrono::steady_clock::now();
        ap.aplicarComunicacion();
        segundos +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
        state.PauseTiming();
        if (esperados > 0 && ap.resumen().aplicados != esperados)
            state.SkipWithError("records not applied");
        base.reabrir();
        state.ResumeTiming();
    }
    return segundos;
}

void BM_InsercionGenerica(benchmark::State& state) {
    BaseBanco base;
    base.recibir(kRegistros, 8, kColumnasMov, camposMov);
    aplicarEnCadaIteracion(state, base, kRegistros);
    state.SetItemsProcessed(state.iterations() * kRegistros);
}
BENCHMARK(BM_InsercionGenerica)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_ActualizacionProductos(benchmark::State& state) {
    BaseBanco base;
    base.dao.conectar();
    {
        datos::Transaccion t(base.dao);
        for (int i = 0; i < kRegistros; ++i)
            base.dao.comando("INSERT INTO Productos (CodigoAB, NombreProducto) VALUES ('P" +
                             std::to_string(i) + "', 'Producto')");
        t.confirmar();
    }
    base.dao.desconectar();
    base.recibir(kRegistros, 2, ", Campo1, Campo2, Campo3, Campo4, Campo7, Campo9", [](int i) {
        return ", 'P" + std::to_string(i) + "', 'Producto renovado', 'Varios', 'BAR', '1', '4500'";
    });
    aplicarEnCadaIteracion(state, base, kRegistros);
    state.SetItemsProcessed(state.iterations() * kRegistros);
}
BENCHMARK(BM_ActualizacionProductos)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

constexpr int kPedidos = 2000;
double pedidosPorSegundo = 0;

// Delivery order lines with two side dishes each, as the central ordering
// channel sends them (code 22), for fifty customers who order again and
// again: each one registers or updates the customer, writes the line and
// its side dishes, and queues five records.
void BM_PedidosConDosAcompanamientos(benchmark::State& state) {
    BaseBanco base(true);
    base.recibir(kPedidos, 22, ", Campo1, Campo2, Campo3, Campo4, Campo5, Campo6, Campo7, Campo8",
                 [](int i) {
                     const std::string cliente = std::to_string(i % 50);
                     return ", '2001', '2', 'Sin cebolla', 'Cliente " + cliente + "', 'Calle " +
                            cliente + "', '31500000" + cliente + "', '1005', '1006'";
                 });
    const double segundos = aplicarEnCadaIteracion(state, base, kPedidos);
    pedidosPorSegundo = static_cast<double>(state.iterations() * kPedidos) / segundos;
    state.SetItemsProcessed(state.iterations() * kPedidos);
}
BENCHMARK(BM_PedidosConDosAcompanamientos)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// Seconds per run, by the size of the target table.
std::map<int64_t, double> segundosPorTamano;

void BM_TablaDestinoGrande(benchmark::State& state) {
    BaseBanco base;
    // About state.range(0) rows in MovInv: one row, doubled until there.
    base.ejecutar(
        "INSERT INTO MovInv (CODIGO, Nombre, Cantidad, Costo, fecha, Concepto, SyA, NUMERORR) "
        "VALUES ('1001', 'HARINA', 1, 3200, '2026-11-02', 'Compra', '900100001', 'X-1')");
    for (int64_t filas = 1; filas < state.range(0); filas *= 2)
        base.ejecutar(
            "INSERT INTO MovInv (CODIGO, Nombre, Cantidad, Costo, fecha, Concepto, SyA, NUMERORR) "
            "SELECT CODIGO, Nombre, Cantidad, Costo, fecha, Concepto, SyA, NUMERORR FROM MovInv");
    base.recibir(kRegistrosEscala, 8, kColumnasMov, camposMov);
    const double total = aplicarEnCadaIteracion(state, base, 0);
    segundosPorTamano[state.range(0)] = total / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * kRegistrosEscala);
}
BENCHMARK(BM_TablaDestinoGrande)
    ->Arg(10)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (segundosPorTamano.count(10) && segundosPorTamano.count(1000000) &&
        segundosPorTamano[10] > 0)
        std::printf(
            "1,000 records into 1,000,000 rows vs 10 rows: time ratio %.2f (target <= 1.3)\n",
            segundosPorTamano[1000000] / segundosPorTamano[10]);
    if (pedidosPorSegundo > 0)
        std::printf(
            "Remote order lines with two side dishes applied: %.0f per second (target >= 500)\n",
            pedidosPorSegundo);
    return 0;
}
