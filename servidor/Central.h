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
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Almacen.h"
#include "comun/Comunicacion.h"

namespace servidor {

// The destination that addresses every other site of the sender's client.
using comun::kDestinoGeneral;
// A site code longer than the column that holds it at the sites is refused.
inline constexpr size_t kLargoMaximoSitio = 50;
// At most this many records go out in one getData answer.
inline constexpr int kMaximoPorRespuesta = 500;

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

    // POST "/sincronizador/".
    Respuesta atenderSincronizador(std::string_view cuerpo);
    // POST "/ombrel.php", the partner endpoint.
    Respuesta atenderSocio(std::string_view cuerpo);

    // The client part of a site code: the code without its branch digits.
    std::string clienteDe(std::string_view sitio) const;

    // The store, for the operator's views.
    Almacen& almacen() { return *almacen_; }

  private:
    Respuesta getData(const std::string& sitio);
    Respuesta setData(const std::string& sitio, std::string_view dato);
    std::string destinoInvalido(const std::string& destino, const std::string& sitio,
                                const std::string& cliente) const;
    std::unique_ptr<Almacen> almacen_;
    size_t digitosSucursal_;
    std::string doctores_;
};

}  // namespace servidor
