// The reference central server's protocol logic, independent of the HTTP
// transport: it takes a raw form body and gives the status, the body text
// and one log line. Records posted by the sites are stored once, routed by
// their destination and offered to each addressed site until that site
// acknowledges them. A site posts only in its own name and only to its own
// client: a record whose origin is another site, or whose destination is
// neither the general code nor a site of the poster's client, is kept
// aside, not delivered. Safe to call from
// several threads: the store serialises what must be.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Almacen.h"
#include "Metricas.h"
#include "Sitios.h"
#include "protocolo/Comunicacion.h"

namespace servidor {

// The destination that addresses every other site of the sender's client.
using protocolo::kDestinoGeneral;
// A site code longer than the column that holds it at the sites is refused.
inline constexpr size_t kLargoMaximoSitio = 50;
// At most this many records go out in one getData answer.
inline constexpr int kMaximoPorRespuesta = 500;
// How large one getData answer may be: kMaximoPorRespuesta records and,
// past the first, 4 MiB of JSON. A record whose answer form alone is larger
// than the sites take can never go: it is kept aside as a record posted in
// another site's name is (when it is posted, or, stored before, when it is
// first offered).
inline constexpr protocolo::LimiteLote kLimiteRespuesta{kMaximoPorRespuesta, size_t{4} << 20,
                                                        protocolo::kRegistroMaximo};

struct Respuesta {
    int estado = 200;
    std::string cuerpo;
    std::string bitacora;
};

// Splits a form body as sent: pairs on "&", each at its first "="; nothing
// is decoded, so a "+" or a "%" stays as it is.
std::vector<std::pair<std::string, std::string>> leerFormulario(std::string_view cuerpo);

// Seconds since the epoch, the store's clock.
int64_t ahora();

// Reads a doctors file (UTF-8) and returns its JSON array on one line, as it
// goes on the wire: in Windows-1252, with the characters the code page
// lacks as \u escapes. Throws std::runtime_error when the file cannot be
// read or is not a JSON array.
std::string leerDoctores(const std::string& ruta);

class Central {
  public:
    // doctores: the JSON array answered to getDoctores, on one line.
    Central(std::unique_ptr<Almacen> almacen, size_t digitosSucursal, std::string doctores = "[]");
    // The store named by `base` (see abrirAlmacen).
    Central(const std::string& base, size_t digitosSucursal, std::string doctores = "[]");

    // POST "/sincronizador/", from a client the TLS layer knows as `quien`
    // (see Sitios.h): a request in a site's name that the site's
    // certificate does not back, or of a site not registered, is refused
    // with 403.
    Respuesta atenderSincronizador(std::string_view cuerpo, const Credencial& quien = {});
    // POST "/ombrel.php", the partner endpoint.
    Respuesta atenderQuiralte(std::string_view cuerpo);

    // The client part of a site code: the code without its branch digits.
    std::string clienteDe(std::string_view sitio) const;

    // The answers' limit (kLimiteRespuesta unless changed). When an answer
    // was not taken (the site acknowledged none of it, so the next answer
    // starts with the same record) the next one to that site carries half
    // as many records, down to one; each answer that was taken doubles it
    // again, up to the limit.
    void limiteRespuesta(const protocolo::LimiteLote& limite) { limite_ = limite; }
    // The store, for the operator's views.
    Almacen& almacen() { return *almacen_; }
    // What the server counted of the requests since it started.
    Metricas& metricas() { return metricas_; }

  private:
    // atenderSincronizador without its counting: `tipo` and `sitio` say
    // what the request was, as far as it was read.
    Respuesta servirSincronizador(std::string_view cuerpo, const Credencial& quien,
                                  TipoPeticion& tipo, std::string& sitio);
    Respuesta servirQuiralte(std::string_view cuerpo);
    Respuesta getData(const std::string& sitio);
    Respuesta setData(const std::string& sitio, std::string_view dato);
    std::string destinoInvalido(const std::string& destino, const std::string& sitio,
                                const std::string& cliente) const;
    std::unique_ptr<Almacen> almacen_;
    size_t digitosSucursal_;
    std::string doctores_;
    protocolo::LimiteLote limite_ = kLimiteRespuesta;

    // What the server remembers of its last answer to each site.
    struct UltimaRespuesta {
        size_t filas = 0;     // the records the next answer may carry
        int64_t primera = 0;  // the first record it carried (0: none)
        size_t cantidad = 0;  // how many it carried
    };
    std::mutex cerrojoRespuestas_;
    std::unordered_map<std::string, UltimaRespuesta> respuestas_;
    Metricas metricas_;
};

}  // namespace servidor
