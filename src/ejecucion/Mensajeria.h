// The support desk's chat and the one-off support request on the site's
// database, for a face's support window. A connection of its own (the
// engine's may be in the middle of a step) on the database the
// configuration file names; a connection that could not be opened is tried
// again when it is next needed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "datos/DAO_Conexion.h"
#include "datos/Mensajes.h"

namespace ejecucion {

class Mensajeria {
  public:
    // `acceso`: the configuration file whose first line names the database.
    explicit Mensajeria(std::string acceso) : acceso_(std::move(acceso)) {}
    ~Mensajeria();
    Mensajeria(const Mensajeria&) = delete;
    Mensajeria& operator=(const Mensajeria&) = delete;

    // Reads the configuration file again (`avisar` receives why it could
    // not) and opens the database it names; false when it cannot be opened.
    bool abrir(const std::function<void(const std::string&)>& avisar);
    // Opens the database named last, unless it is open; false when it
    // cannot be opened.
    bool conectar();
    bool conectada() const { return conectada_; }

    // The newest messages, newest first. Throws when the database cannot
    // be read.
    std::vector<datos::clsMensaje> mensajes();
    // Writes a chat message of this site; throws when it cannot.
    void enviar(const std::string& texto);
    // Queues a support request for the support desk; throws when it cannot
    // (the database cannot be opened, or refuses it).
    void enviarSoporte(const std::string& nombre, const std::string& mensaje,
                       const std::string& telefono);

  private:
    std::string acceso_;
    datos::DAO_Conexion conexion_;
    bool conectada_ = false;
};

}  // namespace ejecucion
