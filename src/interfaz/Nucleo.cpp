#include "interfaz/Nucleo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>

#include "comun/Funciones.h"
#include "datos/DAO_Conexion.h"
#include "interfaz/SocketQt.h"
#include "sincronizador/BaseDatosDAO.h"
#include "sincronizador/Motor.h"
#include "sincronizador/PasoLocalAplicador.h"

namespace interfaz {

namespace {

std::atomic<bool> senalRecibida{false};

extern "C" void alSenal(int) {
    senalRecibida = true;
}

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

InstanciaUnica::InstanciaUnica(const std::string& acceso) : archivo_(rutaBloqueo(acceso)) {}

InstanciaUnica::~InstanciaUnica() {
    if (descriptor_ < 0) return;
    // Removed while still locked; whoever opened it meanwhile finds, once it
    // has the lock, that the name no longer leads to its file, and starts
    // again (tomar).
    ::unlink(QFile::encodeName(archivo_).constData());
    ::close(descriptor_);
}

InstanciaUnica::Resultado InstanciaUnica::tomar() {
    if (descriptor_ >= 0) return Resultado::Tomada;
    const QByteArray ruta = QFile::encodeName(archivo_);
    for (int intento = 0; intento < 10; ++intento) {
        const int fd = ::open(ruta.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) return Resultado::SinBloqueo;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int numero = errno;
            ::close(fd);
            // Only a lock held by another instance means that one is
            // running; a lock file that cannot be made or locked is a
            // different failure.
            return numero == EWOULDBLOCK ? Resultado::EnEjecucion : Resultado::SinBloqueo;
        }
        // The file locked must still be the one the name leads to: an
        // instance that ended meanwhile removed it.
        struct stat abierto {
        }, nombrado{};
        if (::fstat(fd, &abierto) != 0 || ::stat(ruta.constData(), &nombrado) != 0 ||
            abierto.st_dev != nombrado.st_dev || abierto.st_ino != nombrado.st_ino) {
            ::close(fd);
            continue;
        }
        // Who holds it, for a person who looks; the lock itself is what
        // counts.
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd, 0) == 0) {
            [[maybe_unused]] const ssize_t escrito = ::write(fd, pid.data(), pid.size());
        }
        descriptor_ = fd;
        return Resultado::Tomada;
    }
    return Resultado::SinBloqueo;
}

std::string InstanciaUnica::explicar(Resultado resultado) const {
    switch (resultado) {
        case Resultado::Tomada:
            return {};
        case Resultado::EnEjecucion:
            return "La Aplicación ya esta en ejecución";
        case Resultado::SinBloqueo:
            return "sincronizador: cannot create the lock file " + archivo_.toStdString();
    }
    return {};
}

void vigilarSenales(QObject* padre, std::function<void()> alDetener) {
    std::signal(SIGINT, alSenal);
    std::signal(SIGTERM, alSenal);
    auto* vigia = new QTimer(padre);
    QObject::connect(vigia, &QTimer::timeout, padre, [alDetener = std::move(alDetener)] {
        if (senalRecibida.exchange(false)) alDetener();
    });
    vigia->start(100);
}

Nucleo::Nucleo(const OpcionesEjecucion& opciones, sincronizador::Consola& consola,
               sincronizador::Bandeja& bandeja, comun::Bitacora& bitacora, QObject* padre)
    : QObject(padre),
      opciones_(opciones),
      conexion_(std::make_unique<datos::DAO_Conexion>()),
      socket_(std::make_unique<SocketQt>()),
      relojSistema_(std::make_unique<comun::RelojSistema>()) {
    conexion_->bitacora(&bitacora);
    conexion_->reloj(relojSistema_.get());
    base_ = std::make_unique<sincronizador::BaseDatosDAO>(*conexion_);
    pasoLocal_ =
        std::make_unique<sincronizador::PasoLocalAplicador>(*conexion_, bitacora, *relojSistema_);

    sincronizador::Configuracion configuracion;
    configuracion.hostServidor = opciones.hostServidor;
    configuracion.puertoServidor = opciones.puertoServidor;
    configuracion.hostSocio = opciones.hostSocio;
    configuracion.puertoSocio = opciones.puertoSocio;
    configuracion.intervaloMs = opciones.intervaloMs;
    // The engine's own log repeats its console lines with a time stamp; the
    // faces show the console itself, so that copy is dropped.
    motor_ =
        std::make_unique<sincronizador::Motor>(configuracion, *base_, pasoLocal_.get(), consola,
                                               bandeja, *socket_, *relojSistema_, bitacoraMotor_);
    socket_->motor(motor_.get());

    reloj_.setInterval(opciones.intervaloMs);
    connect(&reloj_, &QTimer::timeout, this, [this] {
        motor_->tick();
        emit tickHecho();
    });
}

Nucleo::~Nucleo() {
    reloj_.stop();
    socket_->motor(nullptr);
    socket_->cerrar();
}

bool Nucleo::prepararSocket(std::string& error) {
    if (opciones_.tlsServidor || opciones_.tlsSocio) {
        if (!QSslSocket::supportsSsl()) {
            error = "this system's Qt has no TLS support (an https:// address needs it)";
            return false;
        }
        if (opciones_.tlsServidor)
            socket_->destinoTls(opciones_.hostServidor, opciones_.puertoServidor);
        if (opciones_.tlsSocio) socket_->destinoTls(opciones_.hostSocio, opciones_.puertoSocio);
    }
    if (!opciones_.autoridad.empty() && !socket_->autoridad(opciones_.autoridad, error)) {
        error = "--ca: " + error;
        return false;
    }
    return true;
}

void Nucleo::leerConfiguracion(const std::function<void(const std::string&)>& avisar) {
    conexion_->dataFile(comun::leerConfiguracion(opciones_.acceso, avisar));
}

bool Nucleo::iniciar() {
    return motor_->iniciar();
}

}  // namespace interfaz
