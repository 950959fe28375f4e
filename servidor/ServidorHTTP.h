// Mounts the central server's endpoints on an HTTP server: POST
// "/sincronizador/" for the sites and POST "/ombrel.php" for the partner
// push. Every answer is text/plain and the connection closes after it.
#pragma once

#include <cstddef>
#include <mutex>
#include <ostream>

namespace httplib {
class Server;
}

namespace servidor {

class Central;

// Bodies beyond this size are refused before they reach the handlers.
inline constexpr size_t kCuerpoMaximo = 64u * 1024u * 1024u;

// Requests are served one at a time through `cerrojo` (the storage is one
// SQLite connection); each logs one line to `bitacora`.
void montarRutas(httplib::Server& http, Central& central, std::mutex& cerrojo,
                 std::ostream& bitacora);

}  // namespace servidor
