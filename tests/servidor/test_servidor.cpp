// The reference server over real loopback HTTP: requests are rendered by
// the synchronizer's own codec and sent byte for byte on a raw socket.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "Central.h"
#include "ServidorHTTP.h"
#include "ServidorOperador.h"
#include "comun/Texto.h"
#include "http/clsHTTP.h"
#include "json/JSON.h"
#include "protocolo/Comunicacion.h"
#include "soporte/BaseCentralDePrueba.h"
#include "soporte/CentralEnProceso.h"
#include "soporte/Entorno.h"

namespace {

using namespace prueba;
using Registro = RegistroLeido;

const std::string kA = "900123001", kB = "900123002", kC = "900123003", kD = "900123004";
const std::string kOtroCliente = "777777001";
const std::string kGeneral = protocolo::kDestinoGeneral;

// A request to `uri` with the form `params`, exactly as the synchronizer
// renders it.
http::clsHTTP peticionA(const std::string& uri,
                        const std::vector<std::pair<std::string, std::string>>& params) {
    http::clsHTTP p;
    p.metodo("POST");
    p.host("127.0.0.1");
    p.URI(uri);
    for (const auto& [k, v] : params) p.addParam(k, v, "POST");
    return p;
}

// A request of `sitio` for the service `r` (with the batch `lote`, when
// given), ready to render.
http::clsHTTP peticionDe(const std::string& r, const std::string& sitio,
                         const std::string* lote = nullptr) {
    std::vector<std::pair<std::string, std::string>> params{{"r", r}, {"idSyA", sitio}};
    if (lote) params.emplace_back("dato", *lote);
    return peticionA("/sincronizador/", params);
}

http::clsHTTP peticionGetData(const std::string& sitio) {
    return peticionDe("servicio/getData", sitio);
}

std::string registroJSON(const Registro& r) {
    std::string texto = "{";
    for (const auto& [k, v] : r) {
        if (texto.size() > 1) texto += ",";
        texto += "\"" + k + "\":\"" + json::Encode(v) + "\"";
    }
    return texto + "}";
}

std::string loteJSON(const std::vector<Registro>& registros) {
    std::string texto = "[";
    for (const auto& r : registros) {
        if (texto.size() > 1) texto += ",\r\n";
        texto += registroJSON(r);
    }
    return texto + "]";
}

Registro dato(const std::string& id, const std::string& origen, const std::string& destino,
              const std::string& campo1, const std::string& tabla = "6") {
    return {{"Id", id},           {"Servicio", "2"}, {"Tabla", tabla},     {"Origen", origen},
            {"Destino", destino}, {"Funcion", "A"},  {"Enviado", "False"}, {"Campo1", campo1}};
}

Registro acuse(const std::string& id, const std::string& sitio, const std::string& entrega) {
    return {{"Id", id},           {"Servicio", "0"},     {"Tabla", "6"},
            {"Origen", sitio},    {"Destino", kGeneral}, {"Funcion", "A"},
            {"Enviado", "False"}, {"Campo1", entrega}};
}

// The server's log as the tests read it while its workers write: a stream
// whose every write and every reading takes one lock.
class BitacoraCompartida : public std::ostream {
  public:
    BitacoraCompartida() : std::ostream(&texto_) {}
    std::string str() const { return texto_.leer(); }

  private:
    struct Texto : std::streambuf {
        int_type overflow(int_type c) override {
            std::lock_guard<std::mutex> guarda(cerrojo);
            if (c != traits_type::eof()) texto.push_back(traits_type::to_char_type(c));
            return c;
        }
        std::streamsize xsputn(const char* s, std::streamsize n) override {
            std::lock_guard<std::mutex> guarda(cerrojo);
            texto.append(s, static_cast<size_t>(n));
            return n;
        }
        std::string leer() const {
            std::lock_guard<std::mutex> guarda(cerrojo);
            return texto;
        }
        mutable std::mutex cerrojo;
        std::string texto;
    } texto_;
};

// The operator's figures as Prometheus itself reads them: the text parsed
// by the Prometheus client library's own parser (Debian's
// python3-prometheus-client), each sample as "name{label=value,...}" with
// its value, and each family's type as "# name".
std::map<std::string, std::string> leerMetricas(const std::string& texto) {
    CarpetaTemporal carpeta;
    const fs::path archivo = carpeta.ruta() / "metrics.txt";
    std::ofstream(archivo, std::ios::binary) << texto;
    const Resultado r =
        correr({"/usr/bin/python3", "-c",
                "import sys\n"
                "from prometheus_client.parser import text_string_to_metric_families\n"
                "for f in text_string_to_metric_families(open(sys.argv[1]).read()):\n"
                "    print('# ' + f.name, f.type)\n"
                "    for s in f.samples:\n"
                "        l = ','.join(k + '=' + v for k, v in sorted(s.labels.items()))\n"
                "        print(s.name + '{' + l + '}', s.value)\n",
                archivo.string()});
    std::map<std::string, std::string> muestras;
    EXPECT_EQ(r.codigo, 0) << r.salida;
    std::istringstream lineas(r.salida);
    std::string linea;
    while (std::getline(lineas, linea)) {
        const size_t blanco = linea.rfind(' ');
        if (blanco != std::string::npos)
            muestras[linea.substr(0, blanco)] = linea.substr(blanco + 1);
    }
    return muestras;
}

// What a browser shows of `url`: the DOM after the page loaded, from
// headless Chromium; nothing when Chromium is not installed.
std::optional<std::string> enChromium(const std::string& url) {
    if (!fs::exists("/usr/bin/chromium")) return std::nullopt;
    CarpetaTemporal perfil;
    const Resultado r = correr({"/usr/bin/chromium", "--headless", "--disable-gpu", "--no-sandbox",
                                "--user-data-dir=" + perfil.ruta().string(), "--dump-dom", url},
                               120s);
    EXPECT_EQ(r.codigo, 0) << r.salida;
    return r.salida;
}

// An address of this machine that is not loopback, to reach a listener as
// another machine would; "" when it has none.
std::string direccionDeFuera() {
    ifaddrs* lista = nullptr;
    if (getifaddrs(&lista) != 0) return {};
    std::string encontrada;
    for (ifaddrs* i = lista; i && encontrada.empty(); i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        char texto[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr, texto,
                  sizeof texto);
        if (!servidor::esLoopback(texto)) encontrada = texto;
    }
    freeifaddrs(lista);
    return encontrada;
}

// The server over HTTP on each kind of store: the same cases on SQLite and
// on PostgreSQL.
class ServidorEnMarcha : public ::testing::TestWithParam<servidor::TipoBase> {
  protected:
    void SetUp() override {
        base_ = std::make_unique<prueba::BaseCentralDePrueba>(GetParam());
        arrancar();
    }
    void TearDown() override {
        detener();
        base_.reset();
    }

    void arrancar() {
        central_ =
            std::make_unique<servidor::Central>(base_->base(), 3, R"([{"id":"1","cedula":"7"}])");
        if (limiteRespuesta_) central_->limiteRespuesta(*limiteRespuesta_);
        http_ = std::make_unique<servidor::ServidorHTTP>(*central_, bitacora_, limites_);
        puerto_ = http_->enlazar("127.0.0.1", 0);
        ASSERT_GT(puerto_, 0);
        hilo_ = std::thread([this] { http_->atender(); });
        while (!http_->enMarcha()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The server again, on the same store, with answers bounded by
    // `limite`: the central's settings are not changed under its workers.
    void reiniciar(const protocolo::LimiteLote& limite) {
        detener();
        limiteRespuesta_ = limite;
        arrancar();
    }
    void detener() {
        if (http_) http_->detener();
        if (hilo_.joinable()) hilo_.join();
        http_.reset();
        central_.reset();
    }

    // The request sent to the server, with its answer read into it.
    http::clsHTTP enviar(http::clsHTTP p) {
        p.convertirRespuesta(intercambiar(puerto_, p.generarPeticion()));
        return p;
    }
    http::clsHTTP pedir(const std::string& uri,
                        const std::vector<std::pair<std::string, std::string>>& params) {
        return enviar(peticionA(uri, params));
    }
    http::clsHTTP servicio(const std::string& r, const std::string& sitio,
                           const std::string* lote = nullptr) {
        return enviar(peticionDe(r, sitio, lote));
    }
    std::vector<Registro> getData(const std::string& sitio) {
        http::clsHTTP p = servicio("servicio/getData", sitio);
        EXPECT_EQ(p.getResponseCode(), 200);
        return leerRegistros(p.getBodyData("dato"));
    }
    std::vector<std::string> setData(const std::string& sitio, const std::vector<Registro>& lote) {
        std::string texto = loteJSON(lote);
        http::clsHTTP p = servicio("servicio/setData", sitio, &texto);
        EXPECT_EQ(p.getResponseCode(), 200);
        std::vector<std::string> valores;
        for (const auto& r : leerRegistros(p.getBodyData("dato"))) valores.push_back(r.at("valor"));
        return valores;
    }

    // `sitio` acknowledges `recibidos` in rows numbered from `primeraFila`.
    void acusar(const std::string& sitio, const std::vector<Registro>& recibidos, int primeraFila) {
        std::vector<Registro> acuses;
        for (size_t i = 0; i < recibidos.size(); ++i)
            acuses.push_back(acuse(std::to_string(primeraFila + static_cast<int>(i)), sitio,
                                   recibidos[i].at("id")));
        setData(sitio, acuses);
    }
    // The records the store holds for `sitio`, read beside the server.
    int64_t pendientesDe(const std::string& sitio) {
        for (const auto& e : servidor::abrirAlmacen(base_->base(), 1)->estado())
            if (e.sitio == sitio) return e.pendientes;
        return 0;
    }

    std::unique_ptr<prueba::BaseCentralDePrueba> base_;
    std::unique_ptr<servidor::Central> central_;
    servidor::Limites limites_;
    std::optional<protocolo::LimiteLote> limiteRespuesta_;
    std::unique_ptr<servidor::ServidorHTTP> http_;
    BitacoraCompartida bitacora_;
    std::thread hilo_;
    int puerto_ = 0;
};

TEST_P(ServidorEnMarcha, GeneralSeRepartePorClienteYDirectoSoloAlDestino) {
    getData(kB);
    getData(kC);
    getData(kOtroCliente);
    auto valores = setData(
        kA, {dato("10", kA, kGeneral, "hola+mundo & 100% {x}"), dato("11", kA, kB, "solo B")});
    EXPECT_EQ(valores, (std::vector<std::string>{"10", "11"}));

    auto paraB = getData(kB);
    ASSERT_EQ(paraB.size(), 2u);
    EXPECT_EQ(paraB[0].at("Destino"), kB);
    EXPECT_EQ(paraB[0].at("Origen"), kA);
    EXPECT_EQ(paraB[0].at("Campo1"), "hola+mundo & 100% {x}");
    EXPECT_EQ(paraB[0].at("Tabla"), "6");
    EXPECT_EQ(paraB[0].at("Servicio"), "2");
    EXPECT_EQ(paraB[0].at("Funcion"), "A");
    EXPECT_EQ(paraB[0].count("Campo39"), 1u);
    EXPECT_EQ(paraB[0].count("Campo40"), 0u);
    EXPECT_EQ(paraB[1].at("Destino"), kB);
    EXPECT_EQ(paraB[1].at("Campo1"), "solo B");

    auto paraC = getData(kC);
    ASSERT_EQ(paraC.size(), 1u);
    EXPECT_EQ(paraC[0].at("Destino"), kC);
    EXPECT_NE(paraC[0].at("id"), paraB[0].at("id"));
    EXPECT_NE(paraB[1].at("id"), paraB[0].at("id"));

    EXPECT_TRUE(getData(kA).empty());
    EXPECT_TRUE(getData(kOtroCliente).empty());
}

TEST_P(ServidorEnMarcha, SitioConocidoTardeRecibeLoGeneralAnteriorPeroNoLoPropio) {
    setData(kA, {dato("1", kA, kGeneral, "previo")});
    setData(kD, {dato("1", kD, kGeneral, "propio de D")});  // same Id, other site
    auto paraD = getData(kD);
    ASSERT_EQ(paraD.size(), 1u);
    EXPECT_EQ(paraD[0].at("Campo1"), "previo");
    EXPECT_EQ(paraD[0].at("Destino"), kD);
    auto paraA = getData(kA);
    ASSERT_EQ(paraA.size(), 1u);
    EXPECT_EQ(paraA[0].at("Campo1"), "propio de D");
}

TEST_P(ServidorEnMarcha, AcuseTerminaLaEntregaYReenvioNoDuplica) {
    setData(kA, {dato("10", kA, kB, "x")});
    auto primera = getData(kB);
    ASSERT_EQ(primera.size(), 1u);
    const std::string entrega = primera[0].at("id");

    // The answer to the site was lost: the record is offered again, and a
    // re-post of the same record by its sender is not stored twice.
    EXPECT_EQ(setData(kA, {dato("10", kA, kB, "x")}), std::vector<std::string>{"10"});
    auto segunda = getData(kB);
    ASSERT_EQ(segunda.size(), 1u);
    EXPECT_EQ(segunda[0].at("id"), entrega);

    // Another site cannot acknowledge B's delivery.
    setData(kC, {acuse("70", kC, entrega)});
    EXPECT_EQ(getData(kB).size(), 1u);

    // The records survive a restart of the server.
    detener();
    arrancar();
    EXPECT_EQ(getData(kB).size(), 1u);

    EXPECT_EQ(setData(kB, {acuse("55", kB, entrega)}), std::vector<std::string>{"55"});
    EXPECT_TRUE(getData(kB).empty());
    // A repeated acknowledgement is still listed so the site stops sending it.
    EXPECT_EQ(setData(kB, {acuse("55", kB, entrega)}), std::vector<std::string>{"55"});
    EXPECT_NE(bitacora_.str().find("setData 900123001: 0 nuevos, 1 repetidos"), std::string::npos);
}

TEST_P(ServidorEnMarcha, RegistrosSinTablaAcusableSalenUnaVez) {
    setData(kA, {dato("1", kA, kB, "sin tabla", "0"), dato("2", kA, kB, "con tabla")});
    EXPECT_EQ(getData(kB).size(), 2u);
    auto luego = getData(kB);
    ASSERT_EQ(luego.size(), 1u);
    EXPECT_EQ(luego[0].at("Campo1"), "con tabla");
}

TEST_P(ServidorEnMarcha, LotesGrandesYLimiteDeEntregaEnOrden) {
    std::vector<Registro> lote;
    const std::string relleno(400, 'z');
    for (int i = 1; i <= 501; ++i)
        lote.push_back(dato(std::to_string(i), kA, kB, std::to_string(i) + relleno));
    EXPECT_EQ(setData(kA, lote).size(), 501u);
    auto paraB = getData(kB);
    ASSERT_EQ(paraB.size(), 500u);
    EXPECT_EQ(paraB.front().at("Campo1"), "1" + relleno);
    EXPECT_EQ(paraB.back().at("Campo1"), "500" + relleno);
    acusar(kB, paraB, 1000);
    auto resto = getData(kB);
    ASSERT_EQ(resto.size(), 1u);
    EXPECT_EQ(resto[0].at("Campo1"), "501" + relleno);
}

TEST_P(ServidorEnMarcha, PeticionesMalFormadasReciben400YElServidorSigue) {
    std::string roto = "[{\"Id\":\"1\"";
    std::string noLista = "{\"Id\":\"1\"}";
    std::string conNumero = "[1]";
    struct Caso {
        std::vector<std::pair<std::string, std::string>> params;
    } casos[] = {
        {{{"r", "servicio/borrarTodo"}, {"idSyA", kA}}},
        {{{"idSyA", kA}}},
        {{{"r", "servicio/getData"}}},
        {{{"r", "servicio/getData"}, {"idSyA", "001"}}},
        {{{"r", "servicio/getData"}, {"idSyA", kGeneral}}},
        {{{"r", "servicio/getData"}, {"idSyA", std::string(51, '9')}}},
        {{{"r", "servicio/setData"}, {"idSyA", kA}}},
        {{{"r", "servicio/setData"}, {"idSyA", kA}, {"dato", roto}}},
        {{{"r", "servicio/setData"}, {"idSyA", kA}, {"dato", noLista}}},
        {{{"r", "servicio/setData"}, {"idSyA", kA}, {"dato", conNumero}}},
    };
    for (const auto& caso : casos) {
        http::clsHTTP p = pedir("/sincronizador/", caso.params);
        EXPECT_EQ(p.getResponseCode(), 400) << p.paramsPost();
    }
    EXPECT_EQ(pedir("/ombrel.php", {{"nombre", "x"}}).getResponseCode(), 400);
    // Nothing half-stored by the rejected batches, and service goes on.
    EXPECT_TRUE(getData(kB).empty());

    // "null" is an empty batch; the command form with "%2F" is understood.
    std::string nulo = "null";
    http::clsHTTP p = servicio("servicio/setData", kA, &nulo);
    EXPECT_EQ(p.getBodyData("dato"), "[]");
    http::clsHTTP c;
    c.metodo("POST");
    c.host("127.0.0.1");
    c.URI("/sincronizador/");
    c.comando("servicio/getDoctores");
    c.convertirRespuesta(intercambiar(puerto_, c.generarPeticion()));
    EXPECT_EQ(c.getResponseCode(), 200);
    EXPECT_EQ(c.getBodyData("dato"), R"([{"id":"1","cedula":"7"}])");
    EXPECT_EQ(c.getHeaderData("Connection"), "close");
    EXPECT_EQ(servicio("servicio/getEstudios", kA).getBodyData("dato"), "[]");
}

TEST_P(ServidorEnMarcha, QuiralteConfirmaElId) {
    http::clsHTTP p = pedir(
        "/ombrel.php", {{"id", "57"}, {"cedula", "1+2"}, {"nombre", "Ana"}, {"sucursal", "1"}});
    EXPECT_EQ(p.getResponseCode(), 200);
    EXPECT_EQ(p.getBodyData("confirmacionEnvio"), "57");
    EXPECT_NE(bitacora_.str().find("socio 57: guardado"), std::string::npos);
    pedir("/ombrel.php", {{"id", "57"}, {"sucursal", "1"}});
    EXPECT_NE(bitacora_.str().find("socio 57: repetido"), std::string::npos);
}

// A site that restored a backup numbers its rows again from where the
// backup stood: a new record under an old row id is a new record, and only
// the same content under the same row id is a repeat.
TEST_P(ServidorEnMarcha, IdRepetidoConOtroContenidoEsRegistroNuevo) {
    EXPECT_EQ(setData(kA, {dato("10", kA, kB, "antes de la copia")}),
              std::vector<std::string>{"10"});
    EXPECT_EQ(setData(kA, {dato("10", kA, kB, "despues de la copia")}),
              std::vector<std::string>{"10"});
    EXPECT_EQ(setData(kA, {dato("10", kA, kB, "antes de la copia")}),
              std::vector<std::string>{"10"});
    auto paraB = getData(kB);
    ASSERT_EQ(paraB.size(), 2u);
    EXPECT_EQ(paraB[0].at("Campo1"), "antes de la copia");
    EXPECT_EQ(paraB[1].at("Campo1"), "despues de la copia");
    // The destination is part of what a record says, too.
    setData(kA, {dato("10", kA, kC, "antes de la copia")});
    EXPECT_EQ(getData(kC).size(), 1u);
}

// A site posts only in its own name. A record that names another site as
// its origin (a copied database, a forged post) is neither delivered nor
// counted against the named site, and its own acknowledgements cannot end
// another site's deliveries; it is acknowledged so that it does not clog the
// poster's queue, and kept aside.
TEST_P(ServidorEnMarcha, RegistroEnNombreDeOtroSitioNoSeEntrega) {
    getData(kB);
    EXPECT_EQ(setData(kC, {dato("5", kA, kB, "falso"), dato("6", kA, kGeneral, "falso general"),
                           dato("7", kC, kB, "propio"), dato("8", "", kB, "sin origen")}),
              (std::vector<std::string>{"5", "6", "7", "8"}));
    auto paraB = getData(kB);
    ASSERT_EQ(paraB.size(), 2u);
    EXPECT_EQ(paraB[0].at("Campo1"), "propio");
    EXPECT_EQ(paraB[1].at("Campo1"), "sin origen");
    EXPECT_EQ(paraB[1].at("Origen"), kC);
    EXPECT_NE(bitacora_.str().find("2 en nombre de otro sitio"), std::string::npos);

    // A's own record with the same row id as the forged one still arrives.
    setData(kA, {dato("5", kA, kB, "falso")});
    EXPECT_EQ(pendientesDe(kB), 3);

    // C cannot end B's deliveries by acknowledging in B's name.
    const std::string entrega = paraB[0].at("id");
    setData(kC, {acuse("9", kB, entrega)});
    EXPECT_EQ(pendientesDe(kB), 3);
    setData(kB, {acuse("9", kB, entrega)});
    EXPECT_EQ(pendientesDe(kB), 2);
}

// Delivery ids run up to the 64-bit maximum. A 19-digit id is
// acknowledged like any other; an acknowledgement whose id is no 64-bit
// number is still listed (or it would sit at the head of the site's queue)
// and kept aside with its reason, not dropped unseen.
TEST_P(ServidorEnMarcha, AcusesDeDiecinueveCifrasYAcusesIlegibles) {
    getData(kB);
    base_->ejecutar(GetParam() == servidor::TipoBase::SQLite
                        ? "DELETE FROM sqlite_sequence WHERE name = 'entregas'; "
                          "INSERT INTO sqlite_sequence (name, seq) "
                          "VALUES ('entregas', 9223372036854775800)"
                        : "SELECT setval(pg_get_serial_sequence('entregas', 'id'), "
                          "9223372036854775800)");
    setData(kA, {dato("1", kA, kB, "uno"), dato("2", kA, kB, "dos"), dato("3", kA, kB, "tres")});
    auto paraB = getData(kB);
    ASSERT_EQ(paraB.size(), 3u);
    std::vector<Registro> acuses;
    for (size_t i = 0; i < paraB.size(); ++i) {
        EXPECT_EQ(paraB[i].at("id").size(), 19u) << paraB[i].at("id");
        acuses.push_back(acuse(std::to_string(40 + i), kB, paraB[i].at("id")));
    }
    EXPECT_EQ(setData(kB, acuses), (std::vector<std::string>{"40", "41", "42"}));
    EXPECT_TRUE(getData(kB).empty());

    // The largest id is readable; one past it, or no number, is not.
    EXPECT_EQ(setData(kB, {acuse("50", kB, "9223372036854775807")}),
              std::vector<std::string>{"50"});
    EXPECT_EQ(bitacora_.str().find("ilegible"), std::string::npos) << bitacora_.str();
    EXPECT_EQ(setData(kB, {acuse("51", kB, "9223372036854775808"), acuse("52", kB, "12ab"),
                           acuse("53", kB, "")}),
              (std::vector<std::string>{"51", "52", "53"}));
    EXPECT_NE(bitacora_.str().find("3 acuses ilegibles"), std::string::npos) << bitacora_.str();
    auto apartados = central_->almacen().apartados(kB, 10);
    ASSERT_EQ(apartados.size(), 3u);
    EXPECT_NE(apartados[0].apartado.motivo.find("9223372036854775808"), std::string::npos)
        << apartados[0].apartado.motivo;
    EXPECT_EQ(apartados[1].apartado.idOrigen, "52");
}

// A record goes to the general destination or to a site of the poster's
// own client, nowhere else: one addressed to another client's site, to no
// site, to the bare client code, to the general code with a blank, or to
// the poster itself is kept aside whole, with the reason, and acknowledged.
TEST_P(ServidorEnMarcha, DestinoAjenoOExtranoSeApartaYNoSeEntrega) {
    const std::string ajeno = "900600001";
    getData(kB);
    getData(ajeno);
    EXPECT_EQ(setData(kA, {dato("1", kA, ajeno, "a otro cliente"), dato("2", kA, "", "a nadie"),
                           dato("3", kA, "900123", "al cliente"),
                           dato("4", kA, kGeneral + " ", "general con blanco"),
                           dato("5", kA, kA, "a si mismo"), dato("6", kA, kB, "bueno")}),
              (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
    EXPECT_TRUE(getData(ajeno).empty());
    EXPECT_TRUE(getData(kA).empty());
    auto paraB = getData(kB);
    ASSERT_EQ(paraB.size(), 1u);
    EXPECT_EQ(paraB[0].at("Campo1"), "bueno");
    EXPECT_NE(bitacora_.str().find("5 con destino invalido (apartados)"), std::string::npos)
        << bitacora_.str();

    auto apartados = central_->almacen().apartados(kA, 10);
    ASSERT_EQ(apartados.size(), 5u);
    EXPECT_NE(apartados[0].apartado.motivo.find(ajeno), std::string::npos);
    EXPECT_NE(apartados[0].apartado.registro.find("a otro cliente"), std::string::npos);
    // Nothing waits for the odd destinations: estado shows A's five aside and
    // B's one record.
    int64_t pendientes = 0;
    for (const auto& fila : central_->almacen().estado()) {
        pendientes += fila.pendientes;
        if (fila.sitio == kA) {
            EXPECT_EQ(fila.apartados, 5);
        }
    }
    EXPECT_EQ(pendientes, 1);
}

namespace {

// A client that opens a connection and then sends a request one byte at a
// time, a byte every `pausa`, until it is stopped or the server closes.
class ClienteLento {
  public:
    ClienteLento(int puerto, std::chrono::milliseconds pausa) : s_(conectar(puerto)) {
        hilo_ = std::thread([this, pausa] {
            const std::string peticion =
                "POST /sincronizador/ HTTP/1.0\r\nHost: x\r\nX-Relleno: " + std::string(4000, 'a');
            for (size_t i = 0; !parar_ && s_ >= 0; i = (i + 1) % peticion.size()) {
                if (send(s_, &peticion[i], 1, MSG_NOSIGNAL) != 1) {
                    cortado_ = true;
                    return;
                }
                for (auto t = std::chrono::milliseconds(0); t < pausa && !parar_;
                     t += std::chrono::milliseconds(10))
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~ClienteLento() {
        parar_ = true;
        hilo_.join();
        if (s_ >= 0) close(s_);
    }
    // Whether the server has closed the connection.
    bool cortado() {
        if (cortado_) return true;
        char c;
        ssize_t n = recv(s_, &c, 1, MSG_DONTWAIT | MSG_PEEK);
        return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }

  private:
    int s_;
    std::atomic<bool> parar_{false};
    std::atomic<bool> cortado_{false};
    std::thread hilo_;
};

}  // namespace

// Sends `peticion` in pieces of `pieza` bytes, one every `pausa`, and reads
// the answer until the server closes. A line of pieza * 1000 / pausa bytes
// a second.
std::string enviarAlRitmo(int puerto, const std::string& peticion, size_t pieza,
                          std::chrono::milliseconds pausa) {
    int s = conectar(puerto);
    if (s < 0) return {};
    for (size_t enviado = 0; enviado < peticion.size(); enviado += pieza) {
        const size_t n = std::min(pieza, peticion.size() - enviado);
        if (send(s, peticion.data() + enviado, n, MSG_NOSIGNAL) != static_cast<ssize_t>(n)) break;
        std::this_thread::sleep_for(pausa);
    }
    std::string respuesta = leerHastaCierre(s);
    close(s);
    return respuesta;
}

// A site on a slow but steady line: a batch of 24 KB sent at 6,000 bytes a
// second (below a 64 kbit/s line) is read whole and stored. The grace
// period is short here, so that the rate decides.
TEST_P(ServidorEnMarcha, LoteLentoPeroConstanteSeGuarda) {
    detener();
    limites_.gracia = std::chrono::milliseconds(1000);
    arrancar();
    std::vector<Registro> lote;
    for (int i = 1; i <= 12; ++i)
        lote.push_back(dato(std::to_string(i), kA, kB, std::string(2000, 'l')));
    const std::string texto = loteJSON(lote);
    http::clsHTTP p = peticionDe("servicio/setData", kA, &texto);
    p.convertirRespuesta(
        enviarAlRitmo(puerto_, p.generarPeticion(), 600, std::chrono::milliseconds(100)));
    EXPECT_EQ(p.getResponseCode(), 200) << bitacora_.str();
    EXPECT_EQ(leerRegistros(p.getBodyData("dato")).size(), 12u);
    EXPECT_EQ(pendientesDe(kB), 12);
}

// The rate is judged over a window: what a client sent fast at first does
// not buy it a trickle afterwards.
TEST_P(ServidorEnMarcha, RafagaInicialNoCompraUnGoteoPosterior) {
    detener();
    limites_.gracia = std::chrono::milliseconds(500);
    limites_.ventana = std::chrono::milliseconds(1000);
    arrancar();
    int s = conectar(puerto_);
    ASSERT_GE(s, 0);
    const std::string cabecera = "POST /sincronizador/ HTTP/1.0\r\nContent-Length: 300000\r\n\r\n";
    // 200 KB at once would earn 100 s at 2 KiB/s; then a byte every 200 ms.
    const std::string rafaga = cabecera + std::string(200000, 'r');
    ASSERT_EQ(send(s, rafaga.data(), rafaga.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(rafaga.size()));
    const auto inicio = std::chrono::steady_clock::now();
    bool cortado = false;
    while (!cortado && std::chrono::steady_clock::now() - inicio < std::chrono::seconds(30)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cortado = send(s, "r", 1, MSG_NOSIGNAL) != 1;
        char c;
        const ssize_t n = recv(s, &c, 1, MSG_DONTWAIT | MSG_PEEK);
        cortado = cortado || n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    }
    close(s);
    EXPECT_TRUE(cortado);
    // Cut about a window after the burst, far from the 100 s it would have
    // earned in all.
    EXPECT_LT(std::chrono::steady_clock::now() - inicio, std::chrono::seconds(20));
}

// Answers are bounded in bytes as well as records. A record alone over the
// bytes budget still goes, alone; a record no answer could carry is kept
// aside, at once when it is posted, or when it is first offered if it was
// stored before the limit was lowered.
TEST_P(ServidorEnMarcha, RespuestaMedidaEnBytesYLoQueNuncaCabeSeAparta) {
    reiniciar({500, 10000, 6000});
    getData(kB);
    const std::string kilos4(4000, 'k');
    EXPECT_EQ(setData(kA, {dato("1", kA, kB, kilos4), dato("2", kA, kB, kilos4),
                           dato("3", kA, kB, kilos4), dato("4", kA, kB, std::string(7000, 'g')),
                           dato("5", kA, kB, "corto")}),
              (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    auto primera = getData(kB);
    ASSERT_EQ(primera.size(), 2u);
    acusar(kB, primera, 100);
    auto segunda = getData(kB);
    ASSERT_EQ(segunda.size(), 2u);
    EXPECT_EQ(segunda[0].at("Campo1"), kilos4);
    EXPECT_EQ(segunda[1].at("Campo1"), "corto");

    auto apartados = servidor::abrirAlmacen(base_->base(), 1)->apartados(kA, 10);
    ASSERT_EQ(apartados.size(), 1u);
    EXPECT_EQ(apartados[0].apartado.idOrigen, "4");
    EXPECT_NE(apartados[0].apartado.motivo.find("demasiado grande"), std::string::npos);
    EXPECT_NE(apartados[0].apartado.registro.find(std::string(7000, 'g')), std::string::npos);
    EXPECT_NE(bitacora_.str().find("1 demasiado grandes (apartados)"), std::string::npos);

    // Stored before the limit was lowered: kept aside when first offered,
    // and the record behind it goes.
    setData(kA, {dato("6", kA, kC, kilos4), dato("7", kA, kC, "detras")});
    reiniciar({500, 10000, 3000});
    auto paraC = getData(kC);
    ASSERT_EQ(paraC.size(), 1u);
    EXPECT_EQ(paraC[0].at("Campo1"), "detras");
    apartados = servidor::abrirAlmacen(base_->base(), 1)->apartados(kA, 10);
    ASSERT_EQ(apartados.size(), 2u);
    EXPECT_EQ(apartados[1].apartado.idOrigen, "6");
    EXPECT_NE(apartados[1].apartado.motivo.find("para " + kC), std::string::npos);
    EXPECT_EQ(pendientesDe(kC), 1);

    // Larger than the bytes budget but within what a site takes: alone.
    reiniciar({500, 3000, 6000});
    setData(kA, {dato("8", kA, kD, kilos4), dato("9", kA, kD, "despues")});
    auto paraD = getData(kD);
    ASSERT_EQ(paraD.size(), 1u);
    EXPECT_EQ(paraD[0].at("Campo1"), kilos4);
}

TEST_P(ServidorEnMarcha, ClientesLentosNoDetienenElServicio) {
    std::vector<std::unique_ptr<ClienteLento>> lentos;
    for (int i = 0; i < 16; ++i)
        lentos.push_back(std::make_unique<ClienteLento>(puerto_, std::chrono::milliseconds(200)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    http::clsHTTP p = peticionGetData(kA);
    p.convertirRespuesta(intercambiar(puerto_, p.generarPeticion(), std::chrono::seconds(3)));
    EXPECT_EQ(p.getResponseCode(), 200);
}

TEST_P(ServidorEnMarcha, ClienteQueNoTerminaSuPeticionSeCorta) {
    detener();
    limites_.gracia = std::chrono::milliseconds(600);
    limites_.espera = std::chrono::milliseconds(400);
    arrancar();
    ClienteLento goteo(puerto_, std::chrono::milliseconds(50));
    int mudo = conectar(puerto_);
    ASSERT_GE(mudo, 0);
    auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!goteo.cortado() && std::chrono::steady_clock::now() < limite)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(goteo.cortado());
    EXPECT_EQ(leerHastaCierre(mudo, std::chrono::seconds(10)), "");
    char c;
    EXPECT_EQ(recv(mudo, &c, 1, MSG_DONTWAIT), 0) << "the silent client is still connected";
    close(mudo);
}

// One peer address holds only so many connections at once: beyond them it
// is answered 503 at once, while another address is served; once its
// connections end it is served again.
TEST_P(ServidorEnMarcha, UnaDireccionNoAcaparaLasConexiones) {
    detener();
    limites_.conexionesPorDireccion = 3;
    arrancar();
    const std::string peticion = peticionGetData(kA).generarPeticion();
    auto estado = [&](uint32_t origen) {
        http::clsHTTP p;
        p.convertirRespuesta(intercambiar(puerto_, peticion, std::chrono::seconds(3), origen));
        return p.getResponseCode();
    };
    std::vector<int> abiertas;
    for (int i = 0; i < 3; ++i) abiertas.push_back(conectar(puerto_));
    const auto plazo = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int codigo = 0;
    while ((codigo = estado(INADDR_LOOPBACK)) != 503 && std::chrono::steady_clock::now() < plazo) {
    }
    EXPECT_EQ(codigo, 503);
    EXPECT_EQ(estado(INADDR_LOOPBACK + 1), 200);
    for (int s : abiertas) close(s);
    while ((codigo = estado(INADDR_LOOPBACK)) != 200 && std::chrono::steady_clock::now() < plazo) {
    }
    EXPECT_EQ(codigo, 200);
    http_->detener();
    hilo_.join();
    EXPECT_NE(bitacora_.str().find("rechazado: "), std::string::npos) << bitacora_.str();
}

// A POST without its length, or with one above the cap, is answered at once
// while the client still holds the connection open.
TEST_P(ServidorEnMarcha, LargoFaltanteOExcesivoSeRespondeEnSeguida) {
    struct Caso {
        std::string cabeceras;
        int estado;
    } casos[] = {
        {"", 411},
        {"Content-Length: 70000000\r\n", 413},
        {"Content-Length: 99999999999999999999999\r\n", 400},
        {"Content-Length: -5\r\n", 400},
        {"Content-Length: 5\r\nContent-Length: 6\r\n", 411},
        {"Transfer-Encoding: chunked\r\nContent-Length: 5\r\n", 400},
    };
    for (const auto& caso : casos) {
        int s = conectar(puerto_);
        ASSERT_GE(s, 0);
        std::string peticion = "POST /sincronizador/ HTTP/1.0\r\nHost: x\r\n" + caso.cabeceras +
                               "\r\nr=servicio/getData&idSyA=" + kA;
        send(s, peticion.data(), peticion.size(), MSG_NOSIGNAL);
        http::clsHTTP p;
        p.convertirRespuesta(leerHastaCierre(s, std::chrono::seconds(3)));
        close(s);
        EXPECT_EQ(p.getResponseCode(), caso.estado) << caso.cabeceras;
    }
    EXPECT_NE(bitacora_.str().find("rechazado: falta Content-Length"), std::string::npos);
    EXPECT_EQ(getData(kA).size(), 0u);
}

// Bodies held at once are bounded by what has arrived of them, not by
// what their lengths announce: a client that announces a body and sends
// nothing holds nothing. While one holds part of a body, a body that would
// pass the bound is answered 503 at once; afterwards it is served.
TEST_P(ServidorEnMarcha, CuerposGrandesAlMismoTiempoEsperanSuTurno) {
    detener();
    limites_.memoriaCuerpos = 1000;
    arrancar();
    auto peticion = [](size_t largo) {
        std::string cuerpo = "r=servicio/getData&idSyA=" + kA + "&relleno=";
        cuerpo += std::string(largo - cuerpo.size(), 'x');
        return "POST /sincronizador/ HTTP/1.0\r\nContent-Length: " + std::to_string(largo) +
               "\r\n\r\n" + cuerpo;
    };
    auto estado = [&](size_t largo) {
        http::clsHTTP p;
        p.convertirRespuesta(intercambiar(puerto_, peticion(largo), std::chrono::seconds(3)));
        return p.getResponseCode();
    };
    const auto plazo = std::chrono::steady_clock::now() + std::chrono::seconds(10);

    int anuncia = conectar(puerto_);
    ASSERT_GE(anuncia, 0);
    const std::string soloCabecera = "POST /sincronizador/ HTTP/1.0\r\nContent-Length: 900\r\n\r\n";
    send(anuncia, soloCabecera.data(), soloCabecera.size(), MSG_NOSIGNAL);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(estado(800), 200);
    close(anuncia);

    // Holds 700 bytes of a body of 900. A request served before them took
    // the room first and the holder was refused: it tries again.
    const std::string parte = peticion(900).substr(0, soloCabecera.size() + 700);
    int retiene = -1;
    int codigo = 0;
    char c;
    do {
        if (retiene < 0 || recv(retiene, &c, 1, MSG_DONTWAIT | MSG_PEEK) >= 0) {
            if (retiene >= 0) close(retiene);
            retiene = conectar(puerto_);
            send(retiene, parte.data(), parte.size(), MSG_NOSIGNAL);
        }
    } while ((codigo = estado(800)) != 503 && std::chrono::steady_clock::now() < plazo);
    EXPECT_EQ(codigo, 503);
    EXPECT_EQ(estado(150), 200);
    close(retiene);
    while ((codigo = estado(800)) != 200 && std::chrono::steady_clock::now() < plazo) {
    }
    EXPECT_EQ(codigo, 200);
    EXPECT_NE(bitacora_.str().find("rechazado: sin memoria para el cuerpo"), std::string::npos);
}

// The operator's listener beside a server that has just served: the page,
// as a browser shows it, lists the sites with what waits for them; the
// figures parse as Prometheus reads them and count what happened; the
// health check says the store answers.
TEST_P(ServidorEnMarcha, ElOperadorVeLoQueAcabaDePasar) {
    servidor::ServidorOperador operador(*central_, "", 86400);
    const int puerto = operador.enlazar("127.0.0.1", 0);
    ASSERT_GT(puerto, 0);
    operador.arrancar();
    getData(kB);
    EXPECT_EQ(setData(kA, {dato("1", kA, kGeneral, "hola"), dato("2", kA, kC, "a C")}),
              (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(getData(kB).size(), 1u);
    EXPECT_EQ(pedir("/sincronizador/", {{"r", "servicio/nada"}}).getResponseCode(), 400);
    EXPECT_EQ(servicio("servicio/getData", "<b>" + kD).getResponseCode(), 200);

    httplib::Client cliente("127.0.0.1", puerto);
    auto salud = cliente.Get("/salud");
    ASSERT_TRUE(salud);
    EXPECT_EQ(salud->status, 200);

    auto respuesta = cliente.Get("/metrics");
    ASSERT_TRUE(respuesta);
    ASSERT_EQ(respuesta->status, 200);
    const auto m = leerMetricas(respuesta->body);
    const auto valor = [&m](const std::string& muestra) {
        auto it = m.find(muestra);
        return it == m.end() ? std::string("(no esta)") : it->second;
    };
    EXPECT_EQ(valor("# sincronizador_peticion_segundos"), "histogram");
    EXPECT_EQ(valor("sincronizador_peticion_segundos_count{tipo=getData}"), "3.0");
    EXPECT_EQ(valor("sincronizador_peticion_segundos_count{tipo=setData}"), "1.0");
    EXPECT_EQ(valor("sincronizador_peticion_segundos_bucket{le=+Inf,tipo=getData}"), "3.0");
    EXPECT_EQ(valor("sincronizador_registros_publicados_total{cliente=900123}"), "2.0");
    EXPECT_EQ(valor("sincronizador_registros_entregados_total{cliente=900123}"), "1.0");
    // B took the general record but did not acknowledge it; C never asked.
    EXPECT_EQ(valor("sincronizador_registros_pendientes{cliente=900123}"), "2.0");
    EXPECT_EQ(valor("sincronizador_rechazos_total{estado=400}"), "1.0");
    EXPECT_EQ(valor("sincronizador_almacen_responde{}"), "1.0");

    const auto dom = enChromium("http://127.0.0.1:" + std::to_string(puerto) + "/");
    if (!dom) GTEST_SKIP() << "chromium is not installed (scripts/setup installs it)";
    for (const std::string& sitio : {kA, kB, kC}) EXPECT_NE(dom->find(sitio), std::string::npos);
    EXPECT_NE(dom->find("Cliente 900123"), std::string::npos) << *dom;
    // A has made its requests; C never did.
    EXPECT_EQ(dom->find("<td>" + kA + "</td><td>nunca"), std::string::npos) << *dom;
    EXPECT_NE(dom->find("<td>" + kC + "</td><td>nunca"), std::string::npos) << *dom;
    // A site code is shown as text, never as markup.
    EXPECT_NE(dom->find("&lt;b&gt;" + kD), std::string::npos) << *dom;
    EXPECT_EQ(dom->find("<b>" + kD), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Bases, ServidorEnMarcha,
                         ::testing::Values(servidor::TipoBase::SQLite,
                                           servidor::TipoBase::PostgreSQL),
                         [](const auto& info) { return prueba::nombreDe(info.param); });

// From outside loopback the operator's listener asks for the token, in a
// header or in the address; without a token configured it answers nobody
// from outside. From loopback it needs none.
TEST(Operador, DesdeFueraDeLoopbackHaceFaltaElToken) {
    const std::string fuera = direccionDeFuera();
    if (fuera.empty()) GTEST_SKIP() << "this machine has no address but loopback";
    BaseCentralDePrueba base(servidor::TipoBase::SQLite);
    servidor::Central central(base.base(), 3);
    for (const std::string token : {"", "secreto-del-operador-1234"}) {
        SCOPED_TRACE("token '" + token + "'");
        servidor::ServidorOperador operador(central, token);
        const int puerto = operador.enlazar("0.0.0.0", 0);
        ASSERT_GT(puerto, 0);
        operador.arrancar();
        const auto estado = [&](const std::string& host, const std::string& ruta,
                                const httplib::Headers& cabeceras = {}) {
            httplib::Client cliente(host, puerto);
            auto r = cliente.Get(ruta, cabeceras);
            return r ? r->status : -1;
        };
        EXPECT_EQ(estado("127.0.0.1", "/metrics"), 200);
        EXPECT_EQ(estado(fuera, "/metrics"), 403);
        EXPECT_EQ(estado(fuera, "/"), 403);
        EXPECT_EQ(estado(fuera, "/salud", {{"Authorization", "Bearer otro"}}), 403);
        EXPECT_EQ(estado(fuera, "/?token="), 403);
        EXPECT_EQ(estado(fuera, "/metrics", {{"Authorization", "Bearer " + token}}),
                  token.empty() ? 403 : 200);
        EXPECT_EQ(estado(fuera, "/?token=" + token), token.empty() ? 403 : 200);
    }
}

// A store that does not answer (another process holds its lock) makes the
// health check say so, and the page too, instead of hanging or lying.
TEST(Operador, SaludDice503CuandoLaBaseNoResponde) {
    BaseCentralDePrueba base(servidor::TipoBase::SQLite);
    servidor::Central central(base.base(), 3);
    servidor::ServidorOperador operador(central, "");
    const int puerto = operador.enlazar("127.0.0.1", 0);
    ASSERT_GT(puerto, 0);
    operador.arrancar();
    httplib::Client cliente("127.0.0.1", puerto);
    cliente.set_read_timeout(60, 0);
    EXPECT_EQ(cliente.Get("/salud")->status, 200);
    sqlite3* otro = nullptr;
    ASSERT_EQ(sqlite3_open(base.base().c_str(), &otro), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(otro, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    auto salud = cliente.Get("/salud");
    auto pagina = cliente.Get("/");
    sqlite3_exec(otro, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(otro);
    ASSERT_TRUE(salud);
    EXPECT_EQ(salud->status, 503);
    ASSERT_TRUE(pagina);
    EXPECT_EQ(pagina->status, 503);
    EXPECT_EQ(cliente.Get("/salud")->status, 200);
}

TEST(Operador, DireccionDelListener) {
    std::string host;
    int puerto = -1;
    EXPECT_TRUE(servidor::leerDireccionOperador("9100", host, puerto));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(puerto, 9100);
    EXPECT_TRUE(servidor::leerDireccionOperador("0.0.0.0:9100", host, puerto));
    EXPECT_EQ(host, "0.0.0.0");
    EXPECT_TRUE(servidor::leerDireccionOperador("[::1]:80", host, puerto));
    EXPECT_EQ(host, "::1");
    for (const char* malo : {"", ":80", "host:", "x:99999", "9100a", "a:b"})
        EXPECT_FALSE(servidor::leerDireccionOperador(malo, host, puerto)) << malo;
}

TEST(Formulario, SeLeeSinDecodificar) {
    auto pares = servidor::leerFormulario("r=a%2Fb&x=1+2=3&vacio=&solo&&dato=[{\"a\":1}]");
    ASSERT_EQ(pares.size(), 5u);
    EXPECT_EQ(pares[0], (std::pair<std::string, std::string>{"r", "a%2Fb"}));
    EXPECT_EQ(pares[1], (std::pair<std::string, std::string>{"x", "1+2=3"}));
    EXPECT_EQ(pares[2], (std::pair<std::string, std::string>{"vacio", ""}));
    EXPECT_EQ(pares[3], (std::pair<std::string, std::string>{"solo", ""}));
    EXPECT_EQ(pares[4].second, "[{\"a\":1}]");
}

TEST(Doctores, ArchivoEnVariasLineasQuedaEnUnaYLoInvalidoSeRechaza) {
    CarpetaTemporal carpeta;
    const fs::path ruta = carpeta.ruta() / "doctores.json";
    std::ofstream(ruta)
        << "[\r\n {\"id\":\"3\",\"cedula\":\"8\",\"nombre\":\"Luz\",\"apellido\":\"Paz\"}\n]\n";
    EXPECT_EQ(servidor::leerDoctores(ruta.string()),
              "[   {\"id\":\"3\",\"cedula\":\"8\",\"nombre\":\"Luz\",\"apellido\":\"Paz\"} ]");
    std::ofstream(ruta) << "{\"no\":\"lista\"}";
    EXPECT_THROW(servidor::leerDoctores(ruta.string()), std::runtime_error);
}

// The sites read the wire as Windows-1252: a doctors file in UTF-8 must go
// out in that code page, or "Peña" arrives as "PeÃ±a". Characters the code
// page lacks travel as \u escapes.
TEST(Doctores, LosNombresConTildeLleganComoSeEscribieron) {
    CarpetaTemporal carpeta;
    const fs::path ruta = carpeta.ruta() / "doctores.json";
    std::ofstream(ruta) << "[{\"id\":\"3\",\"cedula\":\"8\",\"nombre\":\"Ana María\","
                           "\"apellido\":\"Peña Őz 😀\"}]";
    const std::string cable = servidor::leerDoctores(ruta.string());
    EXPECT_NE(cable.find("Ana Mar\xED"
                         "a"),
              std::string::npos)
        << cable;
    EXPECT_NE(cable.find("Pe\xF1"
                         "a \\u0150z \\uD83D\\uDE00"),
              std::string::npos)
        << cable;
    // What a site makes of it: bytes to UTF-8, then the parse.
    const json::Analisis analisis = json::parse(comun::cp1252AUtf8(cable));
    ASSERT_EQ(analisis.errores, "");
    const comun::Variant& lista = analisis.valor;
    auto doctor = lista.objetoComo<json::Coleccion>()->Item(1).objetoComo<json::Diccionario>();
    EXPECT_EQ(doctor->Item("nombre").comoTexto(), "Ana María");
    EXPECT_EQ(doctor->Item("apellido").comoTexto(), "Peña Őz 😀");
}

// The program itself: starts on a free port, announces it, serves, and
// stops on SIGTERM.
TEST(Programa, ArrancaAnunciaElPuertoYAtiende) {
    CarpetaTemporal carpeta;
    ServidorReferencia servidor(carpeta.ruta());
    http::clsHTTP p = peticionGetData(kA);
    p.convertirRespuesta(intercambiar(servidor.puerto(), p.generarPeticion()));
    EXPECT_EQ(p.getResponseCode(), 200);
    EXPECT_EQ(p.getBodyData("dato"), "[]");
    // The port is the first thing it says, for whoever reads its output.
    EXPECT_EQ(servidor.salida().rfind("Servidor escuchando en 127.0.0.1:", 0), 0u)
        << servidor.salida();
    EXPECT_EQ(servidor.detener(), 0) << servidor.salida();
}

}  // namespace
