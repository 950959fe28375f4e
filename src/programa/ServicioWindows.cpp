// `sincronizador servicio-windows instalar|quitar`: the program registered
// with Windows' service manager (started with the machine, its settings,
// configuration file and log in %ProgramData%\sincronizador), or removed
// from it. The site database and those files stay where they are.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iostream>

#include "comun/Archivos.h"
#include "ejecucion/win32/Servicio.h"
#include "ejecucion/win32/Texto.h"
#include "programa/Comando.h"

namespace programa {

namespace {

// The settings the service starts with, written once: the operator edits
// them, and a later install keeps them.
void escribirAjustes(const std::string& carpeta, const std::string& ajustes) {
    std::ofstream f(comun::rutaDe(ajustes), std::ios::binary);
    f << "# Settings of the synchronizer service at this site: one \"name = value\"\r\n"
         "# per line (values between single quotes). After a change, restart the\r\n"
         "# service \"sincronizador\" (services.msc, or: sc stop sincronizador, then\r\n"
         "# sc start sincronizador).\r\n"
         "#\r\n"
         "# The configuration file whose first line is the path of the site database.\r\n"
         "acceso = '"
      << carpeta
      << "\\Acceso'\r\n"
         "# The central server and the partner service: HOST or HOST:PORT (port 80),\r\n"
         "# or https://HOST[:PORT] for TLS (port 443).\r\n"
         "servidor = 'localhost'\r\n"
         "socio = 'localhost'\r\n"
         "# A PEM file of a private authority trusted for https:// besides the\r\n"
         "# system's store.\r\n"
         "# ca = 'C:\\ProgramData\\sincronizador\\autoridad.crt'\r\n"
         "# The site's certificate and its RSA key (PEM), for a server that asks.\r\n"
         "# certificado = 'C:\\ProgramData\\sincronizador\\sitio.crt'\r\n"
         "# clave = 'C:\\ProgramData\\sincronizador\\sitio.key'\r\n"
         "# Every console line with its time, rotated by size.\r\n"
         "registro = '"
      << carpeta << "\\sincronizador.log'\r\n";
}

std::string estePrograma() {
    std::wstring ruta(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, ruta.data(), static_cast<DWORD>(ruta.size()));
        if (n < ruta.size()) {
            ruta.resize(n);
            return ejecucion::win32::deAncho(ruta);
        }
        ruta.resize(ruta.size() * 2);
    }
}

class ComandoServicioWindows : public Comando {
  public:
    CLI::App* declarar(CLI::App& programa, OpcionesGlobales&) override {
        auto* sub = programa.add_subcommand(
            "servicio-windows",
            "Register the Windows service (instalar: started with the machine, settings and log "
            "in %ProgramData%\\sincronizador) or remove it (quitar); needs an administrator");
        sub->add_option("accion", accion_, "instalar or quitar")
            ->required()
            ->check(CLI::IsMember({"instalar", "quitar"}));
        return sub;
    }
    int ejecutar(const OpcionesGlobales&) override {
        std::string error;
        if (accion_ == "quitar") {
            if (!ejecucion::win32::quitarServicio(error)) {
                std::cerr << "sincronizador: " << error << "\n";
                return 1;
            }
            std::cout << "Service sincronizador removed; its settings, log and the site database "
                         "are kept\n";
            return 0;
        }
        const std::string carpeta = ejecucion::win32::carpetaDatos();
        if (carpeta.empty()) {
            std::cerr << "sincronizador: the system names no ProgramData folder\n";
            return 1;
        }
        std::error_code ec;
        std::filesystem::create_directories(comun::rutaDe(carpeta), ec);
        const std::string ajustes = carpeta + "\\sincronizador.conf";
        if (!std::filesystem::exists(comun::rutaDe(ajustes), ec)) escribirAjustes(carpeta, ajustes);
        if (!ejecucion::win32::instalarServicio(estePrograma(), ajustes, error)) {
            std::cerr << "sincronizador: " << error << "\n";
            return 1;
        }
        std::cout << "Service sincronizador registered and started; settings in " << ajustes
                  << "\n";
        return 0;
    }

  private:
    std::string accion_;
};

}  // namespace

std::unique_ptr<Comando> comandoServicioWindows() {
    return std::make_unique<ComandoServicioWindows>();
}

}  // namespace programa
