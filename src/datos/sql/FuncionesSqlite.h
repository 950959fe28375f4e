// The SQL functions and the collation that translated statements rely on,
// registered on every SQLite connection the data layer opens.
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>

#include "comun/Funciones.h"

namespace datos::sql {

// Registers on `db`:
// - the collation ACCESS: text compared without regard to case or accents
//   of Latin letters ("peña" = "PENA", "José" = "JOSE"), deterministic, so
//   it can back indexes;
// - isnumeric(x), ucase(x), cstr(x), cint(x) (half to even; an error for a
//   text that is not a number and for a value out of the 16-bit range),
//   izquierda(s, n) (the first n characters), now() (the time by `reloj`,
//   the machine's clock when none is given, as 'yyyy-mm-dd hh:mm:ss'; the
//   clock must outlive the connection), concatenar(a, b, ...) (the & operator: Null
//   reads as empty text, numbers as the runtime writes them), comodines(p)
//   (an Access LIKE pattern turned into a SQLite one);
// - like(pattern, text[, escape]) replacing SQLite's, insensitive to case
//   and accents in the same way as the collation.
// Throws std::runtime_error when SQLite refuses a registration.
void registrarFunciones(sqlite3* db, const comun::Reloj* reloj = nullptr);

// The comparison behind the collation ACCESS: <0, 0 or >0.
int compararAccess(std::string_view a, std::string_view b);

// SQLite LIKE matching (% and _, optional escape character, 0 for none)
// without regard to case or accents. Linear memory, no recursion.
bool coincideLike(std::string_view texto, std::string_view patron, char32_t escape = 0);

}  // namespace datos::sql

namespace datos::sql {

// An Access LIKE pattern (* any run, ? one character, # one digit, [x] the
// character x) as a SQLite LIKE pattern whose escape character is '\'.
// Character classes and # match any one character: SQLite's LIKE has no
// classes.
std::string convertirPatronLike(std::string_view patronAccess);

}  // namespace datos::sql
