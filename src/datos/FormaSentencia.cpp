#include "datos/FormaSentencia.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "comun/Texto.h"
#include "datos/sql/Tokenizador.h"

namespace datos {

namespace {

bool esIdentificador(std::string_view s) {
    if (s.empty()) return false;
    if (std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
               static_cast<unsigned char>(c) >= 0x80;
    });
}

}  // namespace

std::string nombreTablaSola(std::string_view sql) {
    std::string t = comun::recortar(sql);
    if (t.size() > 2 && t.front() == '[' && t.back() == ']') t = t.substr(1, t.size() - 2);
    return esIdentificador(t) ? t : std::string();
}

std::string tablaDeSelectTodo(std::string_view sql) {
    std::vector<sql::Token> f;
    try {
        f = sql::tokenizar(sql);
    } catch (const sql::ErrorTraduccion&) {
        return {};
    }
    auto palabra = [&](size_t i) {
        if (i >= f.size()) return std::string();
        if (f[i].tipo == sql::TipoToken::Nombre) return comun::mayusculas(f[i].texto);
        if (f[i].tipo == sql::TipoToken::Operador && f[i].texto == "*") return std::string("*");
        if (f[i].tipo == sql::TipoToken::PuntoYComa) return std::string(";");
        return std::string();
    };
    size_t i = 0;
    if (palabra(i++) != "SELECT") return {};
    if (palabra(i) == "TOP") i += 2;
    if (palabra(i) != "*" || palabra(i + 1) != "FROM" || i + 2 >= f.size()) return {};
    const sql::Token& t = f[i + 2];
    if (t.tipo != sql::TipoToken::Nombre && t.tipo != sql::TipoToken::NombreCorchetes) return {};
    if (!esIdentificador(t.texto)) return {};
    const size_t sig = i + 3;
    if (sig < f.size() && palabra(sig) != "WHERE" && palabra(sig) != "ORDER" && palabra(sig) != ";")
        return {};
    for (size_t k = sig; k < f.size(); ++k) {
        const std::string x = palabra(k);
        if (x == "UNION" || x == "JOIN" || x == "GROUP" || x == "HAVING" || x == "FROM") return {};
    }
    return t.texto;
}

}  // namespace datos
