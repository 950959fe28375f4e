// Parser speed against nlohmann::json and RapidJSON on a realistic getData
// answer of about 1 MB and 20 MB, our parser on the texts a hostile peer
// could send (TextosJson.h; memoria_json prints their peak memory), and the
// serialiser on a batch of 201 rows of 47 columns. The custom main prints the ratios that matter:
// our parse time over nlohmann's, and how parse time grows from 1 MB to 20 MB.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <map>
#include <string>
#include <vector>

#include "TextosJson.h"
#include "json/JSON.h"

namespace {

using comun::Variant;
using textos::Aleatorio;

const std::string& texto(int megas) {
    static std::map<int, std::string> cache;
    auto it = cache.find(megas);
    if (it == cache.end()) it = cache.emplace(megas, textos::respuesta(size_t(megas) << 20)).first;
    return it->second;
}

void BM_ParseNuestro(benchmark::State& state) {
    const std::string& t = texto(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        json::Analisis a = json::parse(t);
        if (!a.correcto()) state.SkipWithError("parse error");
        Variant v = std::move(a.valor);
        benchmark::DoNotOptimize(v);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(t.size()));
}

void BM_ParseNlohmann(benchmark::State& state) {
    const std::string& t = texto(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto v = nlohmann::json::parse(t);
        benchmark::DoNotOptimize(v);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(t.size()));
}

void BM_ParseRapidJSON(benchmark::State& state) {
    const std::string& t = texto(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        rapidjson::Document d;
        d.Parse(t.c_str(), t.size());
        if (d.HasParseError()) state.SkipWithError("parse error");
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(t.size()));
}

// One hostile text of textos::casos() per argument. The long ones end early
// with the parser's "Out of memory" line, which is what is measured.
void BM_ParseHostil(benchmark::State& state) {
    const auto caso = textos::casos()[static_cast<size_t>(state.range(0))];
    const std::string t = caso.construir(caso.bytes);
    state.SetLabel(caso.nombre);
    for (auto _ : state) {
        Variant v = json::parse(t).valor;
        benchmark::DoNotOptimize(v);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(t.size()));
}

// A record set of 201 rows of 47 columns, held in memory.
class Filas : public json::FuenteFilas {
  public:
    Filas() {
        nombres_ = {"Id", "Servicio", "Tabla", "Origen", "Destino", "Funcion", "Enviado"};
        for (int c = 1; c <= 40; ++c) nombres_.push_back("Campo" + std::to_string(c));
        Aleatorio r;
        const char* crudos[] = {
            "Peña Díaz", "Jamón \"ibérico\"", "C:\\Datos", "Menú & más", "Arroz {con} pollo",
            "Tom's",     "Línea\r\nsegunda",  "€ 12,50"};
        for (int f = 0; f < 201; ++f) {
            std::vector<Variant> fila;
            fila.emplace_back(int32_t(f + 1));
            fila.emplace_back(int16_t(1));
            fila.emplace_back(int16_t(16));
            fila.emplace_back("001002003004005");
            fila.emplace_back("000000000000000");
            fila.emplace_back("A");
            fila.emplace_back(false);
            for (int c = 0; c < 40; ++c) {
                switch (r.hasta(4)) {
                    case 0:
                        fila.emplace_back(double(r.hasta(100000)) / 100.0);
                        break;
                    case 1:
                        fila.push_back(Variant::Null());
                        break;
                    default:
                        fila.emplace_back(crudos[r.hasta(std::size(crudos))]);
                }
            }
            filas_.push_back(std::move(fila));
        }
    }
    void reiniciar() { actual_ = 0; }
    bool eof() const override { return actual_ >= filas_.size(); }
    bool bof() const override { return false; }
    size_t numeroCampos() const override { return nombres_.size(); }
    const std::string& nombreCampo(size_t i) const override { return nombres_[i]; }
    Variant valorCampo(size_t i) const override { return filas_[actual_][i]; }
    void MoveNext() override { ++actual_; }

    std::vector<std::string> nombres_;
    std::vector<std::vector<Variant>> filas_;

  private:
    size_t actual_ = 0;
};

void BM_RStoJSON(benchmark::State& state) {
    Filas filas;
    size_t bytes = 0;
    for (auto _ : state) {
        filas.reiniciar();
        std::string t = json::RStoJSON(filas);
        bytes += t.size();
        benchmark::DoNotOptimize(t);
    }
    state.SetBytesProcessed(int64_t(bytes));
}

void BM_Encode(benchmark::State& state) {
    Filas filas;
    std::vector<std::string> textos;
    size_t total = 0;
    for (const auto& fila : filas.filas_) {
        for (const auto& v : fila) {
            textos.push_back(v.texto());
            total += textos.back().size();
        }
    }
    for (auto _ : state) {
        for (const auto& t : textos) benchmark::DoNotOptimize(json::Encode(t));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(total));
}

BENCHMARK(BM_ParseNuestro)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseNlohmann)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseRapidJSON)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseHostil)
    ->DenseRange(0, static_cast<int64_t>(textos::casos().size()) - 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RStoJSON)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Encode)->Unit(benchmark::kMicrosecond);

// Keeps the CPU time per iteration of every run to print the ratios at the
// end (CPU time, so that other load on the machine disturbs them less).
class Registro : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> tiempos;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                tiempos[run.benchmark_name()] = run.cpu_accumulated_time / double(run.iterations);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void imprimirRazones(Registro& registro) {
    auto& t = registro.tiempos;
    auto razon = [&](const char* a, const char* b, const char* etiqueta) {
        if (t.count(a) && t.count(b) && t[b] > 0) std::printf("%s: %.2f\n", etiqueta, t[a] / t[b]);
    };
    razon("BM_ParseNuestro/1", "BM_ParseNlohmann/1", "ours/nlohmann time, 1 MB");
    razon("BM_ParseNuestro/20", "BM_ParseNlohmann/20", "ours/nlohmann time, 20 MB");
    razon("BM_ParseNuestro/20", "BM_ParseNuestro/1", "ours 20 MB / 1 MB time");
    razon("BM_ParseNlohmann/20", "BM_ParseNlohmann/1", "nlohmann 20 MB / 1 MB time");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Registro normal;
    benchmark::RunSpecifiedBenchmarks(&normal);
    imprimirRazones(normal);
#ifdef __GLIBC__
    // Between iterations the allocator gives the freed tree back to the
    // system and faults it in again on the next parse; that cost falls on
    // whichever parser frees larger blocks. The parsers again, with the
    // allocator keeping its memory, to show the parsing cost alone.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_TOP_PAD, 64 << 20);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    std::printf("\nAgain, with the allocator keeping freed memory:\n");
    Registro retenido;
    benchmark::RunSpecifiedBenchmarks(&retenido, "BM_Parse(Nuestro|Nlohmann|RapidJSON)/");
    imprimirRazones(retenido);
#endif
    benchmark::Shutdown();
    return 0;
}
