#include "programa/Estado.h"

#include <exception>

#include "datos/DAO_Conexion.h"
#include "datos/Estado.h"
#include "ejecucion/InformeSitio.h"
#include "programa/Comando.h"

namespace programa {

int informarSitio(const std::string& acceso, bool json, std::optional<long> limiteMinutos,
                  std::ostream& salida, std::ostream& errores, const comun::Reloj& reloj) {
    const std::string base = comun::leerConfiguracion(
        acceso, [&errores](const std::string& aviso) { errores << aviso << "\n"; });
    if (base.empty()) {
        errores << "estado: no database named in " << acceso << "\n";
        return kEstadoIlegible;
    }
    datos::DAO_Conexion conexion;
    conexion.dataFile(base);
    datos::EstadoSitio estado;
    try {
        estado = datos::leerEstadoSitio(conexion);
    } catch (const std::exception& e) {
        errores << "estado: " << e.what() << "\n";
        return kEstadoIlegible;
    }
    const comun::Fecha ahora = reloj.ahora();
    salida << (json ? ejecucion::informeSitioJson(estado, base, ahora, limiteMinutos)
                    : ejecucion::informeSitio(estado, base, ahora, limiteMinutos));
    if (limiteMinutos && !ejecucion::enPlazo(estado, ahora, *limiteMinutos))
        return kEstadoFueraDePlazo;
    return kEstadoEnPlazo;
}

namespace {

// sincronizador estado [--acceso FILE] [--json] [--limite MINUTES]; the
// configuration file is the program's own --acceso (or setting).
class ComandoEstado : public Comando {
  public:
    CLI::App* declarar(CLI::App& programa, OpcionesGlobales&) override {
        CLI::App* sub = programa.add_subcommand(
            "estado",
            "Print the site's state: last exchanges, unsent, unapplied, failed and quarantined "
            "records, orders that changed nothing. Exit code 0, "
            "1 when the last exchange with the server is older than --limite (or there was none, "
            "or it is stamped in the future), "
            "2 when the database cannot be read");
        sub->fallthrough();
        sub->add_flag("--json", json_, "Print one JSON object");
        sub->add_option("--limite", limiteMinutos_,
                        "Minutes without an exchange with the server after which the site is out "
                        "of step")
            ->check(CLI::Range(0L, 10L * 366 * 24 * 60));
        return sub;
    }
    int ejecutar(const OpcionesGlobales& globales) override {
        const comun::RelojSistema reloj;
        return informarSitio(
            globales.acceso, json_,
            limiteMinutos_ >= 0 ? std::optional<long>(limiteMinutos_) : std::nullopt, std::cout,
            std::cerr, reloj);
    }

  private:
    bool json_ = false;
    long limiteMinutos_ = -1;
};

}  // namespace

std::unique_ptr<Comando> comandoEstado() {
    return std::make_unique<ComandoEstado>();
}

}  // namespace programa
