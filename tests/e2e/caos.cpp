// Crash safety of the synchronizer: kill -9 at random moments of the store
// step, of the marking of acknowledged rows and of the apply step, restart,
// and in the end compare the site's tables with those of a run never
// killed. The real programs on loopback: the reference server and the
// headless synchronizer of one site, whose sibling has posted some hundred
// records of every family for it.
//
//   caos [--muertes N] [--por-ronda N] [--semilla N] [--intervalo MS]
//
// Prints the figures and exits non-zero when any table differs.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "comun/Variant.h"
#include "datos/DAO_Conexion.h"
#include "soporte/Entorno.h"

namespace {

using namespace prueba;
using Reloj = std::chrono::steady_clock;

const std::string kCliente = "900100";
const std::string kSitio = "900100001";
const std::string kHermano = "900100002";
// Records of each kind the sibling posts.
constexpr int kPorFamilia = 40;

// --- the sibling's records: every family, each record self-contained or
// depending only on records of lower table codes, which arrive first ---

std::vector<std::string> registrosDelHermano() {
    std::vector<std::string> r;
    int id = 0;
    auto agregar = [&](int tabla, const std::vector<std::string>& campos,
                       const std::string& funcion = "A", int servicio = 2) {
        r.push_back(registroPublicado(++id, tabla, kHermano, kSitio, campos, funcion, servicio));
    };
    for (int n = 1; n <= kPorFamilia; ++n) {
        agregar(0, {"solicitud " + std::to_string(n)}, "A", 1);
        const std::string i = "CAOS-I" + std::to_string(n);
        agregar(1, {i, "Insumo " + std::to_string(n), "PEPS", "0", "Kilo", "100", "", "0", "Bulto",
                    "Std", "Materia Prima", i, "Ninguno", "100", "", "0", "1"});
    }
    for (int n = 1; n <= kPorFamilia; ++n) {
        const std::string p = n % 10 ? "CAOS-P" + std::to_string(n) : std::string("2002");
        agregar(2, {p, "Producto " + std::to_string(n), "Pizzas", "COCINA", "", "", "1", "0",
                    std::to_string(1000 * n), "", "0", "", "9000"});
    }
    for (int n = 1; n <= kPorFamilia; ++n) {
        agregar(3, {"", "CAOS-P" + std::to_string(n), "CAOS-I" + std::to_string(n), "PRODUCTO",
                    "INSUMO", "0.5", "Kilo", "Receta", "", "Masa", "UNIDAD", "0"});
        if (n % 8 == 0)
            agregar(3, {"", "CAOS-P" + std::to_string(n - 1), "", "", "", "", "", "Rece"}, "E");
    }
    for (int n = 1; n <= kPorFamilia; ++n) {
        const std::string t = std::to_string(n);
        agregar(6, {"nada " + t});
        agregar(7, {"", "2026/12/07", kHermano, "F" + t, "2001", "Pizza", "1", "9000", "0",
                    "COCINA", "Caja"});
        agregar(8, {"", "CAOS-I" + t, "Insumo", "Kilo", "3", "300", "2026/12/06", "09:00:00",
                    "Compra", kHermano, "1", "u", "", "1", "", "", "", "MI-" + t, "300"});
        agregar(9, {"nada " + t});
        agregar(11, {"", "2026/12/07", "2205", "T" + t, "D" + t, "detalle", "100", "0", kHermano});
        agregar(12, {"", "tercero " + t});
        agregar(13, {"", "X" + t, "TS" + t, "S" + t, "0", "Sede " + t, "Calle", "300", "True",
                     "False", "Verdadero"});
        agregar(14, {"Mensaje caos " + t, "CHAT", "LOCAL", "1"});
        agregar(16, {"", "CAOS-I" + t, "Insumo", "Kilo", "-2", std::to_string(200 + n),
                     "2026/12/07", "10:00:00", n % 2 ? "Remision" : "Traslado", kHermano, "1", "u",
                     "", "1", "", "", "", "RR-" + t, "200"});
    }
    for (int n = 1; n <= kPorFamilia; ++n) {
        const std::string telefono = "31000000" + std::to_string(n % 10);
        switch (n % 4) {
            case 0:
            case 1:
                agregar(22, {"2001", std::to_string(n % 3 + 1), "nota " + std::to_string(n),
                             "Cliente " + std::to_string(n % 10), "Calle " + std::to_string(n),
                             telefono, "1005"});
                break;
            case 2:
                agregar(22, {telefono, n % 8 == 2 ? "Impresion Cuenta" : "Detalle domicilio",
                             "Efectivo"});
                break;
            case 3:
                agregar(22, {std::to_string(n / 2)}, "E");
                break;
        }
    }
    for (int n = 1; n <= kPorFamilia; ++n) {
        const std::string t = std::to_string(n);
        agregar(24, {"", "2026/12/07", "1105", "T" + t, "D" + t, "asiento", "0", "100", kHermano});
        agregar(25, {"", t, "cajero " + t, "clave" + t, "31000000" + std::to_string(n % 10),
                     "caja" + t, "1", "Caja", "Sede", "2026/12/07", "50000"});
    }
    return r;
}

// --- the site's state ---

// Columns that hold the time the record was applied, in the tables that
// have them: they differ between any two runs.
const std::set<std::string> kColumnasDeHora = {"HORA", "IDPRODUCTO", "FECHA", "PRIMERFALLO",
                                               "ULTIMOFALLO"};
const std::set<std::string> kTablasConHora = {"COMANDAS", "CUARENTENA", "MENSAJE",
                                              "FALLOS_APLICACION"};

struct Estado {
    std::map<std::string, std::vector<std::string>> tablas;
};

std::string mayus(std::string t) {
    for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return t;
}

// Every row of the tables the apply step writes (without the columns of
// the time of day, sorted), the inbound records as stored, and what the
// synchronizer keeps of its own.
Estado leerEstado(const fs::path& base) {
    static const std::vector<std::string> tablas = {"Insumos",
                                                    "Productos",
                                                    "Rzs",
                                                    "PREPARACIONES",
                                                    "rVent",
                                                    "MovInv",
                                                    "CxPg",
                                                    "Terceros",
                                                    "SucYAgen",
                                                    "Mensaje",
                                                    "MovInvHoy",
                                                    "Comandas",
                                                    "ACOMPANAMIENTOS",
                                                    "ConGen",
                                                    "PW",
                                                    "CUARENTENA",
                                                    "FALLOS_APLICACION"};
    datos::DAO_Conexion con;
    con.dataFile(base.string());
    con.conectar();
    Estado e;
    auto leer = [&](const std::string& nombre, const std::string& sql, bool sinHora) {
        auto& filas = e.tablas[nombre];
        auto rs = con.Query(sql);
        while (!datos::DAO_Conexion::RsVacio(rs)) {
            std::string fila;
            for (size_t i = 0; i < rs->numeroCampos(); ++i) {
                if (sinHora && kColumnasDeHora.count(mayus(rs->nombreCampo(i)))) continue;
                fila += rs->valorCampo(i).texto() + "|";
            }
            filas.push_back(std::move(fila));
            rs->MoveNext();
        }
        rs->Close();
        std::sort(filas.begin(), filas.end());
    };
    for (const std::string& t : tablas)
        leer(t, "SELECT * FROM " + t, kTablasConHora.count(mayus(t)) > 0);
    // The order actions that changed nothing, by the server's id: the local
    // row ids of the inbound records differ between runs.
    leer("PEDIDOS_NO_APLICADOS", "SELECT IdServidor, Origen, Motivo FROM PEDIDOS_NO_APLICADOS",
         false);
    leer("entrantes",
         "SELECT Campo40, Tabla, Origen, Servicio, Funcion, Campo1, Campo2, Campo3, Campo18 FROM "
         "COMUNICACIONES WHERE Destino = '" +
             kSitio + "'",
         false);
    // Server ids follow the server's clock, so two runs get other ids in
    // the same order: each stands as its rank among the run's ids.
    auto& entrantes = e.tablas["entrantes"];
    auto idDe = [](const std::string& fila) {
        const std::string id = fila.substr(0, fila.find('|'));
        return id.empty() ? -1LL : std::stoll(id);
    };
    std::vector<long long> ids;
    for (const auto& fila : entrantes) ids.push_back(idDe(fila));
    std::sort(ids.begin(), ids.end());
    for (auto& fila : entrantes) {
        const long long id = idDe(fila);
        const auto rango = std::lower_bound(ids.begin(), ids.end(), id) - ids.begin();
        fila = fila.substr(fila.find('|') + 1) + std::to_string(rango) + "|";
    }
    std::sort(entrantes.begin(), entrantes.end());
    con.desconectar();
    return e;
}

// Differences, table by table, as lines.
std::vector<std::string> diferencias(const Estado& a, const Estado& b) {
    std::vector<std::string> d;
    for (const auto& [tabla, filas] : a.tablas) {
        const auto& otras = b.tablas.at(tabla);
        if (filas == otras) continue;
        std::vector<std::string> soloA, soloB;
        std::set_difference(filas.begin(), filas.end(), otras.begin(), otras.end(),
                            std::back_inserter(soloA));
        std::set_difference(otras.begin(), otras.end(), filas.begin(), filas.end(),
                            std::back_inserter(soloB));
        d.push_back(tabla + ": " + std::to_string(filas.size()) + " rows against " +
                    std::to_string(otras.size()));
        for (size_t i = 0; i < std::min<size_t>(soloA.size(), 3); ++i)
            d.push_back("  never killed only: " + soloA[i].substr(0, 160));
        for (size_t i = 0; i < std::min<size_t>(soloB.size(), 3); ++i)
            d.push_back("  killed only:       " + soloB[i].substr(0, 160));
    }
    return d;
}

long contar(const Sitio& s, const std::string& donde) {
    return std::stol(valor(s, "SELECT COUNT(*) FROM " + donde));
}

// Records the server holds for a site (one answer's worth at most).
long pendientesEnServidor(int puerto, const std::string& sitio) {
    const std::string r = intercambiar(puerto, getDataCrudo(sitio));
    long n = 0;
    for (size_t pos = r.find("{\"id\""); pos != std::string::npos; pos = r.find("{\"id\"", pos + 1))
        ++n;
    return n;
}

void copiarBase(const fs::path& de, const fs::path& a) {
    for (const char* sufijo : {"", "-wal"}) {
        const fs::path origen = de.string() + sufijo;
        const fs::path destino = a.string() + sufijo;
        std::error_code ignorado;
        fs::remove(destino, ignorado);
        if (fs::exists(origen)) fs::copy_file(origen, destino);
    }
}

// --- watching a running synchronizer ---

enum class Paso { Guardar, Marcar, Aplicar };
const char* nombrePaso(Paso p) {
    switch (p) {
        case Paso::Guardar:
            return "store";
        case Paso::Marcar:
            return "marcarEnviados";
        case Paso::Aplicar:
            return "apply";
    }
    return "?";
}

// Reads a growing log, line by line, and tells where in the cycle the
// program is. The store step runs from the end of the getData answer on the
// console to the next request header; marcarEnviados likewise after the
// setData answer; the apply step from the tick after the partner step's
// header (the header that follows a setData exchange, which sends nothing
// here) to its summary line.
class Vigia {
  public:
    Vigia(fs::path log, std::chrono::milliseconds tick) : log_(std::move(log)), tick_(tick) {}

    // Reads what was added; returns the step that has just begun with work
    // to do, if one did.
    std::optional<Paso> leer() {
        std::ifstream f(log_, std::ios::binary);
        f.seekg(static_cast<std::streamoff>(leido_));
        std::string nuevo((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        leido_ += nuevo.size();
        pendiente_ += nuevo;
        std::optional<Paso> comienzo;
        size_t fin;
        while ((fin = pendiente_.find('\n')) != std::string::npos) {
            std::string linea = pendiente_.substr(0, fin);
            pendiente_.erase(0, fin + 1);
            if (!linea.empty() && linea.back() == '\r') linea.pop_back();
            if (auto p = linea_(linea)) comienzo = p;
        }
        if (aplicarDesde_ && Reloj::now() >= *aplicarDesde_) {
            aplicarDesde_.reset();
            enCurso_ = Paso::Aplicar;
            comienzo = Paso::Aplicar;
        }
        return comienzo;
    }
    // The step under way, as far as the log tells.
    std::optional<Paso> enCurso() const { return enCurso_; }
    int resumenes() const { return resumenes_; }

  private:
    std::optional<Paso> linea_(const std::string& linea) {
        if (linea.rfind("Peticion HTTP: ", 0) == 0) {
            enCurso_.reset();
            if (servicio_ == "setData" && respondido_) aplicarDesde_ = Reloj::now() + tick_;
            servicio_.clear();
            respondido_ = false;
            return std::nullopt;
        }
        if (auto r = linea.find("r=servicio/"); r != std::string::npos) {
            servicio_ = linea.substr(r + 11, linea.find('&', r) - r - 11);
            datoNulo_ = linea.find("dato=null") != std::string::npos;
            return std::nullopt;
        }
        if (linea.rfind("Respuesta: ", 0) == 0) {
            rayas_ = 0;
            vacia_ = false;
            return std::nullopt;
        }
        if (rayas_ < 2 && !servicio_.empty() && !respondido_) {
            if (linea.rfind("dato=[]", 0) == 0) vacia_ = true;
            if (linea == "--" && ++rayas_ == 2) {
                respondido_ = true;
                if (servicio_ == "getData" && !vacia_) enCurso_ = Paso::Guardar;
                if (servicio_ == "setData" && !datoNulo_) enCurso_ = Paso::Marcar;
                return enCurso_;
            }
            return std::nullopt;
        }
        if (linea.rfind("Comunicaciones aplicadas:", 0) == 0) {
            enCurso_.reset();
            aplicarDesde_.reset();
            ++resumenes_;
        }
        return std::nullopt;
    }

    fs::path log_;
    std::chrono::milliseconds tick_;
    size_t leido_ = 0;
    std::string pendiente_;
    std::string servicio_;
    bool datoNulo_ = false;
    bool respondido_ = false;
    bool vacia_ = false;
    int rayas_ = 2;
    std::optional<Paso> enCurso_;
    std::optional<Reloj::time_point> aplicarDesde_;
    int resumenes_ = 0;
};

struct Opciones {
    int muertes = 50;
    int porRonda = 5;
    unsigned semilla = 0;
    int intervalo = 20;
};

std::vector<std::string> programa(const Sitio& s, const std::string& servidor, int intervalo,
                                  long ciclos) {
    std::vector<std::string> a = {(carpetaBinarios() / "sincronizador").string(),
                                  "--sin-ventana",
                                  "--acceso",
                                  s.acceso.string(),
                                  "--servidor",
                                  servidor,
                                  "--socio",
                                  servidor,
                                  "--intervalo",
                                  std::to_string(intervalo)};
    if (ciclos > 0) {
        a.push_back("--ciclos");
        a.push_back(std::to_string(ciclos));
    }
    return a;
}

// Runs full passes until the site and the server have nothing left to
// exchange or apply. False when that never happened.
bool completar(const Sitio& s, const ServidorReferencia& servidor, int intervalo) {
    for (int vuelta = 0; vuelta < 12; ++vuelta) {
        const Resultado r = sincronizar(s, servidor.direccion(), 3, intervalo);
        if (r.codigo != 0) {
            std::cerr << "caos: a clean run failed (" << r.codigo << "):\n"
                      << r.salida.substr(r.salida.size() > 4000 ? r.salida.size() - 4000 : 0)
                      << "\n";
            return false;
        }
        if (contar(s, "COMUNICACIONES WHERE Destino = '" + kSitio + "' AND Funcion <> 'X'") == 0 &&
            contar(s, "COMUNICACIONES WHERE Origen <> '" + kHermano + "' AND Enviado = False") ==
                0 &&
            pendientesEnServidor(servidor.puerto(), kSitio) == 0)
            return true;
    }
    return false;
}

struct Cuentas {
    std::map<Paso, int> muertes;
    // Moments drawn after the step had already ended: no kill then.
    std::map<Paso, int> tardias;
    int rondas = 0;
    int diferentes = 0;
};

int ejecutar(const Opciones& o) {
    CarpetaTemporal carpeta;
    const fs::path raiz = carpeta.ruta();
    std::mt19937 azar(o.semilla ? o.semilla : std::random_device{}());

    // The starting point: a site database and a server holding the
    // sibling's records for it.
    const Sitio inicial = crearSitio(raiz, kCliente, "001");
    const fs::path centralInicial = raiz / "central-inicial.db";
    const std::vector<std::string> registros = registrosDelHermano();
    {
        ServidorReferencia servidor(raiz, centralInicial.string());
        for (size_t i = 0; i < registros.size(); i += 200) {
            const std::vector<std::string> lote(
                registros.begin() + static_cast<long>(i),
                registros.begin() + static_cast<long>(std::min(registros.size(), i + 200)));
            const std::string r = intercambiar(servidor.puerto(), setDataCrudo(kHermano, lote));
            if (r.find(" 200 ") == std::string::npos) {
                std::cerr << "caos: the server refused the sibling's records: " << r << "\n";
                return 2;
            }
        }
    }
    const fs::path baseInicial = raiz / "sitio-inicial.db";
    copiarBase(inicial.base, baseInicial);

    auto preparar = [&](const std::string& nombre) {
        Sitio s = inicial;
        s.base = raiz / ("sitio-" + nombre + ".db");
        s.acceso = raiz / ("Acceso-" + nombre);
        copiarBase(baseInicial, s.base);
        std::ofstream(s.acceso) << s.base.string() << "\r\n";
        copiarBase(centralInicial, raiz / ("central-" + nombre + ".db"));
        return s;
    };

    // The run never killed, twice: the comparison must find no difference
    // between two such runs, or it compares something that is not the
    // records' doing.
    std::map<Paso, double> duracion;
    Estado referencia;
    for (int vez = 0; vez < 2; ++vez) {
        const std::string nombre = "sin-muertes-" + std::to_string(vez);
        Sitio s = preparar(nombre);
        ServidorReferencia servidor(raiz, (raiz / ("central-" + nombre + ".db")).string());
        if (vez == 0) {
            // Timed while it runs: how long each step lasts at most.
            const fs::path log = raiz / "sin-muertes.log";
            Proceso p(programa(s, servidor.direccion(), o.intervalo, 6), log);
            Vigia vigia(log, std::chrono::milliseconds(o.intervalo));
            std::optional<Paso> paso;
            Reloj::time_point inicio;
            while (p.vivo()) {
                const auto ahora = Reloj::now();
                if (auto nuevo = vigia.leer()) {
                    paso = nuevo;
                    inicio = ahora;
                } else if (paso && !vigia.enCurso()) {
                    const double ms =
                        std::chrono::duration<double, std::milli>(ahora - inicio).count();
                    duracion[*paso] = std::max(duracion[*paso], ms);
                    paso.reset();
                }
                std::this_thread::sleep_for(1ms);
            }
        }
        if (!completar(s, servidor, o.intervalo)) return 2;
        Estado e = leerEstado(s.base);
        if (vez == 0) {
            referencia = std::move(e);
        } else if (auto d = diferencias(referencia, e); !d.empty()) {
            std::cerr << "caos: two runs never killed differ; the comparison is unsound:\n";
            for (const auto& l : d) std::cerr << l << "\n";
            return 2;
        }
    }
    for (Paso p : {Paso::Guardar, Paso::Marcar, Paso::Aplicar})
        std::cout << "caos: " << nombrePaso(p) << " step lasts up to " << duracion[p]
                  << " ms (never killed)\n";

    Cuentas cuentas;
    int muertes = 0;
    while (muertes < o.muertes) {
        const std::string nombre = "ronda-" + std::to_string(++cuentas.rondas);
        Sitio s = preparar(nombre);
        ServidorReferencia servidor(raiz, (raiz / ("central-" + nombre + ".db")).string());
        int enRonda = 0;
        int intentosSinTrabajo = 0;
        while (enRonda < o.porRonda && muertes < o.muertes && intentosSinTrabajo < 3) {
            const Paso objetivo = static_cast<Paso>(azar() % 3);
            const fs::path log = raiz / (nombre + "-" + std::to_string(enRonda) + ".log");
            Proceso p(programa(s, servidor.direccion(), o.intervalo, 0), log);
            Vigia vigia(log, std::chrono::milliseconds(o.intervalo));
            bool muerto = false;
            int resumenesAlVerlo = 0;
            const auto limite = Reloj::now() + 20s;
            while (p.vivo() && Reloj::now() < limite && !muerto) {
                if (vigia.leer() == objetivo) {
                    resumenesAlVerlo = vigia.resumenes();
                    // A moment within the longest such step seen; when the
                    // step ends first, the next time it begins is tried.
                    const double hasta = std::max(1.0, duracion[objetivo]);
                    const auto espera = std::chrono::microseconds(static_cast<long>(
                        std::uniform_real_distribution<double>(0, hasta)(azar) * 1000));
                    const auto momento = Reloj::now() + espera;
                    while (Reloj::now() < momento && vigia.enCurso() == objetivo) {
                        vigia.leer();
                        std::this_thread::sleep_for(200us);
                    }
                    vigia.leer();
                    if (vigia.enCurso() == objetivo) {
                        kill(p.pid(), SIGKILL);
                        p.esperar(5s);
                        muerto = true;
                        ++muertes;
                        ++enRonda;
                        ++cuentas.muertes[objetivo];
                        continue;
                    }
                    ++cuentas.tardias[objetivo];
                }
                // Three passes since that step last had work: it has no
                // more in this round.
                if (vigia.resumenes() - resumenesAlVerlo >= 3) break;
                std::this_thread::sleep_for(1ms);
            }
            if (!muerto) {
                kill(p.pid(), SIGKILL);
                p.esperar(5s);
                ++intentosSinTrabajo;
            }
        }
        if (!completar(s, servidor, o.intervalo)) {
            std::cerr << "caos: " << nombre << " never settled\n";
            return 1;
        }
        const auto d = diferencias(referencia, leerEstado(s.base));
        if (!d.empty()) {
            ++cuentas.diferentes;
            std::cerr << "caos: " << nombre << " differs from the run never killed:\n";
            for (const auto& l : d) std::cerr << l << "\n";
        }
    }

    const Estado& r = referencia;
    std::set<std::string> tablas;
    for (const std::string& registro : registros) {
        const size_t desde = registro.find("\"Tabla\":\"") + 9;
        tablas.insert(registro.substr(desde, registro.find('"', desde) - desde));
    }
    std::cout << "caos: " << registros.size() << " inbound records of " << tablas.size()
              << " table codes (0 to 25)\n";
    for (Paso p : {Paso::Guardar, Paso::Marcar, Paso::Aplicar})
        std::cout << "caos: killed in " << nombrePaso(p) << ": " << cuentas.muertes[p] << " ("
                  << cuentas.tardias[p] << " moments drawn fell after the step ended)\n";
    std::cout << "caos: " << muertes << " kills over " << cuentas.rondas << " rounds, "
              << cuentas.diferentes << " rounds differing from the run never killed ("
              << r.tablas.at("entrantes").size() << " inbound rows, "
              << r.tablas.at("Comandas").size() << " order lines compared)\n";
    return cuentas.diferentes == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Kill the synchronizer at random moments and check that nothing is lost"};
    Opciones o;
    app.add_option("--muertes", o.muertes, "Kills in all")->check(CLI::Range(1, 10000));
    app.add_option("--por-ronda", o.porRonda, "Kills before a round is run to its end")
        ->check(CLI::Range(1, 1000));
    app.add_option("--semilla", o.semilla, "Seed of the random moments (0: a new one)");
    app.add_option("--intervalo", o.intervalo, "The synchronizer's tick in ms")
        ->check(CLI::Range(1, 1000));
    CLI11_PARSE(app, argc, argv);
    try {
        return ejecutar(o);
    } catch (const std::exception& e) {
        std::cerr << "caos: " << e.what() << "\n";
        return 2;
    }
}
