#include "interfaz/SocketQt.h"

namespace interfaz {

SocketQt::SocketQt(QObject* padre) : QObject(padre) {
    connect(&socket_, &QTcpSocket::connected, this, &SocketQt::alConectar);
    connect(&socket_, &QTcpSocket::readyRead, this, &SocketQt::alLeer);
    connect(&socket_, &QTcpSocket::disconnected, this, &SocketQt::alDesconectar);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &SocketQt::alError);
}

void SocketQt::cerrar() {
    cerrandoPropio_ = true;
    socket_.abort();
    cerrandoPropio_ = false;
    conectado_ = false;
}

void SocketQt::conectar(const std::string& host, uint16_t puerto) {
    conectado_ = false;
    socket_.connectToHost(QString::fromStdString(host), puerto);
}

void SocketQt::enviar(const std::string& bytes) {
    socket_.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

int SocketQt::estado() const {
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
    conectado_ = true;
    if (motor_) motor_->alConectar();
}

void SocketQt::alLeer() {
    const QByteArray datos = socket_.readAll();
    if (motor_ && !datos.isEmpty()) motor_->alRecibir({datos.constData(), size_t(datos.size())});
}

void SocketQt::alDesconectar() {
    if (cerrandoPropio_ || !conectado_) return;
    conectado_ = false;
    // Whatever arrived with the close is handed over before the close itself.
    alLeer();
    if (motor_) motor_->alCerrar();
}

void SocketQt::alError(QAbstractSocket::SocketError error) {
    // The peer closing after its answer is the normal end of an exchange:
    // the disconnected signal reports it.
    if (error == QAbstractSocket::RemoteHostClosedError || cerrandoPropio_) return;
    const auto [numero, descripcion] = describirError(error, socket_.errorString());
    if (motor_) motor_->alFallar(numero, descripcion);
}

}  // namespace interfaz
