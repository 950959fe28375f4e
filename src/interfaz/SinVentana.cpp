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
#include <memory>

#include "comun/Funciones.h"
#include "comun/Registro.h"
#include "datos/DAO_Conexion.h"
#include "interfaz/SocketQt.h"
#include "sincronizador/BaseDatosDAO.h"
#include "sincronizador/Motor.h"
#include "sincronizador/PasoLocalAplicador.h"

namespace interfaz {

namespace {

std::atomic<bool> detener{false};

extern "C" void alSenal(int) {
    detener = true;
}

// Console lines go to standard output exactly as the engine writes them,
// and to the log file when there is one.
class ConsolaSalida : public sincronizador::Consola {
  public:
    explicit ConsolaSalida(comun::Registro* registro) : registro_(registro) {}
    void escribir(const std::string& texto) override {
        std::cout << texto << std::flush;
        if (registro_) registro_->escribir(texto);
    }
    void limpiar() override {}

  private:
    comun::Registro* registro_;
};

// Without a window there is no tray icon; its state is not shown.
class BandejaNula : public sincronizador::Bandeja {
  public:
    void mostrar(sincronizador::EstadoIcono) override {}
};

// What the apply step reports goes to the console too; its debug lines go
// to the log file only, when there is one.
class BitacoraSalida : public comun::Bitacora {
  public:
    BitacoraSalida(sincronizador::Consola& consola, comun::Registro* registro)
        : consola_(consola), registro_(registro) {}
    void escribir(const std::string& linea) override { consola_.escribir(linea + "\r\n"); }
    void depurar(const std::string& linea) override {
        if (registro_) registro_->escribir(linea + "\r\n");
    }

  private:
    sincronizador::Consola& consola_;
    comun::Registro* registro_;
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

    comun::RelojSistema reloj;
    std::unique_ptr<comun::Registro> registro;
    if (!opciones.registro.empty()) {
        registro = std::make_unique<comun::Registro>(opciones.registro, reloj);
        std::string error;
        if (!registro->abrir(error)) {
            std::cerr << "sincronizador: --registro: " << error << "\n";
            return kSalidaOpciones;
        }
    }
    // Messages of the program itself (not of the cycle) go to standard
    // error, and to the log.
    auto avisar = [&](const std::string& texto) {
        std::cerr << texto << "\n";
        if (registro) registro->escribir(texto + "\n");
    };

    ConsolaSalida consola(registro.get());
    BandejaNula bandeja;
    BitacoraSalida bitacora(consola, registro.get());

    datos::DAO_Conexion conexion;
    conexion.bitacora(&bitacora);
    conexion.reloj(&reloj);
    conexion.dataFile(comun::leerConfiguracion(opciones.acceso, avisar));

    sincronizador::Configuracion configuracion;
    configuracion.hostServidor = opciones.hostServidor;
    configuracion.puertoServidor = opciones.puertoServidor;
    configuracion.hostSocio = opciones.hostSocio;
    configuracion.puertoSocio = opciones.puertoSocio;

    sincronizador::BaseDatosDAO base(conexion);
    sincronizador::PasoLocalAplicador pasoLocal(conexion, bitacora, reloj);
    SocketQt socket;
    if (opciones.tlsServidor || opciones.tlsSocio) {
        if (!QSslSocket::supportsSsl()) {
            std::cerr << "sincronizador: this system's Qt has no TLS support (an https:// "
                         "address needs it)\n";
            return kSalidaOpciones;
        }
        if (opciones.tlsServidor) socket.destinoTls(opciones.hostServidor, opciones.puertoServidor);
        if (opciones.tlsSocio) socket.destinoTls(opciones.hostSocio, opciones.puertoSocio);
    }
    if (!opciones.autoridad.empty()) {
        std::string error;
        if (!socket.autoridad(opciones.autoridad, error)) {
            std::cerr << "sincronizador: --ca: " << error << "\n";
            return kSalidaOpciones;
        }
    }
    // The engine's own log repeats its console lines with a time stamp; here
    // the console already is standard output, so that copy is dropped.
    comun::BitacoraNula bitacoraMotor;
    sincronizador::Motor motor(configuracion, base, &pasoLocal, consola, bandeja, socket, reloj,
                               bitacoraMotor);
    socket.motor(&motor);

    consola.escribir(motor.datosConexion());
    if (!motor.iniciar()) {
        avisar("sincronizador: the cycle cannot start (see the console lines above)");
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
        avisar("sincronizador: none of the " + std::to_string(opciones.ciclos) +
               " passes completed an exchange with the server");
        return kSalidaSinIntercambio;
    }
    return codigo;
}

}  // namespace interfaz
