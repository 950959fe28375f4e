// A peer on loopback for the Windows tests, over Winsock on a thread of
// its own: for each connection it reads the whole request (headers and the
// Content-Length body) unless told not to, then hands the socket to
// `atender`, and closes it.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace prueba {

class PeerWinsock {
  public:
    explicit PeerWinsock(std::function<void(SOCKET)> atender, bool leerLaPeticion = true)
        : atender_(std::move(atender)), leerLaPeticion_(leerLaPeticion) {
        WSADATA datos;
        ::WSAStartup(MAKEWORD(2, 2), &datos);
        escucha_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in d{};
        d.sin_family = AF_INET;
        d.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(escucha_, reinterpret_cast<sockaddr*>(&d), sizeof d);
        ::listen(escucha_, 4);
        int largo = sizeof d;
        ::getsockname(escucha_, reinterpret_cast<sockaddr*>(&d), &largo);
        puerto_ = ntohs(d.sin_port);
        hilo_ = std::thread([this] {
            for (;;) {
                SOCKET c = ::accept(escucha_, nullptr, nullptr);
                if (c == INVALID_SOCKET) return;
                if (leerLaPeticion_) leerPeticion(c);
                ++peticiones;
                atender_(c);
                ::closesocket(c);
            }
        });
    }
    ~PeerWinsock() {
        ::closesocket(escucha_);
        hilo_.join();
        ::WSACleanup();
    }
    uint16_t puerto() const { return puerto_; }
    std::atomic<int> peticiones{0};

    static void escribir(SOCKET s, const std::string& texto) {
        ::send(s, texto.data(), static_cast<int>(texto.size()), 0);
    }

  private:
    static void leerPeticion(SOCKET c) {
        std::string recibido;
        char bufer[4096];
        for (;;) {
            const size_t fin = recibido.find("\r\n\r\n");
            if (fin != std::string::npos) {
                size_t largo = 0;
                const size_t cl = recibido.find("Content-Length:");
                if (cl != std::string::npos && cl < fin)
                    largo = std::stoul(recibido.substr(cl + 15));
                if (recibido.size() >= fin + 4 + largo) return;
            }
            const int n = ::recv(c, bufer, sizeof bufer, 0);
            if (n <= 0) return;
            recibido.append(bufer, static_cast<size_t>(n));
        }
    }

    std::function<void(SOCKET)> atender_;
    bool leerLaPeticion_;
    SOCKET escucha_;
    uint16_t puerto_ = 0;
    std::thread hilo_;
};

// A loopback port on which nothing listens.
inline uint16_t puertoCerradoWinsock() {
    PeerWinsock p([](SOCKET) {});
    return p.puerto();
}

}  // namespace prueba
