#include "ventana/ChatSoporte.h"

#include "comun/Texto.h"
#include "comun/Variant.h"

namespace ventana {

std::optional<std::vector<FilaChat>> ChatSoporte::actualizar(
    const std::vector<datos::clsMensaje>& mensajes) {
    if (mensajes.empty() || mensajes.front().getId() == ultimoId_) return std::nullopt;
    std::vector<FilaChat> filas;
    filas.reserve(mensajes.size() * 3);
    for (auto m = mensajes.rbegin(); m != mensajes.rend(); ++m) {
        filas.push_back({FilaChat::Tipo::Cabecera,
                         m->getOrigen() + "  " + comun::Variant(m->getFecha()).texto()});
        std::string texto = m->getMensaje();
        if (comun::longitudCaracteres(texto) > kLargoMostrado)
            texto = comun::izquierda(texto, kLargoMostrado) + " [...]";
        filas.push_back({FilaChat::Tipo::Texto, std::move(texto)});
        filas.push_back({FilaChat::Tipo::Separador, std::string(kLargoSeparador, '-')});
    }
    ultimoId_ = mensajes.front().getId();
    return filas;
}

}  // namespace ventana
