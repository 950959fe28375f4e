// sincronizador verificar: runs every statement the program issues on the
// site's database, with the engine the program would use, and keeps nothing.
#include <iostream>

#include "comun/Funciones.h"
#include "datos/DAO_Conexion.h"
#include "datos/Verificacion.h"
#include "programa/Comando.h"

namespace programa {

namespace {

class ComandoVerificar : public Comando {
  public:
    CLI::App* declarar(CLI::App& programa, OpcionesGlobales&) override {
        CLI::App* sub = programa.add_subcommand(
            "verificar",
            "Run every statement the synchronizer issues on the site's database (the one the "
            "--acceso file names), with sample values, in a transaction that is rolled back; "
            "print one line per statement. Exit code 0 when all ran, 1 when any failed, 2 when "
            "the database cannot be opened");
        sub->fallthrough();
        return sub;
    }
    int ejecutar(const OpcionesGlobales& globales) override {
        const std::string archivo = comun::leerConfiguracion(
            globales.acceso, [](const std::string& aviso) { std::cerr << aviso << "\n"; });
        if (archivo.empty()) {
            std::cerr << "verificar: no database named in " << globales.acceso << "\n";
            return 2;
        }
        datos::DAO_Conexion conexion;
        conexion.dataFile(archivo);
        try {
            conexion.conectar();
        } catch (const std::exception& e) {
            std::cerr << "verificar: " << e.what() << "\n";
            return 2;
        }
        try {
            return datos::verificarSentencias(conexion, std::cout) == 0 ? 0 : 1;
        } catch (const std::exception& e) {
            std::cerr << "verificar: " << e.what() << "\n";
            return 2;
        }
    }
};

}  // namespace

std::unique_ptr<Comando> comandoVerificar() {
    return std::make_unique<ComandoVerificar>();
}

}  // namespace programa
