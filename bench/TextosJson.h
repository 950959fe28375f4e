// The texts the parser's figures are measured on: a realistic getData answer,
// and texts a hostile or broken peer could send instead. Each builder
// returns a text of about `bytes` bytes, reserved whole, so that building it
// leaves no freed blocks the parse could reuse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace textos {

// Deterministic pseudo-random numbers, so every run measures the same text.
struct Aleatorio {
    uint64_t estado = 0x9E3779B97F4A7C15ull;
    uint32_t siguiente() {
        estado = estado * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(estado >> 33);
    }
    uint32_t hasta(uint32_t n) { return siguiente() % n; }
};

inline const char* const kTextos[] = {
    "Peña Díaz",
    "Caf\\u00E9 con le\\u00F1a",
    "Jamón serrano 250 g",
    "Ni\\u00F1o \\\"especial\\\"",
    "C:\\\\Datos\\\\Ventas",
    "Menú del día",
    "Arroz con pollo",
    "Cr\\u00E8me br\\u00FBl\\u00E9e",
    "Tomate, cebolla y ají",
    "Observación: \\\"sin sal\\\"",
};

// One communication record as the server writes it.
inline void registro(std::string& t, Aleatorio& r, uint64_t id) {
    t += "{\"id\":\"";
    t += std::to_string(1'000'000'000'000ull + id);
    t += "\",\"Tabla\":\"";
    t += std::to_string(1 + r.hasta(25));
    t += "\",\"Origen\":\"001002003004005\",\"Destino\":\"001002003004006\",\"Servicio\":\"";
    t += std::to_string(r.hasta(3));
    t += "\",\"Funcion\":\"A\"";
    for (int c = 1; c <= 39; ++c) {
        t += ",\"Campo" + std::to_string(c) + "\":";
        switch (r.hasta(5)) {
            case 0:
                t += std::to_string(r.hasta(100000));  // a bare number
                break;
            case 1:
                t += "\"" + std::to_string(r.hasta(1000)) + "." + std::to_string(r.hasta(100)) +
                     "\"";
                break;
            case 2:
                t += "\"07/12/2026 1" + std::to_string(r.hasta(10)) + ":30:00\"";
                break;
            default:
                t += "\"";
                t += kTextos[r.hasta(std::size(kTextos))];
                t += "\"";
        }
    }
    t += "}";
}

// A getData answer of about `bytes` bytes.
inline std::string respuesta(size_t bytes) {
    Aleatorio r;
    std::string t = "[";
    t.reserve(bytes + 4096);
    uint64_t id = 0;
    while (t.size() < bytes) {
        if (id > 0) t += ",\r\n";
        registro(t, r, id++);
    }
    t += "]";
    return t;
}

// A getData answer of records whose 39 payload members are all empty: the
// real answer with the most values per byte.
inline std::string registrosVacios(size_t bytes) {
    std::string t = "[";
    t.reserve(bytes + 1024);
    for (size_t i = 0; t.size() + 700 < bytes; ++i) {
        if (i > 0) t += ",";
        t += "{\"id\":\"" + std::to_string(1000 + i) +
             "\",\"Tabla\":\"2\",\"Origen\":\"900100001\",\"Destino\":\"900100002\","
             "\"Servicio\":\"0\",\"Funcion\":\"A\"";
        for (int c = 1; c <= 39; ++c) t += ",\"Campo" + std::to_string(c) + "\":\"\"";
        t += "}";
    }
    t += "]";
    return t;
}

// Repeats `pieza` after `inicio` until the text holds about `bytes` bytes,
// then closes it with `fin`.
inline std::string repetir(const std::string& inicio, const std::string& pieza, size_t bytes,
                           const std::string& fin) {
    std::string t;
    t.reserve(bytes + inicio.size() + fin.size() + pieza.size());
    t += inicio;
    while (t.size() + pieza.size() <= bytes) t += pieza;
    t += fin;
    return t;
}

// One text member of a record holding a long text with an escaped line break
// every 40 characters (a note or a recipe pasted whole).
inline std::string textoConSaltos(size_t bytes) {
    return repetir("[{\"Campo1\":\"", std::string(38, 'x') + "\\n", bytes, "\"}]");
}

// One string that is nothing but escapes (an accented text written by a peer
// that escapes every character).
inline std::string escapes(size_t bytes) {
    return repetir("[\"", "\\u00F1", bytes, "\"]");
}

// The shortest elements an array can have: "1," again and again.
inline std::string unos(size_t bytes) {
    return repetir("[", "1,", bytes, "1]");
}

// Empty arrays as elements: each one is a container of its own.
inline std::string arreglosVacios(size_t bytes) {
    return repetir("[", "[],", bytes, "[]]");
}

// Empty objects as elements.
inline std::string objetosVacios(size_t bytes) {
    return repetir("[", "{},", bytes, "{}]");
}

// One object of about `bytes` bytes whose members are `antes` + a new
// number + `despues`.
inline std::string clavesNumeradas(size_t bytes, std::string_view antes, std::string_view despues) {
    std::string t;
    t.reserve(bytes + 32);
    t += "{";
    for (size_t i = 0; t.size() + 24 < bytes; ++i) {
        t += antes;
        t += std::to_string(i);
        t += despues;
    }
    t += "}";
    return t;
}

// Keys whose quotes are not followed by ":": every member is an "Invalid
// Key" error line.
inline std::string clavesInvalidas(size_t bytes) {
    return clavesNumeradas(bytes, "\"k", "\" 0,");
}

// Unquoted keys and no commas: the cheapest members.
inline std::string clavesUnicas(size_t bytes) {
    return clavesNumeradas(bytes, "k", ":1 ");
}

// Empty strings as elements.
inline std::string cadenasVacias(size_t bytes) {
    return repetir("[", "\"\",", bytes, "\"\"]");
}

struct Caso {
    const char* nombre;
    std::string (*construir)(size_t);
    size_t bytes;
};

// The cases with the sizes the figures are given for: the two slow strings
// as they were found, the others at the 64 MiB a whole answer may hold.
inline std::vector<Caso> casos() {
    constexpr size_t kMiB = size_t{1} << 20;
    return {
        {"4 MB text, a line break every 40 chars", textoConSaltos, 4'000'000},
        {"1.3 MB of escapes", escapes, 1'300'000},
        {"64 MiB of 1,", unos, 64 * kMiB},
        {"64 MiB of [],", arreglosVacios, 64 * kMiB},
        {"64 MiB of {},", objetosVacios, 64 * kMiB},
        {"64 MiB of \"\",", cadenasVacias, 64 * kMiB},
        {"50 MB of invalid keys", clavesInvalidas, 50'000'000},
        {"64 MiB of distinct keys", clavesUnicas, 64 * kMiB},
    };
}

}  // namespace textos
