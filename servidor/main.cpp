// sincronizador-servidor: the reference central server. It listens on
// loopback only and keeps its records in a SQLite file or a PostgreSQL
// database; `estado` prints what waits for each site, `apartados` the
// records kept aside (posted in another site's name, to a destination
// outside the poster's client, or acknowledging no delivery).
#include <signal.h>
#include <sys/resource.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <thread>

#include "Central.h"
#include "ServidorHTTP.h"

namespace {

// Opens the store for an operator's command and prints what `informe`
// makes of it.
template <typename Informe>
int informar(const std::string& base, Informe informe) {
    // A mistyped file name must not leave an empty store behind.
    if (!servidor::esPostgres(base) && !std::filesystem::exists(base)) {
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
    std::string baseEstado;
    auto* estado = app.add_subcommand(
        "estado", "Registros pendientes, el mas antiguo y la ultima peticion de cada sitio");
    estado->add_option("--base", baseEstado, "La base del servidor")->required();
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
    std::string certificado, clave;
    auto* opcionCertificado =
        app.add_option("--tls-cert", certificado, "Certificado PEM (con su cadena): sirve HTTPS")
            ->check(CLI::ExistingFile);
    auto* opcionClave = app.add_option("--tls-key", clave, "Clave privada PEM del certificado")
                            ->check(CLI::ExistingFile);
    opcionCertificado->needs(opcionClave);
    opcionClave->needs(opcionCertificado);
    CLI11_PARSE(app, argc, argv);

    if (*estado)
        return informar(baseEstado, [&](servidor::Almacen& almacen) {
            return servidor::informeEstado(almacen.estado(), servidor::ahora(), baseEstado);
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
    int elegido = http.enlazar("127.0.0.1", puerto);
    if (elegido <= 0) {
        std::cerr << "No se pudo escuchar en 127.0.0.1:" << puerto << std::endl;
        return 1;
    }
    std::thread([&http, senales] {
        int senal = 0;
        sigwait(&senales, &senal);
        http.detener();
    }).detach();

    std::cout << "Servidor escuchando en 127.0.0.1:" << elegido
              << (certificado.empty() ? "" : " (HTTPS)") << std::endl;
    bool bien = http.atender();
    std::cout << "Servidor detenido" << std::endl;
    return bien ? 0 : 1;
}
