#include "http/clsHTTP.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using http::clsHTTP;

clsHTTP servidor() {
    clsHTTP p;
    p.metodo("post");
    p.host("central.ejemplo");
    p.URI("/sincronizador/");
    p.port(80);
    return p;
}

TEST(Peticion, SetDataSeRindeByteAByte) {
    clsHTTP p = servidor();
    p.limpiarParams();
    p.addParam("r", "servicio/setData", "POST");
    p.addParam("idSyA", "900123001", "POST");
    const std::string dato = "[{\"Id\":\"5\",\"Campo1\":\"a&b=c+d\"},\r\n]";
    p.addParam("dato", dato, "post");
    const std::string cuerpo = "r=servicio/setData&idSyA=900123001&dato=" + dato;
    const std::string esperado =
        "POST /sincronizador/ HTTP/1.0\r\n"
        "Host: central.ejemplo\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\n"
        "Content-Length: " +
        std::to_string(cuerpo.size()) + "\r\n\r\n" + cuerpo + "\r\n";
    EXPECT_EQ(p.metodo(), "POST");
    EXPECT_EQ(p.generarPeticion(), esperado);

    // Without clearing, the automatic headers stay and are repeated.
    std::string segunda = p.generarPeticion();
    EXPECT_NE(segunda.find("Host: central.ejemplo\r\nContent-Type: application/"
                           "x-www-form-urlencoded\r\nContent-Length: " +
                           std::to_string(cuerpo.size()) + "\r\nHost: central.ejemplo\r\n"),
              std::string::npos);

    // Clearing starts afresh.
    p.limpiarParams();
    EXPECT_TRUE(p.paramsCabecera().empty());
    EXPECT_TRUE(p.paramsPost().empty());
    EXPECT_TRUE(p.paramsGet().empty());
}

TEST(Peticion, PostSinParametrosYCabecerasPropias) {
    clsHTTP p = servidor();
    EXPECT_EQ(p.generarPeticion(),
              "POST /sincronizador/ HTTP/1.0\r\nHost: central.ejemplo\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 0\r\n\r\n\r\n");

    // Caller headers come first; the kind is compared without regard to
    // case and an unknown kind is ignored.
    p.limpiarParams();
    p.addParam("X-Sitio", "7", "Header");
    p.addParam("a", "1", "POST");
    p.addParam("b", "2", "pOsT");
    p.addParam("zz", "9", "PUT");
    p.addParam("c", "3", "POST");
    EXPECT_EQ(p.paramsPost(), "a=1&b=2&c=3");
    EXPECT_EQ(p.generarPeticion(),
              "POST /sincronizador/ HTTP/1.0\r\nX-Sitio: 7\r\nHost: central.ejemplo\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 11\r\n\r\n"
              "a=1&b=2&c=3\r\n");
}

TEST(Peticion, GetCodificaLaConsultaYNoLlevaCuerpo) {
    clsHTTP p;
    p.metodo("Get");
    p.host("h");
    p.URI("/x");
    p.addParam("a", "x y", "get");
    p.addParam("b", "\xE9/~-1", "GET");
    p.addParam("ignorado", "sin cuerpo", "POST");
    EXPECT_EQ(p.generarPeticion(),
              "GET /x?a=x%20y&b=%E9%2F%7E%2D1 HTTP/1.0\r\nHost: h\r\n\r\n\r\n");
    EXPECT_EQ(clsHTTP::codificarURL("Az09 %"), "Az09%20%25");
}

TEST(Peticion, ComandoGuardaConBarraCodificada) {
    clsHTTP p = servidor();
    p.comando("servicio/getData");
    EXPECT_EQ(p.comando(), "servicio/getData");
    EXPECT_EQ(p.paramsPost(), "r=servicio%2FgetData");
    p.addParam("idSyA", "1", "POST");
    EXPECT_EQ(p.paramsPost(), "r=servicio%2FgetData&idSyA=1");
    // Clearing the parameters keeps the stored command.
    p.limpiarParams();
    EXPECT_EQ(p.comando(), "servicio/getData");
}

TEST(Respuesta, SeDivideEnEstadoCabecerasYCuerpo) {
    clsHTTP p;
    p.convertirRespuesta(
        "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nX-Ultima: fin\r\n\r\n"
        "dato=[1,2]\r\notra=linea\r\n");
    EXPECT_EQ(p.lineaEstado(), "HTTP/1.0 200 OK");
    EXPECT_EQ(p.cabeceraRespuesta(), "Content-Type: text/plain\r\nX-Ultima: fin");
    EXPECT_EQ(p.cuerpoRespuesta(), "dato=[1,2]\r\notra=linea\r\n");
    EXPECT_EQ(p.getResponseCode(), 200);
    EXPECT_EQ(p.getBodyData("dato"), "[1,2]");
    EXPECT_EQ(p.getBodyData("otra"), "linea");
    EXPECT_EQ(p.getBodyData("nada"), "");
    EXPECT_EQ(p.getHeaderData("Content-Type"), "text/plain");
    EXPECT_EQ(p.getHeaderData("X-Ultima"), "fin");
    EXPECT_EQ(p.getHeaderData("Ausente"), "");
}

TEST(Respuesta, ValoresDelCuerpoEnLasEsquinas) {
    clsHTTP p;
    // Only the value, no line end.
    p.convertirRespuesta("HTTP/1.0 200 OK\r\nA: b\r\n\r\ndato=[1,2]");
    EXPECT_EQ(p.getBodyData("dato"), "[1,2]");
    // The first occurrence counts, even inside a longer word; any separator
    // character is skipped.
    p.convertirRespuesta("HTTP/1.0 200 OK\r\nA: b\r\n\r\nlos datos:x\r\ndato=y\r\n");
    EXPECT_EQ(p.getBodyData("dato"), ":x");
    EXPECT_EQ(p.getBodyData("datos"), "x");
    // The key is case-sensitive.
    EXPECT_EQ(p.getBodyData("DATO"), "");
    // The search for the end starts at the value's second character, so an
    // empty value runs through the next line.
    p.convertirRespuesta("HTTP/1.0 200 OK\r\nA: b\r\n\r\ndato=\r\nresto\r\n");
    EXPECT_EQ(p.getBodyData("dato"), "\r\nresto");
    // A key at the very end has no value.
    p.convertirRespuesta("HTTP/1.0 200 OK\r\nA: b\r\n\r\nx dato");
    EXPECT_EQ(p.getBodyData("dato"), "");
    p.convertirRespuesta("HTTP/1.0 200 OK\r\nA: b\r\n\r\nx dato=");
    EXPECT_EQ(p.getBodyData("dato"), "");
    // Not 200: the error text, whatever the body holds.
    p.convertirRespuesta("HTTP/1.0 404 Not Found\r\nA: b\r\n\r\ndato=[1]\r\n");
    EXPECT_EQ(p.getResponseCode(), 404);
    EXPECT_EQ(p.getBodyData("dato"), "Error HTTP: 404");
    // The header lookup works without the status check.
    EXPECT_EQ(p.getHeaderData("A"), "b");
}

TEST(Respuesta, LoQueNoSePuedeDividirEsNingunaRespuesta) {
    const char* casos[] = {
        "",
        "HTTP/1.0 200 OK",                            // no CR LF
        "HTTP/1.0 200 OK\r\nA: b\r\ndato=1",          // no blank line
        "HTTP/1.0 200 OK\r\n\r\ndato=1\r\n",          // blank line right after status
        "HTTP/1.0 200\r\nA: b\r\n\r\ndato=1\r\n",     // one space only
        "HTTP/1.0 2x0 OK\r\nA: b\r\n\r\ndato=1\r\n",  // non-numeric code
        "HTTP/1.0  200 OK\r\nA: b\r\n\r\ndato=1\r\n",
        "HTTP/1.0 99999 OK\r\nA: b\r\n\r\ndato=1\r\n",  // does not fit 16 bits
    };
    for (const char* caso : casos) {
        clsHTTP p;
        p.convertirRespuesta("HTTP/1.0 200 OK\r\nA: b\r\n\r\ndato=previo\r\n");
        p.convertirRespuesta(caso);
        EXPECT_EQ(p.getResponseCode(), 0) << caso;
        EXPECT_EQ(p.cabeceraRespuesta(), "") << caso;
        EXPECT_EQ(p.cuerpoRespuesta(), "") << caso;
        EXPECT_EQ(p.getBodyData("dato"), "Error HTTP: 0") << caso;
        EXPECT_EQ(p.getHeaderData("A"), "") << caso;
    }
}

TEST(Respuesta, CabecerasLargasSeDividenIgual) {
    // A header block far beyond 32767 characters still splits.
    std::string largo(70000, 'x');
    clsHTTP p;
    p.convertirRespuesta("HTTP/1.0 200 OK\r\nX-Largo: " + largo + "\r\nY: z\r\n\r\ndato=ok\r\n");
    EXPECT_EQ(p.getResponseCode(), 200);
    EXPECT_EQ(p.getHeaderData("X-Largo").size(), largo.size());
    EXPECT_EQ(p.getHeaderData("Y"), "z");
    EXPECT_EQ(p.getBodyData("dato"), "ok");
}

}  // namespace
