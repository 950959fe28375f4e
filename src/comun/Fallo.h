// Failures by kind. Whoever raises a failure knows what failed and says so
// with its kind; the engine turns each kind into its console line and tray
// state in one place and never guesses from the message.
#pragma once

#include <stdexcept>
#include <string>

namespace comun {

enum class TipoFallo {
    BaseDatos,  // the site database refused a statement or cannot be used
    Protocolo,  // a peer's answer the program cannot use
    Conexion,   // the connection to a peer failed or was given up
};

class Fallo : public std::runtime_error {
  public:
    Fallo(TipoFallo tipo, const std::string& mensaje) : std::runtime_error(mensaje), tipo_(tipo) {}
    TipoFallo tipo() const noexcept { return tipo_; }

  private:
    TipoFallo tipo_;
};

}  // namespace comun
