#include "datos/sql/FuncionesSqlite.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

#include "comun/Texto.h"
#include "comun/Variant.h"

// This file is built twice: into the program, where it calls SQLite
// directly, and into the loadable extension, where every SQLite call goes
// through the routines the loading process hands over (that process may
// carry its own copy of SQLite rather than the system library).
#ifdef SINC_EXTENSION_SQLITE
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT3
#endif

namespace datos::sql {

namespace {

// The program's one UTF-8 reader: a byte that does not start a well-formed
// sequence reads as itself (Latin-1), so every input compares consistently.
using comun::leerCodigo;

// Base letters of U+00C0..U+00FF; '-' keeps the letter (upper half: the
// upper-case form).
constexpr std::string_view kLatin1 =
    "AAAAAA-CEEEEIIIIDNOOOOO-OUUUUY--"
    "AAAAAA-CEEEEIIIIDNOOOOO-OUUUUY-Y";
// Base letters of U+0100..U+017F (Latin Extended-A); '-' folds the lower
// case form (odd code point) onto the upper case one.
constexpr std::string_view kLatinA =
    "AAAAAACCCCCCCCDDDDEEEEEEEEEEGGGGGGGGHHHHIIIIIIIIII--JJKKKLLLLLLLLLLNNNNNNNNN"
    "OOOOOO--RRRRRRSSSSSSSSTTTTTTUUUUUUUUUUUUWWYYYZZZZZZS";

// The code point a character compares as: upper case, without accent.
char32_t plegar(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    if (c >= 0xC0 && c <= 0xFF) {
        const char base = kLatin1[c - 0xC0];
        if (base != '-') return static_cast<char32_t>(base);
        if (c >= 0xE0 && c != 0xF7) return c - 0x20;
        return c;
    }
    if (c >= 0x100 && c <= 0x17F) {
        const char base = kLatinA[c - 0x100];
        if (base != '-') return static_cast<char32_t>(base);
        return c & ~char32_t{1};
    }
    if (c == 0xB5) return 0x39C;  // micro sign reads as Greek capital mu
    return c;
}

std::vector<char32_t> plegarTexto(std::string_view s) {
    std::vector<char32_t> r;
    r.reserve(s.size());
    size_t pos = 0;
    while (pos < s.size()) r.push_back(plegar(leerCodigo(s, pos)));
    return r;
}

std::string_view textoDe(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string_view(p, static_cast<size_t>(sqlite3_value_bytes(v)))
             : std::string_view();
}

// Text of a value as the runtime writes it: integers without ".0", reals
// with "." decimals and no grouping.
std::string textoValor(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            return std::to_string(sqlite3_value_int64(v));
        case SQLITE_FLOAT:
            return comun::textoDouble(sqlite3_value_double(v));
        case SQLITE_NULL:
            return {};
        default:
            return std::string(textoDe(v));
    }
}

void resultadoTexto(sqlite3_context* ctx, const std::string& s) {
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

int colacionAccess(void*, int n1, const void* p1, int n2, const void* p2) {
    return compararAccess(std::string_view(static_cast<const char*>(p1), static_cast<size_t>(n1)),
                          std::string_view(static_cast<const char*>(p2), static_cast<size_t>(n2)));
}

void fnIsNumeric(sqlite3_context* ctx, int, sqlite3_value** argv) {
    switch (sqlite3_value_type(argv[0])) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            sqlite3_result_int(ctx, 1);
            return;
        case SQLITE_TEXT:
            sqlite3_result_int(ctx, comun::IsNumeric(textoDe(argv[0])) ? 1 : 0);
            return;
        default:
            sqlite3_result_int(ctx, 0);
    }
}

void fnUcase(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    resultadoTexto(ctx, comun::mayusculas(textoValor(argv[0])));
}

void fnCstr(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    resultadoTexto(ctx, textoValor(argv[0]));
}

void fnCint(sqlite3_context* ctx, int, sqlite3_value** argv) {
    double valor = 0;
    switch (sqlite3_value_type(argv[0])) {
        case SQLITE_NULL:
            return sqlite3_result_null(ctx);
        case SQLITE_INTEGER: {
            const sqlite3_int64 entero = sqlite3_value_int64(argv[0]);
            if (entero < -32768 || entero > 32767) return sqlite3_result_error(ctx, "Overflow", -1);
            return sqlite3_result_int(ctx, static_cast<int>(entero));
        }
        case SQLITE_FLOAT:
            valor = sqlite3_value_double(argv[0]);
            break;
        default: {
            const std::string_view texto = textoDe(argv[0]);
            if (!comun::IsNumeric(texto)) return sqlite3_result_error(ctx, "Type mismatch", -1);
            try {
                valor = comun::Variant(texto).CDbl();
            } catch (const std::exception&) {
                return sqlite3_result_error(ctx, "Type mismatch", -1);
            }
        }
    }
    // Ties go to the even neighbour, as the runtime's CInt does.
    const double redondeado = std::nearbyint(valor);
    if (!(redondeado >= -32768.0 && redondeado <= 32767.0))
        return sqlite3_result_error(ctx, "Overflow", -1);
    sqlite3_result_int(ctx, static_cast<int>(redondeado));
}

void fnIzquierda(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const sqlite3_int64 n = sqlite3_value_int64(argv[1]);
    if (n < 0) return sqlite3_result_error(ctx, "Invalid procedure call or argument", -1);
    const std::string texto = textoValor(argv[0]);
    size_t pos = 0;
    for (sqlite3_int64 k = 0; k < n && pos < texto.size(); ++k) leerCodigo(texto, pos);
    sqlite3_result_text(ctx, texto.data(), static_cast<int>(pos), SQLITE_TRANSIENT);
}

void fnNow(sqlite3_context* ctx, int, sqlite3_value**) {
    // The clock the connection was opened with; the machine's without one.
    const auto* reloj = static_cast<const comun::Reloj*>(sqlite3_user_data(ctx));
    const comun::Fecha f = reloj ? reloj->ahora() : comun::RelojSistema().ahora();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", f.anio, f.mes, f.dia, f.hora,
                  f.minuto, f.segundo);
    sqlite3_result_text(ctx, buf, -1, SQLITE_TRANSIENT);
}

// The & operator: Null reads as empty text; only Null & Null is Null.
void fnConcatenar(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    std::string r;
    bool todoNull = argc > 0;
    for (int k = 0; k < argc; ++k) {
        if (sqlite3_value_type(argv[k]) == SQLITE_NULL) continue;
        todoNull = false;
        r += textoValor(argv[k]);
    }
    if (todoNull) return sqlite3_result_null(ctx);
    resultadoTexto(ctx, r);
}

void fnComodines(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    resultadoTexto(ctx, convertirPatronLike(textoValor(argv[0])));
}

// like(pattern, text[, escape]): SQLite calls it for "text LIKE pattern".
void fnLike(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int k = 0; k < argc; ++k)
        if (sqlite3_value_type(argv[k]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    char32_t escape = 0;
    if (argc == 3) {
        const std::string_view e = textoDe(argv[2]);
        size_t pos = 0;
        if (!e.empty()) escape = leerCodigo(e, pos);
        if (e.empty() || pos != e.size())
            return sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
    }
    const std::string patron = textoValor(argv[0]);
    const std::string texto = textoValor(argv[1]);
    sqlite3_result_int(ctx, coincideLike(texto, patron, escape) ? 1 : 0);
}

void comprobar(int rc, sqlite3* db, const char* nombre) {
    if (rc != SQLITE_OK)
        throw std::runtime_error(std::string("cannot register SQL function ") + nombre + ": " +
                                 sqlite3_errmsg(db));
}

}  // namespace

int compararAccess(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t ca = plegar(leerCodigo(a, i));
        const char32_t cb = plegar(leerCodigo(b, j));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

bool coincideLike(std::string_view texto, std::string_view patron, char32_t escape) {
    enum class Clase { Literal, Uno, Varios };
    struct Elemento {
        Clase clase;
        char32_t codigo;
    };
    std::vector<Elemento> p;
    p.reserve(patron.size());
    size_t pos = 0;
    while (pos < patron.size()) {
        const char32_t c = leerCodigo(patron, pos);
        if (escape != 0 && c == escape && pos < patron.size()) {
            p.push_back({Clase::Literal, plegar(leerCodigo(patron, pos))});
        } else if (c == '%') {
            if (p.empty() || p.back().clase != Clase::Varios) p.push_back({Clase::Varios, 0});
        } else if (c == '_') {
            p.push_back({Clase::Uno, 0});
        } else {
            p.push_back({Clase::Literal, plegar(c)});
        }
    }
    const std::vector<char32_t> t = plegarTexto(texto);
    // Greedy match with one restart point: the last % seen.
    size_t it = 0;
    size_t ip = 0;
    size_t comodin = p.size();
    size_t desde = 0;
    while (it < t.size()) {
        if (ip < p.size() && (p[ip].clase == Clase::Uno ||
                              (p[ip].clase == Clase::Literal && p[ip].codigo == t[it]))) {
            ++it;
            ++ip;
        } else if (ip < p.size() && p[ip].clase == Clase::Varios) {
            comodin = ip++;
            desde = it;
        } else if (comodin != p.size()) {
            ip = comodin + 1;
            it = ++desde;
        } else {
            return false;
        }
    }
    while (ip < p.size() && p[ip].clase == Clase::Varios) ++ip;
    return ip == p.size();
}

std::string convertirPatronLike(std::string_view patronAccess) {
    std::string r;
    r.reserve(patronAccess.size() + 4);
    auto literal = [&r](char c) {
        if (c == '%' || c == '_' || c == '\\') r.push_back('\\');
        r.push_back(c);
    };
    size_t i = 0;
    while (i < patronAccess.size()) {
        const char c = patronAccess[i];
        if (c == '*') {
            r.push_back('%');
            ++i;
        } else if (c == '?' || c == '#') {
            r.push_back('_');
            ++i;
        } else if (c == '[') {
            const size_t fin = patronAccess.find(']', i + 1);
            if (fin == std::string_view::npos) {
                // An unclosed bracket is taken literally.
                literal(c);
                ++i;
                continue;
            }
            const std::string_view dentro = patronAccess.substr(i + 1, fin - i - 1);
            size_t pos = 0;
            if (!dentro.empty() && dentro[0] != '!') leerCodigo(dentro, pos);
            if (!dentro.empty() && pos == dentro.size()) {
                for (char d : dentro) literal(d);  // [*] is a literal *
            } else {
                r.push_back('_');
            }
            i = fin + 1;
        } else {
            literal(c);
            ++i;
        }
    }
    return r;
}

void registrarFunciones(sqlite3* db, const comun::Reloj* reloj) {
    // Innocuous: no side effects, so a view or trigger of a schema may use
    // them even where the schema is not trusted.
    constexpr int kDet = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    comprobar(
        sqlite3_create_collation_v2(db, "ACCESS", SQLITE_UTF8, nullptr, colacionAccess, nullptr),
        db, "ACCESS");
    struct Registro {
        const char* nombre;
        int argumentos;
        int banderas;
        void (*funcion)(sqlite3_context*, int, sqlite3_value**);
    };
    const Registro registros[] = {
        {"isnumeric", 1, kDet, fnIsNumeric},
        {"ucase", 1, kDet, fnUcase},
        {"cstr", 1, kDet, fnCstr},
        {"cint", 1, kDet, fnCint},
        {"izquierda", 2, kDet, fnIzquierda},
        {"now", 0, SQLITE_UTF8 | SQLITE_INNOCUOUS, fnNow},
        {"concatenar", -1, kDet, fnConcatenar},
        {"comodines", 1, kDet, fnComodines},
        {"like", 2, kDet, fnLike},
        {"like", 3, kDet, fnLike},
    };
    for (const Registro& r : registros)
        comprobar(sqlite3_create_function_v2(
                      db, r.nombre, r.argumentos, r.banderas,
                      r.funcion == fnNow ? const_cast<comun::Reloj*>(reloj) : nullptr, r.funcion,
                      nullptr, nullptr, nullptr),
                  db, r.nombre);
}

}  // namespace datos::sql
