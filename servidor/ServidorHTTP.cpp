#include "ServidorHTTP.h"

#include <httplib.h>

#include "Central.h"

namespace servidor {

namespace {

void responder(httplib::Response& res, const Respuesta& respuesta) {
    res.status = respuesta.estado;
    res.set_content(respuesta.cuerpo, "text/plain");
}

}  // namespace

void montarRutas(httplib::Server& http, Central& central, std::mutex& cerrojo,
                 std::ostream& bitacora) {
    http.set_payload_max_length(kCuerpoMaximo);
    // One request per connection: the sites read the answer until the
    // server closes.
    http.set_keep_alive_max_count(1);
    http.set_read_timeout(30, 0);
    http.set_write_timeout(30, 0);

    // The body is collected through a content reader: the library's own
    // reading of form bodies refuses anything beyond a few kilobytes, far
    // below the batches the sites post.
    auto atender = [&central, &cerrojo, &bitacora](bool socio) {
        return
            [&central, &cerrojo, &bitacora, socio](const httplib::Request&, httplib::Response& res,
                                                   const httplib::ContentReader& leer) {
                std::string cuerpo;
                bool completo = leer([&cuerpo](const char* datos, size_t largo) {
                    if (cuerpo.size() + largo > kCuerpoMaximo) return false;
                    cuerpo.append(datos, largo);
                    return true;
                });
                std::lock_guard<std::mutex> guarda(cerrojo);
                if (!completo) {
                    res.status = 413;
                    res.set_content("Cuerpo demasiado grande\r\n", "text/plain");
                    bitacora << "rechazado: cuerpo demasiado grande" << std::endl;
                    return;
                }
                Respuesta respuesta =
                    socio ? central.atenderSocio(cuerpo) : central.atenderSincronizador(cuerpo);
                responder(res, respuesta);
                bitacora << respuesta.bitacora << std::endl;
            };
    };
    http.Post("/sincronizador/", atender(false));
    http.Post("/ombrel.php", atender(true));
    http.set_exception_handler(
        [&bitacora](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            res.status = 500;
            res.set_content("Error interno\r\n", "text/plain");
            bitacora << "error interno" << std::endl;
        });
}

}  // namespace servidor
