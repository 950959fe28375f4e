// The reference server's core inside the test process: its protocol logic
// on a scratch SQLite store of its own, removed with the object, answering
// the requests a test hands it as the real server would (the same bytes,
// without the HTTP layer). The two-site tier hands it what a site's engine
// sends; a scripted loopback peer hands it what the real program sends; a
// test reads and shapes what it holds. Safe to call from several threads.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Central.h"
#include "soporte/BaseCentralDePrueba.h"

namespace prueba {

// A record as a test reads it: its members' texts by name.
using RegistroLeido = std::map<std::string, std::string>;
// The records of a JSON list as the server writes one (a getData answer's
// records, a setData answer's ids). Throws std::runtime_error when the text
// is not a list of objects.
std::vector<RegistroLeido> leerRegistros(const std::string& json);

class CentralEnProceso {
  public:
    explicit CentralEnProceso(std::string doctores = "[]");
    CentralEnProceso(const CentralEnProceso&) = delete;
    CentralEnProceso& operator=(const CentralEnProceso&) = delete;

    // The answer to one HTTP request (the bytes a site sends), written as
    // the server writes it: status line, headers, body.
    std::string atender(const std::string& peticion);
    // The same for a request's path ("/ombrel.php" the partner's handler,
    // any other the sites') and form body. A body over the cap is refused
    // as the real server's HTTP layer refuses it.
    std::string atender(const std::string& ruta, const std::string& cuerpo);
    // The body of the answer to a sites' form body ("r=servicio/...").
    std::string cuerpo(const std::string& formulario);

    // `sitio` posts a batch of records (registroPublicado); returns the
    // server's answer.
    std::string publicar(const std::string& sitio, const std::vector<std::string>& registros);
    // The records the server holds for `sitio` (offered, not acknowledged).
    std::vector<RegistroLeido> pendientes(const std::string& sitio);
    // Every record held for `sitio`, taken and acknowledged as the site
    // would, answer after answer, until none is left.
    std::vector<RegistroLeido> recogerTodo(const std::string& sitio);

    servidor::Central& central() { return *central_; }
    servidor::Almacen& almacen() { return central_->almacen(); }
    // Runs statements on the store through a connection of its own.
    void ejecutarEnAlmacen(const std::string& sql) { base_.ejecutar(sql); }
    // Closes the store, lets `entretanto` work on its file (copy it, put a
    // copy back) and opens it again, as an operator stopping and starting
    // the server.
    void reabrir(const std::function<void(const std::string& archivo)>& entretanto);
    // The server's log: one line per request answered.
    std::string bitacora() const;

  private:
    BaseCentralDePrueba base_{servidor::TipoBase::SQLite};
    std::string doctores_;
    std::unique_ptr<servidor::Central> central_;
    mutable std::mutex cerrojo_;
    std::string bitacora_;
    long filaAcuse_ = 0;
};

}  // namespace prueba
