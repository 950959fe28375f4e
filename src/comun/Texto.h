// Text helpers. Text inside the program is UTF-8; the wire is Windows-1252.
#pragma once

#include <string>
#include <string_view>

namespace comun {

// UTF-8 to Windows-1252 bytes. A character the code page lacks becomes "?".
std::string utf8ACp1252(std::string_view utf8);
// Windows-1252 bytes to UTF-8. The five unassigned bytes map to the C1
// control of the same value, so every byte survives a round trip.
std::string cp1252AUtf8(std::string_view bytes);

// Removes leading and trailing blanks (spaces only, as the runtime's Trim).
std::string recortar(std::string_view texto);
// Upper and lower case for ASCII and the Latin-1 letters (ñ to Ñ, é to É).
std::string mayusculas(std::string_view texto);
std::string minusculas(std::string_view texto);
// The first n characters (code points, not bytes) of a UTF-8 text.
std::string izquierda(std::string_view texto, size_t n);
// Number of characters (code points) of a UTF-8 text.
size_t longitudCaracteres(std::string_view texto);

// Replaces every occurrence of `buscado` by `reemplazo`.
std::string reemplazar(std::string_view texto, std::string_view buscado,
                       std::string_view reemplazo);

// Decodes one code point at `pos` (advancing it); invalid bytes read as
// themselves (Latin-1), so no input is ever rejected.
// At or past the end it returns 0 and leaves `pos` as it is.
char32_t leerCodigo(std::string_view texto, size_t& pos);
// Appends the UTF-8 form of `codigo`; a surrogate or a value beyond U+10FFFF
// is written as U+FFFD.
void escribirCodigo(std::string& destino, char32_t codigo);

// Whether the text is well-formed UTF-8 (no overlong forms, no surrogates).
bool esUtf8Valido(std::string_view texto);

}  // namespace comun
