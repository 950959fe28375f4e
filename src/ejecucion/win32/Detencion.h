// The stop request of the Windows runtime: console Ctrl+C, Ctrl+Break and
// the closing of the console window, or the service manager's stop, all
// set one event that the loop waits on, so the cycle ends between two
// ticks and the program cleans up as on a normal end.
#pragma once

#include <windows.h>

namespace ejecucion::win32 {

class Detencion {
  public:
    // The one of the process.
    static Detencion& proceso();

    // Asks the loop to stop; callable from any thread.
    void pedir() noexcept { ::SetEvent(evento_); }
    bool pedida() const noexcept { return ::WaitForSingleObject(evento_, 0) == WAIT_OBJECT_0; }
    // Forgets an earlier request (a new run in the same process).
    void olvidar() noexcept { ::ResetEvent(evento_); }
    HANDLE evento() const noexcept { return evento_; }

    // Console events turn into a stop request.
    void vigilarConsola();
    // What the console handler does with an event: TRUE when it handled
    // it. For the closing of the window it waits for the program to end,
    // since the system ends the process as soon as the handler returns.
    static BOOL WINAPI alEventoConsola(DWORD tipo);

  private:
    Detencion();
    HANDLE evento_;
};

}  // namespace ejecucion::win32
