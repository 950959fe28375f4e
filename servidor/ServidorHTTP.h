// The central server's HTTP face: POST "/sincronizador/" for the sites and
// POST "/ombrel.php" for the partner push, one request per connection,
// every answer text/plain and the connection closed after it.
//
// A connection waits without a worker until it has sent something (see
// Recepcion.h): connections whose request has arrived whole are served
// first, slow ones may hold only a share of the workers, and one peer
// address only so many connections. A worker is then held by a connection
// until its close, so a client that sends slowly, or not at all, is cut
// off: after a grace period it must keep up a minimum rate over a sliding
// window, and may not fall silent for long. The minimum is far below any
// real line (a site on 64 kbit/s moves 8,000 bytes a second). A POST must
// say its length, and a length above the cap is refused before any of the
// body is read; the memory of the bodies is charged as their bytes arrive.
// With a certificate it serves HTTPS, with the same limits on the TLS
// handshake as on the request.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

struct ssl_ctx_st;

namespace servidor {

class Central;

// Bodies beyond this size are refused before they are read.
inline constexpr size_t kCuerpoMaximo = 64u * 1024u * 1024u;

struct Limites {
    // Connections served at once; more wait for a free worker.
    size_t hilos = 64;
    // The longest silence while a request is read or its answer written.
    std::chrono::milliseconds espera{5000};
    // The time any request gets before its rate is judged; the same holds
    // for writing the answer.
    std::chrono::milliseconds gracia{10000};
    // Bytes per second a client must keep up beyond the grace period,
    // judged over the last `ventana`: bytes moved earn time at this rate,
    // but no more than one window's worth is kept, so an early burst does
    // not buy a long trickle later.
    size_t ritmoMinimo = 2u * 1024u;
    std::chrono::milliseconds ventana{30000};
    size_t cuerpoMaximo = kCuerpoMaximo;
    // Request bodies held at once (their parse takes a few times more),
    // charged as their bytes arrive, not as their length announces: a body
    // that grows past it while others are held is answered 503 at once,
    // and the site tries again on its next pass.
    size_t memoriaCuerpos = 256u * 1024u * 1024u;
    // Connections one peer address may hold at once, waiting or served;
    // more are answered 503 at once. 0: no limit (behind a proxy that
    // connects from one address).
    size_t conexionesPorDireccion = 32;
    // Workers kept for connections that move at least `ritmoUtil` bytes a
    // second; slower ones share the rest. 0: a quarter of `hilos`.
    size_t reservaUtiles = 0;
    size_t ritmoUtil = 2u * 1024u;
};

class ServidorHTTP {
  public:
    // Each request logs one line to `bitacora`.
    ServidorHTTP(Central& central, std::ostream& bitacora, Limites limites = {});
    ~ServidorHTTP();
    ServidorHTTP(const ServidorHTTP&) = delete;
    ServidorHTTP& operator=(const ServidorHTTP&) = delete;

    // Serves HTTPS with this certificate chain and private key (PEM files);
    // call before atender(). False, with the reason in `error`, when they
    // cannot be read or do not match.
    bool usarTls(const std::string& certificado, const std::string& clave, std::string& error);
    // Asks every client for a certificate that an authority of the PEM file
    // `autoridad` signed (call after usarTls): a request without one is
    // refused with 403, and the sites' requests are checked against the
    // site it names (see Sitios.h). False, with the reason in `error`, when
    // the file holds no certificate.
    bool exigirCertificados(const std::string& autoridad, std::string& error);

    // Binds to host:puerto (0: a free port). Returns the port, or -1.
    int enlazar(const std::string& host, int puerto);
    // Serves until detener(); false when listening failed.
    bool atender();
    void detener();
    bool enMarcha() const;

  private:
    class Http;
    void anotar(const std::string& linea);

    Central& central_;
    std::ostream& bitacora_;
    std::mutex cerrojoBitacora_;
    Limites limites_;
    std::unique_ptr<Http> http_;
    ::ssl_ctx_st* tls_ = nullptr;
};

}  // namespace servidor
