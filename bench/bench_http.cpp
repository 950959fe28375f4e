// Rendering of a setData request carrying a batch of about 200 KB.
#include <benchmark/benchmark.h>

#include <string>

#include "http/clsHTTP.h"

namespace {

std::string loteDePrueba(size_t bytes) {
    std::string lote = "[";
    int id = 1;
    while (lote.size() < bytes) {
        if (id > 1) lote += ",\r\n";
        lote += "{\"Id\":\"" + std::to_string(id++) +
                "\",\"Servicio\":\"2\",\"Tabla\":\"6\",\"Origen\":\"900123001\","
                "\"Destino\":\"000000000000000\",\"Funcion\":\"A\",\"Enviado\":\"False\","
                "\"Campo1\":\"Hamburguesa doble con queso\",\"Campo2\":\"12500\"}";
    }
    return lote + "]";
}

void BM_PeticionSetData(benchmark::State& estado) {
    const std::string dato = loteDePrueba(200 * 1024);
    http::clsHTTP peticion;
    peticion.metodo("POST");
    peticion.host("central.ejemplo");
    peticion.URI("/sincronizador/");
    for (auto _ : estado) {
        peticion.limpiarParams();
        peticion.addParam("r", "servicio/setData", "POST");
        peticion.addParam("idSyA", "900123001", "POST");
        peticion.addParam("dato", dato, "POST");
        std::string texto = peticion.generarPeticion();
        benchmark::DoNotOptimize(texto.data());
    }
    estado.SetBytesProcessed(static_cast<int64_t>(estado.iterations()) *
                             static_cast<int64_t>(dato.size()));
}
BENCHMARK(BM_PeticionSetData);

}  // namespace

BENCHMARK_MAIN();
