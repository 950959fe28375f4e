// Whether the program's standard output is a terminal (a person reads it)
// or a pipe or file (a script does).
#pragma once

namespace ejecucion {

bool salidaEsTerminal();

}  // namespace ejecucion
