#include "ejecucion/Nucleo.h"

#include "datos/DAO_Conexion.h"
#include "ejecucion/SocketQt.h"
#include "sincronizador/Motor.h"

namespace ejecucion {

Nucleo::Nucleo(const OpcionesEjecucion& opciones, const PuertosCara& puertos, QObject* padre)
    : QObject(padre),
      opciones_(opciones),
      socket_(std::make_unique<SocketQt>()),
      sitio_(componerMotor(opciones, puertos, *socket_)) {
    socket_->motor(sitio_->motor.get());
    reloj_.setInterval(opciones.intervaloMs);
    connect(&reloj_, &QTimer::timeout, this, [this] {
        sitio_->motor->tick();
        emit tickHecho();
    });
}

Nucleo::~Nucleo() {
    reloj_.stop();
    socket_->motor(nullptr);
    socket_->cerrar();
}

bool Nucleo::prepararSocket(std::string& error) {
    if (opciones_.tlsServidor || opciones_.tlsQuiralte) {
        if (!QSslSocket::supportsSsl()) {
            error = "this system's Qt has no TLS support (an https:// address needs it)";
            return false;
        }
        if (opciones_.tlsServidor)
            socket_->destinoTls(opciones_.hostServidor, opciones_.puertoServidor);
        if (opciones_.tlsQuiralte)
            socket_->destinoTls(opciones_.hostQuiralte, opciones_.puertoQuiralte);
    }
    if (!opciones_.autoridad.empty() && !socket_->autoridad(opciones_.autoridad, error)) {
        error = "--ca: " + error;
        return false;
    }
    if (!opciones_.certificado.empty() &&
        !socket_->certificadoPropio(opciones_.certificado, opciones_.clave, error)) {
        error = "--certificado: " + error;
        return false;
    }
    return true;
}

void Nucleo::leerConfiguracion(const std::function<void(const std::string&)>& avisar) {
    sitio_->conexion->dataFile(comun::leerConfiguracion(opciones_.acceso, avisar));
}

bool Nucleo::iniciar() {
    return sitio_->motor->iniciar();
}

std::string Nucleo::archivoBase() const {
    return sitio_->conexion->dataFile();
}

datos::EstadoSitio Nucleo::leerEstadoSitio() const {
    datos::DAO_Conexion lectura;
    lectura.dataFile(archivoBase());
    return datos::leerEstadoSitio(lectura);
}

}  // namespace ejecucion
