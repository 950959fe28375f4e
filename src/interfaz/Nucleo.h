// What both faces share: the run options, the single-instance lock, and the
// engine wired to its Qt ports (the database, the apply step, the socket and
// the cycle timer). A face adds its console, its tray and its own window.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "comun/Bitacora.h"
#include "comun/Funciones.h"
#include "sincronizador/Puertos.h"

namespace datos {
class DAO_Conexion;
}
namespace sincronizador {
class Motor;
}

namespace interfaz {

class SocketQt;

struct OpcionesEjecucion {
    // The configuration file whose first line names the database.
    std::string acceso;
    std::string hostServidor = "localhost";
    uint16_t puertoServidor = 80;
    bool tlsServidor = false;
    std::string hostSocio = "localhost";
    uint16_t puertoSocio = 80;
    bool tlsSocio = false;
    // A PEM file of private authorities trusted besides the system's.
    std::string autoridad;
    // A log file that receives every console line too ("" none).
    std::string registro;
    int intervaloMs = 800;
    // Full passes of the four steps after which the program ends; 0 runs
    // until stopped.
    long ciclos = 0;
};

// Splits "host[:port]", "http://host[:port]" or "https://host[:port]"
// (a trailing "/" allowed). Without a port it stays as given, or is 443
// for https. `tls` tells whether the scheme was https. False when the
// port is not a number from 1 to 65535, there is no host, or there is
// another scheme or a path.
bool separarHostPuerto(const std::string& texto, std::string& host, uint16_t& puerto, bool& tls);

// One instance per configuration file: two sites with their own files run
// side by side on one machine. The lock is a lock of the system on a file in
// the temporary folder, keyed by the configuration file's absolute path: the
// system drops it when the process ends, however it ends, so a new instance
// starts as soon as a killed one is gone (as a service manager expects when
// it restarts the service). Nothing is guessed from process ids, which the
// system gives out again. The holder removes the file when it ends.
class InstanciaUnica {
  public:
    enum class Resultado { Tomada, EnEjecucion, SinBloqueo };
    explicit InstanciaUnica(const std::string& acceso);
    ~InstanciaUnica();
    InstanciaUnica(const InstanciaUnica&) = delete;
    InstanciaUnica& operator=(const InstanciaUnica&) = delete;
    Resultado tomar();
    // What the user is told when the lock was not taken: "La Aplicación ya
    // esta en ejecución", or which lock file could not be created.
    std::string explicar(Resultado resultado) const;
    const QString& archivo() const { return archivo_; }

  private:
    QString archivo_;
    int descriptor_ = -1;  // the locked file, while held
};

// SIGINT and SIGTERM call `alDetener` from the event loop (polled, since a
// signal handler may do almost nothing).
void vigilarSenales(QObject* padre, std::function<void()> alDetener);

// The engine with its ports. The face owns the console, the tray and the
// log of the apply step, which must outlive this object.
class Nucleo : public QObject {
    Q_OBJECT
  public:
    Nucleo(const OpcionesEjecucion& opciones, sincronizador::Consola& consola,
           sincronizador::Bandeja& bandeja, comun::Bitacora& bitacora, QObject* padre = nullptr);
    ~Nucleo() override;

    // Sets up TLS for the https destinations and the private authority of
    // the options; false, with the reason in `error`, when that cannot be
    // done (no TLS in this Qt, an authority file without certificates).
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

    sincronizador::Motor& motor() { return *motor_; }
    datos::DAO_Conexion& conexion() { return *conexion_; }
    SocketQt& socket() { return *socket_; }
    QTimer& reloj() { return reloj_; }
    // The clock the engine reads.
    const comun::Reloj& relojSistema() const { return *relojSistema_; }

  signals:
    // After every tick the engine has handled.
    void tickHecho();

  private:
    OpcionesEjecucion opciones_;
    comun::BitacoraNula bitacoraMotor_;
    std::unique_ptr<datos::DAO_Conexion> conexion_;
    std::unique_ptr<sincronizador::BaseDatos> base_;
    std::unique_ptr<sincronizador::PasoLocal> pasoLocal_;
    std::unique_ptr<SocketQt> socket_;
    std::unique_ptr<comun::Reloj> relojSistema_;
    std::unique_ptr<sincronizador::Motor> motor_;
    QTimer reloj_;
};

}  // namespace interfaz
