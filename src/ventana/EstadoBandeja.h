// The tray state's words and picture: the one place where the engine's
// state of the last exchange becomes the tooltip text a person reads and
// the name of the picture every face draws for it.
#pragma once

#include "sincronizador/Puertos.h"

namespace ventana {

struct AspectoEstado {
    // The tooltip and the picture's caption.
    const char* texto;
    // The picture, as the icon resources name it ("estado-ok" is drawn as
    // estado-ok-16.png and estado-ok-32.png).
    const char* icono;
};

inline AspectoEstado aspectoEstado(sincronizador::EstadoIcono estado) {
    switch (estado) {
        case sincronizador::EstadoIcono::Desconectado:
            return {"Conectando", "estado-desconectado"};
        case sincronizador::EstadoIcono::Conectado:
            return {"Conectado", "estado-conectado"};
        case sincronizador::EstadoIcono::Satisfactorio:
            return {"Sincronizacion satisfactoria", "estado-ok"};
        case sincronizador::EstadoIcono::Error:
            return {"Error de conexion", "estado-error"};
    }
    return {"", ""};
}

inline const char* textoEstado(sincronizador::EstadoIcono estado) {
    return aspectoEstado(estado).texto;
}

}  // namespace ventana
