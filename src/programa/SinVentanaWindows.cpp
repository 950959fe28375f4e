// sincronizador.exe, the console program: its window is another program.
#include <iostream>

#include "ejecucion/Salidas.h"
#include "programa/Comando.h"

namespace programa {

int ejecutarConVentanaWindows(const ejecucion::OpcionesEjecucion&) {
    std::cerr << "sincronizador: the window is sincronizador-ventana.exe; run this program with "
                 "--sin-ventana\n";
    return ejecucion::kSalidaOpciones;
}

}  // namespace programa
