// The program's icons, shipped as resources (drawn for 16 and 32 pixels):
// the program icon and one picture for each state of the last exchange.
#pragma once

#include <QIcon>

#include "sincronizador/Puertos.h"

namespace ventana {

QIcon iconoPrograma();
QIcon iconoEstado(sincronizador::EstadoIcono estado);

}  // namespace ventana
