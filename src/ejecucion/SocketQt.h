// The engine's socket port over a QSslSocket: connection events, arrived
// data and errors are handed back to the engine from the event loop. A
// destination marked for TLS is reached encrypted, its certificate checked
// against the system's authorities (and a private one, when given); the
// engine sees the connection only once the handshake succeeded, and a
// certificate that fails the check is a failed connection.
#pragma once

#include <QObject>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <QTimer>
#include <set>
#include <string>
#include <utility>

#include "sincronizador/Motor.h"
#include "sincronizador/Puertos.h"

namespace ejecucion {

class SocketQt : public QObject, public sincronizador::Socket {
    Q_OBJECT
  public:
    explicit SocketQt(QObject* padre = nullptr);
    ~SocketQt() override;

    // The engine that receives the events; set once, before the first tick.
    void motor(sincronizador::Motor* m) { motor_ = m; }

    // Connections to host:puerto use TLS from now on.
    void destinoTls(const std::string& host, uint16_t puerto);
    // Trusts the authority certificates of a PEM file besides the system's.
    // False, with the reason in `error`, when it holds none.
    bool autoridad(const std::string& archivo, std::string& error);
    // Presents this certificate (PEM, the site's first, then its chain) and
    // its private key (PEM, RSA or EC, unencrypted) to the TLS peers that
    // ask for one. False, with the reason in `error`, when either cannot be
    // read.
    bool certificadoPropio(const std::string& certificado, const std::string& clave,
                           std::string& error);

    // The number shown for a TLS handshake that failed (WinHTTP's "secure
    // failure").
    static constexpr int kErrorTls = 12175;

    void cerrar() noexcept override;
    void conectar(const std::string& host, uint16_t puerto) override;
    void enviar(const std::string& bytes) override;
    // The state numbers of the original socket control: 0 closed, 4
    // resolving the host, 6 connecting, 7 connected, 8 closing, 9 error.
    int estado() const noexcept override;

    // The number and text reported for a socket error; the numbers are the
    // Winsock ones the console has always shown.
    static std::pair<int, std::string> describirError(QAbstractSocket::SocketError error,
                                                      const QString& texto);

  private:
    void alConectar();
    void alCifrar();
    void alErroresTls(const QList<QSslError>& errores);
    void alEscribir();
    void vigilarEnvio();
    void alLeer();
    void alDesconectar();
    void alError(QAbstractSocket::SocketError error);
    void cerrarCopia() noexcept;

    QSslSocket socket_;
    QSslConfiguration configuracionTls_ = QSslConfiguration::defaultConfiguration();
    std::set<std::pair<std::string, uint16_t>> destinosTls_;
    sincronizador::Motor* motor_ = nullptr;
    // The connection under way is a TLS one; where it goes, for the console.
    bool tls_ = false;
    std::string destino_;
    // The certificate problems of the handshake under way.
    std::string erroresTls_;
    // A failure was already reported for this connection attempt.
    bool fallado_ = false;
    // Set while we close the socket ourselves, so that the disconnection we
    // caused is not reported as the peer closing.
    bool cerrandoPropio_ = false;
    bool conectado_ = false;
    // A duplicate of the connected descriptor (-1 when none), through which
    // a reset by the peer is told from an orderly close.
    int copia_ = -1;
    // The system's send buffer may hold a whole request: while it drains,
    // a timer watches it and tells the engine the exchange is moving.
    static constexpr int kVigiaEnvioMs = 200;
    QTimer vigiaEnvio_;
    int enColaSistema_ = -1;
};

}  // namespace ejecucion
