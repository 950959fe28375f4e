// The engine's socket port over Winsock, for the Windows runtime without a
// toolkit. The socket is non-blocking and tied to an event object
// (WSAEventSelect): the loop waits on that event with the tick's time-out
// and calls `atender`, which hands the connection, arrived data, the
// peer's close and errors back to the engine. Errors carry Winsock's own
// numbers (10061 refused, 10060 timed out, 10054 reset). A destination
// marked for TLS is reached through a Schannel session (CanalTls) on the
// same flow: the engine sees the connection only once the handshake is
// done and the peer's certificate verified, and a failed handshake or
// certificate is a failed connection (12175).
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ejecucion/Opciones.h"
#include "ejecucion/win32/CanalTls.h"
#include "sincronizador/Puertos.h"

namespace sincronizador {
class Motor;
}

namespace ejecucion::win32 {

class SocketWinsock : public sincronizador::Socket {
  public:
    SocketWinsock();
    ~SocketWinsock() override;
    SocketWinsock(const SocketWinsock&) = delete;
    SocketWinsock& operator=(const SocketWinsock&) = delete;

    // The engine that receives the events; set once, before the first tick.
    void motor(sincronizador::Motor* m) { motor_ = m; }

    // Signalled when the socket has something to report.
    HANDLE evento() const { return evento_; }
    // Reports to the engine what happened on the socket since the last
    // call. Harmless when nothing did.
    void atender();

    // Connections to host:puerto use TLS from now on.
    void destinoTls(const std::string& host, uint16_t puerto);
    // Trusts the authority certificates of a PEM file besides the system's.
    // False, with the reason in `error`, when it holds none.
    bool autoridad(const std::string& archivo, std::string& error);
    // Presents this certificate and its RSA key (PEM files) to the TLS
    // peers that ask for one. False, with the reason in `error`, when
    // either cannot be used.
    bool certificadoPropio(const std::string& certificado, const std::string& clave,
                           std::string& error);
    // The TLS the options ask for (https:// destinations, --ca,
    // --certificado), for every face. False, with the option and its
    // reason in `error`, when a file cannot be used.
    bool configurarTls(const OpcionesEjecucion& opciones, std::string& error);

    void cerrar() noexcept override;
    void conectar(const std::string& host, uint16_t puerto) override;
    void enviar(const std::string& bytes) override;
    // The state numbers of the original socket control: 0 closed, 6
    // connecting (a TLS handshake included), 7 connected, 9 error.
    int estado() const noexcept override { return estado_; }

    // The description shown with a Winsock error number.
    static std::string describirError(int numero);

  private:
    bool intentarDireccion();
    void fallar(int numero);
    void fallar(int numero, std::string descripcion);
    void alConectar(int error);
    void escribirPendiente();
    void leer();
    // Hands bytes from the peer on, through the TLS session when there is
    // one. False when the handling of this connection has ended.
    bool entregar(const char* bytes, size_t n);
    void alCerrar(int error);
    void terminarPorElPar();

    sincronizador::Motor* motor_ = nullptr;
    HANDLE evento_ = nullptr;
    SOCKET s_ = INVALID_SOCKET;
    int estado_ = 0;
    // Every close and connect moves it on: an engine call that closes or
    // reconnects from inside an event ends the handling of the old socket.
    unsigned generacion_ = 0;
    // The addresses of the host still to try, and the error of the last one.
    std::vector<std::pair<sockaddr_storage, int>> direcciones_;
    size_t siguiente_ = 0;
    int ultimoError_ = 0;
    // What the system has not yet taken of the request.
    std::string pendiente_;
    size_t enviadoDe_ = 0;
    // Bytes left since the engine was last told; a failure met while
    // sending, reported from `atender`, not from inside the engine's call.
    bool avance_ = false;
    int errorDiferido_ = 0;
    std::string descripcionDiferida_;
    // TLS: the destinations that use it, the private authorities, and the
    // session of the connection under way; where it goes, for the console.
    std::set<std::pair<std::string, uint16_t>> destinosTls_;
    AutoridadesTls autoridades_;
    CertificadoPropioTls propio_;
    std::unique_ptr<CanalTls> canal_;
    bool tls_ = false;
    std::string host_;
    std::string destino_;
};

}  // namespace ejecucion::win32
