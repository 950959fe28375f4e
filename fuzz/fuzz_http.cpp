// The response split on arbitrary bytes, as the engine uses it: status code,
// the body values "dato" and "confirmacionEnvio", header values, then the
// parse of "dato". The same bytes also go out as a POST parameter: the
// rendered request's Content-Length counts its body exactly.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Exigir.h"
#include "http/clsHTTP.h"
#include "json/JSON.h"

using fuzz::exigir;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t tamano) {
    const std::string_view texto(reinterpret_cast<const char*>(datos), tamano);

    http::clsHTTP respuesta;
    respuesta.convertirRespuesta(texto);
    const int16_t codigo = respuesta.getResponseCode();
    exigir(codigo >= 0, "a status code is never negative");
    exigir(codigo == 0 || texto.find("\r\n\r\n") != std::string_view::npos,
           "only a response with a header block has a status");
    exigir(respuesta.cuerpoRespuesta().size() <= texto.size(), "the body is part of the response");
    for (const char* clave : {"dato", "confirmacionEnvio"}) {
        const std::string valor = respuesta.getBodyData(clave);
        if (codigo != 200) {
            exigir(valor == "Error HTTP: " + std::to_string(codigo),
                   "a status other than 200 gives its error text");
        } else {
            exigir(valor.size() <= respuesta.cuerpoRespuesta().size(),
                   "a body value is part of the body");
        }
    }
    for (const char* clave : {"Content-Length", "Content-Type", "Connection"}) {
        exigir(respuesta.getHeaderData(clave).size() <= respuesta.cabeceraRespuesta().size(),
               "a header value is part of the header block");
    }
    if (codigo == 200) json::parse(respuesta.getBodyData("dato"));

    http::clsHTTP peticion;
    peticion.metodo("post");
    peticion.host("127.0.0.1");
    peticion.URI("/sincronizador/");
    peticion.comando("servicio/setData");
    peticion.addParam("dato", texto, "POST");
    const std::string rendida = peticion.generarPeticion();
    const size_t corte = rendida.find("\r\n\r\n");
    exigir(corte != std::string::npos, "a request has a header block");
    const std::string cuerpo = rendida.substr(corte + 4, rendida.size() - corte - 6);
    exigir(rendida.find("Content-Length: " + std::to_string(cuerpo.size()) + "\r\n") < corte + 2,
           "Content-Length counts the body");
    exigir(rendida.substr(rendida.size() - 2) == "\r\n", "a request ends in CR LF");
    return 0;
}
