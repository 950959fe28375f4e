#include "interfaz/SinVentana.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTimer>
#include <atomic>
#include <charconv>
#include <csignal>
#include <iostream>

#include "aplicacion/Aplicador.h"
#include "comun/Funciones.h"
#include "datos/DAO_Conexion.h"
#include "interfaz/SocketQt.h"
#include "sincronizador/BaseDatosDAO.h"
#include "sincronizador/Motor.h"

namespace interfaz {

namespace {

std::atomic<bool> detener{false};

extern "C" void alSenal(int) {
    detener = true;
}

// Console lines go to standard output exactly as the engine writes them.
class ConsolaSalida : public sincronizador::Consola {
  public:
    void escribir(const std::string& texto) override { std::cout << texto << std::flush; }
    void limpiar() override {}
};

// Without a window there is no tray icon; its state is not shown.
class BandejaNula : public sincronizador::Bandeja {
  public:
    void mostrar(sincronizador::EstadoIcono) override {}
};

// What the apply step reports goes to the console too.
class BitacoraSalida : public comun::Bitacora {
  public:
    void escribir(const std::string& linea) override { std::cout << linea << "\r\n" << std::flush; }
};

class PasoLocalAplicador : public sincronizador::PasoLocal {
  public:
    PasoLocalAplicador(datos::DAO_Conexion& conexion, comun::Bitacora& bitacora,
                       const comun::Reloj& reloj)
        : aplicador_(conexion, bitacora, reloj) {}
    void aplicarComunicacion() override { aplicador_.aplicarComunicacion(); }

  private:
    aplicacion::Aplicador aplicador_;
};

// One instance per configuration file: two sites with their own files run
// side by side on one machine.
QString rutaBloqueo(const std::string& acceso) {
    const QString absoluta = QFileInfo(QString::fromStdString(acceso)).absoluteFilePath();
    const QByteArray huella =
        QCryptographicHash::hash(absoluta.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QDir::temp().filePath(QStringLiteral("sincronizador-%1.lock").arg(QString(huella)));
}

}  // namespace

bool separarHostPuerto(const std::string& texto, std::string& host, uint16_t& puerto) {
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

int ejecutarSinVentana(int argc, char** argv, const OpcionesEjecucion& opciones) {
    QCoreApplication app(argc, argv);

    // A lock older than any age stays valid while its process lives; one
    // left by a process that died is taken over.
    const QString archivoBloqueo = rutaBloqueo(opciones.acceso);
    QLockFile bloqueo(archivoBloqueo);
    bloqueo.setStaleLockTime(0);
    if (!bloqueo.tryLock(0)) {
        // Only a lock held by another instance means that one is running; a
        // lock file that cannot be written is a different failure.
        if (bloqueo.error() == QLockFile::LockFailedError) {
            std::cerr << "La Aplicación ya esta en ejecución\n";
        } else {
            std::cerr << "sincronizador: cannot create the lock file "
                      << archivoBloqueo.toStdString() << "\n";
        }
        return kSalidaOtraInstancia;
    }

    std::signal(SIGINT, alSenal);
    std::signal(SIGTERM, alSenal);

    ConsolaSalida consola;
    BandejaNula bandeja;
    BitacoraSalida bitacora;
    comun::RelojSistema reloj;

    datos::DAO_Conexion conexion;
    conexion.bitacora(&bitacora);
    conexion.dataFile(comun::leerConfiguracion(
        opciones.acceso, [](const std::string& aviso) { std::cerr << aviso << "\n"; }));

    sincronizador::Configuracion configuracion;
    configuracion.hostServidor = opciones.hostServidor;
    configuracion.puertoServidor = opciones.puertoServidor;
    configuracion.hostSocio = opciones.hostSocio;
    configuracion.puertoSocio = opciones.puertoSocio;

    sincronizador::BaseDatosDAO base(conexion);
    PasoLocalAplicador pasoLocal(conexion, bitacora, reloj);
    SocketQt socket;
    // The engine's own log repeats its console lines with a time stamp; here
    // the console already is standard output, so that copy is dropped.
    comun::BitacoraNula bitacoraMotor;
    sincronizador::Motor motor(configuracion, base, &pasoLocal, consola, bandeja, socket, reloj,
                               bitacoraMotor);
    socket.motor(&motor);

    std::cout << motor.datosConexion() << std::flush;
    if (!motor.iniciar()) {
        std::cerr << "sincronizador: the cycle cannot start (see the console lines above)\n";
        return kSalidaNoArranca;
    }

    QTimer reloj_ciclo;
    QObject::connect(&reloj_ciclo, &QTimer::timeout, [&] {
        motor.tick();
        if (opciones.ciclos > 0 && motor.pasadas() >= opciones.ciclos) app.quit();
    });
    reloj_ciclo.start(opciones.intervaloMs);

    QTimer vigia;
    QObject::connect(&vigia, &QTimer::timeout, [&] {
        if (detener) app.quit();
    });
    vigia.start(100);

    const int codigo = app.exec();
    socket.cerrar();
    // Passes that ran to their end without one exchange with the server
    // leave the site out of step: a service manager or a script must see it.
    if (codigo == 0 && opciones.ciclos > 0 && motor.pasadas() >= opciones.ciclos &&
        motor.intercambiosServidor() == 0) {
        std::cerr << "sincronizador: none of the " << opciones.ciclos
                  << " passes completed an exchange with the server\n";
        return kSalidaSinIntercambio;
    }
    return codigo;
}

}  // namespace interfaz
