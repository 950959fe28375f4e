#include "ejecucion/win32/SocketWinsock.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

#include "comun/Fallo.h"
#include "ejecucion/win32/Texto.h"
#include "sincronizador/Motor.h"

namespace ejecucion::win32 {

namespace {

constexpr long kEventos = FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE;

}  // namespace

SocketWinsock::SocketWinsock() {
    WSADATA datos;
    ::WSAStartup(MAKEWORD(2, 2), &datos);
    evento_ = ::WSACreateEvent();
}

SocketWinsock::~SocketWinsock() {
    motor_ = nullptr;
    cerrar();
    ::WSACloseEvent(evento_);
    ::WSACleanup();
}

std::string SocketWinsock::describirError(int numero) {
    // The texts the console has always shown for the common ones.
    switch (numero) {
        case WSAECONNREFUSED:
            return "Connection is forcefully rejected";
        case WSAHOST_NOT_FOUND:
            return "Host not found";
        case WSAETIMEDOUT:
            return "Connection timed out";
        case WSAECONNRESET:
            return "Connection reset by peer";
        case WSAECONNABORTED:
            return "Connection aborted";
        case WSAENETDOWN:
            return "Network is down";
        case WSAENETUNREACH:
            return "Network is unreachable";
        case WSAEHOSTUNREACH:
            return "Host is unreachable";
        default:
            break;
    }
    const std::string texto = textoDelSistema(numero);
    return texto.empty() ? "Winsock error " + std::to_string(numero) : texto;
}

void SocketWinsock::destinoTls(const std::string& host, uint16_t puerto) {
    destinosTls_.emplace(host, puerto);
}

bool SocketWinsock::autoridad(const std::string& archivo, std::string& error) {
    return autoridades_.leer(archivo, error);
}

bool SocketWinsock::certificadoPropio(const std::string& certificado, const std::string& clave,
                                      std::string& error) {
    return propio_.leer(certificado, clave, error);
}

bool SocketWinsock::configurarTls(const OpcionesEjecucion& o, std::string& error) {
    if (o.tlsServidor) destinoTls(o.hostServidor, o.puertoServidor);
    if (o.tlsQuiralte) destinoTls(o.hostQuiralte, o.puertoQuiralte);
    std::string motivo;
    if (!o.autoridad.empty() && !autoridad(o.autoridad, motivo)) {
        error = "--ca: " + motivo;
        return false;
    }
    if (!o.certificado.empty() && !certificadoPropio(o.certificado, o.clave, motivo)) {
        error = "--certificado: " + motivo;
        return false;
    }
    return true;
}

void SocketWinsock::cerrar() noexcept {
    ++generacion_;
    if (canal_) {
        // An open session ends with our close_notify, sent if the system
        // takes it at once.
        if (s_ != INVALID_SOCKET && estado_ == 7) {
            const std::string aviso = canal_->cerrar();
            if (!aviso.empty()) ::send(s_, aviso.data(), static_cast<int>(aviso.size()), 0);
        }
        canal_.reset();
    }
    if (s_ != INVALID_SOCKET) {
        ::WSAEventSelect(s_, evento_, 0);
        ::closesocket(s_);
        s_ = INVALID_SOCKET;
    }
    ::WSAResetEvent(evento_);
    estado_ = 0;
    direcciones_.clear();
    siguiente_ = 0;
    pendiente_.clear();
    enviadoDe_ = 0;
    avance_ = false;
    errorDiferido_ = 0;
    descripcionDiferida_.clear();
}

void SocketWinsock::conectar(const std::string& host, uint16_t puerto) {
    cerrar();
    host_ = host;
    destino_ = host + ":" + std::to_string(puerto);
    tls_ = destinosTls_.count({host, puerto}) > 0;
    addrinfo pista{};
    pista.ai_family = AF_UNSPEC;
    pista.ai_socktype = SOCK_STREAM;
    pista.ai_protocol = IPPROTO_TCP;
    addrinfo* lista = nullptr;
    // The name is resolved here, before the connection starts (a site names
    // its server by an address or a name its resolver answers at once).
    const int resuelto =
        ::getaddrinfo(host.c_str(), std::to_string(puerto).c_str(), &pista, &lista);
    if (resuelto != 0) {
        estado_ = 9;
        if (motor_) motor_->alFallar(resuelto, describirError(resuelto));
        return;
    }
    for (addrinfo* a = lista; a; a = a->ai_next) {
        sockaddr_storage direccion{};
        std::memcpy(&direccion, a->ai_addr, std::min<size_t>(a->ai_addrlen, sizeof direccion));
        direcciones_.emplace_back(direccion, static_cast<int>(a->ai_addrlen));
    }
    ::freeaddrinfo(lista);
    estado_ = 6;
    if (!intentarDireccion()) fallar(ultimoError_);
}

// Starts connecting to the next address; false when none is left or none
// could even be started (the error in ultimoError_).
bool SocketWinsock::intentarDireccion() {
    while (siguiente_ < direcciones_.size()) {
        const auto& [direccion, largo] = direcciones_[siguiente_++];
        if (s_ != INVALID_SOCKET) {
            ::WSAEventSelect(s_, evento_, 0);
            ::closesocket(s_);
        }
        ::WSAResetEvent(evento_);
        s_ = ::socket(direccion.ss_family, SOCK_STREAM, IPPROTO_TCP);
        if (s_ == INVALID_SOCKET) {
            ultimoError_ = ::WSAGetLastError();
            continue;
        }
        // Non-blocking from here on, its events signalled on evento_.
        if (::WSAEventSelect(s_, evento_, kEventos) != 0) {
            ultimoError_ = ::WSAGetLastError();
            continue;
        }
        if (::connect(s_, reinterpret_cast<const sockaddr*>(&direccion), largo) == 0) return true;
        const int error = ::WSAGetLastError();
        if (error == WSAEWOULDBLOCK) return true;
        ultimoError_ = error;
    }
    return false;
}

void SocketWinsock::fallar(int numero) {
    fallar(numero, describirError(numero));
}

void SocketWinsock::fallar(int numero, std::string descripcion) {
    canal_.reset();
    if (s_ != INVALID_SOCKET) {
        ::WSAEventSelect(s_, evento_, 0);
        ::closesocket(s_);
        s_ = INVALID_SOCKET;
    }
    ::WSAResetEvent(evento_);
    estado_ = 9;
    if (motor_) motor_->alFallar(numero, descripcion);
}

void SocketWinsock::enviar(const std::string& bytes) {
    if (estado_ != 7) throw comun::Fallo(comun::TipoFallo::Conexion, "el socket no esta conectado");
    if (canal_) {
        std::string cifrado;
        if (!canal_->cifrar(bytes, cifrado)) {
            // Reported from the loop, outside the engine's own call.
            errorDiferido_ = kErrorTls;
            descripcionDiferida_ = canal_->error();
            ::WSASetEvent(evento_);
            return;
        }
        pendiente_.append(cifrado);
    } else {
        pendiente_.append(bytes);
    }
    escribirPendiente();
}

// Hands the system as much of the request as it takes now; the rest goes
// when it signals room again (FD_WRITE).
void SocketWinsock::escribirPendiente() {
    while (enviadoDe_ < pendiente_.size() && errorDiferido_ == 0) {
        const size_t resto = pendiente_.size() - enviadoDe_;
        const int trozo = static_cast<int>(std::min<size_t>(resto, 1 << 20));
        const int n = ::send(s_, pendiente_.data() + enviadoDe_, trozo, 0);
        if (n == SOCKET_ERROR) {
            const int error = ::WSAGetLastError();
            if (error != WSAEWOULDBLOCK) errorDiferido_ = error;
            break;
        }
        enviadoDe_ += static_cast<size_t>(n);
        avance_ = true;
    }
    if (enviadoDe_ == pendiente_.size()) {
        pendiente_.clear();
        enviadoDe_ = 0;
    }
    // The error is reported from the loop, outside the engine's own call.
    if (errorDiferido_) ::WSASetEvent(evento_);
}

void SocketWinsock::atender() {
    if (s_ == INVALID_SOCKET) return;
    const unsigned generacion = generacion_;
    if (avance_) {
        avance_ = false;
        if (motor_) motor_->alEnviar();
        if (generacion != generacion_) return;
    }
    if (errorDiferido_) {
        const int error = errorDiferido_;
        errorDiferido_ = 0;
        std::string descripcion = std::move(descripcionDiferida_);
        descripcionDiferida_.clear();
        if (descripcion.empty())
            fallar(error);
        else
            fallar(error, std::move(descripcion));
        return;
    }
    WSANETWORKEVENTS eventos{};
    if (::WSAEnumNetworkEvents(s_, evento_, &eventos) != 0) return;
    if (eventos.lNetworkEvents & FD_CONNECT) {
        alConectar(eventos.iErrorCode[FD_CONNECT_BIT]);
        if (generacion != generacion_ || s_ == INVALID_SOCKET) return;
    }
    if (eventos.lNetworkEvents & FD_WRITE) {
        escribirPendiente();
        if (avance_) {
            avance_ = false;
            if (motor_) motor_->alEnviar();
            if (generacion != generacion_) return;
        }
    }
    // A reset: what arrived before it is not a whole answer, and once the
    // system has told it here a read would take it for an orderly close.
    if ((eventos.lNetworkEvents & FD_CLOSE) && eventos.iErrorCode[FD_CLOSE_BIT] != 0 &&
        estado_ == 7) {
        fallar(eventos.iErrorCode[FD_CLOSE_BIT]);
        return;
    }
    if (eventos.lNetworkEvents & FD_READ) {
        leer();
        if (generacion != generacion_ || s_ == INVALID_SOCKET) return;
    }
    if (eventos.lNetworkEvents & FD_CLOSE) alCerrar(eventos.iErrorCode[FD_CLOSE_BIT]);
}

void SocketWinsock::alConectar(int error) {
    if (estado_ != 6) return;
    if (error != 0) {
        // The next address of the host, if any, before giving up.
        ultimoError_ = error;
        if (!intentarDireccion()) fallar(ultimoError_);
        return;
    }
    direcciones_.clear();
    if (tls_) {
        // The engine is told of the connection when the handshake is done.
        canal_ = std::make_unique<CanalTls>(host_, destino_, &autoridades_, &propio_);
        std::string saludo;
        canal_->iniciar(saludo);
        if (canal_->estado() == CanalTls::Estado::Fallido) {
            fallar(kErrorTls, canal_->error());
            return;
        }
        pendiente_.append(saludo);
        escribirPendiente();
        return;
    }
    estado_ = 7;
    if (motor_) motor_->alConectar();
}

bool SocketWinsock::entregar(const char* bytes, size_t n) {
    const unsigned generacion = generacion_;
    if (!canal_) {
        if (motor_) motor_->alRecibir({bytes, n});
        return generacion == generacion_;
    }
    const bool saludando = estado_ == 6;
    std::string aEnviar;
    std::string claro;
    canal_->recibir({bytes, n}, aEnviar, claro);
    if (!aEnviar.empty()) {
        pendiente_.append(aEnviar);
        escribirPendiente();
    }
    const CanalTls::Estado tls = canal_->estado();
    if (tls == CanalTls::Estado::Fallido) {
        fallar(kErrorTls, canal_->error());
        return false;
    }
    if (saludando && tls == CanalTls::Estado::Abierto) {
        estado_ = 7;
        if (motor_) motor_->alConectar();
        if (generacion != generacion_) return false;
    }
    if (!claro.empty() && motor_) {
        motor_->alRecibir(claro);
        if (generacion != generacion_) return false;
    }
    if (tls == CanalTls::Estado::Cerrado) {
        // The peer's close_notify ends its answer, whether or not it also
        // closes its side of the connection.
        terminarPorElPar();
        return false;
    }
    return true;
}

void SocketWinsock::leer() {
    const unsigned generacion = generacion_;
    char bufer[64 * 1024];
    for (;;) {
        const int n = ::recv(s_, bufer, sizeof bufer, 0);
        if (n > 0) {
            if (!entregar(bufer, static_cast<size_t>(n)) || generacion != generacion_) return;
            continue;
        }
        if (n == 0) {
            // The peer's side has ended; whether by an orderly close or a
            // reset, its FD_CLOSE tells.
            return;
        }
        const int error = ::WSAGetLastError();
        if (error != WSAEWOULDBLOCK) alCerrar(error);
        return;
    }
}

void SocketWinsock::alCerrar(int error) {
    if (s_ == INVALID_SOCKET) return;
    // The peer ending the connection in the midst of a TLS handshake: what
    // it sent last may say why (an alert), else its going does.
    const bool saludando = estado_ == 6 && canal_;
    if (estado_ != 7 && !saludando) return;
    const unsigned generacion = generacion_;
    if (error != 0 && !saludando) {
        // A reset: what arrived before it is not a whole answer.
        fallar(error);
        return;
    }
    // Whatever arrived with the close is handed over before the close.
    char bufer[64 * 1024];
    for (;;) {
        const int n = ::recv(s_, bufer, sizeof bufer, 0);
        if (n == 0) break;
        if (n < 0) {
            const int fallo = ::WSAGetLastError();
            if (fallo == WSAEWOULDBLOCK) break;
            if (!saludando) {
                fallar(fallo);
                return;
            }
            error = fallo;
            break;
        }
        if (!entregar(bufer, static_cast<size_t>(n)) || generacion != generacion_) return;
    }
    if (canal_) {
        canal_->finDelPar(error != 0 ? describirError(error)
                                     : "the peer closed the connection during the handshake");
        if (canal_->estado() == CanalTls::Estado::Fallido) {
            fallar(kErrorTls, canal_->error());
            return;
        }
    }
    terminarPorElPar();
}

void SocketWinsock::terminarPorElPar() {
    canal_.reset();
    ::WSAEventSelect(s_, evento_, 0);
    ::closesocket(s_);
    s_ = INVALID_SOCKET;
    estado_ = 0;
    ++generacion_;
    if (motor_) motor_->alCerrar();
}

}  // namespace ejecucion::win32
