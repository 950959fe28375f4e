#include "ventana/Presentacion.h"

#include "comun/Texto.h"

namespace ventana {

const char* textoPausa(bool cicloIniciado, bool pausado) {
    return cicloIniciado && !pausado ? kPausar : kReanudar;
}

std::string lineaRegistro(const std::string& ruta, const std::string& error) {
    std::string linea = "Registro: " + ruta;
    if (!error.empty()) linea += " (no se puede escribir: " + error + ")";
    return linea;
}

std::string textoDatos(const std::string& datosConexion, const std::string& lineaRegistro) {
    std::string datos = datosConexion;
    if (!lineaRegistro.empty()) datos += lineaRegistro + "\r\n";
    return datos;
}

std::string lineasDeTexto(const std::string& texto) {
    return comun::reemplazar(comun::reemplazar(texto, "\r\n", "\n"), "\r", "\n");
}

std::string piezaConsola(const std::string& texto) {
    std::string pieza = lineasDeTexto(texto);
    const size_t largo = comun::longitudCaracteres(pieza);
    if (largo <= kMaximoPieza) return pieza;
    return comun::izquierda(pieza, kMaximoPieza) + "\n... (" +
           std::to_string(largo - kMaximoPieza) + " caracteres mas no mostrados)\n";
}

TipoAviso tipoAviso(VigiaServidor::Aviso aviso) {
    return aviso == VigiaServidor::Aviso::SinContacto ? TipoAviso::Advertencia
                                                      : TipoAviso::Informacion;
}

}  // namespace ventana
