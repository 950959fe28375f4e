#include "ejecucion/Mensajeria.h"

#include <exception>

#include "comun/Funciones.h"

namespace ejecucion {

Mensajeria::~Mensajeria() {
    conexion_.desconectar();
}

bool Mensajeria::abrir(const std::function<void(const std::string&)>& avisar) {
    conectada_ = false;
    conexion_.dataFile(comun::leerConfiguracion(acceso_, avisar));
    return conectar();
}

bool Mensajeria::conectar() {
    if (conectada_) return true;
    if (conexion_.dataFile().empty()) return false;
    try {
        conexion_.conectar();
        conectada_ = true;
    } catch (const std::exception&) {
        conectada_ = false;
    }
    return conectada_;
}

std::vector<datos::clsMensaje> Mensajeria::mensajes() {
    return conexion_.getListaMensajes();
}

void Mensajeria::enviar(const std::string& texto) {
    conexion_.setMensaje(texto);
}

void Mensajeria::enviarSoporte(const std::string& nombre, const std::string& mensaje,
                               const std::string& telefono) {
    if (!conectar()) throw datos::ErrorBD("No se puede abrir la base de datos");
    conexion_.setEMailSoporte(nombre, mensaje, telefono);
}

}  // namespace ejecucion
