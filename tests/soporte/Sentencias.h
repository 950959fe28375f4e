// The statement texts the site's program issues, kept once in
// esquema/sentencias.txt: one a line, each value the program places
// into the text written between braces with the value the tests use
// ("WHERE CODIGO = '{101}'"). The tests run the texts with those values, and
// check that each one, values aside, is still a text of the program's
// sources, so that a statement changed in the code fails a test until the
// file follows it.
#pragma once

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace prueba {

struct Sentencia {
    std::string texto;      // as it runs, with the values in place
    std::string plantilla;  // as the code writes it, a '\0' for each value
    int linea = 0;          // in the file
};

inline std::string leerTexto(const std::filesystem::path& ruta) {
    std::ifstream f(ruta, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + ruta.string());
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// The file's statements, in its order (blank lines and "#" comments aside).
inline std::vector<Sentencia> leerSentencias() {
    const std::string texto = leerTexto(SINC_SOURCE_DIR "/esquema/sentencias.txt");
    std::vector<Sentencia> sentencias;
    size_t inicio = 0;
    for (int linea = 1; inicio < texto.size(); ++linea) {
        size_t fin = texto.find('\n', inicio);
        if (fin == std::string::npos) fin = texto.size();
        const std::string l = texto.substr(inicio, fin - inicio);
        inicio = fin + 1;
        if (l.empty() || l[0] == '#') continue;
        Sentencia s{{}, {}, linea};
        bool enValor = false;
        for (char c : l) {
            if (c == '{' || c == '}') {
                enValor = c == '{';
                if (enValor) s.plantilla += '\0';
            } else {
                s.texto += c;
                if (!enValor) s.plantilla += c;
            }
        }
        sentencias.push_back(s);
    }
    return sentencias;
}

// The statements written in C++ source `codigo`: each run of string
// literals joined directly or by "+ value +", with a '\0' for each value
// between or around them.
inline std::vector<std::string> sentenciasDeFuente(const std::string& codigo) {
    auto blanco = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    // The first character that is not blank from `i` on, past one ')'.
    auto siguiente = [&](size_t i) {
        while (i < codigo.size() && blanco(codigo[i])) ++i;
        if (i < codigo.size() && codigo[i] == ')')
            for (++i; i < codigo.size() && blanco(codigo[i]);) ++i;
        return i < codigo.size() ? codigo[i] : '\0';
    };
    // The last character that is not blank before `i`.
    auto anterior = [&](size_t i) {
        while (i > 0 && blanco(codigo[i - 1])) --i;
        return i > 0 ? codigo[i - 1] : '\0';
    };
    std::vector<std::string> sentencias;
    std::string actual;
    size_t finAnterior = std::string::npos;
    auto cerrar = [&] {
        if (actual.empty()) return;
        if (siguiente(finAnterior) == '+') actual += '\0';
        sentencias.push_back(actual);
        actual.clear();
    };
    for (size_t i = 0; i < codigo.size();) {
        if (codigo.compare(i, 2, "//") == 0) {
            i = codigo.find('\n', i);
        } else if (codigo.compare(i, 2, "/*") == 0) {
            i = codigo.find("*/", i);
            if (i != std::string::npos) i += 2;
        } else if (codigo[i] == '\'' &&
                   (i == 0 || !std::isalnum(static_cast<unsigned char>(codigo[i - 1])))) {
            for (++i; i < codigo.size() && codigo[i] != '\''; ++i)
                if (codigo[i] == '\\') ++i;
            ++i;
        } else if (codigo[i] == '"' && i > 0 && codigo[i - 1] == 'R') {
            const size_t abre = codigo.find('(', i);
            const std::string cierre = ")" + codigo.substr(i + 1, abre - i - 1) + "\"";
            i = codigo.find(cierre, abre);
            if (i != std::string::npos) i += cierre.size();
        } else if (codigo[i] == '"') {
            // Joined to the statement before when only blanks, or "+ value +",
            // stand between.
            bool sigue = false;
            if (finAnterior != std::string::npos) {
                const std::string entre = codigo.substr(finAnterior, i - finAnterior);
                if (siguiente(finAnterior) == '"' && entre.find(')') == std::string::npos) {
                    sigue = true;
                } else if (siguiente(finAnterior) == '+' && anterior(i) == '+' &&
                           entre.find_first_of(";{}") == std::string::npos) {
                    actual += '\0';
                    sigue = true;
                }
            }
            if (!sigue) {
                cerrar();
                if (anterior(i) == '+') actual += '\0';
            }
            for (++i; i < codigo.size() && codigo[i] != '"'; ++i) {
                if (codigo[i] == '\\' && i + 1 < codigo.size()) {
                    const char e = codigo[++i];
                    actual += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
                } else {
                    actual += codigo[i];
                }
            }
            finAnterior = ++i;
        } else {
            ++i;
        }
    }
    if (finAnterior != std::string::npos) cerrar();
    return sentencias;
}

// The text of the file's first statement that begins with `comienzo`, with
// `valores` in place of its own.
inline std::string sentenciaCon(const std::string& comienzo,
                                const std::vector<std::string>& valores = {}) {
    for (const auto& s : leerSentencias()) {
        if (s.texto.rfind(comienzo, 0) != 0) continue;
        std::string texto;
        size_t usados = 0;
        for (char c : s.plantilla) {
            if (c != '\0') {
                texto += c;
            } else if (usados < valores.size()) {
                texto += valores[usados++];
            } else {
                throw std::runtime_error("too few values for " + s.texto);
            }
        }
        if (usados != valores.size()) throw std::runtime_error("too many values for " + s.texto);
        return texto;
    }
    throw std::runtime_error("no statement begins with " + comienzo);
}

// The `cuantas` statements of the file from the first that begins with
// `comienzo`, as they stand.
inline std::vector<std::string> tramoDeSentencias(const std::string& comienzo, size_t cuantas) {
    const auto todas = leerSentencias();
    for (size_t i = 0; i < todas.size(); ++i) {
        if (todas[i].texto.rfind(comienzo, 0) != 0) continue;
        std::vector<std::string> tramo;
        for (size_t k = i; k < todas.size() && tramo.size() < cuantas; ++k)
            tramo.push_back(todas[k].texto);
        return tramo;
    }
    throw std::runtime_error("no statement begins with " + comienzo);
}

// Every statement of the C++ sources below `carpeta`.
inline std::vector<std::string> sentenciasDelCodigo(const std::filesystem::path& carpeta) {
    std::vector<std::string> todas;
    for (const auto& e : std::filesystem::recursive_directory_iterator(carpeta)) {
        if (e.path().extension() != ".cpp" && e.path().extension() != ".h") continue;
        for (auto& s : sentenciasDeFuente(leerTexto(e.path()))) todas.push_back(std::move(s));
    }
    return todas;
}

// Whether `plantilla`, its values and outer blanks aside, is written in one
// of `codigo`'s statements.
inline bool estaEnElCodigo(const std::string& plantilla, const std::vector<std::string>& codigo) {
    size_t a = 0, b = plantilla.size();
    while (a < b && (plantilla[a] == '\0' || plantilla[a] == ' ')) ++a;
    while (b > a && (plantilla[b - 1] == '\0' || plantilla[b - 1] == ' ')) --b;
    const std::string nucleo = plantilla.substr(a, b - a);
    for (const auto& s : codigo)
        if (s.find(nucleo) != std::string::npos) return true;
    return false;
}

}  // namespace prueba
