// The cycle's loop of the Windows runtime: one thread waits on the stop
// event and the socket's event with the time left to the next tick, hands
// the socket's events to the engine as they come and ticks the engine
// every interval.
#pragma once

#include <windows.h>

#include <functional>

namespace ejecucion::win32 {

class SocketWinsock;

// Runs until `detener` is signalled or `tick` returns false. A tick that
// comes late (a slow step) is not made up for: the next one falls an
// interval after it.
void correrBucle(SocketWinsock& socket, HANDLE detener, int intervaloMs,
                 const std::function<bool()>& tick);

}  // namespace ejecucion::win32
