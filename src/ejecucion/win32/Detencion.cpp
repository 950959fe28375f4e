#include "ejecucion/win32/Detencion.h"

namespace ejecucion::win32 {

Detencion::Detencion() : evento_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

Detencion& Detencion::proceso() {
    static Detencion detencion;
    return detencion;
}

void Detencion::vigilarConsola() {
    ::SetConsoleCtrlHandler(&Detencion::alEventoConsola, TRUE);
}

BOOL WINAPI Detencion::alEventoConsola(DWORD tipo) {
    switch (tipo) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            proceso().pedir();
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The process ends when this returns (or a few seconds later,
            // whatever it does): the loop gets that time to stop and the
            // program to close the socket and the database. Its end ends
            // this thread too.
            proceso().pedir();
            ::Sleep(INFINITE);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace ejecucion::win32
