// Splits a statement of the Access SQL dialect into tokens: the first step of
// the translation to SQLite. One pass over the text, no backtracking.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace datos::sql {

// A text that cannot be read or translated (an unterminated string, a date
// literal that is not a date, more than one statement).
class ErrorTraduccion : public std::runtime_error {
  public:
    explicit ErrorTraduccion(const std::string& mensaje) : std::runtime_error(mensaje) {}
};

enum class TipoToken {
    Texto,            // 'abc' or "abc"; `texto` holds the value, quotes undone
    Nombre,           // a bare name or keyword, as written
    NombreCorchetes,  // [a name]; `texto` holds the name without brackets
    Numero,           // 12, 3.5, 1E+3
    Fecha,            // #...#; `texto` holds what stands between the signs
    Operador,         // = <> < > <= >= + - * / \ & ^ ||
    Parametro,        // ?
    Coma,
    Punto,
    PuntoYComa,
    AbreParentesis,
    CierraParentesis,
};

struct Token {
    TipoToken tipo;
    std::string texto;
};

// Throws ErrorTraduccion for an unterminated string, bracket or date literal
// and for a character the dialect does not use.
std::vector<Token> tokenizar(std::string_view sql);

}  // namespace datos::sql
