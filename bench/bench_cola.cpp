// The queue with a large backlog: building the outbound batch must not read
// the whole queue, and storing a large inbound answer must stay quick.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "comun/Variant.h"
#include "datos/DAO_Conexion.h"
#include "datos/Esquema.h"
#include "json/JSON.h"

namespace {

constexpr int kFilasCola = 100000;

// A site database in a temporary folder with a queue of kFilasCola unsent
// rows (plus three of Servicio 4), removed at exit.
class BaseConCola {
  public:
    BaseConCola() {
        std::random_device rd;
        carpeta_ = std::filesystem::temp_directory_path() / ("sinc-bench-" + std::to_string(rd()));
        std::filesystem::create_directories(carpeta_);
        ruta_ = (carpeta_ / "sitio.db").string();
        datos::crearBaseSitio(ruta_, "900100", "001", "Banco de pruebas", false);

        dao.dataFile(ruta_);
        dao.conectar();
        dao.sitio().identificadorCliente = "900100";
        datos::Transaccion t(dao);
        for (int i = 0; i < kFilasCola; ++i) {
            const int servicio = (i % 40000 == 7) ? 4 : 2;
            dao.comando(
                "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Campo1, "
                "Campo2, Campo3, Campo4) VALUES (?, 6, '900100001', '000000000000000', 'A', ?, "
                "'Hamburguesa doble', '2', 'C:\\ventas\\x')",
                {comun::Variant(int32_t{servicio}), comun::Variant(std::to_string(i))});
        }
        t.confirmar();
        dao.desconectar();
    }
    ~BaseConCola() {
        std::error_code ec;
        std::filesystem::remove_all(carpeta_, ec);
    }

    datos::DAO_Conexion dao;

  private:
    std::filesystem::path carpeta_;
    std::string ruta_;
};

BaseConCola& base() {
    static BaseConCola b;
    return b;
}

void BM_getComunicacion(benchmark::State& state) {
    auto& dao = base().dao;
    dao.conectar();
    size_t bytes = 0;
    for (auto _ : state) {
        std::string lote = protocolo::codificar(dao.getComunicacion());
        bytes = lote.size();
        benchmark::DoNotOptimize(lote);
    }
    dao.desconectar();
    state.counters["bytes_lote"] = static_cast<double>(bytes);
}
BENCHMARK(BM_getComunicacion)->Unit(benchmark::kMillisecond);

// An answer of n records with ids that no earlier answer used.
std::string respuesta(int n, int desde) {
    std::string t = "[";
    for (int i = 0; i < n; ++i) {
        if (i) t += ",\r\n";
        t += "{\"id\":\"" + std::to_string(desde + i) +
             "\",\"Servicio\":\"2\",\"Tabla\":\"6\",\"Origen\":\"900100002\",\"Destino\":"
             "\"900100001\",\"Funcion\":\"A\"";
        for (int k = 1; k <= 39; ++k) {
            t += ",\"Campo" + std::to_string(k) + "\":\"valor " + std::to_string(k) + "\"";
        }
        t += "}";
    }
    return t + "]";
}

void medirSetComunicacion(benchmark::State& state) {
    auto& dao = base().dao;
    const int n = static_cast<int>(state.range(0));
    static int siguiente = 1;
    for (auto _ : state) {
        state.PauseTiming();
        comun::Variant r = json::parse(respuesta(n, siguiente)).valor;
        siguiente += n;
        state.ResumeTiming();
        benchmark::DoNotOptimize(dao.setComunicacion(r));
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// The schema as it ships: the acknowledgement lookup (origen, destino,
// tabla, servicio, campo1) can only use the index on Destino, and every
// queued row of the general destination is compared.
void BM_setComunicacion(benchmark::State& state) {
    medirSetComunicacion(state);
}
BENCHMARK(BM_setComunicacion)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);

// With an index on (Servicio, Campo1) the lookup reads only the matching
// acknowledgements. A no-op once the schema carries the index.
void BM_setComunicacionIndiceAcuse(benchmark::State& state) {
    auto& dao = base().dao;
    dao.conectar();
    dao.comando(
        "CREATE INDEX IF NOT EXISTS COMUNICACIONES_Acuse ON COMUNICACIONES (Servicio, Campo1)");
    dao.desconectar();
    medirSetComunicacion(state);
}
BENCHMARK(BM_setComunicacionIndiceAcuse)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
