#include "ejecucion/Terminal.h"

#include <unistd.h>

namespace ejecucion {

bool salidaEsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

}  // namespace ejecucion
