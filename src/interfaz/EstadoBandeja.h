// The words of the tray icon: the one place where the engine's state of the
// last exchange becomes the tooltip text a person reads. The window face
// chooses the image from the same state.
#pragma once

#include "sincronizador/Puertos.h"

namespace interfaz {

inline const char* textoEstado(sincronizador::EstadoIcono estado) {
    switch (estado) {
        case sincronizador::EstadoIcono::Desconectado:
            return "Conectando";
        case sincronizador::EstadoIcono::Conectado:
            return "Conectado";
        case sincronizador::EstadoIcono::Satisfactorio:
            return "Sincronizacion satisfactoria";
        case sincronizador::EstadoIcono::Error:
            return "Error de conexion";
    }
    return "";
}

}  // namespace interfaz
