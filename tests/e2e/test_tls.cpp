// The two sites and the reference server over TLS, with certificates made
// for the test by the openssl tool: the exchange works end to end with a
// private authority, and a certificate that cannot be trusted is refused
// like a refused connection, with nothing lost (and said in the log file).
// The server that asks for the sites' certificates serves a site only with
// its own, and only a registered site.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "soporte/Entorno.h"

namespace prueba {
namespace {

const std::string kCliente = "900100";

struct Certificado {
    fs::path certificado;
    fs::path clave;
};

std::string openssl() {
    for (const char* ruta : {"/usr/bin/openssl", "/bin/openssl"})
        if (fs::exists(ruta)) return ruta;
    throw std::runtime_error("the openssl tool is not installed (scripts/setup adds it)");
}

void correrOpenssl(std::vector<std::string> argumentos) {
    argumentos.insert(argumentos.begin(), openssl());
    const Resultado r = correr(argumentos);
    if (r.codigo != 0) throw std::runtime_error("openssl failed: " + r.salida);
}

// A self-signed certificate for `nombre` (and 127.0.0.1), its own authority.
Certificado crearCertificado(const fs::path& carpeta, const std::string& nombre) {
    const Certificado c{carpeta / (nombre + ".crt"), carpeta / (nombre + ".key")};
    correrOpenssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                   "/CN=" + nombre, "-addext", "subjectAltName=DNS:" + nombre + ",IP:127.0.0.1",
                   "-keyout", c.clave.string(), "-out", c.certificado.string()});
    return c;
}

// A site's certificate with the subject `sujeto` ("/CN=SITE"), signed by
// `autoridad`, as the README makes one; in files named `archivo`.
Certificado certificadoDeSitio(const fs::path& carpeta, const Certificado& autoridad,
                               const std::string& sujeto, const std::string& archivo) {
    const Certificado c{carpeta / (archivo + ".crt"), carpeta / (archivo + ".key")};
    const fs::path pedido = carpeta / (archivo + ".csr");
    correrOpenssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", sujeto, "-keyout",
                   c.clave.string(), "-out", pedido.string()});
    correrOpenssl({"x509", "-req", "-in", pedido.string(), "-CA", autoridad.certificado.string(),
                   "-CAkey", autoridad.clave.string(), "-CAcreateserial", "-days", "2", "-out",
                   c.certificado.string()});
    return c;
}

std::string direccionHttps(const ServidorReferencia& servidor) {
    return "https://localhost:" + std::to_string(servidor.puerto());
}

TEST(Tls, DosSitiosIntercambianConUnaAutoridadPropia) {
    CarpetaTemporal carpeta;
    const Certificado c = crearCertificado(carpeta.ruta(), "localhost");
    const Sitio a = crearSitio(carpeta.ruta(), kCliente, "001");
    const Sitio b = crearSitio(carpeta.ruta(), kCliente, "002");
    ServidorReferencia servidor(
        carpeta.ruta(), "", {"--tls-cert", c.certificado.string(), "--tls-key", c.clave.string()});
    escribirProducto(a, "TLS-1", "Jugo de lulo");
    escribirMensaje(a, "Por canal cifrado");

    const std::vector<std::string> ca{"--ca", c.certificado.string()};
    const Resultado ra = sincronizar(a, direccionHttps(servidor), 2, 50, 60s, ca);
    ASSERT_EQ(ra.codigo, 0) << ra.salida;
    // The request inside the TLS session is the same HTTP/1.0 text.
    EXPECT_NE(ra.salida.find("POST /sincronizador/ HTTP/1.0"), std::string::npos) << ra.salida;
    EXPECT_EQ(valor(a, "SELECT COUNT(*) FROM COMUNICACIONES"), "0") << ra.salida;

    const Resultado rb = sincronizar(b, direccionHttps(servidor), 2, 50, 60s, ca);
    ASSERT_EQ(rb.codigo, 0) << rb.salida;
    EXPECT_EQ(valor(b, "SELECT NombreProducto FROM Productos WHERE CodigoAB = 'TLS-1'"),
              "Jugo de lulo");
    EXPECT_EQ(valor(b, "SELECT COUNT(*) FROM MENSAJE WHERE mensaje = 'Por canal cifrado'"), "1");
    EXPECT_NE(servidor.salida().find("(HTTPS)"), std::string::npos);

    // Plain HTTP to the HTTPS server is no exchange either.
    escribirMensaje(a, "Sin cifrar");
    const Resultado claro = sincronizar(a, servidor.direccion(), 1, 50);
    EXPECT_EQ(claro.codigo, 4) << claro.salida;
    EXPECT_EQ(valor(a, "SELECT COUNT(*) FROM COMUNICACIONES WHERE Enviado = False"), "1");
}

// A certificate nobody vouches for, one made for another name, and a peer
// that speaks no TLS at all: each attempt fails with a console line that
// says why, the server is never given the batch, and the queue is intact.
TEST(Tls, CertificadoEquivocadoSeRechazaSinPerderNada) {
    CarpetaTemporal carpeta;
    const Certificado propio = crearCertificado(carpeta.ruta(), "localhost");
    const Certificado ajeno = crearCertificado(carpeta.ruta(), "otro.example");
    const Sitio a = crearSitio(carpeta.ruta(), kCliente, "001");
    escribirMensaje(a, "No debe salir");
    const fs::path registro = carpeta.ruta() / "sitio.log";

    struct Caso {
        std::string nombre;
        std::vector<std::string> servidor;
        std::vector<std::string> sitio;
        std::string motivo;
    };
    const std::vector<Caso> casos{
        {"without the private authority",
         {"--tls-cert", propio.certificado.string(), "--tls-key", propio.clave.string()},
         {"--registro", registro.string()},
         "Certificado no valido de localhost:"},
        {"for another name",
         {"--tls-cert", ajeno.certificado.string(), "--tls-key", ajeno.clave.string()},
         {"--ca", ajeno.certificado.string()},
         "Certificado no valido de localhost:"},
        {"a peer without TLS", {}, {"--ca", propio.certificado.string()}, "Fallo el saludo TLS"},
    };
    for (const Caso& caso : casos) {
        SCOPED_TRACE(caso.nombre);
        ServidorReferencia servidor(carpeta.ruta(), "", caso.servidor);
        const Resultado r = sincronizar(a, direccionHttps(servidor), 1, 50, 60s, caso.sitio);
        EXPECT_EQ(r.codigo, 4) << r.salida;
        EXPECT_NE(r.salida.find("Error de conexion (12175): " + caso.motivo), std::string::npos)
            << r.salida;
        EXPECT_EQ(r.salida.find("Conectado, enviando datos"), std::string::npos) << r.salida;
        EXPECT_EQ(servidor.salida().find("setData"), std::string::npos) << servidor.salida();
        EXPECT_EQ(valor(a, "SELECT COUNT(*) FROM COMUNICACIONES WHERE Enviado = False"), "1");
    }

    // The log file holds the same console lines, each with its time.
    std::ifstream log(registro);
    std::string linea;
    bool hallada = false;
    const std::regex conSello(
        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d Error de conexion \(12175\): Certificado no valido )"
        R"(de localhost:\d+: .+)");
    while (std::getline(log, linea)) hallada = hallada || std::regex_match(linea, conSello);
    EXPECT_TRUE(hallada) << "no such line in " << registro;

    // An authority file that holds no certificate stops the program at once.
    const Resultado mala =
        sincronizar(a, "https://localhost:1", 1, 50, 30s, {"--ca", propio.clave.string()});
    EXPECT_EQ(mala.codigo, 2) << mala.salida;
    EXPECT_NE(mala.salida.find("--ca"), std::string::npos) << mala.salida;
}

// Runs the server's operator command `sitio ...` on its store.
Resultado ordenSitio(const ServidorReferencia& servidor, const std::string& orden,
                     const std::string& sitio) {
    return correr({(carpetaBinarios() / "sincronizador-servidor").string(), "sitio", orden,
                   "--base", servidor.base(), "--cliente", kCliente, "--sitio", sitio});
}

std::string noEnviados(const Sitio& s) {
    return valor(s, "SELECT COUNT(*) FROM COMUNICACIONES WHERE Enviado = False");
}

// A server that asks for the sites' certificates: site A with its own
// exchanges; with its sibling's, with none, and with one of another
// authority that names it, it is refused with 403 (said in the server's
// log) and keeps its queue whole.
TEST(Tls, CadaSitioSoloConSuPropioCertificado) {
    CarpetaTemporal carpeta;
    const fs::path& d = carpeta.ruta();
    const Certificado servidorTls = crearCertificado(d, "localhost");
    const Certificado autoridad = crearCertificado(d, "Autoridad de sitios");
    const Sitio a = crearSitio(d, kCliente, "001");
    const Sitio b = crearSitio(d, kCliente, "002");
    const Certificado deA = certificadoDeSitio(d, autoridad, "/CN=" + a.codigo, "a");
    const Certificado deB = certificadoDeSitio(d, autoridad, "/CN=" + b.codigo, "b");
    // What an attacker holding a certificate of the authority may try: a
    // code that starts with A's, A's and B's names at once.
    const Certificado prefijo = certificadoDeSitio(d, autoridad, "/CN=" + a.codigo + "0", "p");
    const Certificado dos =
        certificadoDeSitio(d, autoridad, "/CN=" + b.codigo + "/CN=" + a.codigo, "dos");
    // Named as A, but by an authority the server does not take.
    const Certificado falso = crearCertificado(d, a.codigo);
    ServidorReferencia servidor(
        d, "",
        {"--tls-cert", servidorTls.certificado.string(), "--tls-key", servidorTls.clave.string(),
         "--ca-sitios", autoridad.certificado.string()},
        false);
    EXPECT_EQ(servidor.salida().find("sin --ca-sitios"), std::string::npos) << servidor.salida();
    for (const Sitio* s : {&a, &b}) ASSERT_EQ(ordenSitio(servidor, "agregar", s->codigo).codigo, 0);

    const auto con = [&](const Certificado& c) {
        return std::vector<std::string>{"--ca",          servidorTls.certificado.string(),
                                        "--certificado", c.certificado.string(),
                                        "--clave",       c.clave.string()};
    };
    escribirMensaje(a, "Solo con mi certificado");
    struct Caso {
        std::string nombre;
        std::vector<std::string> opciones;
        std::string motivo;
    };
    const std::vector<Caso> casos{
        {"the sibling's certificate", con(deB),
         "rechazado (403): el certificado es del sitio '" + b.codigo + "', no de " + a.codigo},
        {"no certificate",
         {"--ca", servidorTls.certificado.string()},
         "rechazado (403): sin certificado de sitio"},
        {"another authority's", con(falso), "rechazado (403): certificado no valido"},
        {"a longer code", con(prefijo),
         "rechazado (403): el certificado es del sitio '" + a.codigo + "0', no de " + a.codigo},
        {"two names", con(dos), "rechazado (403): certificado con mas de un nombre comun"},
        {"the authority's own", con(autoridad), "rechazado (403): certificado de una autoridad"},
    };
    for (const Caso& caso : casos) {
        SCOPED_TRACE(caso.nombre);
        const Resultado r = sincronizar(a, direccionHttps(servidor), 1, 50, 60s, caso.opciones);
        EXPECT_NE(r.codigo, 0) << r.salida;
        EXPECT_NE(r.salida.find("Certificado de sitio no valido"), std::string::npos) << r.salida;
        EXPECT_NE(servidor.salida().find(caso.motivo), std::string::npos) << servidor.salida();
        EXPECT_EQ(noEnviados(a), "1");
    }
    EXPECT_EQ(servidor.salida().find("setData"), std::string::npos) << servidor.salida();

    const Resultado ra = sincronizar(a, direccionHttps(servidor), 2, 50, 60s, con(deA));
    ASSERT_EQ(ra.codigo, 0) << ra.salida;
    EXPECT_EQ(noEnviados(a), "0");
    const Resultado rb = sincronizar(b, direccionHttps(servidor), 2, 50, 60s, con(deB));
    ASSERT_EQ(rb.codigo, 0) << rb.salida;
    EXPECT_EQ(valor(b, "SELECT COUNT(*) FROM MENSAJE WHERE mensaje = 'Solo con mi certificado'"),
              "1");
}

// The register: without --registro-abierto a site the operator did not
// register is refused and keeps its queue; with it the site registers
// itself; `sitio quitar` shuts a registered one out from its next request.
TEST(Tls, SoloLosSitiosRegistradosIntercambian) {
    CarpetaTemporal carpeta;
    const Sitio a = crearSitio(carpeta.ruta(), kCliente, "001");
    escribirMensaje(a, "Sin registro");
    {
        ServidorReferencia cerrado(carpeta.ruta(), "", {}, false);
        EXPECT_NE(cerrado.salida().find("sin --ca-sitios"), std::string::npos);
        const Resultado r = sincronizar(a, cerrado.direccion(), 1, 50);
        EXPECT_NE(r.codigo, 0) << r.salida;
        EXPECT_NE(r.salida.find("Sitio no registrado"), std::string::npos) << r.salida;
        EXPECT_NE(cerrado.salida().find("rechazado (403): sitio " + a.codigo + " no registrado"),
                  std::string::npos)
            << cerrado.salida();
        EXPECT_EQ(noEnviados(a), "1");
        // A code that is not the client's followed by a branch registers
        // nothing.
        const Resultado ajeno = ordenSitio(cerrado, "agregar", "900200001");
        EXPECT_EQ(ajeno.codigo, 2) << ajeno.salida;
        EXPECT_NE(ordenSitio(cerrado, "listar", "").salida.find("0 sitios registrados"),
                  std::string::npos);
    }
    ServidorReferencia abierto(carpeta.ruta());
    ASSERT_EQ(sincronizar(a, abierto.direccion(), 2, 50).codigo, 0);
    EXPECT_EQ(noEnviados(a), "0");
    const Resultado lista = ordenSitio(abierto, "listar", a.codigo);
    EXPECT_NE(lista.salida.find(a.codigo), std::string::npos) << lista.salida;
    EXPECT_NE(lista.salida.find("primera visita"), std::string::npos) << lista.salida;
    abierto.detener();

    // The same store, closed again: the site registered itself and is
    // served, until the operator takes it off.
    ServidorReferencia servidor(carpeta.ruta(), abierto.base(), {}, false);
    escribirMensaje(a, "Antes de quitarlo");
    ASSERT_EQ(sincronizar(a, servidor.direccion(), 2, 50).codigo, 0);
    EXPECT_EQ(noEnviados(a), "0");
    ASSERT_EQ(ordenSitio(servidor, "quitar", a.codigo).codigo, 0);
    // The running server learns of it within a couple of seconds.
    const std::string rechazo = "rechazado (403): sitio " + a.codigo + " no registrado";
    const auto hasta = std::chrono::steady_clock::now() + 30s;
    while (servidor.salida().find(rechazo) == std::string::npos &&
           std::chrono::steady_clock::now() < hasta)
        sincronizar(a, servidor.direccion(), 1, 50);
    EXPECT_NE(servidor.salida().find(rechazo), std::string::npos) << servidor.salida();
    escribirMensaje(a, "Despues de quitarlo");
    EXPECT_NE(sincronizar(a, servidor.direccion(), 1, 50).codigo, 0);
    EXPECT_EQ(noEnviados(a), "1");
}

}  // namespace
}  // namespace prueba
