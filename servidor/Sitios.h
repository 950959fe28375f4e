// Who may post and fetch in a site's name. Two rules, each optional:
// - the register: a site the operator registered (`sincronizador-servidor
//   sitio agregar`) is served; any other is refused, unless the server lets
//   sites register on their first visit (`--registro-abierto`);
// - the certificate: with an authority for the sites' certificates
//   (`--ca-sitios`), every request must come over TLS with a certificate
//   that authority signed, and a request in a site's name must come with
//   that site's certificate. A certificate names its site in its subject's
//   common name (CN), the whole site code and nothing else; the subject
//   alternative names are not read.
// Either refusal is answered 403, logged, and touches nothing in the store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Almacen.h"

struct ssl_st;

namespace servidor {

class ConexionSQL;
class Reserva;

// What the TLS layer learnt of the client of one connection.
struct Credencial {
    // The server requires sites' certificates (--ca-sitios).
    bool exigida = false;
    // The client presented a certificate the authority signed, naming one
    // site.
    bool valida = false;
    // The site it names, when valid.
    std::string sitio;
    // Why it is not valid, for the log.
    std::string problema;
};

// The credential of a TLS session whose handshake ended, given the first
// error the certificate's check found (0: none). See the rule above.
Credencial credencialDe(::ssl_st* sesion, long errorVerificacion);

// Why a request must be refused before it is read, "" when it may go on:
// a certificate was required and none valid was presented.
std::string sinCredencial(const Credencial& quien);
// Why a request in the name of `sitio` is refused, "" when it may go on.
std::string motivoDeRechazo(const Credencial& quien, const std::string& sitio);

// A text from the network as it may go in a log line: at most 80
// characters, bytes outside printable ASCII written as \xNN.
std::string paraBitacora(const std::string& texto);

// Why `sitio` cannot be a site of `cliente` whose branch codes are
// `digitosSucursal` long; "" when it can.
std::string sitioInvalido(const std::string& sitio, const std::string& cliente,
                          size_t digitosSucursal);

// The store's side of the register, on one connection inside a
// transaction: makes `sitio` known to its client and owed the client's
// general records posted before. False when it was registered already.
bool darDeAlta(ConexionSQL& c, const std::string& sitio, const std::string& cliente, int64_t ahora,
               bool porOperador);
// See Almacen::quitarSitio and Almacen::sitios.
bool darDeBaja(Reserva& reserva, const std::string& sitio, const std::string& cliente);
std::vector<SitioRegistrado> leerSitios(Reserva& reserva, const std::string& cliente);

// The operator's list of `sitio listar`.
std::string informeSitios(const std::vector<SitioRegistrado>& sitios);

}  // namespace servidor
