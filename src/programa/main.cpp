// Entry point of the sincronizador program: a CLI11 application whose
// subcommands are its modes, each one a command of the table (Comando.h).
#include <CLI/CLI.hpp>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "programa/Comando.h"
#ifdef _WIN32
#include "ejecucion/win32/Servicio.h"
#endif

namespace programa {

std::vector<std::unique_ptr<Comando>> tablaDeComandos() {
    std::vector<std::unique_ptr<Comando>> tabla;
    tabla.push_back(comandoCrearBase());
    tabla.push_back(comandoEjecutar());
    tabla.push_back(comandoServicio());
    tabla.push_back(comandoCuarentena());
    tabla.push_back(comandoPedidosNoAplicados());
    tabla.push_back(comandoEstado());
    tabla.push_back(comandoVerificar());
#ifdef _WIN32
    tabla.push_back(comandoServicioWindows());
#endif
    return tabla;
}

}  // namespace programa

namespace {

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

// The file "Acceso" beside the program names the database by default; on
// Windows, the one in the program-data folder, where the service's
// settings and log are too.
std::string accesoPorDefecto(const char* argv0) {
#ifdef _WIN32
    if (const std::string carpeta = ejecucion::win32::carpetaDatos(); !carpeta.empty())
        return carpeta + "\\Acceso";
#endif
    std::error_code ec;
    auto programa = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) programa = std::filesystem::absolute(argv0, ec);
    return (programa.parent_path() / "Acceso").string();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Synchronizer of a site database with the central server"};
    app.require_subcommand(0, 1);

    programa::OpcionesGlobales globales;
    globales.acceso = accesoPorDefecto(argv[0]);
    globales.argc = argc;
    globales.argv = argv;
    std::vector<std::pair<CLI::App*, std::unique_ptr<programa::Comando>>> subcomandos;
    for (auto& comando : programa::tablaDeComandos()) {
        CLI::App* sub = comando->declarar(app, globales);
        subcomandos.emplace_back(sub, std::move(comando));
    }
    const auto correr = programa::comandoCorrer();
    correr->declarar(app, globales);

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

    for (auto& [sub, comando] : subcomandos)
        if (sub->parsed()) return comando->ejecutar(globales);
    return correr->ejecutar(globales);
}
