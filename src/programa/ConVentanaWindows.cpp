// sincronizador-ventana.exe: the run mode opens the window face.
#include "programa/Comando.h"
#include "ventana/win32/ConVentana.h"

namespace programa {

int ejecutarConVentanaWindows(const ejecucion::OpcionesEjecucion& opciones) {
    return ventana::win32::ejecutarConVentana(opciones);
}

}  // namespace programa
