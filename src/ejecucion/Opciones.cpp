#include "ejecucion/Opciones.h"

#include <charconv>

namespace ejecucion {

bool separarHostPuerto(const std::string& direccion, std::string& host, uint16_t& puerto,
                       bool& tls) {
    std::string texto = direccion;
    tls = false;
    if (texto.rfind("https://", 0) == 0) {
        tls = true;
        puerto = 443;
        texto.erase(0, 8);
    } else if (texto.rfind("http://", 0) == 0) {
        texto.erase(0, 7);
    }
    if (!texto.empty() && texto.back() == '/') texto.pop_back();
    if (texto.find_first_of("/?#@") != std::string::npos) return false;
    const auto dosPuntos = texto.rfind(':');
    if (dosPuntos == std::string::npos) {
        host = texto;
        return !host.empty();
    }
    host = texto.substr(0, dosPuntos);
    const std::string numero = texto.substr(dosPuntos + 1);
    unsigned valor = 0;
    const auto [fin, error] = std::from_chars(numero.data(), numero.data() + numero.size(), valor);
    if (error != std::errc{} || fin != numero.data() + numero.size() || valor == 0 ||
        valor > 65535 || host.empty())
        return false;
    puerto = static_cast<uint16_t>(valor);
    return true;
}

}  // namespace ejecucion
