// The program's subcommands behind one table: each declares its own options
// on the command line and runs once the line is parsed, so that main only
// parses and dispatches.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

namespace programa {

// What every command may read of the program's own options.
struct OpcionesGlobales {
    // The configuration file whose first line names the database (--acceso).
    std::string acceso;
    int argc = 0;
    char** argv = nullptr;
};

class Comando {
  public:
    virtual ~Comando() = default;
    // Adds the command with its options to the program's command line and
    // returns where they were added (a subcommand, or the program itself);
    // options every command reads go into `globales`.
    virtual CLI::App* declarar(CLI::App& programa, OpcionesGlobales& globales) = 0;
    // Runs the parsed command; returns the program's exit code.
    virtual int ejecutar(const OpcionesGlobales& globales) = 0;
};

std::unique_ptr<Comando> comandoCrearBase();
std::unique_ptr<Comando> comandoEjecutar();
std::unique_ptr<Comando> comandoServicio();
std::unique_ptr<Comando> comandoCuarentena();
std::unique_ptr<Comando> comandoPedidosNoAplicados();
std::unique_ptr<Comando> comandoEstado();
std::unique_ptr<Comando> comandoVerificar();
#ifdef _WIN32
std::unique_ptr<Comando> comandoServicioWindows();
#endif
// The run modes: the options of the program itself, run when no subcommand
// is given.
std::unique_ptr<Comando> comandoCorrer();
#ifdef _WIN32
}  // namespace programa
namespace ejecucion {
struct OpcionesEjecucion;
}
namespace programa {
// The window face on Windows: sincronizador-ventana.exe runs it; the
// console program says which program to start instead.
int ejecutarConVentanaWindows(const ejecucion::OpcionesEjecucion& opciones);
#endif

// The subcommands in the order the help lists them.
std::vector<std::unique_ptr<Comando>> tablaDeComandos();

}  // namespace programa
