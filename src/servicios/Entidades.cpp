#include "servicios/Entidades.h"

namespace servicios {

bool esFechaCero(const comun::Fecha& f) {
    return f == comun::Fecha{};
}

}  // namespace servicios
