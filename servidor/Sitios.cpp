#include "Sitios.h"

#include <openssl/asn1.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdio>

#include "ConexionSQL.h"
#include "Operador.h"
#include "Reserva.h"
#include "protocolo/Comunicacion.h"

namespace servidor {

namespace {

// A site code longer than the column that holds it at the sites.
constexpr size_t kLargoSitio = 50;

Credencial invalida(std::string problema) {
    Credencial c;
    c.exigida = true;
    c.problema = std::move(problema);
    return c;
}

}  // namespace

std::string paraBitacora(const std::string& texto) {
    std::string r;
    for (unsigned char c : texto.substr(0, 80)) {
        if (c >= ' ' && c <= '~' && c != '\\') {
            r += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            r += hex;
        }
    }
    if (texto.size() > 80) r += "...";
    return r;
}

Credencial credencialDe(::ssl_st* sesion, long errorVerificacion) {
    X509* certificado = SSL_get1_peer_certificate(sesion);
    if (!certificado) return invalida("sin certificado de sitio");
    struct Liberar {
        X509* x;
        ~Liberar() { X509_free(x); }
    } liberar{certificado};
    // A session resumed from an earlier one runs no check: its result is
    // kept with the session.
    if (errorVerificacion == X509_V_OK) errorVerificacion = SSL_get_verify_result(sesion);
    if (errorVerificacion != X509_V_OK)
        return invalida(std::string("certificado no valido: ") +
                        X509_verify_cert_error_string(errorVerificacion));
    // An authority's own certificate is trusted as it stands in the file;
    // it is no site's.
    if (X509_check_ca(certificado) != 0) return invalida("certificado de una autoridad");

    X509_NAME* sujeto = X509_get_subject_name(certificado);
    const int indice = X509_NAME_get_index_by_NID(sujeto, NID_commonName, -1);
    if (indice < 0) return invalida("certificado sin nombre comun (CN)");
    if (X509_NAME_get_index_by_NID(sujeto, NID_commonName, indice) >= 0)
        return invalida("certificado con mas de un nombre comun (CN)");
    unsigned char* utf8 = nullptr;
    const int largo =
        ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(sujeto, indice)));
    if (largo < 0) return invalida("certificado con un nombre comun ilegible");
    std::string nombre(reinterpret_cast<const char*>(utf8), static_cast<size_t>(largo));
    OPENSSL_free(utf8);

    Credencial c;
    c.exigida = true;
    c.valida = true;
    c.sitio = std::move(nombre);
    return c;
}

std::string sinCredencial(const Credencial& quien) {
    if (!quien.exigida || quien.valida) return {};
    return quien.problema.empty() ? "sin certificado de sitio" : quien.problema;
}

std::string motivoDeRechazo(const Credencial& quien, const std::string& sitio) {
    if (std::string motivo = sinCredencial(quien); !motivo.empty()) return motivo;
    // The whole code, byte for byte: "900100001" is not "9001000010".
    if (quien.exigida && quien.sitio != sitio)
        return "el certificado es del sitio '" + paraBitacora(quien.sitio) + "', no de " +
               paraBitacora(sitio);
    return {};
}

std::string sitioInvalido(const std::string& sitio, const std::string& cliente,
                          size_t digitosSucursal) {
    const bool imprimible =
        std::all_of(sitio.begin(), sitio.end(), [](char c) { return c > ' ' && c <= '~'; });
    if (sitio.empty() || sitio.size() > kLargoSitio || !imprimible ||
        sitio == protocolo::kDestinoGeneral)
        return "'" + paraBitacora(sitio) +
               "' no es un codigo de sitio (hasta 50 caracteres visibles, sin blancos)";
    if (cliente.empty() || sitio.size() != cliente.size() + digitosSucursal ||
        sitio.compare(0, cliente.size(), cliente) != 0)
        return "el sitio " + sitio + " no es del cliente " + paraBitacora(cliente) +
               " seguido de una sucursal de " + std::to_string(digitosSucursal) + " caracteres";
    return {};
}

bool darDeAlta(ConexionSQL& c, const std::string& sitio, const std::string& cliente, int64_t ahora,
               bool porOperador) {
    c.ejecutar(Sentencia::AltaCliente, {cliente});
    // A general record posted at the same time reaches the new site once
    // (see Almacen.cpp).
    c.ejecutar(Sentencia::BloquearClienteExclusivo, {cliente});
    if (c.ejecutar(Sentencia::AltaSitio, {sitio, cliente, porOperador ? int64_t{0} : ahora, ahora,
                                          int64_t{porOperador ? 1 : 0}}) == 0)
        return false;
    c.ejecutar(Sentencia::EntregasAnteriores, {sitio, cliente});
    return true;
}

bool darDeBaja(Reserva& reserva, const std::string& sitio, const std::string& cliente) {
    return reserva.enTransaccion([&](ConexionSQL& c) {
        bool delCliente = false;
        c.ejecutar(Sentencia::SitiosRegistrados, {cliente},
                   [&](const FilaLeida& f) { delCliente = delCliente || f.texto(1) == sitio; });
        if (!delCliente || c.ejecutar(Sentencia::QuitarSitio, {sitio}) == 0) return false;
        c.ejecutar(Sentencia::CambiarSitios, {});
        return true;
    });
}

std::vector<SitioRegistrado> leerSitios(Reserva& reserva, const std::string& cliente) {
    return reserva.enTransaccion([&](ConexionSQL& c) {
        std::vector<SitioRegistrado> sitios;
        c.ejecutar(Sentencia::SitiosRegistrados, {cliente}, [&sitios](const FilaLeida& f) {
            sitios.push_back({std::string(f.texto(0)), std::string(f.texto(1)), f.entero(2),
                              f.entero(3) != 0, f.entero(4)});
        });
        return sitios;
    });
}

std::string informeSitios(const std::vector<SitioRegistrado>& sitios) {
    std::string informe;
    char linea[256];
    std::snprintf(linea, sizeof linea, "%-15s %-20s %-19s  %-14s  %s\n", "cliente", "sitio",
                  "registrado", "por", "ultima peticion");
    informe += linea;
    for (const auto& s : sitios) {
        std::snprintf(linea, sizeof linea, "%-15s %-20s %-19s  %-14s  %s\n", s.cliente.c_str(),
                      s.sitio.c_str(), textoFecha(s.alta).c_str(),
                      s.porOperador ? "operador" : "primera visita",
                      textoFecha(s.ultimaPeticion).c_str());
        informe += linea;
    }
    informe += std::to_string(sitios.size()) + " sitios registrados\n";
    return informe;
}

}  // namespace servidor
