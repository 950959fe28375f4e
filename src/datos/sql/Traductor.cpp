#include "datos/sql/Traductor.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <list>
#include <unordered_map>
#include <utility>

#include "comun/Variant.h"
#include "datos/sql/FuncionesSqlite.h"

namespace datos::sql {

namespace {

// Statements nest parentheses only a few levels deep; a deeper text is
// refused instead of recursing without bound.
constexpr int kProfundidadMaxima = 200;

// A token, or a parenthesised group holding the nodes between its
// parentheses. Working on groups keeps every rewrite at one nesting level.
struct Nodo {
    TipoToken tipo;
    std::string texto;
    std::vector<Nodo> hijos;  // for AbreParentesis: the group's content

    bool esGrupo() const { return tipo == TipoToken::AbreParentesis; }
};

using Nodos = std::vector<Nodo>;

char mayuscula(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

bool igualesSinCaso(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (mayuscula(a[i]) != mayuscula(b[i])) return false;
    return true;
}

bool esPalabra(const Nodo& n, std::string_view palabra) {
    return n.tipo == TipoToken::Nombre && igualesSinCaso(n.texto, palabra);
}

bool esPalabraEn(const Nodo& n, std::initializer_list<std::string_view> palabras) {
    if (n.tipo != TipoToken::Nombre) return false;
    for (std::string_view p : palabras)
        if (igualesSinCaso(n.texto, p)) return true;
    return false;
}

bool esNombre(const Nodo& n) {
    return n.tipo == TipoToken::Nombre || n.tipo == TipoToken::NombreCorchetes;
}

bool esComparacion(const Nodo& n) {
    if (n.tipo != TipoToken::Operador) return false;
    const std::string& t = n.texto;
    return t == "=" || t == "<>" || t == "<" || t == ">" || t == "<=" || t == ">=" || t == "!=";
}

Nodo palabra(std::string texto) {
    return Nodo{TipoToken::Nombre, std::move(texto), {}};
}
Nodo literal(std::string texto) {
    return Nodo{TipoToken::Texto, std::move(texto), {}};
}
Nodo coma() {
    return Nodo{TipoToken::Coma, ",", {}};
}
Nodo grupo(Nodos hijos) {
    return Nodo{TipoToken::AbreParentesis, "(", std::move(hijos)};
}

// Index of the first node at this level that is the keyword, from `desde`.
size_t buscarPalabra(const Nodos& nivel, std::string_view p, size_t desde = 0) {
    for (size_t i = desde; i < nivel.size(); ++i)
        if (esPalabra(nivel[i], p)) return i;
    return nivel.size();
}

// Splits a level at its commas.
std::vector<Nodos> separarPorComas(const Nodos& nivel) {
    std::vector<Nodos> partes(1);
    for (const Nodo& n : nivel) {
        if (n.tipo == TipoToken::Coma)
            partes.emplace_back();
        else
            partes.back().push_back(n);
    }
    return partes;
}

Nodos unirConComas(std::vector<Nodos> partes) {
    Nodos r;
    for (size_t i = 0; i < partes.size(); ++i) {
        if (i > 0) r.push_back(coma());
        for (Nodo& n : partes[i]) r.push_back(std::move(n));
    }
    return r;
}

// ---- date literals -------------------------------------------------------

bool leerEntero(std::string_view s, int& valor) {
    if (s.empty() || s.size() > 9) return false;
    valor = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        valor = valor * 10 + (c - '0');
    }
    return true;
}

std::string_view recortarBlancos(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool fechaValida(int anio, int mes, int dia) {
    if (anio < 100 || anio > 9999 || mes < 1 || mes > 12 || dia < 1) return false;
    static const int dias[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool bisiesto = (anio % 4 == 0 && anio % 100 != 0) || anio % 400 == 0;
    return dia <= dias[mes - 1] + (mes == 2 && bisiesto ? 1 : 0);
}

// #y/m/d#, #m/d/y# (the dialect's order when the year is not first), each
// with an optional time "h:m[:s] [AM|PM]"; a time alone is on the zero date.
std::string fechaIso(std::string_view contenido) {
    const std::string_view s = recortarBlancos(contenido);
    const auto error = [&] {
        return ErrorTraduccion("not a date literal: #" + std::string(contenido) + "#");
    };
    if (s.empty()) throw error();
    std::string_view parteFecha = s;
    std::string_view parteHora;
    const bool soloHora =
        s.find(':') != std::string_view::npos && s.find_first_of("/-") == std::string_view::npos;
    if (soloHora) {
        parteFecha = {};
        parteHora = s;
    } else if (const size_t blanco = s.find(' '); blanco != std::string_view::npos) {
        parteFecha = s.substr(0, blanco);
        parteHora = recortarBlancos(s.substr(blanco + 1));
    }
    int anio = 1899, mes = 12, dia = 30;
    if (!parteFecha.empty()) {
        std::string_view piezas[3];
        size_t inicio = 0;
        for (int k = 0; k < 3; ++k) {
            const size_t fin = k < 2 ? parteFecha.find_first_of("/-", inicio) : parteFecha.size();
            if (fin == std::string_view::npos) throw error();
            piezas[k] = parteFecha.substr(inicio, fin - inicio);
            inicio = fin + 1;
        }
        int a = 0, b = 0, c = 0;
        if (!leerEntero(piezas[0], a) || !leerEntero(piezas[1], b) || !leerEntero(piezas[2], c))
            throw error();
        if (piezas[0].size() >= 3) {
            anio = a, mes = b, dia = c;
        } else {
            mes = a, dia = b, anio = c;
            if (piezas[2].size() <= 2) anio += anio < 30 ? 2000 : 1900;
        }
        if (!fechaValida(anio, mes, dia)) throw error();
    }
    int hora = 0, minuto = 0, segundo = 0;
    if (!parteHora.empty()) {
        bool pm = false, am = false;
        if (parteHora.size() > 2) {
            const std::string_view sufijo = parteHora.substr(parteHora.size() - 2);
            pm = igualesSinCaso(sufijo, "PM");
            am = igualesSinCaso(sufijo, "AM");
            if (pm || am) parteHora = recortarBlancos(parteHora.substr(0, parteHora.size() - 2));
        }
        const size_t p1 = parteHora.find(':');
        const size_t p2 = p1 == std::string_view::npos ? p1 : parteHora.find(':', p1 + 1);
        if (p1 == std::string_view::npos || !leerEntero(parteHora.substr(0, p1), hora))
            throw error();
        const std::string_view m = p2 == std::string_view::npos
                                       ? parteHora.substr(p1 + 1)
                                       : parteHora.substr(p1 + 1, p2 - p1 - 1);
        if (!leerEntero(m, minuto)) throw error();
        if (p2 != std::string_view::npos && !leerEntero(parteHora.substr(p2 + 1), segundo))
            throw error();
        if (am || pm) {
            if (hora < 1 || hora > 12) throw error();
            hora = hora % 12 + (pm ? 12 : 0);
        }
        if (hora > 23 || minuto > 59 || segundo > 59) throw error();
    }
    char buf[40];
    if (hora == 0 && minuto == 0 && segundo == 0)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", anio, mes, dia);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", anio, mes, dia, hora,
                      minuto, segundo);
    return buf;
}

// A date text bound for a date column, in the stored ISO form; any other
// text is left as it is.
std::string textoFechaCanonico(const std::string& texto) {
    comun::Fecha f;
    if (comun::leerFecha(texto, f) && f.valida()) return f.iso();
    return texto;
}

// ---- tree building and writing -----------------------------------------

Nodos construirNivel(const std::vector<Token>& tokens, size_t& i, int profundidad) {
    if (profundidad > kProfundidadMaxima) throw ErrorTraduccion("SQL nested too deeply");
    Nodos nivel;
    while (i < tokens.size()) {
        const Token& t = tokens[i];
        if (t.tipo == TipoToken::CierraParentesis) {
            if (profundidad == 0) throw ErrorTraduccion("unbalanced ')' in SQL");
            ++i;
            return nivel;
        }
        ++i;
        if (t.tipo == TipoToken::AbreParentesis) {
            nivel.push_back(grupo(construirNivel(tokens, i, profundidad + 1)));
            if (i > tokens.size() || tokens[i - 1].tipo != TipoToken::CierraParentesis)
                throw ErrorTraduccion("unbalanced '(' in SQL");
            continue;
        }
        nivel.push_back(Nodo{t.tipo, t.texto, {}});
    }
    if (profundidad > 0) throw ErrorTraduccion("unbalanced '(' in SQL");
    return nivel;
}

// A name directly followed by a group is written as a call: f(x).
bool esLlamada(const Nodo& n) {
    return esNombre(n) &&
           !esPalabraEn(n, {"FROM",   "WHERE", "AND",    "OR",    "NOT", "IN",   "ON",
                            "EXISTS", "AS",    "SELECT", "JOIN",  "SET", "BY",   "THEN",
                            "ELSE",   "WHEN",  "HAVING", "UNION", "ALL", "LIKE", "IS"});
}

void escribir(const Nodos& nivel, std::string& salida) {
    for (size_t k = 0; k < nivel.size(); ++k) {
        const Nodo& n = nivel[k];
        // A sign that follows an operator, a comma or a keyword is unary: -1.
        const bool signo = k > 0 && nivel[k - 1].tipo == TipoToken::Operador &&
                           (nivel[k - 1].texto == "-" || nivel[k - 1].texto == "+") &&
                           (k == 1 || nivel[k - 2].tipo == TipoToken::Operador ||
                            nivel[k - 2].tipo == TipoToken::Coma ||
                            (nivel[k - 2].tipo == TipoToken::Nombre && !esLlamada(nivel[k - 2])));
        const bool pegado = salida.empty() || salida.back() == '(' || salida.back() == '.' ||
                            n.tipo == TipoToken::Coma || n.tipo == TipoToken::Punto || signo ||
                            (n.esGrupo() && k > 0 && esLlamada(nivel[k - 1]));
        if (!pegado) salida.push_back(' ');
        switch (n.tipo) {
            case TipoToken::Texto:
                salida.push_back('\'');
                for (char c : n.texto) {
                    if (c == '\'') salida.push_back('\'');
                    salida.push_back(c);
                }
                salida.push_back('\'');
                break;
            case TipoToken::NombreCorchetes:
                salida.push_back('"');
                for (char c : n.texto) {
                    if (c == '"') salida.push_back('"');
                    salida.push_back(c);
                }
                salida.push_back('"');
                break;
            case TipoToken::AbreParentesis:
                salida.push_back('(');
                escribir(n.hijos, salida);
                salida.push_back(')');
                break;
            default:
                salida += n.texto;
        }
    }
}

// ---- rewrites at one level ----------------------------------------------

// Words that end an operand of &: everything that binds looser than it.
bool terminaOperando(const Nodo& n) {
    if (n.tipo == TipoToken::Coma || n.tipo == TipoToken::PuntoYComa || esComparacion(n))
        return true;
    return esPalabraEn(
        n, {"AND",   "OR",    "NOT",  "LIKE",   "IN",    "IS",     "BETWEEN",  "SELECT", "FROM",
            "WHERE", "ON",    "SET",  "AS",     "THEN",  "ELSE",   "WHEN",     "END",    "CASE",
            "ORDER", "GROUP", "BY",   "HAVING", "UNION", "VALUES", "INTO",     "ASC",    "DESC",
            "JOIN",  "INNER", "LEFT", "RIGHT",  "OUTER", "TOP",    "DISTINCT", "ESCAPE", "COLLATE",
            "LIMIT", "ALL",   "XOR",  "EQV",    "IMP"});
}

// a & b & c becomes concatenar(a, b, c): Null reads as empty text there, as
// the dialect's & does, where SQLite's || would give Null.
void reescribirConcatenacion(Nodos& nivel) {
    for (size_t k = 0; k < nivel.size(); ++k) {
        if (nivel[k].tipo != TipoToken::Operador || nivel[k].texto != "&") continue;
        size_t inicio = k;
        while (inicio > 0 && !terminaOperando(nivel[inicio - 1])) --inicio;
        std::vector<Nodos> operandos(1);
        for (size_t j = inicio; j < k; ++j) operandos.back().push_back(std::move(nivel[j]));
        size_t fin = k;
        while (fin < nivel.size()) {
            if (nivel[fin].tipo == TipoToken::Operador && nivel[fin].texto == "&") {
                operandos.emplace_back();
                ++fin;
                continue;
            }
            if (terminaOperando(nivel[fin])) break;
            operandos.back().push_back(std::move(nivel[fin]));
            ++fin;
        }
        for (const Nodos& o : operandos)
            if (o.empty()) throw ErrorTraduccion("missing operand of & in SQL");
        Nodos llamada;
        llamada.push_back(palabra("concatenar"));
        llamada.push_back(grupo(unirConComas(std::move(operandos))));
        nivel.erase(nivel.begin() + static_cast<std::ptrdiff_t>(inicio),
                    nivel.begin() + static_cast<std::ptrdiff_t>(fin));
        nivel.insert(nivel.begin() + static_cast<std::ptrdiff_t>(inicio),
                     std::make_move_iterator(llamada.begin()),
                     std::make_move_iterator(llamada.end()));
        k = inicio + 1;
    }
}

// End of the primary expression that starts at `k`: a literal, a
// placeholder, a group, or a possibly qualified name with an optional call.
size_t finDePrimario(const Nodos& nivel, size_t k) {
    if (k >= nivel.size()) return k;
    if (!esNombre(nivel[k])) return k + 1;
    size_t j = k + 1;
    while (j + 1 < nivel.size() && nivel[j].tipo == TipoToken::Punto && esNombre(nivel[j + 1]))
        j += 2;
    if (j < nivel.size() && nivel[j].esGrupo()) ++j;
    return j;
}

// LIKE patterns use * and ?; SQLite's use % and _. A literal pattern is
// converted here, any other through comodines() when the statement runs.
void reescribirLike(Nodos& nivel) {
    for (size_t k = 0; k + 1 < nivel.size(); ++k) {
        if (!esPalabra(nivel[k], "LIKE")) continue;
        Nodo& patron = nivel[k + 1];
        Nodos escape;
        escape.push_back(palabra("ESCAPE"));
        escape.push_back(literal("\\"));
        if (patron.tipo == TipoToken::Texto) {
            patron.texto = convertirPatronLike(patron.texto);
            if (patron.texto.find('\\') != std::string::npos)
                nivel.insert(nivel.begin() + static_cast<std::ptrdiff_t>(k + 2), escape.begin(),
                             escape.end());
            continue;
        }
        const size_t fin = finDePrimario(nivel, k + 1);
        Nodos argumento(std::make_move_iterator(nivel.begin() + static_cast<std::ptrdiff_t>(k + 1)),
                        std::make_move_iterator(nivel.begin() + static_cast<std::ptrdiff_t>(fin)));
        nivel.erase(nivel.begin() + static_cast<std::ptrdiff_t>(k + 1),
                    nivel.begin() + static_cast<std::ptrdiff_t>(fin));
        Nodos llamada;
        llamada.push_back(palabra("comodines"));
        llamada.push_back(grupo(std::move(argumento)));
        llamada.insert(llamada.end(), escape.begin(), escape.end());
        nivel.insert(nivel.begin() + static_cast<std::ptrdiff_t>(k + 1),
                     std::make_move_iterator(llamada.begin()),
                     std::make_move_iterator(llamada.end()));
    }
}

bool esValorTexto(const Nodo& n) {
    return n.tipo == TipoToken::Texto || n.tipo == TipoToken::Parametro;
}

void agregarColacion(Nodos& nivel, size_t despuesDe) {
    const auto pos = nivel.begin() + static_cast<std::ptrdiff_t>(despuesDe + 1);
    nivel.insert(pos, {palabra("COLLATE"), palabra("ACCESS")});
}

// Text compared as the dialect does, without regard to case or accents:
// literals and placeholders on either side of a comparison, and the
// elements of an IN list, carry the collation ACCESS. Nodes in
// [excluirDesde, excluirHasta) are assignments, not comparisons.
void reescribirColacion(Nodos& nivel, size_t excluirDesde = 0, size_t excluirHasta = 0) {
    for (size_t k = 0; k < nivel.size(); ++k) {
        if (k >= excluirDesde && k < excluirHasta) continue;
        Nodo& n = nivel[k];
        if (n.esGrupo() && k > 0 && esPalabra(nivel[k - 1], "IN")) {
            for (size_t j = 0; j < n.hijos.size(); ++j) {
                const bool solo =
                    (j == 0 || n.hijos[j - 1].tipo == TipoToken::Coma) &&
                    (j + 1 == n.hijos.size() || n.hijos[j + 1].tipo == TipoToken::Coma);
                if (solo && esValorTexto(n.hijos[j])) {
                    agregarColacion(n.hijos, j);
                    j += 2;
                }
            }
            continue;
        }
        if (!esValorTexto(n)) continue;
        const bool antes = k > 0 && esComparacion(nivel[k - 1]);
        const bool despues = k + 1 < nivel.size() && esComparacion(nivel[k + 1]);
        if (antes || despues) {
            agregarColacion(nivel, k);
            k += 2;
        }
    }
}

// Names and words of the dialect that SQLite spells differently.
void reescribirPalabras(Nodos& nivel) {
    for (size_t k = 0; k < nivel.size(); ++k) {
        Nodo& n = nivel[k];
        if (n.tipo == TipoToken::Fecha) {
            n = literal(fechaIso(n.texto));
            continue;
        }
        if (n.tipo != TipoToken::Nombre) continue;
        const bool calificado = (k > 0 && nivel[k - 1].tipo == TipoToken::Punto) ||
                                (k + 1 < nivel.size() && nivel[k + 1].tipo == TipoToken::Punto);
        if (calificado) continue;
        const bool llamada = k + 1 < nivel.size() && nivel[k + 1].esGrupo();
        if (igualesSinCaso(n.texto, "TRUE")) {
            n = Nodo{TipoToken::Numero, "1", {}};
        } else if (igualesSinCaso(n.texto, "FALSE")) {
            n = Nodo{TipoToken::Numero, "0", {}};
        } else if (igualesSinCaso(n.texto, "DISTINCTROW")) {
            n.texto = "DISTINCT";
        } else if (igualesSinCaso(n.texto, "@@IDENTITY")) {
            // The key the last INSERT of this connection was given.
            n.texto = "last_insert_rowid";
            nivel.insert(nivel.begin() + static_cast<std::ptrdiff_t>(k + 1), grupo({}));
            ++k;
        } else if (igualesSinCaso(n.texto, "NOW")) {
            n.texto = "now";
            if (llamada) {
                if (!nivel[k + 1].hijos.empty()) throw ErrorTraduccion("Now takes no arguments");
            } else {
                nivel.insert(nivel.begin() + static_cast<std::ptrdiff_t>(k + 1), grupo({}));
            }
            ++k;
        } else if (llamada && igualesSinCaso(n.texto, "LEFT")) {
            n.texto = "izquierda";
        } else if (llamada && igualesSinCaso(n.texto, "MID")) {
            n.texto = "substr";
        } else if (llamada && igualesSinCaso(n.texto, "LEN")) {
            n.texto = "length";
        }
    }
}

// SELECT [DISTINCT] TOP n ... becomes SELECT ... LIMIT n. In a UNION each
// arm keeps its own limit as a subquery, ordered by the union's final ORDER
// BY so that each arm takes its first rows in the final order.
void reescribirSelect(Nodos& nivel) {
    const size_t inicio = buscarPalabra(nivel, "SELECT");
    if (inicio == nivel.size()) return;
    std::vector<Nodos> brazos(1);
    std::vector<Nodos> uniones;
    for (size_t k = inicio; k < nivel.size(); ++k) {
        if (esPalabra(nivel[k], "UNION")) {
            Nodos union_{nivel[k]};
            if (k + 1 < nivel.size() && esPalabra(nivel[k + 1], "ALL"))
                union_.push_back(nivel[++k]);
            uniones.push_back(std::move(union_));
            brazos.emplace_back();
            continue;
        }
        brazos.back().push_back(std::move(nivel[k]));
    }
    nivel.resize(inicio);

    Nodos ordenFinal;
    if (brazos.size() > 1) {
        Nodos& ultimo = brazos.back();
        for (size_t k = 0; k + 1 < ultimo.size(); ++k) {
            if (esPalabra(ultimo[k], "ORDER") && esPalabra(ultimo[k + 1], "BY")) {
                ordenFinal.assign(ultimo.begin() + static_cast<std::ptrdiff_t>(k), ultimo.end());
                ultimo.resize(k);
                break;
            }
        }
    }
    for (size_t b = 0; b < brazos.size(); ++b) {
        Nodos& brazo = brazos[b];
        size_t k = 1;
        if (k < brazo.size() && esPalabraEn(brazo[k], {"DISTINCT", "ALL"})) ++k;
        if (k + 1 < brazo.size() && esPalabra(brazo[k], "TOP") &&
            brazo[k + 1].tipo == TipoToken::Numero) {
            Nodo limite = brazo[k + 1];
            brazo.erase(brazo.begin() + static_cast<std::ptrdiff_t>(k),
                        brazo.begin() + static_cast<std::ptrdiff_t>(k + 2));
            if (k < brazo.size() && esPalabra(brazo[k], "PERCENT"))
                throw ErrorTraduccion("TOP n PERCENT is not supported");
            if (brazos.size() == 1) {
                brazo.push_back(palabra("LIMIT"));
                brazo.push_back(std::move(limite));
            } else {
                Nodos interno = std::move(brazo);
                interno.insert(interno.end(), ordenFinal.begin(), ordenFinal.end());
                interno.push_back(palabra("LIMIT"));
                interno.push_back(std::move(limite));
                brazo = {palabra("SELECT"), Nodo{TipoToken::Operador, "*", {}}, palabra("FROM"),
                         grupo(std::move(interno))};
            }
        }
        for (Nodo& n : brazo) nivel.push_back(std::move(n));
        if (b < uniones.size())
            for (Nodo& n : uniones[b]) nivel.push_back(std::move(n));
    }
    for (Nodo& n : ordenFinal) nivel.push_back(std::move(n));
}

void reescribirNivel(Nodos& nivel, size_t excluirDesde = 0, size_t excluirHasta = 0) {
    for (Nodo& n : nivel)
        if (n.esGrupo()) reescribirNivel(n.hijos);
    reescribirPalabras(nivel);
    reescribirConcatenacion(nivel);
    reescribirLike(nivel);
    reescribirColacion(nivel, excluirDesde, excluirHasta);
    reescribirSelect(nivel);
}

// ---- statement forms ------------------------------------------------------

std::string nombreDe(const Nodo& n) {
    return n.texto;
}

// The name that stands for a table in [desde, hasta): "t", "t AS x", "t x".
std::string aliasDe(const Nodos& nivel, size_t desde, size_t hasta) {
    if (hasta > desde + 2 && esPalabra(nivel[desde + 1], "AS")) return nombreDe(nivel[desde + 2]);
    if (hasta == desde + 2 && esNombre(nivel[desde + 1])) return nombreDe(nivel[desde + 1]);
    return hasta > desde ? nombreDe(nivel[desde]) : std::string();
}

// "x.col = v" becomes "col = v": SQLite names the assigned column alone.
// Returns the qualifiers removed.
std::vector<std::string> descalificarAsignaciones(std::vector<Nodos>& asignaciones) {
    std::vector<std::string> calificadores;
    for (Nodos& a : asignaciones) {
        if (a.size() >= 4 && esNombre(a[0]) && a[1].tipo == TipoToken::Punto && esNombre(a[2])) {
            calificadores.push_back(a[0].texto);
            a.erase(a.begin(), a.begin() + 2);
        }
    }
    return calificadores;
}

void convertirFechasAsignadas(std::vector<Nodos>& asignaciones, const std::string& tabla,
                              const InfoEsquema* info) {
    if (!info) return;
    for (Nodos& a : asignaciones) {
        if (a.size() >= 3 && esNombre(a[0]) && a[1].tipo == TipoToken::Operador &&
            a[1].texto == "=" && a[2].tipo == TipoToken::Texto &&
            info->esColumnaFecha(tabla, a[0].texto))
            a[2].texto = textoFechaCanonico(a[2].texto);
    }
}

// col op 'text' at the top level of a WHERE, for a date column of the
// statement's table.
void convertirFechasComparadas(Nodos& nivel, size_t desde, const std::string& tabla,
                               const InfoEsquema* info) {
    if (!info || tabla.empty()) return;
    for (size_t k = desde; k + 2 < nivel.size(); ++k) {
        if (esNombre(nivel[k]) && esComparacion(nivel[k + 1]) &&
            nivel[k + 2].tipo == TipoToken::Texto &&
            (k == 0 || nivel[k - 1].tipo != TipoToken::Punto) &&
            info->esColumnaFecha(tabla, nivel[k].texto))
            nivel[k + 2].texto = textoFechaCanonico(nivel[k + 2].texto);
    }
}

void reescribirUpdate(Nodos& nivel, const InfoEsquema* info) {
    const size_t set = buscarPalabra(nivel, "SET");
    if (set == nivel.size()) return;
    const size_t where = buscarPalabra(nivel, "WHERE", set);
    const size_t join = buscarPalabra(nivel, "JOIN");
    std::vector<Nodos> asignaciones =
        separarPorComas(Nodos(nivel.begin() + static_cast<std::ptrdiff_t>(set + 1),
                              nivel.begin() + static_cast<std::ptrdiff_t>(where)));
    const std::vector<std::string> calificadores = descalificarAsignaciones(asignaciones);
    Nodos condicion(nivel.begin() + static_cast<std::ptrdiff_t>(std::min(where + 1, nivel.size())),
                    nivel.end());

    if (join > set) {
        const std::string tabla = set > 1 ? nombreDe(nivel[1]) : std::string();
        convertirFechasAsignadas(asignaciones, tabla, info);
        Nodos r(nivel.begin(), nivel.begin() + static_cast<std::ptrdiff_t>(set + 1));
        Nodos asignado = unirConComas(std::move(asignaciones));
        r.insert(r.end(), asignado.begin(), asignado.end());
        if (where < nivel.size()) {
            r.push_back(palabra("WHERE"));
            convertirFechasComparadas(condicion, 0, tabla, info);
            r.insert(r.end(), condicion.begin(), condicion.end());
        }
        nivel = std::move(r);
        return;
    }

    // UPDATE a AS x INNER JOIN b AS y ON cond SET ... [WHERE w]
    // becomes UPDATE a AS x SET ... FROM b AS y WHERE (cond) [AND (w)].
    size_t finDestino = join;
    while (finDestino > 1 &&
           esPalabraEn(nivel[finDestino - 1], {"INNER", "OUTER", "LEFT", "RIGHT"})) {
        if (!esPalabraEn(nivel[finDestino - 1], {"INNER"}))
            throw ErrorTraduccion("only INNER JOIN is supported in UPDATE");
        --finDestino;
    }
    const size_t on = buscarPalabra(nivel, "ON", join);
    if (on > set) throw ErrorTraduccion("UPDATE with JOIN needs ON before SET");
    Nodos destino(nivel.begin() + 1, nivel.begin() + static_cast<std::ptrdiff_t>(finDestino));
    Nodos origen(nivel.begin() + static_cast<std::ptrdiff_t>(join + 1),
                 nivel.begin() + static_cast<std::ptrdiff_t>(on));
    Nodos union_(nivel.begin() + static_cast<std::ptrdiff_t>(on + 1),
                 nivel.begin() + static_cast<std::ptrdiff_t>(set));
    if (destino.empty() || origen.empty() || union_.empty())
        throw ErrorTraduccion("malformed UPDATE with JOIN");
    // The assigned table is the one the SET names qualify.
    const std::string aliasOrigen = aliasDe(origen, 0, origen.size());
    const std::string aliasDestino = aliasDe(destino, 0, destino.size());
    bool todosDelOrigen = !calificadores.empty();
    for (const std::string& c : calificadores)
        if (!igualesSinCaso(c, aliasOrigen) || igualesSinCaso(c, aliasDestino))
            todosDelOrigen = false;
    if (todosDelOrigen) std::swap(destino, origen);

    convertirFechasAsignadas(asignaciones, nombreDe(destino[0]), info);
    Nodos r{nivel[0]};
    r.insert(r.end(), destino.begin(), destino.end());
    r.push_back(palabra("SET"));
    Nodos asignado = unirConComas(std::move(asignaciones));
    r.insert(r.end(), asignado.begin(), asignado.end());
    r.push_back(palabra("FROM"));
    r.insert(r.end(), origen.begin(), origen.end());
    r.push_back(palabra("WHERE"));
    r.push_back(grupo(std::move(union_)));
    if (!condicion.empty()) {
        r.push_back(palabra("AND"));
        r.push_back(grupo(std::move(condicion)));
    }
    nivel = std::move(r);
}

void reescribirInsert(Nodos& nivel, const InfoEsquema* info) {
    // INSERT INTO t [(cols)] VALUES (vals)
    if (!info || nivel.size() < 4 || !esPalabra(nivel[1], "INTO") || !esNombre(nivel[2])) return;
    const std::string tabla = nivel[2].texto;
    size_t k = 3;
    std::vector<std::string> columnas;
    if (nivel[k].esGrupo()) {
        for (const Nodos& c : separarPorComas(nivel[k].hijos))
            columnas.push_back(c.size() == 1 && esNombre(c[0]) ? c[0].texto : std::string());
        ++k;
    } else {
        columnas = info->columnas(tabla);
    }
    if (k + 1 >= nivel.size() || !esPalabra(nivel[k], "VALUES") || !nivel[k + 1].esGrupo()) return;
    std::vector<Nodos> valores = separarPorComas(nivel[k + 1].hijos);
    bool cambio = false;
    for (size_t v = 0; v < valores.size() && v < columnas.size(); ++v) {
        if (valores[v].size() == 1 && valores[v][0].tipo == TipoToken::Texto &&
            !columnas[v].empty() && info->esColumnaFecha(tabla, columnas[v])) {
            valores[v][0].texto = textoFechaCanonico(valores[v][0].texto);
            cambio = true;
        }
    }
    if (cambio) nivel[k + 1].hijos = unirConComas(std::move(valores));
}

// Access column types: text columns compare as the dialect does (collation
// ACCESS); COUNTER is the auto-numbered key; BIT is Yes/No; other types keep
// their names, which tell the data layer the kind of each column.
void reescribirCreateTable(Nodos& nivel) {
    if (nivel.size() < 4 || !esPalabra(nivel[1], "TABLE") || !nivel.back().esGrupo()) return;
    std::vector<Nodos> definiciones = separarPorComas(nivel.back().hijos);
    for (Nodos& d : definiciones) {
        if (d.size() < 2 || !esNombre(d[0]) ||
            esPalabraEn(d[0], {"PRIMARY", "CONSTRAINT", "UNIQUE", "FOREIGN", "CHECK"}) ||
            d[1].tipo != TipoToken::Nombre)
            continue;
        const size_t finTipo = (d.size() > 2 && d[2].esGrupo()) ? 3 : 2;
        if (esPalabraEn(d[1], {"TEXT", "MEMO", "CHAR", "VARCHAR", "STRING", "LONGTEXT", "CHARACTER",
                               "NTEXT", "NVARCHAR", "NCHAR"})) {
            // MEMO as a declared type would give the column numeric affinity
            // (a stored '007' would read back as 7); LONGTEXT is its synonym.
            if (esPalabra(d[1], "MEMO")) d[1].texto = "LONGTEXT";
            if (buscarPalabra(d, "COLLATE") == d.size())
                d.insert(d.begin() + static_cast<std::ptrdiff_t>(finTipo),
                         {palabra("COLLATE"), palabra("ACCESS")});
        } else if (esPalabraEn(d[1], {"COUNTER", "AUTOINCREMENT"})) {
            d.erase(d.begin() + 1, d.begin() + static_cast<std::ptrdiff_t>(finTipo));
            d.insert(d.begin() + 1, {palabra("INTEGER"), palabra("PRIMARY"), palabra("KEY"),
                                     palabra("AUTOINCREMENT")});
        } else if (esPalabraEn(d[1], {"BIT", "LOGICAL", "YESNO"})) {
            d[1].texto = "YESNO";
        }
    }
    nivel.back().hijos = unirConComas(std::move(definiciones));
}

std::string traducirTexto(std::string_view sqlAccess, const InfoEsquema* info) {
    std::vector<Token> tokens = tokenizar(sqlAccess);
    while (!tokens.empty() && tokens.back().tipo == TipoToken::PuntoYComa) tokens.pop_back();
    int parametro = 0;
    for (Token& t : tokens) {
        if (t.tipo == TipoToken::PuntoYComa) throw ErrorTraduccion("one statement per SQL text");
        if (t.tipo == TipoToken::Parametro) t.texto = "?" + std::to_string(++parametro);
    }
    if (tokens.empty()) throw ErrorTraduccion("empty SQL text");
    if (tokens.size() == 1 &&
        (tokens[0].tipo == TipoToken::Nombre || tokens[0].tipo == TipoToken::NombreCorchetes)) {
        // A bare table name opens the whole table.
        tokens.insert(tokens.begin(), {{TipoToken::Nombre, "SELECT"},
                                       {TipoToken::Operador, "*"},
                                       {TipoToken::Nombre, "FROM"}});
    }
    size_t i = 0;
    Nodos nivel = construirNivel(tokens, i, 0);

    // Copied: the rewrites below insert nodes and may move the level.
    const Nodo primero = nivel[0];
    size_t excluirDesde = 0;
    size_t excluirHasta = 0;
    if (esPalabra(primero, "UPDATE")) {
        // The SET list assigns; it compares nothing.
        excluirDesde = buscarPalabra(nivel, "SET");
        excluirHasta = buscarPalabra(nivel, "WHERE", excluirDesde);
    }
    reescribirNivel(nivel, excluirDesde, excluirHasta);

    if (esPalabra(primero, "UPDATE")) {
        reescribirUpdate(nivel, info);
    } else if (esPalabra(primero, "INSERT")) {
        reescribirInsert(nivel, info);
    } else if (esPalabra(primero, "CREATE")) {
        reescribirCreateTable(nivel);
    } else if (esPalabra(primero, "DELETE")) {
        if (nivel.size() > 1 && nivel[1].tipo == TipoToken::Operador && nivel[1].texto == "*")
            nivel.erase(nivel.begin() + 1);
        if (nivel.size() > 2 && esPalabra(nivel[1], "FROM") && esNombre(nivel[2]))
            convertirFechasComparadas(nivel, buscarPalabra(nivel, "WHERE"), nivel[2].texto, info);
    } else if (esPalabra(primero, "SELECT")) {
        const size_t from = buscarPalabra(nivel, "FROM");
        const size_t where = buscarPalabra(nivel, "WHERE");
        // Only a single-table SELECT tells unambiguously which table a name is of.
        if (from + 2 < nivel.size() && esNombre(nivel[from + 1]) &&
            buscarPalabra(nivel, "JOIN") == nivel.size() &&
            buscarPalabra(nivel, "UNION") == nivel.size() &&
            (from + 2 == where || (from + 3 < nivel.size() && from + 3 == where) ||
             (from + 4 == where && esPalabra(nivel[from + 2], "AS"))))
            convertirFechasComparadas(nivel, where, nivel[from + 1].texto, info);
    }

    std::string salida;
    salida.reserve(sqlAccess.size() + 32);
    escribir(nivel, salida);
    return salida;
}

}  // namespace

std::string traducir(std::string_view sqlAccess, const InfoEsquema* info) {
    return traducirTexto(sqlAccess, info);
}

}  // namespace datos::sql
