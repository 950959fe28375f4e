// The engine on Qt's event loop: the engine composed with its ports
// (componerMotor), the socket over QSslSocket and the cycle timer. Both
// faces build it the same way with their console, tray and log, and reach
// the site's database only through it.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "comun/Funciones.h"
#include "datos/Estado.h"
#include "ejecucion/Composicion.h"
#include "ejecucion/Mensajeria.h"
#include "ejecucion/Opciones.h"

namespace ejecucion {

class SocketQt;

class Nucleo : public QObject {
    Q_OBJECT
  public:
    Nucleo(const OpcionesEjecucion& opciones, const PuertosCara& puertos, QObject* padre = nullptr);
    ~Nucleo() override;

    // Sets up TLS for the https destinations, the private authority and
    // the site's certificate of the options; false, with the reason in
    // `error`, when that cannot be done (no TLS in this Qt, an authority
    // file without certificates, a certificate or key that cannot be read).
    bool prepararSocket(std::string& error);
    // Reads the configuration file and gives its first line to the
    // database. `avisar` receives "No se encuentra archivo de configuracion"
    // when the file is missing.
    void leerConfiguracion(const std::function<void(const std::string&)>& avisar);
    // Loads the site values; false (with the reason on the console) when the
    // cycle cannot run.
    bool iniciar();
    // Starts and stops the cycle timer. While it runs, every tick reaches
    // the engine, also when the engine is paused.
    void arrancar() { reloj_.start(); }
    void detener() { reloj_.stop(); }
    bool enMarcha() const { return reloj_.isActive(); }

    // The database file the configuration named ("" before it was read, or
    // when it names none).
    std::string archivoBase() const;
    // The site's state as its database records it, read on a connection of
    // its own (the engine's may be in the middle of a step). Throws when the
    // database cannot be read.
    datos::EstadoSitio leerEstadoSitio() const;

    // The support chat and requests, on a connection of their own to the
    // database the configuration file names.
    std::unique_ptr<Mensajeria> mensajeria() const {
        return std::make_unique<Mensajeria>(opciones_.acceso);
    }

    sincronizador::Motor& motor() { return *sitio_->motor; }
    SocketQt& socket() { return *socket_; }
    QTimer& reloj() { return reloj_; }
    // The clock the engine reads.
    const comun::Reloj& relojSistema() const { return *sitio_->reloj; }

  signals:
    // After every tick the engine has handled.
    void tickHecho();

  private:
    OpcionesEjecucion opciones_;
    std::unique_ptr<SocketQt> socket_;
    std::unique_ptr<MotorDelSitio> sitio_;
    QTimer reloj_;
};

}  // namespace ejecucion
