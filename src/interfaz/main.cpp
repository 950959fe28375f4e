// Entry point of the sincronizador program: a CLI11 application whose
// subcommands are its modes.
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "datos/Esquema.h"
#include "interfaz/Ejecutar.h"
#include "interfaz/EstadoSitio.h"
#include "interfaz/Servicio.h"
#ifdef SINC_CON_QT
#include "interfaz/ConVentana.h"
#include "interfaz/SinVentana.h"
#endif

namespace {

struct OpcionesCrearBase {
    std::string archivo;
    std::string cliente;
    std::string sucursal;
    std::string nombre;
    bool demo = false;
};

// sincronizador crear-base FILE --cliente ID --sucursal CODE [--nombre NAME] [--demo]
void agregarCrearBase(CLI::App& app, OpcionesCrearBase& o) {
    CLI::App* sub = app.add_subcommand("crear-base", "Create a new site database");
    sub->add_option("archivo", o.archivo, "Database file to create (must not exist)")->required();
    sub->add_option("--cliente", o.cliente, "Client identifier (leading part of the site code)")
        ->required();
    sub->add_option("--sucursal", o.sucursal, "Branch code of this site")->required();
    sub->add_option("--nombre", o.nombre, "Name of the business (setting Nombre Establecimiento)");
    sub->add_flag("--demo", o.demo, "Add the demo catalogue");
}

int crearBase(const OpcionesCrearBase& o) {
    try {
        datos::crearBaseSitio(o.archivo, o.cliente, o.sucursal, o.nombre, o.demo);
    } catch (const std::exception& e) {
        std::cerr << "crear-base: " << e.what() << "\n";
        return 1;
    }
    std::cout << "Created site database " << o.archivo << " for site " << o.cliente + o.sucursal
              << (o.demo ? " with the demo catalogue" : "") << "\n";
    return 0;
}

// A settings file is a few lines: one larger than this is no settings file
// (a device, a log named by mistake) and is refused before it fills memory.
constexpr std::streamsize kMaxAjustes = 1 << 20;

// CLI11's reader of settings files over at most kMaxAjustes bytes.
class AjustesAcotados : public CLI::ConfigTOML {
  public:
    std::vector<CLI::ConfigItem> from_config(std::istream& entrada) const override {
        std::string texto(static_cast<size_t>(kMaxAjustes) + 1, '\0');
        entrada.read(texto.data(), kMaxAjustes + 1);
        if (entrada.gcount() > kMaxAjustes)
            throw CLI::FileError("the file is larger than 1 MiB; it is not a settings file");
        texto.resize(static_cast<size_t>(entrada.gcount()));
        std::istringstream leido(texto);
        return CLI::ConfigTOML::from_config(leido);
    }
};

// The file "Acceso" beside the program names the database by default.
std::string accesoPorDefecto(const char* argv0) {
    std::error_code ec;
    auto programa = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) programa = std::filesystem::absolute(argv0, ec);
    return (programa.parent_path() / "Acceso").string();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Synchronizer of a site database with the central server"};
    app.require_subcommand(0, 1);

    OpcionesCrearBase crear;
    agregarCrearBase(app, crear);

    std::string archivoSql, sql;
    CLI::App* ejecutar =
        app.add_subcommand("ejecutar", "Run one SQL statement (Access dialect) on a site database");
    ejecutar->add_option("archivo", archivoSql, "Site database file")->required();
    ejecutar->add_option("sql", sql, "The statement")->required();

    std::string archivoServicio, operacion;
    std::vector<std::string> argumentosServicio;
    CLI::App* servicio = app.add_subcommand(
        "servicio",
        "Run one operation of the order, third-party and inventory services on a site database "
        "(without an operation: the list)");
    servicio->add_option("archivo", archivoServicio, "Site database file")->required();
    servicio->add_option("operacion", operacion, "The operation");
    servicio->add_option("argumentos", argumentosServicio, "Its arguments");
    std::string archivoCuarentena;
    CLI::App* cuarentena = app.add_subcommand(
        "cuarentena", "List the inbound records set aside because they could not be stored");
    cuarentena->add_option("archivo", archivoCuarentena, "Site database file")->required();
    std::string archivoPedidos;
    CLI::App* pedidos = app.add_subcommand(
        "pedidos-no-aplicados",
        "List the remote order actions that changed nothing at the site (an unknown product, a "
        "telephone nobody has, ...), with why");
    pedidos->add_option("archivo", archivoPedidos, "Site database file")->required();

    // sincronizador estado [--acceso FILE] [--json] [--limite MINUTES]; the
    // configuration file is the program's own --acceso (or setting).
    bool estadoJson = false;
    long limiteMinutos = -1;
    CLI::App* estado = app.add_subcommand(
        "estado",
        "Print the site's state: last exchanges, unsent, unapplied, failed and quarantined "
        "records, orders that changed nothing. Exit code 0, "
        "1 when the last exchange with the server is older than --limite (or there was none, or "
        "it is stamped in the future), "
        "2 when the database cannot be read");
    estado->fallthrough();
    estado->add_flag("--json", estadoJson, "Print one JSON object");
    estado
        ->add_option("--limite", limiteMinutos,
                     "Minutes without an exchange with the server after which the site is out "
                     "of step")
        ->check(CLI::Range(0L, 10L * 366 * 24 * 60));

    bool sinVentana = false;
    std::string acceso = accesoPorDefecto(argv[0]);
    std::string servidor = "localhost", socio = "localhost";
    int intervalo = 800;
    long ciclos = 0;
    app.add_flag("--sin-ventana", sinVentana, "Run headless: console lines to standard output");
    app.add_option("--acceso", acceso, "Configuration file whose first line names the database");
    std::string autoridad, registro;
    app.add_option("--servidor", servidor,
                   "Central server, HOST[:PORT] (port 80 by default) or https://HOST[:PORT] "
                   "(TLS, port 443 by default)");
    app.add_option("--socio", socio,
                   "Partner service, HOST[:PORT] or https://HOST[:PORT], as --servidor");
    app.add_option("--ca", autoridad,
                   "PEM file of a private certificate authority trusted for https:// peers "
                   "besides the system's");
    app.add_option("--registro", registro,
                   "Log file: every console line also written there with its time (kept "
                   "below 10 MiB, with 5 older files FILE.1 .. FILE.5)");
    app.add_option("--intervalo", intervalo, "Cycle tick in milliseconds")
        ->check(CLI::Range(1, 3600000));
    app.add_option("--ciclos", ciclos,
                   "Stop after N full passes of the cycle (0: run until stopped)")
        ->check(CLI::NonNegativeNumber);

    // The same options as "name = value" lines, for the service (the
    // package's /etc/sincronizador/sincronizador.conf); the command line
    // wins, and a setting that names no option is an error.
    app.set_config("--ajustes", "",
                   "Settings file of name = value lines (acceso, servidor, socio, intervalo, ...)");
    app.allow_config_extras(CLI::config_extras_mode::error);
    app.config_formatter(std::make_shared<AjustesAcotados>());

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // A settings file that cannot be read or holds an unknown name.
        if (dynamic_cast<const CLI::ConfigError*>(&e) || dynamic_cast<const CLI::FileError*>(&e))
            std::cerr << "sincronizador: settings file: ";
        return app.exit(e);
    }

    if (app.got_subcommand("crear-base")) return crearBase(crear);
    if (app.got_subcommand("ejecutar"))
        return interfaz::ejecutarSql(archivoSql, sql, std::cout, std::cerr,
                                     isatty(STDOUT_FILENO) == 1);
    if (app.got_subcommand("servicio")) {
        const comun::RelojSistema reloj;
        return interfaz::ejecutarServicio(archivoServicio, operacion, argumentosServicio, std::cout,
                                          std::cerr, reloj);
    }
    if (app.got_subcommand("cuarentena"))
        return interfaz::listarCuarentena(archivoCuarentena, std::cout, std::cerr);
    if (app.got_subcommand("pedidos-no-aplicados"))
        return interfaz::listarPedidosNoAplicados(archivoPedidos, std::cout, std::cerr);
    if (app.got_subcommand("estado")) {
        comun::RelojSistema reloj;
        return interfaz::ejecutarEstado(
            acceso, estadoJson,
            limiteMinutos >= 0 ? std::optional<long>(limiteMinutos) : std::nullopt, std::cout,
            std::cerr, reloj);
    }

#ifdef SINC_CON_QT
    interfaz::OpcionesEjecucion opciones;
    opciones.acceso = acceso;
    opciones.intervaloMs = intervalo;
    opciones.ciclos = ciclos;
    opciones.autoridad = autoridad;
    opciones.registro = registro;
    if (!interfaz::separarHostPuerto(servidor, opciones.hostServidor, opciones.puertoServidor,
                                     opciones.tlsServidor) ||
        !interfaz::separarHostPuerto(socio, opciones.hostSocio, opciones.puertoSocio,
                                     opciones.tlsSocio)) {
        std::cerr << "sincronizador: --servidor and --socio take HOST[:PORT] or "
                     "https://HOST[:PORT] (port 1-65535)\n";
        return 2;
    }
    if (!sinVentana) return interfaz::ejecutarConVentana(argc, argv, opciones);
    return interfaz::ejecutarSinVentana(argc, argv, opciones);
#else
    (void)sinVentana;
    std::cerr << "sincronizador: this build has no run modes (built without Qt)\n";
    return 2;
#endif
}
