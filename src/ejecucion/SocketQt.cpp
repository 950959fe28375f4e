#include "ejecucion/SocketQt.h"

#include <fcntl.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#endif

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>

namespace ejecucion {

namespace {

// Whether the connection behind `copia` ended by a reset from the peer
// rather than by its orderly close: after a reset the kernel's state is
// closed, after a close it waits for our side to close.
bool restablecidaPorElPar(int copia) {
#ifdef __linux__
    if (copia < 0) return false;
    tcp_info info{};
    socklen_t largo = sizeof info;
    if (::getsockopt(copia, IPPROTO_TCP, TCP_INFO, &info, &largo) != 0) return false;
    return info.tcpi_state == TCP_CLOSE;
#else
    (void)copia;
    return false;
#endif
}

}  // namespace

SocketQt::SocketQt(QObject* padre) : QObject(padre) {
    connect(&socket_, &QSslSocket::connected, this, &SocketQt::alConectar);
    connect(&socket_, &QSslSocket::encrypted, this, &SocketQt::alCifrar);
    connect(&socket_, &QSslSocket::sslErrors, this, &SocketQt::alErroresTls);
    connect(&socket_, &QSslSocket::readyRead, this, &SocketQt::alLeer);
    // Bytes of the request reaching the network: the exchange is moving,
    // however slowly (in clear text and once encrypted).
    connect(&socket_, &QSslSocket::bytesWritten, this, &SocketQt::alEscribir);
    connect(&socket_, &QSslSocket::encryptedBytesWritten, this, &SocketQt::alEscribir);
    connect(&vigiaEnvio_, &QTimer::timeout, this, &SocketQt::vigilarEnvio);
    connect(&socket_, &QSslSocket::disconnected, this, &SocketQt::alDesconectar);
    connect(&socket_, &QSslSocket::errorOccurred, this, &SocketQt::alError);
}

void SocketQt::destinoTls(const std::string& host, uint16_t puerto) {
    destinosTls_.emplace(host, puerto);
}

bool SocketQt::autoridad(const std::string& archivo, std::string& error) {
    const QList<QSslCertificate> propias =
        QSslCertificate::fromPath(QString::fromStdString(archivo), QSsl::Pem);
    if (propias.isEmpty()) {
        error = "no PEM certificate could be read from " + archivo;
        return false;
    }
    configuracionTls_.setCaCertificates(QSslConfiguration::systemCaCertificates() + propias);
    return true;
}

bool SocketQt::certificadoPropio(const std::string& certificado, const std::string& clave,
                                 std::string& error) {
    const QList<QSslCertificate> cadena =
        QSslCertificate::fromPath(QString::fromStdString(certificado), QSsl::Pem);
    if (cadena.isEmpty()) {
        error = "no PEM certificate could be read from " + certificado;
        return false;
    }
    QFile archivo(QString::fromStdString(clave));
    // A key file is a few kilobytes; anything far larger is not one.
    if (!archivo.open(QIODevice::ReadOnly) || archivo.size() > (1 << 20)) {
        error = "the key file " + clave + " cannot be read";
        return false;
    }
    const QByteArray pem = archivo.readAll();
    QSslKey llave;
    for (QSsl::KeyAlgorithm algoritmo : {QSsl::Rsa, QSsl::Ec}) {
        llave = QSslKey(pem, algoritmo, QSsl::Pem, QSsl::PrivateKey);
        if (!llave.isNull()) break;
    }
    if (llave.isNull()) {
        error = "no unencrypted PEM private key (RSA or EC) could be read from " + clave;
        return false;
    }
    configuracionTls_.setLocalCertificateChain(cadena);
    configuracionTls_.setPrivateKey(llave);
    return true;
}

SocketQt::~SocketQt() {
    cerrarCopia();
}

void SocketQt::cerrarCopia() noexcept {
    if (copia_ >= 0) ::close(copia_);
    copia_ = -1;
}

void SocketQt::cerrar() noexcept {
    vigiaEnvio_.stop();
    // Our copy goes first, or the connection would outlive the abort.
    cerrarCopia();
    cerrandoPropio_ = true;
    socket_.abort();
    cerrandoPropio_ = false;
    conectado_ = false;
}

void SocketQt::conectar(const std::string& host, uint16_t puerto) {
    conectado_ = false;
    fallado_ = false;
    erroresTls_.clear();
    destino_ = host + ":" + std::to_string(puerto);
    tls_ = destinosTls_.count({host, puerto}) > 0;
    if (tls_) {
        socket_.setSslConfiguration(configuracionTls_);
        socket_.connectToHostEncrypted(QString::fromStdString(host), puerto);
    } else {
        socket_.connectToHost(QString::fromStdString(host), puerto);
    }
}

void SocketQt::enviar(const std::string& bytes) {
    socket_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    enColaSistema_ = -1;
    vigiaEnvio_.start(kVigiaEnvioMs);
}

void SocketQt::vigilarEnvio() {
#ifdef __linux__
    // The bytes the system holds that the peer has not yet acknowledged:
    // while they go down, the request is crossing the line.
    int enCola = 0;
    if (copia_ < 0 || ::ioctl(copia_, SIOCOUTQ, &enCola) != 0) {
        vigiaEnvio_.stop();
        return;
    }
    if (enColaSistema_ >= 0 && enCola < enColaSistema_) alEscribir();
    enColaSistema_ = enCola;
    if (enCola == 0 && socket_.bytesToWrite() == 0) vigiaEnvio_.stop();
#else
    vigiaEnvio_.stop();
#endif
}

int SocketQt::estado() const noexcept {
    switch (socket_.state()) {
        case QAbstractSocket::UnconnectedState:
            return 0;
        case QAbstractSocket::HostLookupState:
            return 4;
        case QAbstractSocket::ConnectingState:
            return 6;
        case QAbstractSocket::ConnectedState:
            return 7;
        case QAbstractSocket::BoundState:
            return 1;
        case QAbstractSocket::ListeningState:
            return 2;
        case QAbstractSocket::ClosingState:
            return 8;
    }
    return 9;
}

std::pair<int, std::string> SocketQt::describirError(QAbstractSocket::SocketError error,
                                                     const QString& texto) {
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            return {10061, "Connection is forcefully rejected"};
        case QAbstractSocket::HostNotFoundError:
            return {11001, "Host not found"};
        case QAbstractSocket::SocketTimeoutError:
            return {10060, "Connection timed out"};
        case QAbstractSocket::RemoteHostClosedError:
            return {10054, "Connection reset by peer"};
        case QAbstractSocket::NetworkError:
            return {10050, "Network is down"};
        default:
            return {10000 + static_cast<int>(error), texto.toStdString()};
    }
}

void SocketQt::alConectar() {
    // The socket closes its descriptor as soon as the peer's side ends, and
    // reports a reset and an orderly close alike. A copy of the descriptor
    // keeps the connection readable until we have told the two apart.
    cerrarCopia();
    copia_ = ::fcntl(static_cast<int>(socket_.socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    // A TLS connection is usable once its handshake is done.
    if (tls_) return;
    conectado_ = true;
    if (motor_) motor_->alConectar();
}

void SocketQt::alCifrar() {
    conectado_ = true;
    if (motor_) motor_->alConectar();
}

void SocketQt::alErroresTls(const QList<QSslError>& errores) {
    // Not ignored: the socket ends the handshake after this and reports it
    // as an error, with these reasons.
    for (const QSslError& e : errores) {
        if (!erroresTls_.empty()) erroresTls_ += "; ";
        erroresTls_ += e.errorString().toStdString();
    }
}

void SocketQt::alEscribir() {
    if (motor_ && conectado_) motor_->alEnviar();
}

void SocketQt::alLeer() {
    const QByteArray datos = socket_.readAll();
    if (motor_ && !datos.isEmpty()) motor_->alRecibir({datos.constData(), size_t(datos.size())});
}

void SocketQt::alDesconectar() {
    vigiaEnvio_.stop();
    cerrarCopia();
    if (cerrandoPropio_ || !conectado_) return;
    conectado_ = false;
    // Whatever arrived with the close is handed over before the close itself.
    alLeer();
    if (motor_) motor_->alCerrar();
}

void SocketQt::alError(QAbstractSocket::SocketError error) {
    if (cerrandoPropio_) return;
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // The peer closing after its answer is the normal end of an
        // exchange: the disconnected signal reports it. A reset is a failed
        // exchange, and what arrived before it is not a whole answer.
        if (!conectado_ || !restablecidaPorElPar(copia_)) return;
        conectado_ = false;
        cerrarCopia();
    }
    // A TLS failure may come with further errors of the same attempt.
    if (fallado_ && !conectado_) return;
    fallado_ = true;
    auto [numero, descripcion] = describirError(error, socket_.errorString());
    if (tls_ && !conectado_ && error == QAbstractSocket::SslHandshakeFailedError) {
        numero = kErrorTls;
        descripcion = erroresTls_.empty()
                          ? "Fallo el saludo TLS con " + destino_ + ": " + descripcion
                          : "Certificado no valido de " + destino_ + ": " + erroresTls_;
    }
    if (motor_) motor_->alFallar(numero, descripcion);
}

}  // namespace ejecucion
