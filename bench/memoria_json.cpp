// Peak memory and time of one parse of each text of TextosJson.h: realistic
// answers and what a hostile peer could send. Each text is parsed in a child
// process of its own, so that the peak resident size (ru_maxrss) measured
// after the parse, less the one measured once the text is built, is what the
// parse itself took.
//
//   memoria_json            every case
//   memoria_json FILTER     the cases whose name contains FILTER
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "TextosJson.h"
#include "json/JSON.h"

namespace {

long residenteMaximoKiB() {
    rusage uso{};
    getrusage(RUSAGE_SELF, &uso);
    return uso.ru_maxrss;
}

void medir(const textos::Caso& caso) {
    const std::string texto = caso.construir(caso.bytes);
    const long antes = residenteMaximoKiB();
    const auto inicio = std::chrono::steady_clock::now();
    json::Analisis arbol = json::parse(texto);
    const auto fin = std::chrono::steady_clock::now();
    const long despues = residenteMaximoKiB();
    const double mib = double(texto.size()) / (1 << 20);
    const double pico = double(despues - antes) / 1024;
    std::printf("%-48s %8.1f MiB %9.1f ms  peak +%8.1f MiB = %5.2f x input  errors %zu bytes\n",
                caso.nombre, mib, std::chrono::duration<double, std::milli>(fin - inicio).count(),
                pico, pico / mib, arbol.errores.size());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<textos::Caso> casos = textos::casos();
    casos.insert(casos.begin(),
                 {{"realistic getData answer, 20 MiB", textos::respuesta, 20 << 20},
                  {"answer of empty records, 20 MiB", textos::registrosVacios, 20 << 20}});
    int fallos = 0;
    for (const auto& caso : casos) {
        if (argc > 1 && std::strstr(caso.nombre, argv[1]) == nullptr) continue;
        std::fflush(stdout);
        const pid_t hijo = fork();
        if (hijo == 0) {
            medir(caso);
            std::fflush(stdout);
            _exit(0);
        }
        int estado = 0;
        waitpid(hijo, &estado, 0);
        if (!WIFEXITED(estado) || WEXITSTATUS(estado) != 0) {
            std::printf("%-48s failed (status %d)\n", caso.nombre, estado);
            ++fallos;
        }
    }
    return fallos == 0 ? 0 : 1;
}
