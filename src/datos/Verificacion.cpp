#include "datos/Verificacion.h"

#include <cctype>
#include <string>
#include <vector>

#include "datos/Esquema.h"

namespace datos {

namespace {

struct SentenciaCorpus {
    int linea = 0;
    std::string texto;
    int marcas = 0;  // "?" outside quotes
};

std::vector<SentenciaCorpus> leerCorpus() {
    std::vector<SentenciaCorpus> r;
    const std::string_view texto = textoSentencias();
    size_t inicio = 0;
    for (int linea = 1; inicio < texto.size(); ++linea) {
        size_t fin = texto.find('\n', inicio);
        if (fin == std::string_view::npos) fin = texto.size();
        const std::string_view l = texto.substr(inicio, fin - inicio);
        inicio = fin + 1;
        if (l.empty() || l[0] == '#') continue;
        SentenciaCorpus s;
        s.linea = linea;
        char comilla = 0;
        for (char c : l) {
            if (c == '{' || c == '}') continue;  // the sample value stays
            s.texto += c;
            if (comilla) {
                if (c == comilla) comilla = 0;
            } else if (c == '\'' || c == '"') {
                comilla = c;
            } else if (c == '?') {
                ++s.marcas;
            }
        }
        r.push_back(std::move(s));
    }
    return r;
}

bool esConsulta(const std::string& texto) {
    size_t i = 0;
    while (i < texto.size() &&
           (std::isspace(static_cast<unsigned char>(texto[i])) || texto[i] == '('))
        ++i;
    std::string palabra;
    while (i < texto.size() && std::isalpha(static_cast<unsigned char>(texto[i])))
        palabra += static_cast<char>(std::toupper(static_cast<unsigned char>(texto[i++])));
    return palabra == "SELECT";
}

}  // namespace

int verificarSentencias(DAO_Conexion& c, std::ostream& salida) {
    const auto corpus = leerCorpus();
    int fallidas = 0;
    // One transaction for all: the corpus runs in the order the program's
    // work does (a scratch table made by one statement is used by the next
    // ones), and the engine without savepoints has no other kind. A failed
    // statement undoes only itself on both engines.
    Transaccion transaccion(c);
    for (const SentenciaCorpus& s : corpus) {
        // Every "?" takes 0, which each column kind takes.
        const ListaParametros valores(static_cast<size_t>(s.marcas), Variant(int32_t{0}));
        std::string error;
        try {
            if (esConsulta(s.texto)) {
                auto rs = c.Query(s.texto, valores);
                DAO_Conexion::RsVacio(rs);
            } else {
                c.comando(s.texto, valores);
            }
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (error.empty()) {
            salida << "ok     " << s.linea << ": " << s.texto << "\n";
        } else {
            ++fallidas;
            salida << "FALLA  " << s.linea << ": " << s.texto << "\n       " << error << "\n";
        }
    }
    salida << corpus.size() - static_cast<size_t>(fallidas) << " of " << corpus.size()
           << " statements ran; nothing was kept.\n";
    return fallidas;
}

}  // namespace datos
