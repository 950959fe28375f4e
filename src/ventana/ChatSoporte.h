// The support window's chat, decided without a toolkit: which rows its grid
// shows for the newest messages, and when the grid is rebuilt (and the
// window comes up): only when a message newer than the one shown exists.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "datos/Mensajes.h"

namespace ventana {

struct FilaChat {
    enum class Tipo { Cabecera, Texto, Separador };
    Tipo tipo;
    std::string texto;
};

class ChatSoporte {
  public:
    // The longest part of one message the grid shows, in characters; a
    // longer one (a runaway paste at another site) ends in " [...]".
    static constexpr size_t kLargoMostrado = 4000;
    static constexpr size_t kLargoSeparador = 126;

    // The rows for `mensajes` (newest first, as the database gives them),
    // oldest at the top: for each message its header (origin and time),
    // its text and a separator. None when there is nothing newer than what
    // is shown, so the grid stays as it is.
    std::optional<std::vector<FilaChat>> actualizar(const std::vector<datos::clsMensaje>& mensajes);

    // The newest message shown (0 before any).
    int64_t ultimoId() const { return ultimoId_; }

  private:
    int64_t ultimoId_ = 0;
};

}  // namespace ventana
