// sincronizador crear-base FILE --cliente ID --sucursal CODE [--nombre NAME] [--demo]
#include <exception>
#include <iostream>

#include "datos/Esquema.h"
#include "programa/Comando.h"

namespace programa {

namespace {

class ComandoCrearBase : public Comando {
  public:
    CLI::App* declarar(CLI::App& programa, OpcionesGlobales&) override {
        CLI::App* sub = programa.add_subcommand("crear-base", "Create a new site database");
        sub->add_option("archivo", archivo_, "Database file to create (must not exist)")
            ->required();
        sub->add_option("--cliente", cliente_, "Client identifier (leading part of the site code)")
            ->required();
        sub->add_option("--sucursal", sucursal_, "Branch code of this site")->required();
        sub->add_option("--nombre", nombre_,
                        "Name of the business (setting Nombre Establecimiento)");
        sub->add_flag("--demo", demo_, "Add the demo catalogue");
        return sub;
    }
    int ejecutar(const OpcionesGlobales&) override {
        try {
            datos::crearBaseSitio(archivo_, cliente_, sucursal_, nombre_, demo_);
        } catch (const std::exception& e) {
            std::cerr << "crear-base: " << e.what() << "\n";
            return 1;
        }
        std::cout << "Created site database " << archivo_ << " for site " << cliente_ + sucursal_
                  << (demo_ ? " with the demo catalogue" : "") << "\n";
        return 0;
    }

  private:
    std::string archivo_;
    std::string cliente_;
    std::string sucursal_;
    std::string nombre_;
    bool demo_ = false;
};

}  // namespace

std::unique_ptr<Comando> comandoCrearBase() {
    return std::make_unique<ComandoCrearBase>();
}

}  // namespace programa
