#include "datos/sql/Tokenizador.h"

namespace datos::sql {

namespace {

bool esInicioNombre(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool esDigito(unsigned char c) {
    return c >= '0' && c <= '9';
}

bool esParteNombre(unsigned char c) {
    return esInicioNombre(c) || esDigito(c);
}

bool esBlanco(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

}  // namespace

std::vector<Token> tokenizar(std::string_view sql) {
    std::vector<Token> tokens;
    const size_t n = sql.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(sql[i]);
        if (esBlanco(c)) {
            ++i;
            continue;
        }
        if (c == '\'' || c == '"') {
            // A quote inside the literal is written twice.
            std::string valor;
            size_t j = i + 1;
            bool cerrado = false;
            while (j < n) {
                if (sql[j] == static_cast<char>(c)) {
                    if (j + 1 < n && sql[j + 1] == static_cast<char>(c)) {
                        valor.push_back(static_cast<char>(c));
                        j += 2;
                        continue;
                    }
                    cerrado = true;
                    ++j;
                    break;
                }
                valor.push_back(sql[j]);
                ++j;
            }
            if (!cerrado) throw ErrorTraduccion("unterminated text literal in SQL");
            tokens.push_back({TipoToken::Texto, std::move(valor)});
            i = j;
            continue;
        }
        if (c == '[') {
            const size_t fin = sql.find(']', i + 1);
            if (fin == std::string_view::npos) throw ErrorTraduccion("unterminated [name] in SQL");
            tokens.push_back(
                {TipoToken::NombreCorchetes, std::string(sql.substr(i + 1, fin - i - 1))});
            i = fin + 1;
            continue;
        }
        if (c == '#') {
            const size_t fin = sql.find('#', i + 1);
            if (fin == std::string_view::npos) throw ErrorTraduccion("unterminated #date# in SQL");
            tokens.push_back({TipoToken::Fecha, std::string(sql.substr(i + 1, fin - i - 1))});
            i = fin + 1;
            continue;
        }
        if (esDigito(c) ||
            (c == '.' && i + 1 < n && esDigito(static_cast<unsigned char>(sql[i + 1])))) {
            size_t j = i;
            while (j < n && esDigito(static_cast<unsigned char>(sql[j]))) ++j;
            if (j < n && sql[j] == '.') {
                ++j;
                while (j < n && esDigito(static_cast<unsigned char>(sql[j]))) ++j;
            }
            if (j < n && (sql[j] == 'e' || sql[j] == 'E')) {
                size_t k = j + 1;
                if (k < n && (sql[k] == '+' || sql[k] == '-')) ++k;
                if (k < n && esDigito(static_cast<unsigned char>(sql[k]))) {
                    while (k < n && esDigito(static_cast<unsigned char>(sql[k]))) ++k;
                    j = k;
                }
            }
            tokens.push_back({TipoToken::Numero, std::string(sql.substr(i, j - i))});
            i = j;
            continue;
        }
        if (c == '@' && i + 2 < n && sql[i + 1] == '@' &&
            esInicioNombre(static_cast<unsigned char>(sql[i + 2]))) {
            // A system variable of the dialect (@@IDENTITY): one name.
            size_t j = i + 3;
            while (j < n && esParteNombre(static_cast<unsigned char>(sql[j]))) ++j;
            tokens.push_back({TipoToken::Nombre, std::string(sql.substr(i, j - i))});
            i = j;
            continue;
        }
        if (esInicioNombre(c)) {
            size_t j = i + 1;
            while (j < n && esParteNombre(static_cast<unsigned char>(sql[j]))) ++j;
            tokens.push_back({TipoToken::Nombre, std::string(sql.substr(i, j - i))});
            i = j;
            continue;
        }
        switch (c) {
            case '?':
                tokens.push_back({TipoToken::Parametro, "?"});
                ++i;
                continue;
            case ',':
                tokens.push_back({TipoToken::Coma, ","});
                ++i;
                continue;
            case '.':
                tokens.push_back({TipoToken::Punto, "."});
                ++i;
                continue;
            case ';':
                tokens.push_back({TipoToken::PuntoYComa, ";"});
                ++i;
                continue;
            case '(':
                tokens.push_back({TipoToken::AbreParentesis, "("});
                ++i;
                continue;
            case ')':
                tokens.push_back({TipoToken::CierraParentesis, ")"});
                ++i;
                continue;
            default:
                break;
        }
        // Operators: the two-character ones first.
        if (i + 1 < n) {
            const std::string_view dos = sql.substr(i, 2);
            if (dos == "<>" || dos == "<=" || dos == ">=" || dos == "!=" || dos == "||") {
                tokens.push_back({TipoToken::Operador, std::string(dos)});
                i += 2;
                continue;
            }
        }
        if (c == '=' || c == '<' || c == '>' || c == '+' || c == '-' || c == '*' || c == '/' ||
            c == '\\' || c == '&' || c == '^' || c == '%') {
            tokens.push_back({TipoToken::Operador, std::string(1, static_cast<char>(c))});
            ++i;
            continue;
        }
        throw ErrorTraduccion(std::string("unexpected character '") + static_cast<char>(c) +
                              "' in SQL");
    }
    return tokens;
}

}  // namespace datos::sql
