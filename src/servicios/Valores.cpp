#include "servicios/Valores.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "comun/Texto.h"
#include "protocolo/Entero.h"

namespace servicios {

using comun::Variant;

int32_t enteroDeTexto(std::string_view texto, std::string_view que) {
    // Blanks around it and a plus sign are taken; the rest is the
    // protocol's rule.
    std::string t = comun::recortar(texto);
    if (!t.empty() && t.front() == '+' && (t.size() < 2 || t[1] != '-')) t.erase(0, 1);
    if (const auto n = protocolo::entero32(t)) return *n;
    throw ValorInvalido(std::string(que) + " no es un numero entero: '" + std::string(texto) + "'");
}

double numeroDeTexto(std::string_view texto, std::string_view que) {
    double valor = 0;
    if (comun::IsNumeric(texto)) {
        try {
            valor = Variant(texto).CDbl();
        } catch (const comun::ErrorTipo&) {
            valor = NAN;
        }
    } else {
        valor = NAN;
    }
    if (!std::isfinite(valor))
        throw ValorInvalido(std::string(que) + " no es un numero: '" + std::string(texto) + "'");
    return valor;
}

std::string textoNumero(double valor, std::string_view que) {
    if (!std::isfinite(valor)) throw ValorInvalido(std::string(que) + " no es un numero finito");
    return comun::textoDouble(valor == 0 ? 0.0 : valor);  // no "-0"
}

int64_t redondearEntero(comun::Moneda valor) {
    const int64_t d = valor.diezmilesimas;
    int64_t entero = d / 10000;
    const int64_t resto = d % 10000;  // same sign as d
    const int64_t mitad = resto < 0 ? -resto : resto;
    if (mitad > 5000 || (mitad == 5000 && entero % 2 != 0)) entero += d < 0 ? -1 : 1;
    return entero;
}

std::string textoHora(const comun::Fecha& f) {
    char hora[16];
    std::snprintf(hora, sizeof hora, "%02d:%02d:%02d", f.hora, f.minuto, f.segundo);
    return hora;
}

std::string textoDe(const datos::Recordset& rs, std::string_view campo) {
    return rs[campo].texto();
}

double dobleDe(const datos::Recordset& rs, std::string_view campo) {
    const Variant v = rs[campo];
    if (v.esNull() || v.esEmpty()) return 0;
    if (v.esTexto() && !comun::IsNumeric(v)) return 0;
    return v.CDbl();
}

double numeroRequerido(const datos::Recordset& rs, std::string_view campo, std::string_view que) {
    const Variant v = rs[campo];
    if (v.esNull() || v.esEmpty())
        throw ValorInvalido(std::string(que) + " es nulo (" + std::string(campo) + ")");
    if (v.esTexto() && !comun::IsNumeric(v))
        throw ValorInvalido(std::string(que) + " no es un numero: '" + v.texto() + "'");
    try {
        const double valor = v.CDbl();
        if (std::isfinite(valor)) return valor;
    } catch (const comun::ErrorTipo&) {
    }
    throw ValorInvalido(std::string(que) + " no es un numero: '" + v.texto() + "'");
}

bool siNoDe(const datos::Recordset& rs, std::string_view campo) {
    const Variant v = rs[campo];
    if (v.esNull() || v.esEmpty()) return false;
    try {
        return v.CBool();
    } catch (const comun::ErrorTipo&) {
        return false;
    }
}

comun::Fecha fechaDe(const datos::Recordset& rs, std::string_view campo) {
    const Variant v = rs[campo];
    if (v.esNull() || v.esEmpty()) return {};
    try {
        return v.CDate();
    } catch (const comun::ErrorTipo&) {
        return {};
    }
}

const datos::ValoresSitio& valoresSitio(datos::DAO_Conexion& con) {
    if (con.sitio().fechaTrabajo.empty()) con.cargarValoresSitio();
    return con.sitio();
}

}  // namespace servicios
