// The system's requests to stop (SIGINT, SIGTERM) turned into a call on the
// event loop.
#pragma once

#include <QObject>
#include <functional>

namespace ejecucion {

// SIGINT and SIGTERM call `alDetener` from the event loop (polled, since a
// signal handler may do almost nothing).
void vigilarSenales(QObject* padre, std::function<void()> alDetener);

}  // namespace ejecucion
