#include "ventana/win32/ConVentana.h"

#include <iostream>
#include <memory>

#include "comun/Registro.h"
#include "ejecucion/Salidas.h"
#include "ejecucion/win32/Detencion.h"
#include "ejecucion/win32/InstanciaMutex.h"
#include "ventana/win32/Avisos.h"
#include "ventana/win32/frmSincronizador.h"
#include "ventana/win32/modForm.h"

namespace ventana::win32 {

int ejecutarConVentana(const ejecucion::OpcionesEjecucion& opciones) {
    AvisosWin32 avisos;
    return ejecutarConVentana(opciones, avisos);
}

int ejecutarConVentana(const ejecucion::OpcionesEjecucion& opciones, Avisos& avisos) {
    conocerResolucion();
    auto* propios = dynamic_cast<AvisosWin32*>(&avisos);
    ejecucion::win32::InstanciaMutex instancia(opciones.acceso);
    const auto bloqueo = instancia.tomar();
    if (bloqueo != ejecucion::win32::InstanciaMutex::Resultado::Tomada) {
        avisos.mensaje(instancia.explicar(bloqueo), Avisos::Icono::Exclamacion);
        return ejecucion::kSalidaOtraInstancia;
    }

    // The log outlives the window, whose engine writes to it to the end; one
    // that cannot be opened does not keep the window from running.
    comun::RelojSistema reloj;
    std::unique_ptr<comun::Registro> registro;
    std::string errorRegistro;
    if (!opciones.registro.empty()) {
        registro = std::make_unique<comun::Registro>(opciones.registro, reloj);
        registro->abrir(errorRegistro);
    }
    frmSincronizador ventana(avisos);
    {
        MotorDeVentana motor(opciones, ventana);
        if (!motor.errorTls.empty()) {
            avisos.mensaje(motor.errorTls, Avisos::Icono::Exclamacion);
            return ejecucion::kSalidaOpciones;
        }
        ventana.conectar(&motor);
        if (propios) propios->dueno(ventana.hwnd());
        if (registro) ventana.setRegistro(*registro, errorRegistro);
        ventana.cargar();
        ::ShowWindow(ventana.hwnd(), SW_SHOWNORMAL);
        auto& detencion = ejecucion::win32::Detencion::proceso();
        detencion.vigilarConsola();
        correrVentana(ventana, detencion.evento());
        if (propios) propios->dueno(nullptr);
    }
    return 0;
}

}  // namespace ventana::win32
