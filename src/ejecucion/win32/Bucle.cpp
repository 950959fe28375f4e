#include "ejecucion/win32/Bucle.h"

#include <chrono>

#include "ejecucion/win32/SocketWinsock.h"

namespace ejecucion::win32 {

void correrBucle(SocketWinsock& socket, HANDLE detener, int intervaloMs,
                 const std::function<bool()>& tick) {
    using Reloj = std::chrono::steady_clock;
    const auto intervalo = std::chrono::milliseconds(intervaloMs);
    auto proximo = Reloj::now() + intervalo;
    for (;;) {
        if (::WaitForSingleObject(detener, 0) == WAIT_OBJECT_0) return;
        socket.atender();
        const auto ahora = Reloj::now();
        if (ahora >= proximo) {
            if (!tick()) return;
            proximo += intervalo;
            if (proximo <= Reloj::now()) proximo = Reloj::now() + intervalo;
            continue;
        }
        const auto falta = std::chrono::ceil<std::chrono::milliseconds>(proximo - ahora).count();
        HANDLE esperas[2] = {detener, socket.evento()};
        ::WaitForMultipleObjects(2, esperas, FALSE, static_cast<DWORD>(falta));
    }
}

}  // namespace ejecucion::win32
