#include "protocolo/Entero.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace protocolo {

namespace {

template <class T>
std::optional<T> leer(std::string_view texto) {
    // from_chars takes exactly the rule: an optional '-', then digits.
    if (texto.empty() || texto[0] == '+') return std::nullopt;
    T valor{};
    const auto [fin, error] = std::from_chars(texto.data(), texto.data() + texto.size(), valor);
    if (error != std::errc() || fin != texto.data() + texto.size()) return std::nullopt;
    return valor;
}

template <class T>
std::optional<T> deValor(const comun::Variant& v) {
    switch (v.tipo()) {
        case comun::TipoVariant::Integer:
            return static_cast<T>(std::get<int16_t>(v.interno()));
        case comun::TipoVariant::Long:
            return static_cast<T>(std::get<int32_t>(v.interno()));
        case comun::TipoVariant::Single:
        case comun::TipoVariant::Double: {
            const double d = v.CDbl();
            // Beyond 2^53 a double no longer tells neighbouring whole numbers.
            constexpr double kExacto = 9007199254740992.0;
            if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > kExacto ||
                d < static_cast<double>(std::numeric_limits<T>::min()) ||
                d > static_cast<double>(std::numeric_limits<T>::max()))
                return std::nullopt;
            return static_cast<T>(d);
        }
        case comun::TipoVariant::Decimal:
            return leer<T>(std::get<comun::Decimal>(v.interno()).digitos);
        case comun::TipoVariant::String:
            return leer<T>(v.comoTexto());
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<int32_t> entero32(std::string_view texto) {
    return leer<int32_t>(texto);
}

std::optional<int64_t> entero64(std::string_view texto) {
    return leer<int64_t>(texto);
}

std::optional<int32_t> entero32DeValor(const comun::Variant& valor) {
    return deValor<int32_t>(valor);
}

std::optional<int64_t> entero64DeValor(const comun::Variant& valor) {
    return deValor<int64_t>(valor);
}

}  // namespace protocolo
