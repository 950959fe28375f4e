// Small helpers the services share: checking values before they are placed
// in SQL text, reading fields of a row, the site's working values.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "comun/Variant.h"
#include "datos/DAO_Conexion.h"
#include "datos/Recordset.h"
#include "protocolo/Comunicacion.h"

namespace servicios {

// A value refused before anything was written: a quantity or a code that is
// not a number, a value that overflows.
class ValorInvalido : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

using protocolo::kDestinoGeneral;

// A whole number written as text (optional blanks and sign, digits only)
// that fits 32 bits; otherwise ValorInvalido naming `que`.
int32_t enteroDeTexto(std::string_view texto, std::string_view que);
// A number written as text with "." decimals, finite; otherwise
// ValorInvalido naming `que`.
double numeroDeTexto(std::string_view texto, std::string_view que);
// The text of a finite number as SQL reads it ("." decimals); ValorInvalido
// naming `que` for an infinite or undefined value.
std::string textoNumero(double valor, std::string_view que);
// A currency value rounded to a whole number, half to even.
int64_t redondearEntero(comun::Moneda valor);
// "HH:mm:ss" of a time of day.
std::string textoHora(const comun::Fecha& f);

// Fields of the current row: a null reads as the empty text, 0, false or
// the zero date.
std::string textoDe(const datos::Recordset& rs, std::string_view campo);
double dobleDe(const datos::Recordset& rs, std::string_view campo);
bool siNoDe(const datos::Recordset& rs, std::string_view campo);
comun::Fecha fechaDe(const datos::Recordset& rs, std::string_view campo);
// A field the caller needs as a number: a null, an empty value or a text
// that is not a number is ValorInvalido naming `que`, never 0 (a product
// without a price would be sold for nothing).
double numeroRequerido(const datos::Recordset& rs, std::string_view campo, std::string_view que);

// The site's working values (working date, client, regime), read from the
// database the first time a service needs them in a process that has not
// loaded them at start-up.
const datos::ValoresSitio& valoresSitio(datos::DAO_Conexion& con);

}  // namespace servicios
