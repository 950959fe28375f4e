// The engine's socket port over a QTcpSocket: connection events, arrived
// data and errors are handed back to the engine from the event loop.
#pragma once

#include <QObject>
#include <QTcpSocket>

#include "sincronizador/Motor.h"
#include "sincronizador/Puertos.h"

namespace interfaz {

class SocketQt : public QObject, public sincronizador::Socket {
    Q_OBJECT
  public:
    explicit SocketQt(QObject* padre = nullptr);

    // The engine that receives the events; set once, before the first tick.
    void motor(sincronizador::Motor* m) { motor_ = m; }

    void cerrar() override;
    void conectar(const std::string& host, uint16_t puerto) override;
    void enviar(const std::string& bytes) override;
    // The state numbers of the original socket control: 0 closed, 4
    // resolving the host, 6 connecting, 7 connected, 8 closing, 9 error.
    int estado() const override;

    // The number and text reported for a socket error; the numbers are the
    // Winsock ones the console has always shown.
    static std::pair<int, std::string> describirError(QAbstractSocket::SocketError error,
                                                      const QString& texto);

  private:
    void alConectar();
    void alLeer();
    void alDesconectar();
    void alError(QAbstractSocket::SocketError error);

    QTcpSocket socket_;
    sincronizador::Motor* motor_ = nullptr;
    // Set while we close the socket ourselves, so that the disconnection we
    // caused is not reported as the peer closing.
    bool cerrandoPropio_ = false;
    bool conectado_ = false;
};

}  // namespace interfaz
