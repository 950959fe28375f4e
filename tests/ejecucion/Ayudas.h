// What the runtime's tests share: a site with its configuration file and a
// scripted peer on loopback.
#pragma once

#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "soporte/BaseDePrueba.h"

namespace prueba {

// A real site database and the configuration file that names it.
struct SitioConAcceso {
    BaseDePrueba base;
    std::string acceso;
    SitioConAcceso() {
        acceso = (std::filesystem::path(base.ruta()).parent_path() / "Acceso").string();
        std::ofstream(acceso) << base.ruta() << "\r\n";
    }
    // A configuration file that does not exist, beside the database.
    std::string accesoAusente() const {
        return (std::filesystem::path(base.ruta()).parent_path() / "NoExiste").string();
    }
};

// A loopback peer: for each connection it reads the whole request
// (headers and the Content-Length body), then hands the socket to `atender`
// (by default: answer `respuesta` and close).
class PeerGuionado : public QObject {
  public:
    // The default answer is a well-formed empty one: a header block is
    // required, or the synchronizer takes the reply for no response.
    explicit PeerGuionado(
        std::string respuesta = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\ndato=[]\r\n")
        : respuesta_(std::move(respuesta)) {
        servidor_.listen(QHostAddress::LocalHost, 0);
        connect(&servidor_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = servidor_.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] { leer(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
        atender = [this](QTcpSocket& s) {
            s.write(respuesta_.data(), static_cast<qint64>(respuesta_.size()));
            s.disconnectFromHost();
        };
    }
    uint16_t puerto() const { return servidor_.serverPort(); }
    std::string direccion() const { return "127.0.0.1:" + std::to_string(puerto()); }
    int peticiones = 0;
    std::function<void(QTcpSocket&)> atender;

  private:
    void leer(QTcpSocket* s) {
        QByteArray& recibido = pendiente_[s];
        recibido += s->readAll();
        const qsizetype fin = recibido.indexOf("\r\n\r\n");
        if (fin < 0) return;
        qsizetype largo = 0;
        const qsizetype cl = recibido.toLower().indexOf("content-length:");
        if (cl >= 0 && cl < fin)
            largo = recibido.mid(cl + 15, fin - cl - 15).split('\r')[0].trimmed().toLongLong();
        if (recibido.size() < fin + 4 + largo) return;
        pendiente_.remove(s);
        ++peticiones;
        atender(*s);
    }

    QTcpServer servidor_;
    std::string respuesta_;
    QHash<QTcpSocket*, QByteArray> pendiente_;
};

// A loopback port on which nothing listens.
inline uint16_t puertoCerrado() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    const uint16_t p = s.serverPort();
    s.close();
    return p;
}

}  // namespace prueba
