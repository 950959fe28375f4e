#include "ejecucion/win32/SocketWinsock.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

#include "comun/Fallo.h"
#include "sincronizador/Motor.h"

namespace ejecucion::win32 {

namespace {

constexpr long kEventos = FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE;

// The system's text for an error number, without its line end; "" when it
// has none.
std::string textoDelSistema(int numero) {
    char* texto = nullptr;
    const DWORD largo = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(numero), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
        reinterpret_cast<char*>(&texto), 0, nullptr);
    std::string resultado = largo && texto ? std::string(texto, largo) : std::string();
    if (texto) ::LocalFree(texto);
    while (!resultado.empty() && (resultado.back() == '\n' || resultado.back() == '\r' ||
                                  resultado.back() == ' ' || resultado.back() == '.'))
        resultado.pop_back();
    return resultado;
}

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

void SocketWinsock::cerrar() noexcept {
    ++generacion_;
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
}

void SocketWinsock::conectar(const std::string& host, uint16_t puerto) {
    cerrar();
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
    if (s_ != INVALID_SOCKET) {
        ::WSAEventSelect(s_, evento_, 0);
        ::closesocket(s_);
        s_ = INVALID_SOCKET;
    }
    ::WSAResetEvent(evento_);
    estado_ = 9;
    if (motor_) motor_->alFallar(numero, describirError(numero));
}

void SocketWinsock::enviar(const std::string& bytes) {
    if (estado_ != 7) throw comun::Fallo(comun::TipoFallo::Conexion, "el socket no esta conectado");
    pendiente_.append(bytes);
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
        fallar(error);
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
    estado_ = 7;
    direcciones_.clear();
    if (motor_) motor_->alConectar();
}

void SocketWinsock::leer() {
    const unsigned generacion = generacion_;
    char bufer[64 * 1024];
    for (;;) {
        const int n = ::recv(s_, bufer, sizeof bufer, 0);
        if (n > 0) {
            if (motor_) motor_->alRecibir({bufer, static_cast<size_t>(n)});
            if (generacion != generacion_) return;
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
    if (s_ == INVALID_SOCKET || estado_ != 7) return;
    const unsigned generacion = generacion_;
    if (error != 0) {
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
            fallar(fallo);
            return;
        }
        if (motor_) motor_->alRecibir({bufer, static_cast<size_t>(n)});
        if (generacion != generacion_) return;
    }
    ::WSAEventSelect(s_, evento_, 0);
    ::closesocket(s_);
    s_ = INVALID_SOCKET;
    estado_ = 0;
    ++generacion_;
    if (motor_) motor_->alCerrar();
}

}  // namespace ejecucion::win32
