// General functions shared by several subsystems.
#pragma once

#include <functional>
#include <string>

#include "Variant.h"

namespace comun {

// Source of the current date and time, so that tests can set the clock.
class Reloj {
  public:
    virtual ~Reloj() = default;
    virtual Fecha ahora() const noexcept = 0;
};

// The machine's local clock.
class RelojSistema : public Reloj {
  public:
    Fecha ahora() const noexcept override;
};

// A date as an Access date literal's inside: year, "/", two-digit month,
// "/", two-digit day ("2024/03/07"); the empty text when the value is not a
// date nor a text that reads as one.
std::string formatearFecha(const Variant& valor);

// Minute of the service day, which runs from 05:00 to 04:59 of the next
// calendar day: hours before 5 count as 24 to 28. 300 at 05:00, 1440 at
// midnight, 1739 at 04:59.
double minutoDelServicio(const Reloj& reloj);

// The first line of the configuration file (the database path) without its
// line end. A missing file gives "" and reports "No se encuentra archivo de
// configuracion" through `avisar`; an empty file gives "" and no message.
std::string leerConfiguracion(const std::string& ruta,
                              const std::function<void(const std::string&)>& avisar);

}  // namespace comun
