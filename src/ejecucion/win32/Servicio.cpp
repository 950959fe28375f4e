#include "ejecucion/win32/Servicio.h"

#include <windows.h>

#include <cstdlib>
#include <iostream>

#include "ejecucion/Salidas.h"
#include "ejecucion/win32/Detencion.h"
#include "ejecucion/win32/SinVentanaWin32.h"
#include "ejecucion/win32/Texto.h"

namespace ejecucion::win32 {

namespace {

// What the service's thread needs: the options, and where to say how the
// run ended.
const OpcionesEjecucion* opcionesServicio = nullptr;
int codigoServicio = 0;
SERVICE_STATUS_HANDLE estadoServicio = nullptr;

void informar(DWORD estado, DWORD codigo = 0) {
    SERVICE_STATUS s{};
    s.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    s.dwCurrentState = estado;
    s.dwControlsAccepted =
        estado == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    if (codigo != 0) {
        s.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        s.dwServiceSpecificExitCode = codigo;
    }
    s.dwWaitHint = estado == SERVICE_RUNNING || estado == SERVICE_STOPPED ? 0 : 10000;
    ::SetServiceStatus(estadoServicio, &s);
}

DWORD WINAPI alControl(DWORD control, DWORD, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            informar(SERVICE_STOP_PENDING);
            Detencion::proceso().pedir();
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI principalServicio(DWORD, wchar_t**) {
    estadoServicio = ::RegisterServiceCtrlHandlerExW(kNombreServicio, alControl, nullptr);
    if (!estadoServicio) return;
    informar(SERVICE_RUNNING);
    codigoServicio = correrSinVentana(*opcionesServicio, Detencion::proceso().evento());
    informar(SERVICE_STOPPED, static_cast<DWORD>(codigoServicio));
}

std::string ultimoError(const char* que) {
    return std::string(que) + " failed (error " + std::to_string(::GetLastError()) + ")";
}

// Closes a handle of the service manager when it goes.
struct Manejador {
    SC_HANDLE h;
    explicit Manejador(SC_HANDLE x) : h(x) {}
    ~Manejador() {
        if (h) ::CloseServiceHandle(h);
    }
    Manejador(const Manejador&) = delete;
    Manejador& operator=(const Manejador&) = delete;
};

}  // namespace

std::string carpetaDatos() {
    const char* datos = std::getenv("ProgramData");
    if (!datos || !*datos) return {};
    return std::string(datos) + "\\sincronizador";
}

int ejecutarComoServicio(const OpcionesEjecucion& opciones) {
    opcionesServicio = &opciones;
    wchar_t nombre[] = L"sincronizador";
    SERVICE_TABLE_ENTRYW tabla[] = {{nombre, principalServicio}, {nullptr, nullptr}};
    if (!::StartServiceCtrlDispatcherW(tabla)) {
        std::cerr << "sincronizador: --servicio-windows is for the service manager: "
                  << ultimoError("StartServiceCtrlDispatcher") << "\n";
        return kSalidaOpciones;
    }
    return codigoServicio;
}

bool instalarServicio(const std::string& programa, const std::string& ajustes, std::string& error) {
    Manejador gestor(
        ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (!gestor.h) {
        error = ultimoError("OpenSCManager") + "; run it as an administrator";
        return false;
    }
    const std::wstring linea = L"\"" + aAncho(programa) +
                               L"\" --sin-ventana --servicio-windows --ajustes \"" +
                               aAncho(ajustes) + L"\"";
    Manejador servicio(::CreateServiceW(gestor.h, kNombreServicio, L"Sincronizador",
                                        SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                        SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, linea.c_str(),
                                        nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!servicio.h && ::GetLastError() == ERROR_SERVICE_EXISTS) {
        servicio.h = ::OpenServiceW(gestor.h, kNombreServicio, SERVICE_ALL_ACCESS);
        if (servicio.h &&
            !::ChangeServiceConfigW(servicio.h, SERVICE_NO_CHANGE, SERVICE_AUTO_START,
                                    SERVICE_NO_CHANGE, linea.c_str(), nullptr, nullptr, nullptr,
                                    nullptr, nullptr, L"Sincronizador")) {
            error = ultimoError("ChangeServiceConfig");
            return false;
        }
    }
    if (!servicio.h) {
        error = ultimoError("CreateService");
        return false;
    }
    wchar_t texto[] = L"Keeps the site database in step with the central server";
    SERVICE_DESCRIPTIONW descripcion{texto};
    ::ChangeServiceConfig2W(servicio.h, SERVICE_CONFIG_DESCRIPTION, &descripcion);
    // Restarted by the service manager when it ends by a failure.
    SC_ACTION accion{SC_ACTION_RESTART, 60000};
    SERVICE_FAILURE_ACTIONSW fallos{};
    fallos.dwResetPeriod = 86400;
    fallos.cActions = 1;
    fallos.lpsaActions = &accion;
    ::ChangeServiceConfig2W(servicio.h, SERVICE_CONFIG_FAILURE_ACTIONS, &fallos);
    if (!::StartServiceW(servicio.h, 0, nullptr) &&
        ::GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        error = ultimoError("StartService");
        return false;
    }
    return true;
}

bool quitarServicio(std::string& error) {
    Manejador gestor(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!gestor.h) {
        error = ultimoError("OpenSCManager") + "; run it as an administrator";
        return false;
    }
    Manejador servicio(
        ::OpenServiceW(gestor.h, kNombreServicio, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!servicio.h) {
        if (::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return true;
        error = ultimoError("OpenService");
        return false;
    }
    SERVICE_STATUS estado{};
    if (::ControlService(servicio.h, SERVICE_CONTROL_STOP, &estado)) {
        for (int i = 0; i < 300 && estado.dwCurrentState != SERVICE_STOPPED; ++i) {
            ::Sleep(100);
            if (!::QueryServiceStatus(servicio.h, &estado)) break;
        }
    }
    if (!::DeleteService(servicio.h) && ::GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
        error = ultimoError("DeleteService");
        return false;
    }
    return true;
}

}  // namespace ejecucion::win32
