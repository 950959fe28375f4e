#include "ventana/AvisosOperador.h"

#include <cmath>
#include <exception>

#include "comun/Texto.h"
#include "datos/DAO_Conexion.h"
#include "ejecucion/InformeSitio.h"

namespace ventana {

namespace {

long segundosEntre(const comun::Fecha& desde, const comun::Fecha& hasta) {
    return std::lround((hasta.serial() - desde.serial()) * 24 * 3600);
}

std::string acotar(const std::string& texto) {
    if (comun::longitudCaracteres(texto) <= kLargoLineaEstado) return texto;
    return comun::izquierda(texto, kLargoLineaEstado - 3) + "...";
}

}  // namespace

std::string lineaEstadoMenu(const SituacionCiclo& ciclo,
                            const std::optional<datos::EstadoSitio>& estado,
                            const comun::Fecha& ahora) {
    if (!ciclo.enMarcha) return acotar(ciclo.motivo.empty() ? "Ciclo detenido" : ciclo.motivo);
    std::string linea = "Ultimo intercambio: ";
    if (!estado)
        linea += "no disponible";
    else if (estado->ultimoServidor)
        linea +=
            "hace " + ejecucion::lapso(ejecucion::minutosEntre(*estado->ultimoServidor, ahora));
    else
        linea += "ninguno";
    if (ciclo.pausado) linea += " (en pausa)";
    return acotar(linea);
}

std::string ultimaLinea(const std::string& texto) {
    const size_t fin = texto.find_last_not_of("\r\n");
    if (fin == std::string::npos) return {};
    const size_t corte = texto.find_last_of("\r\n", fin);
    const size_t inicio = corte == std::string::npos ? 0 : corte + 1;
    return texto.substr(inicio, fin + 1 - inicio);
}

VigiaServidor::VigiaServidor(const comun::Fecha& inicio, long limiteSegundos)
    : inicio_(inicio), limiteSegundos_(limiteSegundos) {}

VigiaServidor::Aviso VigiaServidor::observar(const std::optional<comun::Fecha>& ultimo,
                                             const comun::Fecha& ahora) {
    if (sinContacto_) {
        if (!ultimo || ultimo == ultimoAlAvisar_) return Aviso::Ninguno;
        sinContacto_ = false;
        return Aviso::Restablecido;
    }
    const comun::Fecha desde = ultimo && *ultimo > inicio_ ? *ultimo : inicio_;
    // A clock set back makes the time negative: no notice for that.
    if (segundosEntre(desde, ahora) <= limiteSegundos_) return Aviso::Ninguno;
    sinContacto_ = true;
    ultimoAlAvisar_ = ultimo;
    return Aviso::SinContacto;
}

std::string VigiaServidor::texto(Aviso aviso, const std::optional<comun::Fecha>& ultimo,
                                 const comun::Fecha& ahora) const {
    switch (aviso) {
        case Aviso::Ninguno:
            return {};
        case Aviso::SinContacto:
            if (ultimo)
                return "Sin intercambio con el servidor desde hace " +
                       ejecucion::lapso(ejecucion::minutosEntre(*ultimo, ahora)) +
                       " (ultimo: " + ultimo->iso() + ")";
            return "Sin intercambio con el servidor desde el inicio, hace " +
                   ejecucion::lapso(ejecucion::minutosEntre(inicio_, ahora));
        case Aviso::Restablecido:
            return "Intercambio con el servidor restablecido";
    }
    return {};
}

LecturaSitio leerSitio(const std::string& base, const comun::Fecha& ahora, VigiaServidor* vigia) {
    LecturaSitio lectura;
    if (base.empty()) return lectura;
    try {
        datos::DAO_Conexion conexion;
        conexion.dataFile(base);
        lectura.estado = datos::leerEstadoSitio(conexion);
        lectura.linea = ejecucion::resumenSitio(*lectura.estado, ahora);
    } catch (const std::exception& e) {
        lectura.linea = std::string("Estado no disponible: ") + e.what();
    }
    if (vigia && lectura.estado) {
        const auto& ultimo = lectura.estado->ultimoServidor;
        lectura.aviso = vigia->observar(ultimo, ahora);
        lectura.textoAviso = vigia->texto(lectura.aviso, ultimo, ahora);
    }
    return lectura;
}

}  // namespace ventana
