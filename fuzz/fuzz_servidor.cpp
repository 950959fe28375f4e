// The reference server's request handling, called in process on a fresh
// in-memory central database per input. An input is a sequence of requests
// separated by lines holding only "--"; each request is its path on the
// first line ("/ombrel.php" for the partner, anything else the sites'
// endpoint) and the raw form body after it. Every request gets an answer of
// its own making (no internal error), and every "dato" the server answers
// is JSON the sites can read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Central.h"
#include "Exigir.h"
#include "json/JSON.h"

using fuzz::exigir;

namespace {

void comprobar(const servidor::Respuesta& r) {
    exigir(r.estado == 200 || (r.estado >= 400 && r.estado < 500),
           "the server answers each request itself, never with an internal error");
    if (r.estado != 200 || r.cuerpo.rfind("dato=", 0) != 0) return;
    const size_t fin = r.cuerpo.find("\r\n");
    const std::string dato = r.cuerpo.substr(5, fin == std::string::npos ? fin : fin - 5);
    const json::Analisis analisis = json::parse(dato);
    exigir(analisis.correcto(), "every \"dato\" the server writes parses");
    const comun::Variant& valor = analisis.valor;
    exigir(valor.esObjeto() && valor.objetoComo<json::Coleccion>() != nullptr,
           "every \"dato\" is a list");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t tamano) {
    const std::string_view texto(reinterpret_cast<const char*>(datos), tamano);
    servidor::Central central(":memory:", 3);
    size_t inicio = 0;
    while (inicio <= texto.size()) {
        size_t fin = texto.find("\n--\n", inicio);
        if (fin == std::string_view::npos) fin = texto.size();
        const std::string_view peticion = texto.substr(inicio, fin - inicio);
        const size_t salto = peticion.find('\n');
        const std::string_view ruta = peticion.substr(0, salto);
        const std::string_view cuerpo =
            salto == std::string_view::npos ? std::string_view() : peticion.substr(salto + 1);
        comprobar(ruta == "/ombrel.php" ? central.atenderQuiralte(cuerpo)
                                        : central.atenderSincronizador(cuerpo));
        inicio = fin + 4;
    }
    return 0;
}
