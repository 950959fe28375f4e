#include "comun/Texto.h"

namespace comun {

namespace {

// Code points of the bytes 0x80 to 0x9F in Windows-1252. The five bytes the
// code page leaves unassigned map to the C1 control of the same value.
constexpr char32_t kAltos1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

bool esSinAsignar(unsigned char b) {
    return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

// The byte for a code point, or -1 when Windows-1252 lacks it.
int byte1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    if (c >= 0x80 && c <= 0x9F) {
        // Only the unassigned bytes carry a C1 control through.
        return esSinAsignar(static_cast<unsigned char>(c)) ? static_cast<int>(c) : -1;
    }
    for (int i = 0; i < 32; ++i)
        if (kAltos1252[i] == c) return 0x80 + i;
    return -1;
}

bool esContinuacion(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Case pairs outside ASCII that Windows-1252 holds.
struct ParCaso {
    char32_t mayuscula, minuscula;
};
constexpr ParCaso kParesExtra[] = {
    {0x0160, 0x0161},  // Š š
    {0x0152, 0x0153},  // Œ œ
    {0x017D, 0x017E},  // Ž ž
    {0x0178, 0x00FF},  // Ÿ ÿ
};

char32_t aMayuscula(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 0x20;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    for (const auto& p : kParesExtra)
        if (p.minuscula == c) return p.mayuscula;
    return c;
}

char32_t aMinuscula(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    for (const auto& p : kParesExtra)
        if (p.mayuscula == c) return p.minuscula;
    return c;
}

// Applies a per-character mapping; characters it leaves alone keep their
// exact bytes (so stray invalid bytes are not rewritten).
template <class F>
std::string mapearCaracteres(std::string_view texto, F mapa) {
    std::string salida;
    salida.reserve(texto.size());
    size_t pos = 0;
    while (pos < texto.size()) {
        const size_t inicio = pos;
        const char32_t c = leerCodigo(texto, pos);
        // A byte that is not UTF-8 is kept as it is rather than rewritten.
        const bool byteSuelto = pos - inicio == 1 && c >= 0x80;
        const char32_t m = byteSuelto ? c : mapa(c);
        if (m == c)
            salida.append(texto.substr(inicio, pos - inicio));
        else
            escribirCodigo(salida, m);
    }
    return salida;
}

}  // namespace

char32_t leerCodigo(std::string_view texto, size_t& pos) {
    if (pos >= texto.size()) return 0;
    const unsigned char b0 = static_cast<unsigned char>(texto[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    size_t largo = 0;
    char32_t codigo = 0, minimo = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        largo = 2;
        codigo = b0 & 0x1F;
        minimo = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        largo = 3;
        codigo = b0 & 0x0F;
        minimo = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        largo = 4;
        codigo = b0 & 0x07;
        minimo = 0x10000;
    }
    if (largo == 0 || pos + largo > texto.size()) {
        ++pos;
        return b0;
    }
    for (size_t i = 1; i < largo; ++i) {
        const unsigned char b = static_cast<unsigned char>(texto[pos + i]);
        if (!esContinuacion(b)) {
            ++pos;
            return b0;
        }
        codigo = (codigo << 6) | (b & 0x3F);
    }
    // Overlong forms, surrogates and values past the last code point are
    // not UTF-8: the lead byte reads as itself.
    if (codigo < minimo || codigo > 0x10FFFF || (codigo >= 0xD800 && codigo <= 0xDFFF)) {
        ++pos;
        return b0;
    }
    pos += largo;
    return codigo;
}

void escribirCodigo(std::string& destino, char32_t codigo) {
    if (codigo > 0x10FFFF || (codigo >= 0xD800 && codigo <= 0xDFFF)) codigo = 0xFFFD;
    if (codigo < 0x80) {
        destino.push_back(static_cast<char>(codigo));
    } else if (codigo < 0x800) {
        destino.push_back(static_cast<char>(0xC0 | (codigo >> 6)));
        destino.push_back(static_cast<char>(0x80 | (codigo & 0x3F)));
    } else if (codigo < 0x10000) {
        destino.push_back(static_cast<char>(0xE0 | (codigo >> 12)));
        destino.push_back(static_cast<char>(0x80 | ((codigo >> 6) & 0x3F)));
        destino.push_back(static_cast<char>(0x80 | (codigo & 0x3F)));
    } else {
        destino.push_back(static_cast<char>(0xF0 | (codigo >> 18)));
        destino.push_back(static_cast<char>(0x80 | ((codigo >> 12) & 0x3F)));
        destino.push_back(static_cast<char>(0x80 | ((codigo >> 6) & 0x3F)));
        destino.push_back(static_cast<char>(0x80 | (codigo & 0x3F)));
    }
}

bool esUtf8Valido(std::string_view texto) {
    size_t pos = 0;
    while (pos < texto.size()) {
        const size_t antes = pos;
        const char32_t c = leerCodigo(texto, pos);
        // An invalid byte reads as itself and advances by one alone.
        if (pos - antes == 1 && c >= 0x80) return false;
    }
    return true;
}

std::string utf8ACp1252(std::string_view utf8) {
    std::string salida;
    salida.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        const int b = byte1252(leerCodigo(utf8, pos));
        salida.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return salida;
}

std::string cp1252AUtf8(std::string_view bytes) {
    std::string salida;
    salida.reserve(bytes.size() + bytes.size() / 4);
    for (char c : bytes) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x80)
            salida.push_back(c);
        else if (b < 0xA0)
            escribirCodigo(salida, kAltos1252[b - 0x80]);
        else
            escribirCodigo(salida, b);
    }
    return salida;
}

std::string recortar(std::string_view texto) {
    const size_t inicio = texto.find_first_not_of(' ');
    if (inicio == std::string_view::npos) return "";
    const size_t fin = texto.find_last_not_of(' ');
    return std::string(texto.substr(inicio, fin - inicio + 1));
}

std::string mayusculas(std::string_view texto) {
    return mapearCaracteres(texto, aMayuscula);
}

std::string minusculas(std::string_view texto) {
    return mapearCaracteres(texto, aMinuscula);
}

std::string izquierda(std::string_view texto, size_t n) {
    size_t pos = 0;
    for (size_t i = 0; i < n && pos < texto.size(); ++i) leerCodigo(texto, pos);
    return std::string(texto.substr(0, pos));
}

size_t longitudCaracteres(std::string_view texto) {
    size_t pos = 0, cuenta = 0;
    while (pos < texto.size()) {
        leerCodigo(texto, pos);
        ++cuenta;
    }
    return cuenta;
}

std::string reemplazar(std::string_view texto, std::string_view buscado,
                       std::string_view reemplazo) {
    if (buscado.empty()) return std::string(texto);
    std::string salida;
    salida.reserve(texto.size());
    size_t desde = 0;
    for (size_t hallado = texto.find(buscado); hallado != std::string_view::npos;
         hallado = texto.find(buscado, desde)) {
        salida.append(texto.substr(desde, hallado - desde));
        salida.append(reemplazo);
        desde = hallado + buscado.size();
    }
    salida.append(texto.substr(desde));
    return salida;
}

}  // namespace comun
