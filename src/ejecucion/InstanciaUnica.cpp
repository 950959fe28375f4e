#include "ejecucion/InstanciaUnica.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

namespace ejecucion {

namespace {

QString rutaBloqueo(const std::string& acceso) {
    const QString absoluta = QFileInfo(QString::fromStdString(acceso)).absoluteFilePath();
    const QByteArray huella =
        QCryptographicHash::hash(absoluta.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QDir::temp().filePath(QStringLiteral("sincronizador-%1.lock").arg(QString(huella)));
}

}  // namespace

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

}  // namespace ejecucion
