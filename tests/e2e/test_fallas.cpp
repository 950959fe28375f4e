// The fault matrix: the real headless synchronizer of a site against a
// loopback peer that fails in one way, in front of the reference server's
// logic running in this process; and against the server itself while
// hostile connections besiege it. Whatever the fault, once a sound server is
// back every record the site queued reaches the server exactly once, and
// every record the server held for the site is stored once and applied once.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <ostream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ServidorHTTP.h"
#include "soporte/CentralEnProceso.h"
#include "soporte/Entorno.h"

namespace prueba {
namespace {

const std::string kCliente = "900100";
const std::string kSitio = "900100001";
// The sibling whose records reach the site; it exists only at the server.
const std::string kHermano = "900100002";
const std::string kGeneral = "000000000000000";
constexpr size_t kLimiteRespuesta = size_t{64} * 1024 * 1024;

std::string registroHermano(int id, int tabla, const std::vector<std::string>& campos) {
    return registroPublicado(id, tabla, kHermano, kSitio, campos);
}

// What the sibling sends the site: one record of each kind a user would
// miss, each recognisable in its target table.
std::vector<std::string> registrosDelHermano() {
    return {
        registroHermano(1, 2,
                        {"ENT-P1", "Jugo de lulo", "BEBIDAS", "BAR", "", "", "1", "0", "9000", "",
                         "0", "", "9000"}),
        registroHermano(2, 14, {"Mensaje de la sede 002", "CHAT", "LOCAL", "1"}),
        registroHermano(
            3, 16,
            {"", "1005", "PAPA", "Kilo", "-5", "12500", "2026/12/07", "10:00:00", "Remision",
             kHermano, "1", "bodega", "", "1", "", "", "", "RR-ENT-1", "12500"}),
        registroHermano(4, 22,
                        {"2001", "1", "Sin hielo", "Cliente Ent", "Calle 2", "3001112233", "1005"}),
        registroHermano(5, 25,
                        {"", "77", "cajero ent", "clave", "3001112233", "cajero", "1", "Caja",
                         "Sede", "2026/12/07", "50000"}),
    };
}

// What the site queued: a product and a message for every sibling, and two
// records of the kind of which a batch carries only one.
void escribirSalientes(const Sitio& s) {
    escribirProducto(s, "SAL-P1", "Arepa de queso");
    escribirMensaje(s, "Mensaje de la sede 001");
    for (const char* marca : {"S4-1", "S4-2"})
        ejecutar(s,
                 "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, "
                 "Campo1) VALUES (4, 9, '" +
                     s.codigo + "', '" + kGeneral + "', 'A', False, '" + marca + "')");
}

// Counts read from the site database in one statement, by name.
std::map<std::string, std::string> contar(
    const Sitio& s, const std::vector<std::pair<std::string, std::string>>& q) {
    std::string sql = "SELECT ";
    for (size_t i = 0; i < q.size(); ++i)
        sql += (i ? ", (SELECT COUNT(*) FROM " : "(SELECT COUNT(*) FROM ") + q[i].second + ")";
    const auto filas = consultar(s, sql);
    std::map<std::string, std::string> r;
    for (size_t i = 0; i < q.size() && !filas.empty() && i < filas[0].size(); ++i)
        r[q[i].first] = filas[0][i];
    return r;
}

// Inbound rows of the sibling's records of one table code.
std::string entrante(int tabla, const std::string& condicion) {
    return "COMUNICACIONES WHERE Destino = '" + kSitio + "' AND Origen = '" + kHermano +
           "' AND Tabla = " + std::to_string(tabla) + " AND " + condicion;
}

std::string saliente(const std::string& campo1) {
    return "COMUNICACIONES WHERE Origen = '" + kSitio + "' AND Enviado = False AND Campo1 = '" +
           campo1 + "'";
}

// Whether the site may take something while the fault lasts: records the
// server offers (stored, applied) and acknowledgements (rows marked sent).
struct Efecto {
    bool tomaEntrantes = false;
    bool marcaSalientes = false;
};

Efecto efectoDe(Falla falla) {
    switch (falla) {
        case Falla::MuereTrasGuardar:
            return {true, false};
        case Falla::EntregaDosVeces:
        case Falla::AcusaLoQueNoSeEnvio:
        case Falla::RegistroInguardableEntreBuenos:
        case Falla::RegistroEnormeEnLaCola:
        case Falla::RegistrosEnormesParaElSitio:
            return {true, true};
        default:
            return {};
    }
}

std::string basura() {
    std::mt19937 azar(9);
    std::string texto;
    for (int i = 0; i < 4096; ++i) texto += static_cast<char>(azar() & 0xFF);
    return texto + "\r\ndato=[{\"valor\r\n\0\0";
}

bool esGetData(const Peticion& p) {
    return p.parametro("r") == "servicio/getData";
}
bool esSetData(const Peticion& p) {
    return p.parametro("r") == "servicio/setData";
}

// The peer's script while the fault lasts.
PeerGuionado::Guion guionDe(Falla falla, CentralEnProceso& central) {
    switch (falla) {
        case Falla::Rechaza:
        case Falla::NuncaResponde:
            return [](const Peticion&) { return Accion{{}, 0, Accion::Fin::Colgar}; };
        case Falla::Reinicia:
            return [](const Peticion&) { return Accion{{}, 0, Accion::Fin::Reiniciar}; };
        case Falla::CierraAMitad:
            // The real answer, stored by the server, cut in half.
            return [&central](const Peticion& p) {
                Accion a{central.atender(p.ruta, p.cuerpo)};
                a.bytes.resize(std::min(a.bytes.size() - 1, a.bytes.size() / 2 + 20));
                return a;
            };
        case Falla::Basura:
            return [](const Peticion&) { return Accion{basura()}; };
        case Falla::Error500:
            // The server did its work and then failed: the body is the real
            // one, the status is not 200.
            return [&central](const Peticion& p) {
                const std::string cuerpo = central.cuerpo(p.cuerpo);
                return Accion{respuestaHttp(500, cuerpo)};
            };
        case Falla::SinDato:
            return [&central](const Peticion& p) {
                const std::string cuerpo = central.cuerpo(p.cuerpo);
                return Accion{respuestaHttp(200, "resultado=" + cuerpo.substr(5))};
            };
        case Falla::SobreElLimite:
            // The real answer, then blanks past the limit.
            return [&central](const Peticion& p) {
                const std::string cuerpo = central.cuerpo(p.cuerpo);
                return Accion{"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + cuerpo,
                              kLimiteRespuesta};
            };
        case Falla::MuereTrasGuardar:
            return [&central](const Peticion& p) {
                Accion a{central.atender(p.ruta, p.cuerpo)};
                if (esSetData(p)) return Accion{{}, 0, Accion::Fin::Cerrar};
                return a;
            };
        case Falla::EntregaDosVeces: {
            // The first getData answer is given again, whole, for the next
            // getData, and then once more with every record in it twice.
            auto guardada = std::make_shared<std::string>();
            auto veces = std::make_shared<int>(0);
            return [&central, guardada, veces](const Peticion& p) {
                if (!esGetData(p)) return Accion{central.atender(p.ruta, p.cuerpo)};
                if (guardada->empty()) {
                    *guardada = central.cuerpo(p.cuerpo);
                    return Accion{respuestaHttp(200, *guardada)};
                }
                if (++*veces == 1) return Accion{respuestaHttp(200, *guardada)};
                const std::string lista = guardada->substr(6, guardada->rfind(']') - 6);
                return Accion{respuestaHttp(200, "dato=[" + lista + "," + lista + "]\r\n")};
            };
        }
        case Falla::AcusaLoQueNoSeEnvio:
            // Every row id from 1 to 400 is listed as stored, whatever the
            // batch held.
            return [&central](const Peticion& p) {
                if (!esSetData(p)) return Accion{central.atender(p.ruta, p.cuerpo)};
                central.cuerpo(p.cuerpo);
                std::string valores;
                for (int id = 1; id <= 400; ++id)
                    valores += (id > 1 ? "," : "") + ("{\"valor\":\"" + std::to_string(id) + "\"}");
                return Accion{respuestaHttp(200, "dato=[" + valores + "]\r\n")};
            };
        case Falla::RegistroInguardableEntreBuenos:
            // A record whose table code no column holds, in the middle of the
            // real records, in every answer.
            return [&central](const Peticion& p) {
                if (!esGetData(p)) return Accion{central.atender(p.ruta, p.cuerpo)};
                std::string cuerpo = central.cuerpo(p.cuerpo);
                const std::string malo =
                    "{\"id\":\"990001\",\"Tabla\":\"99999999999\",\"Origen\":\"" + kHermano +
                    "\",\"Destino\":\"" + kSitio +
                    "\",\"Servicio\":\"2\",\"Funcion\":\"A\",\"Campo1\":\"MALO\"}";
                const size_t medio = cuerpo.find("},{\"id\"");
                if (medio != std::string::npos)
                    cuerpo.insert(medio + 2, malo + ",");
                else if (cuerpo.rfind(']') != std::string::npos)
                    cuerpo.insert(cuerpo.rfind(']'),
                                  cuerpo.find('{') == std::string::npos ? malo : "," + malo);
                return Accion{respuestaHttp(200, cuerpo)};
            };
        case Falla::Ninguna:
        case Falla::RegistroEnormeEnLaCola:
        case Falla::RegistrosEnormesParaElSitio:
            // A sound server: what is large is in the queue or in the store.
            return
                [&central](const Peticion& p) { return Accion{central.atender(p.ruta, p.cuerpo)}; };
    }
    return {};
}

// A text of `caracteres` copies of "ñ" (two bytes each; six once escaped
// in a batch).
std::string enes(size_t caracteres) {
    return "replace(hex(zeroblob(" + std::to_string(caracteres) + ")), '00', 'ñ')";
}

// Size of each of the records the server holds for the site in the case
// RegistrosEnormesParaElSitio: two of them do not fit one answer.
constexpr size_t kRegistroDe40MiB = size_t{40} * 1024 * 1024;

// What a case puts in the queue or the store before the peer fails.
void prepararTamanos(Falla falla, const Sitio& s, CentralEnProceso& central) {
    if (falla == Falla::RegistroEnormeEnLaCola) {
        // 11 MiB of "ñ", 66 MiB once escaped: more than any server takes,
        // at the head of the queue, before every other record.
        ejecutar(s,
                 "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, "
                 "Campo1, Campo2) VALUES (2, 9, '" +
                     s.codigo + "', '" + kGeneral + "', 'A', False, 'ENORME', " + enes(11u << 20) +
                     ")");
    }
    if (falla == Falla::RegistrosEnormesParaElSitio) {
        const std::string relleno(kRegistroDe40MiB, 'a');
        ASSERT_NE(central
                      .publicar(kHermano, {registroHermano(6, 9, {"GRANDE-1", relleno}),
                                           registroHermano(7, 9, {"GRANDE-2", relleno})})
                      .find("\"valor\":\"7\""),
                  std::string::npos);
    }
}

// A run's output with each line cut to its first 200 characters: what
// happened, without the records' payloads.
std::string lineas(const std::string& salida) {
    std::string r;
    size_t inicio = 0;
    while (inicio < salida.size()) {
        size_t fin = salida.find('\n', inicio);
        if (fin == std::string::npos) fin = salida.size();
        r += salida.substr(inicio, std::min<size_t>(fin - inicio, 200)) + "\n";
        inicio = fin + 1;
    }
    return r;
}

size_t contarTexto(const std::string& texto, const std::string& buscado) {
    size_t n = 0;
    for (size_t pos = texto.find(buscado); pos != std::string::npos;
         pos = texto.find(buscado, pos + 1))
        ++n;
    return n;
}

// Where every case starts: the sibling is known to the server and has
// posted its records, and the site has queued its own.
// `antes` runs before the site queues its own records, so what it queues
// stands at the head of the queue.
struct Escenario {
    explicit Escenario(const std::function<void(const Sitio&, CentralEnProceso&)>& antes = {}) {
        central.cuerpo("r=servicio/getData&idSyA=" + kHermano);
        if (central.publicar(kHermano, registrosDelHermano()).find("\"valor\":\"5\"") ==
            std::string::npos)
            throw std::runtime_error("the server did not take the sibling's records");
        if (antes) antes(s, central);
        escribirSalientes(s);
    }
    CarpetaTemporal carpeta;
    CentralEnProceso central;
    const Sitio s = crearSitio(carpeta.ruta(), kCliente, "001");
};

// Each record the server held for the site stored once, applied once and
// acknowledged; each record the site queued (and what applying the order
// queued) reached the sibling once. `cuarentena`: the case offered one
// unstorable record.
void comprobarQueTodoLlegoUnaVez(Escenario& e, bool cuarentena, const std::string& salidas) {
    const Sitio& s = e.s;
    const std::string cliente = "(SELECT IdTercero FROM TERCEROS WHERE Telefono1 = '3001112233')";
    const auto entrantes = contar(
        s,
        {{"producto guardado", entrante(2, "Campo1 = 'ENT-P1'")},
         {"producto aplicado", entrante(2, "Campo1 = 'ENT-P1' AND Funcion = 'X'")},
         {"producto", "PRODUCTOS WHERE CodigoAB = 'ENT-P1'"},
         {"mensaje guardado", entrante(14, "Campo1 = 'Mensaje de la sede 002' AND Funcion = 'X'")},
         {"mensaje", "MENSAJE WHERE mensaje = 'Mensaje de la sede 002'"},
         {"movimiento guardado", entrante(16, "Campo18 = 'RR-ENT-1' AND Funcion = 'X'")},
         {"movimiento", "MOVINVHOY WHERE NUMERORR = 'RR-ENT-1'"},
         {"pedido guardado", entrante(22, "Campo1 = '2001' AND Funcion = 'X'")},
         {"linea del pedido", "COMANDAS WHERE Tercero = " + cliente},
         {"acompanamiento",
          "ACOMPANAMIENTOS WHERE IDCOMANDA IN (SELECT idComanda FROM COMANDAS "
          "WHERE Tercero = " +
              cliente + ")"},
         {"usuario guardado", entrante(25, "Campo5 = '3001112233' AND Funcion = 'X'")},
         {"usuario", "PW WHERE Documento = '3001112233'"},
         {"sin aplicar", "COMUNICACIONES WHERE Destino = '" + kSitio + "' AND Funcion <> 'X'"},
         {"sin enviar", "COMUNICACIONES WHERE Origen = '" + kSitio + "' AND Enviado = False"},
         {"cuarentena", "CUARENTENA"}});
    std::map<std::string, std::string> esperado;
    for (const auto& [nombre, valor] : entrantes) esperado[nombre] = "1";
    esperado["sin aplicar"] = "0";
    esperado["sin enviar"] = "0";
    esperado["cuarentena"] = cuarentena ? "1" : "0";
    EXPECT_EQ(entrantes, esperado) << salidas;

    // Nothing more is held for the site: everything was acknowledged.
    EXPECT_TRUE(e.central.pendientes(kSitio).empty()) << salidas;

    std::map<std::string, int> recibidos;
    for (const auto& r : e.central.pendientes(kHermano)) {
        if (r.at("Origen") != kSitio) continue;
        const std::string tabla = r.at("Tabla");
        ++recibidos[tabla == "6" || tabla == "10" ? tabla : tabla + ":" + r.at("Campo1")];
    }
    for (const std::string& clave :
         {std::string("2:SAL-P1"), std::string("14:Mensaje de la sede 001"), std::string("9:S4-1"),
          std::string("9:S4-2"), std::string("6"), std::string("10")}) {
        EXPECT_EQ(recibidos[clave], 1) << clave << "\n" << salidas;
    }
}

class MatrizDeFallas : public testing::TestWithParam<Falla> {};

TEST_P(MatrizDeFallas, NadaSePierdeYCadaRegistroSeGuardaYAplicaUnaVez) {
    const Falla falla = GetParam();
    const Efecto efecto = efectoDe(falla);
    Escenario e([falla](const Sitio& s, CentralEnProceso& c) { prepararTamanos(falla, s, c); });
    ASSERT_FALSE(HasFatalFailure());
    CentralEnProceso& central = e.central;
    const Sitio& s = e.s;

    PeerGuionado peer(guionDe(falla, central));
    const std::string direccion =
        falla == Falla::Rechaza ? "127.0.0.1:" + std::to_string(puertoCerrado()) : peer.direccion();
    // A silent peer costs 51 ticks per exchange: one pass is enough there.
    const int pasadas = falla == Falla::NuncaResponde ? 1 : 2;
    // Tens of MiB take longer than 51 ticks of 10 ms to compose and parse.
    const bool grande =
        falla == Falla::RegistroEnormeEnLaCola || falla == Falla::RegistrosEnormesParaElSitio;
    const int intervalo = grande ? 100 : 10;
    const Resultado conFalla = sincronizar(s, direccion, pasadas, intervalo);
    ASSERT_NE(conFalla.codigo, -1) << "did not end by itself\n" << lineas(conFalla.salida);
    ASSERT_LT(conFalla.codigo, 128) << lineas(conFalla.salida);

    const std::vector<std::pair<std::string, std::string>> salientesIntactos = {
        {"SAL-P1", saliente("SAL-P1")},
        {"mensaje", saliente("Mensaje de la sede 001")},
        {"S4-1", saliente("S4-1")},
        {"S4-2", saliente("S4-2")},
    };
    if (!efecto.marcaSalientes) {
        for (const auto& [nombre, valor] : contar(s, salientesIntactos))
            EXPECT_EQ(valor, "1") << nombre << " marked or lost\n" << lineas(conFalla.salida);
    }
    if (!efecto.tomaEntrantes) {
        const auto antes =
            contar(s, {{"entrantes", "COMUNICACIONES WHERE Destino = '" + kSitio + "'"},
                       {"producto", "PRODUCTOS WHERE CodigoAB = 'ENT-P1'"}});
        EXPECT_EQ(antes.at("entrantes"), "0") << lineas(conFalla.salida);
        EXPECT_EQ(antes.at("producto"), "0") << lineas(conFalla.salida);
    }

    // A sound server again.
    peer.guion([&central](const Peticion& p) { return Accion{central.atender(p.ruta, p.cuerpo)}; });
    // Enough passes for a batch halved down to one record to grow back.
    const Resultado sano = sincronizar(s, peer.direccion(), 6, intervalo);
    ASSERT_EQ(sano.codigo, 0) << lineas(sano.salida);

    comprobarQueTodoLlegoUnaVez(e, falla == Falla::RegistroInguardableEntreBuenos,
                                lineas(conFalla.salida) + "\n----\n" + lineas(sano.salida));
    if (falla == Falla::RegistroInguardableEntreBuenos) {
        EXPECT_NE(consultar(s, "SELECT Texto FROM CUARENTENA")[0][0].find("99999999999"),
                  std::string::npos);
    }

    if (falla == Falla::RegistroEnormeEnLaCola) {
        // Set aside whole, once, and said once; the records behind it left.
        EXPECT_EQ(valor(s,
                        "SELECT COUNT(*) FROM APARTADOS_ENVIO WHERE Texto LIKE '*ENORME*' AND "
                        "length(Texto) > 60000000"),
                  "1");
        EXPECT_EQ(valor(s, "SELECT COUNT(*) FROM COMUNICACIONES WHERE Campo1 = 'ENORME'"), "0");
        EXPECT_EQ(contarTexto(conFalla.salida + sano.salida, "de la cola apartado"), 1u)
            << lineas(conFalla.salida);
        // The console showed a bounded part of each request.
        EXPECT_LT(conFalla.salida.size() + sano.salida.size(), size_t{8} << 20);
    }
    if (falla == Falla::RegistrosEnormesParaElSitio) {
        EXPECT_EQ(
            valor(s, "SELECT COUNT(*) FROM " +
                         entrante(9, "Campo1 LIKE 'GRANDE-*' AND length(Campo2) = " +
                                         std::to_string(kRegistroDe40MiB) + " AND Funcion = 'X'")),
            "2");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fallas, MatrizDeFallas,
    testing::Values(Falla::Rechaza, Falla::NuncaResponde, Falla::CierraAMitad, Falla::Reinicia,
                    Falla::Basura, Falla::Error500, Falla::SinDato, Falla::SobreElLimite,
                    Falla::MuereTrasGuardar, Falla::EntregaDosVeces, Falla::AcusaLoQueNoSeEnvio,
                    Falla::RegistroInguardableEntreBuenos, Falla::RegistroEnormeEnLaCola,
                    Falla::RegistrosEnormesParaElSitio),
    NombreDeFalla());

// A site on a line of 64 kbit/s (8,000 bytes a second each way), through
// the real server: a batch or an answer of about 130 KB takes 16 s on it.
// Every record crosses once and neither site stalls.
enum class Sentido { Subida, Bajada };

class LineaDe64Kbits : public testing::TestWithParam<Sentido> {};

TEST_P(LineaDe64Kbits, CadaRegistroCruzaUnaVezYNingunSitioSeDetiene) {
    CarpetaTemporal carpeta;
    ServidorReferencia servidor(carpeta.ruta());
    const Sitio lento = crearSitio(carpeta.ruta(), kCliente, "001");
    const Sitio rapido = crearSitio(carpeta.ruta(), kCliente, "002");
    // Both are known to the server before anything is posted for them.
    for (const Sitio* s : {&lento, &rapido})
        ASSERT_EQ(sincronizar(*s, servidor.direccion(), 1, 100).codigo, 0);

    const bool subida = GetParam() == Sentido::Subida;
    const Sitio& emisor = subida ? lento : rapido;
    const Sitio& receptor = subida ? rapido : lento;
    // Fifty chat messages of 2,500 characters for the client's other sites.
    constexpr int kMensajes = 50;
    ejecutar(emisor,
             "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, "
             "Campo1, Campo2, Campo3, Campo4) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT "
             "i + 1 FROM n WHERE i < " +
                 std::to_string(kMensajes) + ") SELECT 2, 14, '" + emisor.codigo + "', '" +
                 kGeneral +
                 "', 'A', False, 'LENTO-' || i || '-' || replace(hex(zeroblob(1250)), '00', "
                 "'xy'), 'CHAT', 'LOCAL', '1' FROM n");

    LineaLenta linea(servidor.puerto(), 8000);
    const auto porLinea = [&](const Sitio& s) {
        return &s == &lento ? linea.direccion() : servidor.direccion();
    };
    const Resultado envio = sincronizar(emisor, porLinea(emisor), 2, 100, 120s);
    ASSERT_EQ(envio.codigo, 0) << lineas(envio.salida);
    EXPECT_EQ(valor(emisor, "SELECT COUNT(*) FROM COMUNICACIONES WHERE Origen = '" + emisor.codigo +
                                "' AND Tabla = 14"),
              "0")
        << lineas(envio.salida);
    // The receiver takes them, and one more pass in which a record offered
    // again would be applied twice.
    const Resultado recepcion = sincronizar(receptor, porLinea(receptor), 3, 100, 120s);
    ASSERT_EQ(recepcion.codigo, 0) << lineas(recepcion.salida);

    EXPECT_EQ(consultar(receptor,
                        "SELECT COUNT(*), COUNT(DISTINCT mensaje) FROM MENSAJE WHERE mensaje LIKE "
                        "'LENTO-*'"),
              (std::vector<std::vector<std::string>>{{"50", "50"}}))
        << lineas(recepcion.salida);
    EXPECT_EQ(valor(receptor,
                    "SELECT COUNT(*) FROM COMUNICACIONES WHERE Tabla = 14 AND (Funcion "
                    "<> 'X' OR Destino <> '" +
                        receptor.codigo + "')"),
              "0");
    // The acknowledgements crossed too.
    EXPECT_EQ(valor(receptor,
                    "SELECT COUNT(*) FROM COMUNICACIONES WHERE Servicio = 0 AND Enviado = False"),
              "0");
    const Resultado despues = sincronizar(receptor, servidor.direccion(), 1, 100);
    ASSERT_EQ(despues.codigo, 0);
    EXPECT_EQ(valor(receptor, "SELECT COUNT(*) FROM MENSAJE WHERE mensaje LIKE 'LENTO-*'"), "50");
    EXPECT_GT(linea.subidos() + linea.bajados(), size_t{130000});
}

INSTANTIATE_TEST_SUITE_P(Sentidos, LineaDe64Kbits,
                         testing::Values(Sentido::Subida, Sentido::Bajada),
                         [](const testing::TestParamInfo<Sentido>& info) {
                             return info.param == Sentido::Subida ? "LoteDelSitioLento"
                                                                  : "RespuestaAlSitioLento";
                         });

// --- the server under siege ---

// Hostile connections, from a thread of their own until destroyed, each
// opened again when the server ends it.
enum class Asedio {
    // Four connections announce 64 MiB bodies and send nothing.
    CuatroReservan,
    // 700 connections, each from a loopback address of its own, send a
    // byte of a request head every two seconds.
    MultitudLenta,
};

std::string nombreAsedio(const testing::TestParamInfo<Asedio>& info) {
    return info.param == Asedio::CuatroReservan ? "CuatroConexionesReservanSinEnviar"
                                                : "SetecientasConexionesGoteanBytes";
}

class Asediador {
  public:
    Asediador(int puerto, Asedio asedio)
        : puerto_(puerto),
          asedio_(asedio),
          conexiones_(asedio == Asedio::CuatroReservan ? 4 : 700) {
        hilo_ = std::thread([this] { correr(); });
    }
    ~Asediador() {
        parar_ = true;
        hilo_.join();
        for (auto& c : conexiones_)
            if (c.fd >= 0) close(c.fd);
    }
    // Waits (bounded) until every connection has sent something.
    bool enMarcha(std::chrono::milliseconds limite) {
        const auto fin = std::chrono::steady_clock::now() + limite;
        while (enviaron_ < static_cast<int>(conexiones_.size()) &&
               std::chrono::steady_clock::now() < fin)
            std::this_thread::sleep_for(20ms);
        return enviaron_ >= static_cast<int>(conexiones_.size());
    }
    int aperturas() const { return aperturas_; }

  private:
    using Reloj = std::chrono::steady_clock;
    struct Conexion {
        int fd = -1;
        Reloj::time_point proxima;  // next open or next byte
        size_t enviados = 0;
        bool envioAlgunaVez = false;
    };

    void abrir(size_t i, Conexion& c, Reloj::time_point ahora) {
        // The crowd comes from as many loopback addresses as it has members.
        c.fd = conectar(puerto_, asedio_ == Asedio::MultitudLenta
                                     ? 0x7F010000u | static_cast<uint32_t>(i + 1)
                                     : INADDR_LOOPBACK);
        if (c.fd < 0) {
            cerrar(c, ahora);
            return;
        }
        ++aperturas_;
        c.enviados = 0;
        if (asedio_ == Asedio::CuatroReservan) {
            const std::string cabecera =
                "POST /sincronizador/ HTTP/1.0\r\nContent-Length: 67108864\r\n\r\n";
            send(c.fd, cabecera.data(), cabecera.size(), MSG_NOSIGNAL);
            enviado(c);
        }
        // The crowd's first bytes are spread over two seconds.
        c.proxima = ahora + std::chrono::milliseconds(i * 2000 / conexiones_.size());
    }
    void enviado(Conexion& c) {
        if (!c.envioAlgunaVez) ++enviaron_;
        c.envioAlgunaVez = true;
    }
    void cerrar(Conexion& c, Reloj::time_point ahora) {
        if (c.fd >= 0) close(c.fd);
        c.fd = -1;
        c.proxima = ahora + 100ms;
    }

    void correr() {
        const std::string cabecera =
            "POST /sincronizador/ HTTP/1.0\r\nHost: x\r\nX-Relleno: " + std::string(4000, 'a');
        std::vector<pollfd> espera;
        while (!parar_) {
            const auto ahora = Reloj::now();
            espera.clear();
            for (size_t i = 0; i < conexiones_.size(); ++i) {
                Conexion& c = conexiones_[i];
                if (c.fd < 0 && ahora >= c.proxima) abrir(i, c, ahora);
                if (c.fd < 0) continue;
                if (asedio_ == Asedio::MultitudLenta && ahora >= c.proxima) {
                    if (send(c.fd, &cabecera[c.enviados++ % cabecera.size()], 1, MSG_NOSIGNAL) !=
                        1) {
                        cerrar(c, ahora);
                        continue;
                    }
                    enviado(c);
                    c.proxima = ahora + 2s;
                }
                espera.push_back({c.fd, POLLIN, 0});
            }
            // The server sends nothing but an answer before it ends a
            // connection: whatever arrives means it is ending.
            if (poll(espera.data(), espera.size(), 20) <= 0) continue;
            for (const pollfd& p : espera) {
                if (!p.revents) continue;
                for (auto& c : conexiones_)
                    if (c.fd == p.fd) cerrar(c, Reloj::now());
            }
        }
    }

    const int puerto_;
    const Asedio asedio_;
    std::vector<Conexion> conexiones_;
    std::atomic<bool> parar_{false};
    std::atomic<int> enviaron_{0};
    std::atomic<int> aperturas_{0};
    std::thread hilo_;
};

// Room for the hostile connections at both ends, in this process.
void subirLimiteDeArchivos() {
    rlimit limite{};
    getrlimit(RLIMIT_NOFILE, &limite);
    limite.rlim_cur = limite.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limite);
    getrlimit(RLIMIT_NOFILE, &limite);
    if (limite.rlim_cur < 2048)
        throw std::runtime_error("the test needs 2048 open files; the limit is " +
                                 std::to_string(limite.rlim_cur));
}

// The reference server, as the program serves it (default limits), under
// siege while the real synchronizer of a site runs three passes: the site
// is not shut out, no answer of its is 503, and every record arrives once.
class ServidorAsediado : public testing::TestWithParam<Asedio> {};

TEST_P(ServidorAsediado, ElSitioSigueSincronizandoYNadaSePierde) {
    subirLimiteDeArchivos();
    Escenario e;
    std::ostringstream bitacora;
    servidor::ServidorHTTP http(e.central.central(), bitacora);
    const int puerto = http.enlazar("127.0.0.1", 0);
    ASSERT_GT(puerto, 0);
    std::thread sirviendo([&http] { http.atender(); });

    Resultado r;
    std::chrono::milliseconds duracion{};
    {
        Asediador asedio(puerto, GetParam());
        ASSERT_TRUE(asedio.enMarcha(30s));
        const auto inicio = std::chrono::steady_clock::now();
        r = sincronizar(e.s, "127.0.0.1:" + std::to_string(puerto), 3, 10, 90s);
        duracion = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - inicio);
        std::cout << "[ asedio   ] " << asedio.aperturas() << " hostile connections opened, "
                  << "the site's three passes took " << duracion.count() << " ms\n";
    }
    http.detener();
    sirviendo.join();

    ASSERT_EQ(r.codigo, 0) << r.salida.substr(0, 4000);
    EXPECT_EQ(r.salida.find("Ninguna accion realizada"), std::string::npos)
        << r.salida.substr(0, 4000);
    comprobarQueTodoLlegoUnaVez(e, false, r.salida.substr(0, 4000));
}

INSTANTIATE_TEST_SUITE_P(Asedios, ServidorAsediado,
                         testing::Values(Asedio::CuatroReservan, Asedio::MultitudLenta),
                         nombreAsedio);

}  // namespace
}  // namespace prueba
