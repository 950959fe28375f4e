#include "ServidorHTTP.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>

#include "Central.h"
#include "Recepcion.h"
#include "Sitios.h"

namespace servidor {

namespace {

using Reloj = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The time allowed for one direction of a connection, as a balance of
// time: it starts with the grace period, runs down as time passes, and
// each byte moved adds what it earns at the minimum rate, the balance never
// exceeding one window (or the grace period, if that is longer). So a
// client that keeps up the rate over any window is never cut, however slow
// its line; one that trickles a byte now and then runs out of time after
// the grace period, whatever it sent before.
class Plazo {
  public:
    explicit Plazo(const Limites& limites) : limites_(limites) {}

    void empezar() {
        if (empezado_) return;
        empezado_ = true;
        fin_ = Reloj::now() + limites_.gracia;
    }
    void contar(size_t bytes) {
        const auto ahora = Reloj::now();
        const auto tope = ahora + std::max(limites_.ventana, limites_.gracia);
        const auto ganado =
            std::chrono::duration_cast<Reloj::duration>(std::chrono::duration<double>(
                static_cast<double>(bytes) /
                static_cast<double>(std::max<size_t>(limites_.ritmoMinimo, 1))));
        fin_ = std::min(tope, std::max(fin_, ahora) + ganado);
    }

    // Waits until the socket is ready for `evento`; false on a silence
    // longer than `espera`, at the end of the allowed time, or on an error.
    bool esperar(int sock, short evento) {
        empezar();
        while (true) {
            auto restante = std::min<milliseconds>(
                limites_.espera, std::chrono::duration_cast<milliseconds>(fin_ - Reloj::now()));
            if (restante.count() <= 0) return false;
            pollfd p{sock, evento, 0};
            int listo = poll(&p, 1, static_cast<int>(restante.count()));
            if (listo > 0) return true;
            if (listo == 0 || errno != EINTR) return false;
        }
    }

  private:
    const Limites& limites_;
    Reloj::time_point fin_;
    bool empezado_ = false;
};

// The socket of one connection as the HTTP library reads and writes it,
// with reads buffered (the library reads the request line and the headers
// one byte at a time) and every wait bounded by a Plazo. With a TLS session
// the bytes go through it; the socket is then non-blocking, and each wait is
// for what the session asks (a read may need the socket writable during a
// renegotiation, and the reverse).
class FlujoConPlazo : public httplib::Stream {
  public:
    FlujoConPlazo(int sock, const Limites& limites, SSL* tls = nullptr)
        : sock_(sock), tls_(tls), lectura_(limites), escritura_(limites) {
        lectura_.empezar();
    }

    // The server's half of the TLS handshake, bounded by the reading
    // allowance: a client that connects and stays silent is cut as it
    // would be in clear text.
    bool saludarTls() {
        while (true) {
            const int r = SSL_accept(tls_);
            if (r == 1) return true;
            if (!esperarTls(lectura_, r)) return false;
        }
    }

    bool is_readable() const override {
        if (inicio_ < fin_ || (tls_ && SSL_pending(tls_) > 0)) return true;
        return const_cast<Plazo&>(lectura_).esperar(sock_, POLLIN);
    }
    bool is_writable() const override {
        return const_cast<Plazo&>(escritura_).esperar(sock_, POLLOUT);
    }

    ssize_t read(char* destino, size_t largo) override {
        if (inicio_ == fin_) {
            const ssize_t n = tls_ ? recibirTls() : recibir();
            if (n <= 0) return n;
            lectura_.contar(static_cast<size_t>(n));
            Recepcion::leidos(static_cast<size_t>(n));
            inicio_ = 0;
            fin_ = static_cast<size_t>(n);
        }
        size_t copia = std::min(largo, fin_ - inicio_);
        std::memcpy(destino, buffer_ + inicio_, copia);
        inicio_ += copia;
        return static_cast<ssize_t>(copia);
    }

    ssize_t write(const char* datos, size_t largo) override {
        if (tls_) return enviarTls(datos, largo);
        ssize_t n;
        do {
            if (!escritura_.esperar(sock_, POLLOUT)) return -1;
            n = send(sock_, datos, largo, MSG_NOSIGNAL | MSG_DONTWAIT);
        } while (n < 0 && (errno == EAGAIN || errno == EINTR));
        if (n > 0) {
            escritura_.contar(static_cast<size_t>(n));
            Recepcion::escritos(static_cast<size_t>(n));
        }
        return n;
    }

    void get_remote_ip_and_port(std::string& ip, int& puerto) const override {
        direccion(getpeername, ip, puerto);
    }
    void get_local_ip_and_port(std::string& ip, int& puerto) const override {
        direccion(getsockname, ip, puerto);
    }
    int socket() const override { return sock_; }

  private:
    ssize_t recibir() {
        ssize_t n;
        do {
            if (!lectura_.esperar(sock_, POLLIN)) return -1;
            n = recv(sock_, buffer_, sizeof buffer_, MSG_DONTWAIT);
        } while (n < 0 && (errno == EAGAIN || errno == EINTR));
        return n;
    }

    ssize_t recibirTls() {
        while (true) {
            const int n = SSL_read(tls_, buffer_, sizeof buffer_);
            if (n > 0) return n;
            if (SSL_get_error(tls_, n) == SSL_ERROR_ZERO_RETURN) return 0;
            if (!esperarTls(lectura_, n)) return -1;
        }
    }

    ssize_t enviarTls(const char* datos, size_t largo) {
        while (true) {
            const int n =
                SSL_write(tls_, datos, static_cast<int>(std::min<size_t>(largo, 1 << 30)));
            if (n > 0) {
                escritura_.contar(static_cast<size_t>(n));
                Recepcion::escritos(static_cast<size_t>(n));
                return n;
            }
            if (!esperarTls(escritura_, n)) return -1;
        }
    }

    // After a TLS call that returned `r`: waits for what the session needs
    // within `plazo`; false when it failed for good or the time ran out.
    bool esperarTls(Plazo& plazo, int r) {
        switch (SSL_get_error(tls_, r)) {
            case SSL_ERROR_WANT_READ:
                return plazo.esperar(sock_, POLLIN);
            case SSL_ERROR_WANT_WRITE:
                return plazo.esperar(sock_, POLLOUT);
            case SSL_ERROR_SYSCALL:
                if (errno == EINTR) return true;
                [[fallthrough]];
            default:
                ERR_clear_error();
                return false;
        }
    }

    template <typename Consulta>
    void direccion(Consulta consulta, std::string& ip, int& puerto) const {
        sockaddr_storage dir{};
        socklen_t largo = sizeof dir;
        ip.clear();
        puerto = 0;
        if (consulta(sock_, reinterpret_cast<sockaddr*>(&dir), &largo) != 0) return;
        char texto[INET6_ADDRSTRLEN] = {};
        if (dir.ss_family == AF_INET) {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&dir);
            inet_ntop(AF_INET, &v4->sin_addr, texto, sizeof texto);
            puerto = ntohs(v4->sin_port);
        } else if (dir.ss_family == AF_INET6) {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&dir);
            inet_ntop(AF_INET6, &v6->sin6_addr, texto, sizeof texto);
            puerto = ntohs(v6->sin6_port);
        }
        ip = texto;
    }

    int sock_;
    SSL* tls_;
    Plazo lectura_;
    Plazo escritura_;
    char buffer_[16384];
    size_t inicio_ = 0;
    size_t fin_ = 0;
};

// Set while a worker answers a request before reading its body: the close
// must then let the client finish sending, or the client may see a reset
// instead of the answer.
thread_local bool cuerpoSinLeer = false;
// The body bytes this worker's request holds of Limites::memoriaCuerpos.
thread_local size_t cuerpoCargado = 0;
// What the TLS layer learnt of this worker's client, and the first fault
// the check of its certificate found while the handshake ran.
thread_local Credencial credencial;
thread_local long errorVerificacion = X509_V_OK;

// The check of a client's certificate lets the handshake end whatever it
// finds: the fault is kept, and the request is answered 403 with the
// reason in the log, which a handshake cut short would not say.
int anotarVerificacion(int bien, X509_STORE_CTX* contexto) {
    if (!bien && errorVerificacion == X509_V_OK) {
        errorVerificacion = X509_STORE_CTX_get_error(contexto);
        if (errorVerificacion == X509_V_OK) errorVerificacion = X509_V_ERR_UNSPECIFIED;
    }
    return 1;
}

// Ends a connection after its answer: no more writes, then, when the body
// was left unread, what the client still sends is read and dropped for a
// short while. The reception closes the socket.
void terminar(int sock) {
    shutdown(sock, SHUT_WR);
    if (cuerpoSinLeer) {
        char descarte[16384];
        auto fin = Reloj::now() + std::chrono::seconds(1);
        for (size_t total = 0; total < kCuerpoMaximo;) {
            auto restante = std::chrono::duration_cast<milliseconds>(fin - Reloj::now());
            pollfd p{sock, POLLIN, 0};
            if (restante.count() <= 0 || poll(&p, 1, static_cast<int>(restante.count())) <= 0)
                break;
            ssize_t n = recv(sock, descarte, sizeof descarte, MSG_DONTWAIT);
            if (n <= 0) break;
            total += static_cast<size_t>(n);
        }
    }
    cuerpoSinLeer = false;
}

void responder(httplib::Response& res, int estado, const std::string& cuerpo) {
    res.status = estado;
    res.set_content(cuerpo, "text/plain");
}

}  // namespace

// The HTTP library's server with its connections read through FlujoConPlazo,
// one request each, on the `Limites::hilos` workers of a Recepcion.
class ServidorHTTP::Http : public httplib::Server {
  public:
    explicit Http(const Limites& limites) : limites_(limites) {
        new_task_queue = [this] {
            recepcion_ = new Recepcion(
                limites_, tls_ != nullptr, [this](int sock) { servir(sock); },
                [this](const std::string& linea) {
                    if (anotar_) anotar_(linea);
                });
            return recepcion_;
        };
    }

    // The library listens with a queue of 5 pending connections: when a
    // few dozen sites connect at once the rest are dropped and their
    // systems retry only after a second. Listening again widens the queue.
    void ampliarCola() { ::listen(svr_sock_, SOMAXCONN); }

    // Charges `largo` more bytes of the bodies' memory to this worker's
    // request; false when others hold too much. A body alone is always let
    // in.
    bool cargarCuerpo(size_t largo) {
        const size_t previo = cuerposEnUso_.fetch_add(largo);
        if (previo > cuerpoCargado && previo + largo > limites_.memoriaCuerpos) {
            cuerposEnUso_ -= largo;
            return false;
        }
        cuerpoCargado += largo;
        return true;
    }

    // Serves HTTPS with this context from now on; `exigir`: it asks for
    // the clients' certificates.
    void tls(SSL_CTX* contexto, bool exigir = false) {
        tls_ = contexto;
        exigir_ = exigir;
    }
    void bitacora(std::function<void(const std::string&)> anotar) { anotar_ = std::move(anotar); }

  private:
    // Called on the accept thread through the task queue: the connection
    // waits in the reception for a worker.
    bool process_and_close_socket(int sock) override {
        recepcion_->recibir(sock);
        return true;
    }

    // One connection, on a worker of the reception, which closes it after.
    void servir(int sock) {
        SSL* sesion = nullptr;
        if (tls_) {
            sesion = SSL_new(tls_);
            fcntl(sock, F_SETFL, fcntl(sock, F_GETFL) | O_NONBLOCK);
            if (sesion) SSL_set_fd(sesion, sock);
        }
        credencial = {};
        errorVerificacion = X509_V_OK;
        {
            FlujoConPlazo flujo(sock, limites_, sesion);
            if (tls_ && (!sesion || !flujo.saludarTls())) {
                if (anotar_) anotar_("rechazado: saludo TLS fallido");
            } else {
                if (exigir_) credencial = credencialDe(sesion, errorVerificacion);
                bool cerrada = false;
                process_request(flujo, true, cerrada, nullptr);
            }
        }
        if (sesion) {
            // The close_notify goes out when the socket takes it; nothing
            // waits for the client's.
            SSL_shutdown(sesion);
            SSL_free(sesion);
            ERR_clear_error();
        }
        cuerposEnUso_ -= cuerpoCargado;
        cuerpoCargado = 0;
        terminar(sock);
    }

    const Limites& limites_;
    Recepcion* recepcion_ = nullptr;  // owned by the library while it listens
    std::atomic<size_t> cuerposEnUso_{0};
    SSL_CTX* tls_ = nullptr;
    bool exigir_ = false;
    std::function<void(const std::string&)> anotar_;
};

ServidorHTTP::ServidorHTTP(Central& central, std::ostream& bitacora, Limites limites)
    : central_(central),
      bitacora_(bitacora),
      limites_(limites),
      http_(std::make_unique<Http>(limites_)) {
    http_->set_payload_max_length(limites_.cuerpoMaximo);
    http_->bitacora([this](const std::string& linea) { anotar(linea); });

    // The length is checked before the body is read: without it the body
    // would run until the client closes, which a site waiting for its
    // answer never does; beyond the cap the body is not worth reading.
    http_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        using R = httplib::Server::HandlerResponse;
        if (req.method != "POST") return R::Unhandled;
        // A client without a certificate the server asks for is not
        // worth reading.
        if (std::string motivo = sinCredencial(credencial); !motivo.empty()) {
            responder(res, 403, "Certificado de sitio no valido\r\n");
            cuerpoSinLeer = true;
            anotar("rechazado (403): " + motivo);
            central_.metricas().rechazo(403);
            return R::Handled;
        }
        std::string motivo;
        if (req.get_header_value_count("Content-Length") != 1) {
            responder(res, 411, "Falta Content-Length\r\n");
            motivo = "falta Content-Length";
        } else {
            std::string largo = req.get_header_value("Content-Length");
            bool numero = !largo.empty() && largo.size() <= 18 &&
                          std::all_of(largo.begin(), largo.end(),
                                      [](char c) { return c >= '0' && c <= '9'; });
            if (!numero) {
                responder(res, 400, "Content-Length invalido\r\n");
                motivo = "Content-Length invalido";
            } else if (std::stoull(largo) > limites_.cuerpoMaximo) {
                responder(res, 413, "Cuerpo demasiado grande\r\n");
                motivo = "cuerpo demasiado grande";
            } else if (req.has_header("Transfer-Encoding")) {
                responder(res, 400, "Transfer-Encoding no admitido\r\n");
                motivo = "Transfer-Encoding no admitido";
            }
        }
        if (motivo.empty()) return R::Unhandled;
        cuerpoSinLeer = true;
        anotar("rechazado: " + motivo);
        central_.metricas().rechazo(res.status);
        return R::Handled;
    });

    // The body is collected through a content reader: the library's own
    // reading of form bodies refuses anything beyond a few kilobytes, far
    // below the batches the sites post.
    auto atender = [this](bool socio) {
        return [this, socio](const httplib::Request&, httplib::Response& res,
                             const httplib::ContentReader& leer) {
            std::string cuerpo;
            bool sinMemoria = false;
            bool completo = leer([&](const char* datos, size_t largo) {
                if (cuerpo.size() + largo > limites_.cuerpoMaximo) return false;
                if (cuerpo.size() + largo > cuerpo.capacity()) {
                    // The room the body takes is charged before it is taken.
                    const size_t antes = cuerpo.capacity();
                    const size_t pedido = std::max(antes * 2, cuerpo.size() + largo);
                    if (!http_->cargarCuerpo(pedido - antes)) {
                        sinMemoria = true;
                        return false;
                    }
                    cuerpo.reserve(pedido);
                    if (cuerpo.capacity() > pedido) http_->cargarCuerpo(cuerpo.capacity() - pedido);
                }
                cuerpo.append(datos, largo);
                return true;
            });
            if (sinMemoria) {
                cuerpoSinLeer = true;
                responder(res, 503, "Servidor ocupado\r\n");
                anotar("rechazado: sin memoria para el cuerpo");
                central_.metricas().rechazo(503);
                return;
            }
            if (!completo) {
                responder(res, 408, "Peticion incompleta\r\n");
                anotar("rechazado: cuerpo incompleto");
                central_.metricas().rechazo(408);
                return;
            }
            Recepcion::procesando();
            Respuesta respuesta = socio ? central_.atenderQuiralte(cuerpo)
                                        : central_.atenderSincronizador(cuerpo, credencial);
            responder(res, respuesta.estado, respuesta.cuerpo);
            anotar(respuesta.bitacora);
        };
    };
    http_->Post("/sincronizador/", atender(false));
    http_->Post("/ombrel.php", atender(true));
    http_->set_exception_handler(
        [this](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            responder(res, 500, "Error interno\r\n");
            anotar("error interno");
        });
}

ServidorHTTP::~ServidorHTTP() {
    detener();
    http_.reset();
    if (tls_) SSL_CTX_free(tls_);
}

bool ServidorHTTP::usarTls(const std::string& certificado, const std::string& clave,
                           std::string& error) {
    SSL_CTX* contexto = SSL_CTX_new(TLS_server_method());
    auto fallo = [&](const std::string& que) {
        char texto[256] = {};
        ERR_error_string_n(ERR_get_error(), texto, sizeof texto);
        error = que + ": " + texto;
        ERR_clear_error();
        if (contexto) SSL_CTX_free(contexto);
        return false;
    };
    if (!contexto) return fallo("no TLS context");
    // A TLS session writes to the socket itself, without MSG_NOSIGNAL: a
    // client gone in the middle of an answer must not end the server.
    signal(SIGPIPE, SIG_IGN);
    SSL_CTX_set_min_proto_version(contexto, TLS1_2_VERSION);
    SSL_CTX_set_mode(contexto, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (SSL_CTX_use_certificate_chain_file(contexto, certificado.c_str()) != 1)
        return fallo("certificado " + certificado);
    if (SSL_CTX_use_PrivateKey_file(contexto, clave.c_str(), SSL_FILETYPE_PEM) != 1)
        return fallo("clave " + clave);
    if (SSL_CTX_check_private_key(contexto) != 1)
        return fallo("la clave " + clave + " no es la del certificado");
    if (tls_) SSL_CTX_free(tls_);
    tls_ = contexto;
    http_->tls(tls_);
    return true;
}

bool ServidorHTTP::exigirCertificados(const std::string& autoridad, std::string& error) {
    if (!tls_) {
        error = "sin certificado propio (--tls-cert) no hay TLS";
        return false;
    }
    STACK_OF(X509_NAME)* nombres = SSL_load_client_CA_file(autoridad.c_str());
    if (!nombres || SSL_CTX_load_verify_locations(tls_, autoridad.c_str(), nullptr) != 1) {
        if (nombres) sk_X509_NAME_pop_free(nombres, X509_NAME_free);
        char texto[256] = {};
        ERR_error_string_n(ERR_get_error(), texto, sizeof texto);
        ERR_clear_error();
        error = "no se pudo leer una autoridad de " + autoridad + ": " + texto;
        return false;
    }
    // The authorities' names tell a client which of its certificates to
    // present.
    SSL_CTX_set_client_CA_list(tls_, nombres);
    SSL_CTX_set_verify(tls_, SSL_VERIFY_PEER, anotarVerificacion);
    // A session resumed from an earlier one keeps that one's certificate;
    // without a context of its own the handshake would fail.
    static const unsigned char kContexto[] = "sincronizador-sitios";
    SSL_CTX_set_session_id_context(tls_, kContexto, sizeof kContexto - 1);
    http_->tls(tls_, true);
    return true;
}

int ServidorHTTP::enlazar(const std::string& host, int puerto) {
    int elegido = puerto == 0 ? http_->bind_to_any_port(host)
                              : (http_->bind_to_port(host, puerto) ? puerto : -1);
    if (elegido > 0) http_->ampliarCola();
    return elegido;
}

bool ServidorHTTP::atender() {
    return http_->listen_after_bind();
}

void ServidorHTTP::detener() {
    http_->stop();
}

bool ServidorHTTP::enMarcha() const {
    return http_->is_running();
}

void ServidorHTTP::anotar(const std::string& linea) {
    std::lock_guard<std::mutex> guarda(cerrojoBitacora_);
    bitacora_ << linea << std::endl;
}

}  // namespace servidor
