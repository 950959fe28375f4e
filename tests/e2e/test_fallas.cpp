// The fault matrix: the real headless synchronizer of a site against a
// loopback peer that fails in one way, in front of the reference server's
// logic running in this process. Whatever the fault, once a sound server is
// back every record the site queued reaches the server exactly once, and
// every record the server held for the site is stored once and applied once.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "CentralEnProceso.h"
#include "Entorno.h"

namespace e2e {
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

enum class Falla {
    Rechaza,
    NuncaResponde,
    CierraAMitad,
    Reinicia,
    Basura,
    Error500,
    SinDato,
    SobreElLimite,
    MuereTrasGuardar,
    EntregaDosVeces,
    AcusaLoQueNoSeEnvio,
    RegistroInguardableEntreBuenos,
};

std::string nombreFalla(const testing::TestParamInfo<Falla>& info) {
    switch (info.param) {
        case Falla::Rechaza:
            return "ServidorRechaza";
        case Falla::NuncaResponde:
            return "AceptaYNuncaResponde";
        case Falla::CierraAMitad:
            return "CierraAMitadDeLaRespuesta";
        case Falla::Reinicia:
            return "ReiniciaLaConexion";
        case Falla::Basura:
            return "RespondeBasura";
        case Falla::Error500:
            return "Responde500";
        case Falla::SinDato:
            return "Responde200SinDato";
        case Falla::SobreElLimite:
            return "CuerpoSobreElLimite";
        case Falla::MuereTrasGuardar:
            return "MuereEntreGuardarElLoteYResponder";
        case Falla::EntregaDosVeces:
            return "EntregaDosVecesLaRespuestaDeGetData";
        case Falla::AcusaLoQueNoSeEnvio:
            return "AcusaIdsQueNuncaSeLeEnviaron";
        case Falla::RegistroInguardableEntreBuenos:
            return "OfreceUnRegistroInguardableEntreBuenos";
    }
    return "Desconocida";
}

void PrintTo(Falla falla, std::ostream* salida) {
    *salida << nombreFalla(testing::TestParamInfo<Falla>(falla, 0));
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
                Accion a = central.atender(p);
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
                Accion a = central.atender(p);
                if (esSetData(p)) return Accion{{}, 0, Accion::Fin::Cerrar};
                return a;
            };
        case Falla::EntregaDosVeces: {
            // The first getData answer is given again, whole, for the next
            // getData, and then once more with every record in it twice.
            auto guardada = std::make_shared<std::string>();
            auto veces = std::make_shared<int>(0);
            return [&central, guardada, veces](const Peticion& p) {
                if (!esGetData(p)) return central.atender(p);
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
                if (!esSetData(p)) return central.atender(p);
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
                if (!esGetData(p)) return central.atender(p);
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
    }
    return {};
}

class MatrizDeFallas : public testing::TestWithParam<Falla> {};

TEST_P(MatrizDeFallas, NadaSePierdeYCadaRegistroSeGuardaYAplicaUnaVez) {
    const Falla falla = GetParam();
    const Efecto efecto = efectoDe(falla);
    CarpetaTemporal carpeta;
    CentralEnProceso central(carpeta.ruta());
    const Sitio s = crearSitio(carpeta.ruta(), kCliente, "001");

    // The sibling is known to the server and has posted its records.
    central.cuerpo("r=servicio/getData&idSyA=" + kHermano);
    ASSERT_NE(central.publicar(kHermano, registrosDelHermano()).find("\"valor\":\"5\""),
              std::string::npos);
    escribirSalientes(s);

    PeerGuionado peer(guionDe(falla, central));
    const std::string direccion =
        falla == Falla::Rechaza ? "127.0.0.1:" + std::to_string(puertoCerrado()) : peer.direccion();
    // A silent peer costs 51 ticks per exchange: one pass is enough there.
    const int pasadas = falla == Falla::NuncaResponde ? 1 : 2;
    const Resultado conFalla = sincronizar(s, direccion, pasadas, 10);
    ASSERT_NE(conFalla.codigo, -1) << "did not end by itself\n" << conFalla.salida;
    ASSERT_LT(conFalla.codigo, 128) << conFalla.salida;

    const std::vector<std::pair<std::string, std::string>> salientesIntactos = {
        {"SAL-P1", saliente("SAL-P1")},
        {"mensaje", saliente("Mensaje de la sede 001")},
        {"S4-1", saliente("S4-1")},
        {"S4-2", saliente("S4-2")},
    };
    if (!efecto.marcaSalientes) {
        for (const auto& [nombre, valor] : contar(s, salientesIntactos))
            EXPECT_EQ(valor, "1") << nombre << " marked or lost\n" << conFalla.salida;
    }
    if (!efecto.tomaEntrantes) {
        const auto antes =
            contar(s, {{"entrantes", "COMUNICACIONES WHERE Destino = '" + kSitio + "'"},
                       {"producto", "PRODUCTOS WHERE CodigoAB = 'ENT-P1'"}});
        EXPECT_EQ(antes.at("entrantes"), "0") << conFalla.salida;
        EXPECT_EQ(antes.at("producto"), "0") << conFalla.salida;
    }

    // A sound server again.
    peer.guion([&central](const Peticion& p) { return central.atender(p); });
    const Resultado sano = sincronizar(s, peer.direccion(), 3, 10);
    ASSERT_EQ(sano.codigo, 0) << sano.salida;

    // Inbound: each record stored once, marked applied, and its row written
    // once in its table.
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
    esperado["cuarentena"] = falla == Falla::RegistroInguardableEntreBuenos ? "1" : "0";
    EXPECT_EQ(entrantes, esperado) << conFalla.salida << "\n----\n" << sano.salida;
    if (falla == Falla::RegistroInguardableEntreBuenos) {
        EXPECT_NE(consultar(s, "SELECT Texto FROM CUARENTENA")[0][0].find("99999999999"),
                  std::string::npos);
    }

    // Nothing more is held for the site: everything was acknowledged.
    EXPECT_TRUE(central.pendientes(kSitio).empty()) << sano.salida;

    // Outbound: what the site queued, and what applying the order queued,
    // reached the sibling exactly once.
    std::map<std::string, int> recibidos;
    for (const auto& r : central.pendientes(kHermano)) {
        if (r.at("Origen") != kSitio) continue;
        const std::string tabla = r.at("Tabla");
        ++recibidos[tabla == "6" || tabla == "10" ? tabla : tabla + ":" + r.at("Campo1")];
    }
    for (const std::string& clave :
         {std::string("2:SAL-P1"), std::string("14:Mensaje de la sede 001"), std::string("9:S4-1"),
          std::string("9:S4-2"), std::string("6"), std::string("10")}) {
        EXPECT_EQ(recibidos[clave], 1) << clave << "\n"
                                       << conFalla.salida << "\n----\n"
                                       << sano.salida;
    }
}

INSTANTIATE_TEST_SUITE_P(Fallas, MatrizDeFallas,
                         testing::Values(Falla::Rechaza, Falla::NuncaResponde, Falla::CierraAMitad,
                                         Falla::Reinicia, Falla::Basura, Falla::Error500,
                                         Falla::SinDato, Falla::SobreElLimite,
                                         Falla::MuereTrasGuardar, Falla::EntregaDosVeces,
                                         Falla::AcusaLoQueNoSeEnvio,
                                         Falla::RegistroInguardableEntreBuenos),
                         nombreFalla);

}  // namespace
}  // namespace e2e
