// The program as a Windows service: registered with the service manager
// to start with the machine, run by it headless with its settings and log
// in the machine's program-data folder, stopped by it.
#pragma once

#include <string>

#include "ejecucion/Opciones.h"

namespace ejecucion::win32 {

// The service's name for the service manager.
inline constexpr wchar_t kNombreServicio[] = L"sincronizador";

// The folder of the settings, the configuration file and the log:
// %ProgramData%\sincronizador ("" when the system names no such folder).
std::string carpetaDatos();

// Hands the process to the service manager, which runs the headless face
// with these options until it asks the service to stop; returns the exit
// code. Fails (kSalidaOpciones, with the reason on standard error) when
// the process was not started by the service manager.
int ejecutarComoServicio(const OpcionesEjecucion& opciones);

// Registers the service (started with the machine, its command line
// `"programa" --sin-ventana --servicio-windows --ajustes "ajustes"`) and
// starts it; a service already registered gets that command line. False,
// with the reason in `error`.
bool instalarServicio(const std::string& programa, const std::string& ajustes, std::string& error);
// Stops the service, waiting for it a while, and removes it. False, with
// the reason in `error`; a service that is not registered is no failure.
bool quitarServicio(std::string& error);

}  // namespace ejecucion::win32
