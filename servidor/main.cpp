// sincronizador-servidor: the reference central server. It listens on
// loopback only and keeps its records in a SQLite file or a PostgreSQL
// database; `estado` prints what waits for each site, `apartados` the
// records kept aside (posted in another site's name, to a destination
// outside the poster's client, or acknowledging no delivery).
#include <signal.h>
#include <sys/resource.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "Central.h"
#include "Operador.h"
#include "ServidorHTTP.h"
#include "ServidorOperador.h"
#include "Sitios.h"

namespace {

// Opens the store for an operator's command and prints what `informe`
// makes of it.
template <typename Informe>
int informar(const std::string& base, Informe informe) {
    // A mistyped file name must not leave an empty store behind.
    if (servidor::tipoDeBase(base) == servidor::TipoBase::SQLite &&
        !std::filesystem::exists(base)) {
        std::cerr << "No existe la base " << base << std::endl;
        return 1;
    }
    try {
        auto almacen = servidor::abrirAlmacen(base, 1);
        std::cout << informe(*almacen);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Servidor central de referencia del sincronizador"};
    int puerto = 0;
    std::string base;
    std::string doctores;
    size_t digitosSucursal = 3;
    int conexiones = 8;
    servidor::Limites limites;
    app.add_option("--puerto", puerto, "Puerto en 127.0.0.1 (0: uno libre)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--base", base,
                   "Archivo SQLite del servidor, o postgresql://usuario@host:puerto/base");
    app.add_option("--doctores", doctores, "Lista JSON de doctores")->check(CLI::ExistingFile);
    app.add_option("--digitos-sucursal", digitosSucursal, "Caracteres del codigo de sucursal")
        ->check(CLI::Range(1, 20));
    app.add_option("--hilos", limites.hilos, "Conexiones atendidas a la vez")
        ->check(CLI::Range(1, 4096));
    app.add_option("--conexiones", conexiones, "Conexiones con PostgreSQL")
        ->check(CLI::Range(1, 256));
    app.add_option("--conexiones-por-direccion", limites.conexionesPorDireccion,
                   "Conexiones a la vez desde una direccion (0: sin limite, detras de un proxy)")
        ->check(CLI::Range(0, 100000));
    double historial = 30;
    app.add_option("--historial", historial,
                   "Dias que se guarda un registro; despues se borra cuando todos sus destinos lo "
                   "acusaron (0: nunca)")
        ->check(CLI::Range(0.0, 36500.0));
    std::string operador, archivoToken;
    app.add_option("--operador", operador,
                   "[HOST:]PUERTO de la pagina del operador, /metrics y /salud (host 127.0.0.1 "
                   "si no se da)");
    app.add_option("--operador-token", archivoToken,
                   "Archivo con el token que debe presentar quien llega a --operador desde fuera "
                   "de 127.0.0.1 (sin esto, nadie de fuera)")
        ->check(CLI::ExistingFile);
    std::string baseEstado;
    double historialEstado = 30;
    auto* estado = app.add_subcommand(
        "estado", "Registros pendientes, el mas antiguo y la ultima peticion de cada sitio");
    estado->add_option("--base", baseEstado, "La base del servidor")->required();
    estado
        ->add_option("--historial", historialEstado,
                     "El historial del servidor, en dias: avisa de lo que espera desde antes")
        ->check(CLI::Range(0.0, 36500.0));
    std::string baseApartados, sitioApartados;
    int64_t maximoApartados = 100;
    auto* apartados = app.add_subcommand(
        "apartados",
        "Registros guardados aparte: en nombre de otro sitio, a un destino que no es del cliente, "
        "o acuses ilegibles");
    apartados->add_option("--base", baseApartados, "La base del servidor")->required();
    apartados->add_option("--sitio", sitioApartados, "Solo los que envio este sitio");
    apartados->add_option("--maximo", maximoApartados, "Cuantos, los mas antiguos primero")
        ->check(CLI::Range(int64_t{1}, int64_t{1000000}));
    std::string baseReenviar, sitioReenviar, desdeReenviar;
    auto* reenviar = app.add_subcommand(
        "reenviar",
        "Ofrece otra vez a un sitio restaurado de una copia todo lo que acuso desde un momento");
    reenviar->add_option("--base", baseReenviar, "La base del servidor")->required();
    reenviar->add_option("--sitio", sitioReenviar, "El sitio restaurado")->required();
    reenviar
        ->add_option("--desde", desdeReenviar,
                     "Cuando se hizo la copia: AAAA-MM-DD [HH:MM[:SS]], hora local")
        ->required();
    // sitio agregar|quitar|listar: the register of sites.
    std::string baseSitios, clienteSitios, codigoSitio;
    size_t digitosSitios = 3;
    auto* sitio = app.add_subcommand("sitio", "El registro de sitios que el servidor atiende");
    sitio->require_subcommand(1);
    auto* agregar = sitio->add_subcommand(
        "agregar",
        "Registra un sitio: sus peticiones se atienden y recibe los registros generales "
        "de su cliente");
    auto* quitar = sitio->add_subcommand(
        "quitar",
        "Quita un sitio del registro: sus peticiones se rechazan (403); lo que espera se "
        "guarda");
    auto* listar =
        sitio->add_subcommand("listar", "Los sitios registrados, de todos los clientes o de uno");
    for (auto* orden : {agregar, quitar, listar}) {
        orden->add_option("--base", baseSitios, "La base del servidor")->required();
        orden->add_option("--cliente", clienteSitios, "El cliente del sitio");
        orden->add_option("--sitio", codigoSitio, "El codigo del sitio: el cliente y su sucursal");
    }
    for (auto* orden : {agregar, quitar}) {
        orden->get_option("--cliente")->required();
        orden->get_option("--sitio")->required();
    }
    agregar
        ->add_option("--digitos-sucursal", digitosSitios,
                     "Caracteres del codigo de sucursal (los del servidor)")
        ->check(CLI::Range(1, 20));
    bool registroAbierto = false;
    app.add_flag("--registro-abierto", registroAbierto,
                 "Registra a un sitio desconocido en su primera peticion (sin esto, solo los de "
                 "'sitio agregar')");
    std::string certificado, clave;
    auto* opcionCertificado =
        app.add_option("--tls-cert", certificado, "Certificado PEM (con su cadena): sirve HTTPS")
            ->check(CLI::ExistingFile);
    auto* opcionClave = app.add_option("--tls-key", clave, "Clave privada PEM del certificado")
                            ->check(CLI::ExistingFile);
    opcionCertificado->needs(opcionClave);
    opcionClave->needs(opcionCertificado);
    std::string autoridadSitios;
    app.add_option("--ca-sitios", autoridadSitios,
                   "Autoridad (PEM) que firma los certificados de los sitios: cada peticion debe "
                   "traer uno, con el codigo del sitio como nombre comun (CN)")
        ->check(CLI::ExistingFile)
        ->needs(opcionCertificado);
    CLI11_PARSE(app, argc, argv);

    if (*estado)
        return informar(baseEstado, [&](servidor::Almacen& almacen) {
            const int64_t segundos = servidor::segundosDeDias(historialEstado);
            const int64_t ahora = servidor::ahora();
            return servidor::informeEstado(almacen.estado(segundos > 0 ? ahora - segundos : 0),
                                           ahora, baseEstado, segundos);
        });
    if (*apartados)
        return informar(baseApartados, [&](servidor::Almacen& almacen) {
            return servidor::informeApartados(almacen.apartados(sitioApartados, maximoApartados));
        });
    if (*reenviar) {
        const auto desde = servidor::leerFecha(desdeReenviar);
        if (!desde) {
            std::cerr << "--desde no es una fecha AAAA-MM-DD [HH:MM[:SS]]: " << desdeReenviar
                      << std::endl;
            return 2;
        }
        return informar(baseReenviar, [&](servidor::Almacen& almacen) {
            const int64_t n = almacen.reenviar(sitioReenviar, *desde);
            return std::to_string(n) + " registros acusados por " + sitioReenviar + " desde " +
                   servidor::textoFecha(*desde) + " se le ofreceran otra vez" +
                   (n == 0 ? " (ninguno: revise --sitio y --desde)\n" : "\n");
        });
    }
    if (*agregar || *quitar) {
        if (*agregar) {
            if (std::string motivo =
                    servidor::sitioInvalido(codigoSitio, clienteSitios, digitosSitios);
                !motivo.empty()) {
                std::cerr << "No se registra: " << motivo << std::endl;
                return 2;
            }
        } else if (servidor::tipoDeBase(baseSitios) == servidor::TipoBase::SQLite &&
                   !std::filesystem::exists(baseSitios)) {
            std::cerr << "No existe la base " << baseSitios << std::endl;
            return 1;
        }
        try {
            auto almacen = servidor::abrirAlmacen(baseSitios, 1);
            if (*agregar) {
                const bool nuevo =
                    almacen->agregarSitio(codigoSitio, clienteSitios, servidor::ahora());
                std::cout << "Sitio " << codigoSitio << " del cliente " << clienteSitios
                          << (nuevo ? " registrado" : " ya estaba registrado") << std::endl;
                return 0;
            }
            if (!almacen->quitarSitio(codigoSitio, clienteSitios)) {
                std::cerr << "El sitio " << servidor::paraBitacora(codigoSitio)
                          << " no esta registrado en el cliente "
                          << servidor::paraBitacora(clienteSitios) << std::endl;
                return 1;
            }
            std::cout << "Sitio " << codigoSitio << " quitado del registro" << std::endl;
            return 0;
        } catch (const std::exception& e) {
            std::cerr << e.what() << std::endl;
            return 1;
        }
    }
    if (*listar)
        return informar(baseSitios, [&](servidor::Almacen& almacen) {
            auto sitios = almacen.sitios(clienteSitios);
            if (!codigoSitio.empty())
                std::erase_if(sitios, [&](const servidor::SitioRegistrado& s) {
                    return s.sitio != codigoSitio;
                });
            return servidor::informeSitios(sitios);
        });
    if (base.empty()) {
        std::cerr << "Falta --base" << std::endl;
        return 2;
    }

    // Connections that wait for a worker hold a descriptor each: as many as
    // the system lets the process have.
    rlimit archivos{};
    if (getrlimit(RLIMIT_NOFILE, &archivos) == 0 && archivos.rlim_cur < archivos.rlim_max) {
        archivos.rlim_cur = archivos.rlim_max;
        setrlimit(RLIMIT_NOFILE, &archivos);
    }

    // SIGINT and SIGTERM stop the server cleanly from a thread of their own.
    sigset_t senales;
    sigemptyset(&senales);
    sigaddset(&senales, SIGINT);
    sigaddset(&senales, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &senales, nullptr);

    std::unique_ptr<servidor::Central> central;
    try {
        std::string lista = doctores.empty() ? "[]" : servidor::leerDoctores(doctores);
        central = std::make_unique<servidor::Central>(servidor::abrirAlmacen(base, conexiones),
                                                      digitosSucursal, lista);
        central->almacen().registroAbierto(registroAbierto);
        central->almacen().historial(servidor::segundosDeDias(historial));
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        return 1;
    }

    servidor::ServidorHTTP http(*central, std::cout, limites);
    if (!certificado.empty()) {
        std::string error;
        if (!http.usarTls(certificado, clave, error)) {
            std::cerr << "TLS: " << error << std::endl;
            return 1;
        }
    }
    if (!autoridadSitios.empty()) {
        std::string error;
        if (!http.exigirCertificados(autoridadSitios, error)) {
            std::cerr << "--ca-sitios: " << error << std::endl;
            return 1;
        }
    }
    std::unique_ptr<servidor::ServidorOperador> paginaOperador;
    std::string avisoOperador;
    if (!operador.empty()) {
        std::string host, token;
        int puertoOperador = 0;
        if (!servidor::leerDireccionOperador(operador, host, puertoOperador)) {
            std::cerr << "--operador no es [HOST:]PUERTO: " << operador << std::endl;
            return 2;
        }
        if (!archivoToken.empty()) {
            std::ifstream archivo(archivoToken);
            std::getline(archivo, token);
            while (!token.empty() && (token.back() == '\r' || token.back() == ' '))
                token.pop_back();
            if (token.size() < 16) {
                std::cerr << "--operador-token: el token de " << archivoToken
                          << " debe tener al menos 16 caracteres" << std::endl;
                return 2;
            }
        }
        paginaOperador = std::make_unique<servidor::ServidorOperador>(
            *central, token, servidor::segundosDeDias(historial));
        const int elegidoOperador = paginaOperador->enlazar(host, puertoOperador);
        if (elegidoOperador <= 0) {
            std::cerr << "No se pudo escuchar en " << operador << std::endl;
            return 1;
        }
        paginaOperador->arrancar();
        avisoOperador =
            "Pagina del operador en http://" + host + ":" + std::to_string(elegidoOperador) + "/\n";
        if (token.empty() && !servidor::esLoopback(host))
            avisoOperador +=
                "Aviso: sin --operador-token, la pagina del operador solo atiende a 127.0.0.1\n";
    }

    int elegido = http.enlazar("127.0.0.1", puerto);
    if (elegido <= 0) {
        std::cerr << "No se pudo escuchar en 127.0.0.1:" << puerto << std::endl;
        return 1;
    }
    // SIGINT or SIGTERM stops the server. The thread that waits for them is
    // joined before the server is destroyed: left detached, its call to
    // detener() could still be touching the server while it goes.
    std::thread esperaSenal([&http, senales] {
        int senal = 0;
        sigwait(&senales, &senal);
        http.detener();
    });

    std::cout << "Servidor escuchando en 127.0.0.1:" << elegido
              << (certificado.empty() ? "" : " (HTTPS)") << std::endl;
    std::cout << avisoOperador;
    if (autoridadSitios.empty())
        std::cout << "Aviso: sin --ca-sitios, cualquier cliente puede publicar y leer en nombre "
                     "de cualquier sitio"
                  << std::endl;
    if (registroAbierto)
        std::cout << "Aviso: --registro-abierto: un sitio desconocido queda registrado en su "
                     "primera peticion"
                  << std::endl;
    bool bien = http.atender();
    if (paginaOperador) paginaOperador->detener();
    // Wakes the waiting thread when the server stopped without a signal.
    pthread_kill(esperaSenal.native_handle(), SIGTERM);
    esperaSenal.join();
    std::cout << "Servidor detenido" << std::endl;
    return bien ? 0 : 1;
}
