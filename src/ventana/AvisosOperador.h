// What the tray tells the site's operator besides its icon: the first line
// of its menu (how the cycle stands) and the desktop notifications when the
// server has not been reached for a while. Decided here, without any
// toolkit, so that every face says the same.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "comun/Variant.h"
#include "datos/Estado.h"

namespace ventana {

// How the cycle stands, as the face knows it.
struct SituacionCiclo {
    // The cycle started: the configuration and the site values were read.
    bool enMarcha = false;
    // Why it did not, in the console's words ("No se encuentra la base de
    // datos").
    std::string motivo;
    // The user paused it.
    bool pausado = false;
};

// The longest state line the menu shows, in characters.
inline constexpr size_t kLargoLineaEstado = 90;

// The menu's state line: why the cycle is not running, or when the last
// exchange with the server was ("Ultimo intercambio: hace 2 min",
// "Ultimo intercambio: ninguno"; "(en pausa)" after it while paused).
// `estado` is what was last read of the site, none when it could not be
// read.
std::string lineaEstadoMenu(const SituacionCiclo& ciclo,
                            const std::optional<datos::EstadoSitio>& estado,
                            const comun::Fecha& ahora);

// The last line a piece of console text holds, without its line end: what
// the engine said when it could not start the cycle.
std::string ultimaLinea(const std::string& texto);

// Watches how long the server has gone unreached and says when to notify:
// once when the time passes the limit, and once more when an exchange
// succeeds again. The time counts from the last successful exchange, or
// from the start when that was earlier (a program started after a day off
// gets its limit to reach the server first).
class VigiaServidor {
  public:
    static constexpr long kLimiteMinutos = 30;
    enum class Aviso { Ninguno, SinContacto, Restablecido };

    explicit VigiaServidor(const comun::Fecha& inicio, long limiteSegundos = kLimiteMinutos * 60);

    // Told the last successful exchange with the server (none if there was
    // none) each time the site's state is read.
    Aviso observar(const std::optional<comun::Fecha>& ultimo, const comun::Fecha& ahora);
    bool sinContacto() const { return sinContacto_; }

    // The notification's text: since when the server has not been reached,
    // or that it has been reached again; empty for Ninguno.
    std::string texto(Aviso aviso, const std::optional<comun::Fecha>& ultimo,
                      const comun::Fecha& ahora) const;

  private:
    comun::Fecha inicio_;
    long limiteSegundos_;
    bool sinContacto_ = false;
    // The last exchange known when the notice went out; any other one
    // means the server was reached again.
    std::optional<comun::Fecha> ultimoAlAvisar_;
};

// The site's state as the window reads it afresh (on a connection of its
// own: the engine's may be in the middle of a step), and the notification
// it gives with it.
struct LecturaSitio {
    // The window's state line: the site's summary, or why it could not be
    // read; empty without a database.
    std::string linea;
    // What was read; none when it could not be.
    std::optional<datos::EstadoSitio> estado;
    // The notification to give now, with its text (Ninguno: none).
    VigiaServidor::Aviso aviso = VigiaServidor::Aviso::Ninguno;
    std::string textoAviso;
};

// Reads the state of the site whose database is `base`; `vigia`, once the
// cycle has been loaded, watches how long the server has gone unreached.
LecturaSitio leerSitio(const std::string& base, const comun::Fecha& ahora, VigiaServidor* vigia);

}  // namespace ventana
