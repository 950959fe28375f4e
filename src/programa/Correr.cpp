// The run modes: the program's own options (the configuration file, the
// peers, the tick, the passes, the log) and the face they start, the window
// or the headless one.
#include <iostream>

#include "ejecucion/Opciones.h"
#include "ejecucion/Salidas.h"
#include "programa/Comando.h"
#if defined(SINC_CON_QT) || defined(SINC_SIN_VENTANA_WIN32)
#include "ejecucion/SinVentana.h"
#endif
#ifdef SINC_CON_QT
#include "ventana/ConVentana.h"
#endif
#ifdef SINC_SIN_VENTANA_WIN32
#include "ejecucion/win32/Servicio.h"
#endif

namespace programa {

namespace {

class ComandoCorrer : public Comando {
  public:
    CLI::App* declarar(CLI::App& programa, OpcionesGlobales& globales) override {
        programa.add_flag("--sin-ventana", sinVentana_,
                          "Run headless: console lines to standard output");
#ifdef SINC_SIN_VENTANA_WIN32
        programa.add_flag("--servicio-windows", servicioWindows_,
                          "Run headless under Windows' service manager (the command line "
                          "`servicio-windows instalar` registers)");
#endif
        programa.add_option("--acceso", globales.acceso,
                            "Configuration file whose first line names the database");
        programa.add_option("--servidor", servidor_,
                            "Central server, HOST[:PORT] (port 80 by default) or "
                            "https://HOST[:PORT] (TLS, port 443 by default)");
        programa.add_option("--socio", quiralte_,
                            "Partner service, HOST[:PORT] or https://HOST[:PORT], as --servidor");
        programa.add_option("--ca", autoridad_,
                            "PEM file of a private certificate authority trusted for https:// "
                            "peers besides the system's");
        auto* opcionCertificado = programa.add_option(
            "--certificado", certificado_,
            "PEM file of this site's certificate (its site code as the common name, CN), "
            "presented to an https:// server that asks for one");
        auto* opcionClave =
            programa.add_option("--clave", clave_, "PEM file of the private key of --certificado");
        opcionCertificado->needs(opcionClave);
        opcionClave->needs(opcionCertificado);
        programa.add_option("--registro", registro_,
                            "Log file: every console line also written there with its time (kept "
                            "below 10 MiB, with 5 older files FILE.1 .. FILE.5)");
        programa.add_option("--intervalo", intervalo_, "Cycle tick in milliseconds")
            ->check(CLI::Range(1, 3600000));
        programa
            .add_option("--ciclos", ciclos_,
                        "Stop after N full passes of the cycle (0: run until stopped)")
            ->check(CLI::NonNegativeNumber);
        return &programa;
    }
    int ejecutar(const OpcionesGlobales& globales) override {
#if defined(SINC_CON_QT) || defined(SINC_SIN_VENTANA_WIN32)
        ejecucion::OpcionesEjecucion opciones;
        opciones.acceso = globales.acceso;
        opciones.intervaloMs = intervalo_;
        opciones.ciclos = ciclos_;
        opciones.autoridad = autoridad_;
        opciones.certificado = certificado_;
        opciones.clave = clave_;
        opciones.registro = registro_;
        if (!ejecucion::separarHostPuerto(servidor_, opciones.hostServidor, opciones.puertoServidor,
                                          opciones.tlsServidor) ||
            !ejecucion::separarHostPuerto(quiralte_, opciones.hostQuiralte, opciones.puertoQuiralte,
                                          opciones.tlsQuiralte)) {
            std::cerr << "sincronizador: --servidor and --socio take HOST[:PORT] or "
                         "https://HOST[:PORT] (port 1-65535)\n";
            return ejecucion::kSalidaOpciones;
        }
#ifdef SINC_CON_QT
        if (!sinVentana_)
            return ventana::ejecutarConVentana(globales.argc, globales.argv, opciones);
#endif
#ifdef SINC_SIN_VENTANA_WIN32
        if (servicioWindows_) return ejecucion::win32::ejecutarComoServicio(opciones);
        if (!sinVentana_) return ejecutarConVentanaWindows(opciones);
#endif
        return ejecucion::ejecutarSinVentana(globales.argc, globales.argv, opciones);
#else
        (void)globales;
        std::cerr << "sincronizador: this build has no run modes (built without Qt)\n";
        return ejecucion::kSalidaOpciones;
#endif
    }

  private:
    bool sinVentana_ = false;
    bool servicioWindows_ = false;
    std::string servidor_ = "localhost";
    std::string quiralte_ = "localhost";
    std::string autoridad_;
    std::string certificado_;
    std::string clave_;
    std::string registro_;
    int intervalo_ = 800;
    long ciclos_ = 0;
};

}  // namespace

std::unique_ptr<Comando> comandoCorrer() {
    return std::make_unique<ComandoCorrer>();
}

}  // namespace programa
