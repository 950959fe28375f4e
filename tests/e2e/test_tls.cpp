// The two sites and the reference server over TLS, with certificates made
// for the test by the openssl tool: the exchange works end to end with a
// private authority, and a certificate that cannot be trusted is refused
// like a refused connection, with nothing lost (and said in the log file).
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "Entorno.h"

namespace e2e {
namespace {

const std::string kCliente = "900100";

struct Certificado {
    fs::path certificado;
    fs::path clave;
};

// A self-signed certificate for `nombre` (and 127.0.0.1), its own authority.
Certificado crearCertificado(const fs::path& carpeta, const std::string& nombre) {
    const Certificado c{carpeta / (nombre + ".crt"), carpeta / (nombre + ".key")};
    for (const char* ruta : {"/usr/bin/openssl", "/bin/openssl"}) {
        if (!fs::exists(ruta)) continue;
        const Resultado r =
            correr({ruta, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                    "/CN=" + nombre, "-addext", "subjectAltName=DNS:" + nombre + ",IP:127.0.0.1",
                    "-keyout", c.clave.string(), "-out", c.certificado.string()});
        if (r.codigo != 0) throw std::runtime_error("openssl failed: " + r.salida);
        return c;
    }
    throw std::runtime_error("the openssl tool is not installed (scripts/setup adds it)");
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

}  // namespace
}  // namespace e2e
