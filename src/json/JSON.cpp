#include "json/JSON.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <unordered_set>

#include "comun/Texto.h"

namespace json {

using comun::Decimal;

// ---------------------------------------------------------------------------
// Dictionary and collection

size_t Diccionario::buscar(std::string_view clave) const {
    if (!forma_) return 0;
    const auto& claves = forma_->claves;
    if (claves.size() > kUmbralIndice) {
        auto it = forma_->indice.find(std::string(clave));
        return it == forma_->indice.end() ? claves.size() : it->second;
    }
    for (size_t i = 0; i < claves.size(); ++i) {
        if (claves[i] == clave) return i;
    }
    return claves.size();
}

const std::vector<std::string>& Diccionario::Keys() const {
    static const std::vector<std::string> kNinguna;
    return forma_ ? forma_->claves : kNinguna;
}

bool Diccionario::Exists(std::string_view clave) const {
    return buscar(clave) < Count();
}

Variant Diccionario::Item(std::string_view clave) const {
    size_t i = buscar(clave);
    return i < Count() ? valores_[i] : Variant();
}

void Diccionario::asignar(std::shared_ptr<Forma> forma, std::vector<Variant> valores) {
    forma_ = std::move(forma);
    valores_ = std::move(valores);
}

Diccionario::Forma& Diccionario::formaPropia() {
    if (!forma_) {
        forma_ = std::make_shared<Forma>();
    } else if (forma_.use_count() > 1) {
        forma_ = std::make_shared<Forma>(*forma_);
    }
    return *forma_;
}

void Diccionario::agregarDistinta(std::string clave, Variant valor) {
    Forma& forma = formaPropia();
    const size_t i = forma.claves.size();
    if (i + 1 > kUmbralIndice) {
        if (forma.indice.empty()) {
            forma.indice.reserve(2 * kUmbralIndice);
            for (size_t k = 0; k < i; ++k) forma.indice.emplace(forma.claves[k], k);
        }
        forma.indice.emplace(clave, i);
    }
    forma.claves.push_back(std::move(clave));
    valores_.push_back(std::move(valor));
}

bool Diccionario::Add(std::string clave, Variant valor) {
    if (Exists(clave)) return false;
    agregarDistinta(std::move(clave), std::move(valor));
    return true;
}

void Diccionario::Set(std::string clave, Variant valor) {
    size_t i = buscar(clave);
    if (i < Count()) {
        valores_[i] = std::move(valor);
        return;
    }
    agregarDistinta(std::move(clave), std::move(valor));
}

const Variant& Coleccion::Item(size_t i) const {
    if (i < 1 || i > elementos_.size()) throw std::out_of_range("Subscript out of range");
    return elementos_[i - 1];
}

// ---------------------------------------------------------------------------
// UTF-8 helpers

namespace {

bool esContinuacion(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// One pair of UTF-8 helpers for the whole program: a byte that does not
// start a well-formed sequence (overlong forms and surrogates included)
// reads as itself, and a surrogate is never written.
using comun::escribirCodigo;
using comun::leerCodigo;

// The first `n` characters from byte `desde`.
std::string_view primeros(std::string_view t, size_t desde, size_t n) {
    if (desde >= t.size()) return {};
    size_t i = desde;
    for (size_t k = 0; k < n && i < t.size(); ++k) leerCodigo(t, i);
    return t.substr(desde, i - desde);
}

// The last `n` characters of the text.
std::string_view ultimos(std::string_view t, size_t n) {
    size_t i = t.size();
    for (size_t k = 0; k < n && i > 0; ++k) {
        size_t j = i - 1;
        // Step back over continuation bytes, but only as far as a lead byte
        // that really owns them.
        size_t limite = i >= 4 ? i - 4 : 0;
        while (j > limite && esContinuacion(static_cast<unsigned char>(t[j]))) --j;
        size_t prueba = j;
        leerCodigo(t, prueba);
        i = prueba == i ? j : i - 1;
    }
    return t.substr(i);
}

// ---------------------------------------------------------------------------
// The parser

// The runtime's descriptions of the two errors a parse can raise.
constexpr std::string_view kErrorConversion = "Type mismatch";
constexpr std::string_view kErrorClaveRepetida =
    "This key is already associated with an element of this collection";
// Deeper texts are refused with an error line instead of exhausting the stack.
constexpr int kProfundidadMaxima = 1000;
// The error text keeps its first lines up to this size; the rest are only
// counted. A broken answer of millions of bad members would otherwise make
// an error text larger than the answer, all of it bound for the console.
constexpr size_t kMaximoTextoErrores = 64 * 1024;
// The tree may take this many times the text's size, and at least
// kPresupuestoMinimo bytes: a text of tiny values ("1,1,1,..." or
// "[],[],...") would otherwise take tens of times its size. A real answer
// takes less than 3.5 times its size.
constexpr size_t kFactorPresupuesto = 4;
constexpr size_t kPresupuestoMinimo = size_t{16} << 20;
// The runtime's description of the error raised when memory runs out.
constexpr std::string_view kErrorMemoria = "Out of memory";

enum class Resultado {
    Ok,
    ErrorConversion,  // raised error: the enclosing container reports it and ends
    Abortar,          // already reported: every enclosing container ends
};

constexpr std::array<bool, 256> tablaNumero() {
    std::array<bool, 256> t{};
    for (char c : std::string_view("+-0123456789.eE")) t[static_cast<unsigned char>(c)] = true;
    return t;
}
constexpr auto kCaracterNumero = tablaNumero();

constexpr std::array<bool, 256> tablaFinDeTramoClave() {
    std::array<bool, 256> t{};
    for (char c : std::string_view("\"':\r\n\t ")) t[static_cast<unsigned char>(c)] = true;
    return t;
}
constexpr auto kFinDeTramoClave = tablaFinDeTramoClave();

bool esDigito(char c) {
    return c >= '0' && c <= '9';
}

// Sign, digits with optional decimals (at least one digit) and an optional
// exponent with at least one digit.
bool numeroValido(std::string_view t) {
    size_t i = 0, n = t.size();
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    size_t digitos = 0;
    while (i < n && esDigito(t[i])) ++i, ++digitos;
    if (i < n && t[i] == '.') {
        ++i;
        while (i < n && esDigito(t[i])) ++i, ++digitos;
    }
    if (digitos == 0) return false;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
        size_t exp = 0;
        while (i < n && esDigito(t[i])) ++i, ++exp;
        if (exp == 0) return false;
    }
    return i == n;
}

int valorHex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The first bytes of `t`, at most `n`, without cutting a character.
std::string_view cabeza(std::string_view t, size_t n) {
    if (n >= t.size()) return t;
    while (n > 0 && esContinuacion(static_cast<unsigned char>(t[n]))) --n;
    return t.substr(0, n);
}

// What the heap spends on a text beyond the string object itself: nothing
// while it fits in the object, otherwise its block and the block's header.
size_t costoTexto(const std::string& t) {
    static const size_t kEnLinea = std::string().capacity();
    return t.capacity() > kEnLinea ? t.capacity() + 1 + 16 : 0;
}

class Analizador {
  public:
    Analizador(std::string_view texto, std::string& errores)
        : s_(texto),
          e_(errores),
          presupuesto_(std::max(kFactorPresupuesto * texto.size(), kPresupuestoMinimo)) {}

    Variant raiz() {
        saltar();
        Variant v;
        if (p_ < s_.size() && s_[p_] == '{') {
            objeto(v);
        } else if (p_ < s_.size() && s_[p_] == '[') {
            arreglo(v);
        } else {
            e_ = "Invalid JSON";
        }
        if (omitidos_ > 0) {
            e_ += "(" + std::to_string(omitidos_) + " more errors left out)\r\n";
        }
        return v;
    }

  private:
    std::string_view s_;
    std::string& e_;
    size_t p_ = 0;  // 0-based; error texts show p_ + 1
    int profundidad_ = 0;

    // Error lines past kMaximoTextoErrores, counted.
    size_t omitidos_ = 0;
    bool erroresLlenos_ = false;

    // Appends one error line made of `partes` and CR LF. The line that
    // reaches kMaximoTextoErrores is cut there (whole characters, then
    // "..."); later lines are only counted.
    void anotar(std::initializer_list<std::string_view> partes) {
        if (erroresLlenos_) {
            ++omitidos_;
            return;
        }
        for (std::string_view parte : partes) {
            const size_t cabe = kMaximoTextoErrores - std::min(e_.size(), kMaximoTextoErrores);
            if (parte.size() > cabe) {
                e_ += cabeza(parte, cabe);
                e_ += "...";
                erroresLlenos_ = true;
                break;
            }
            e_ += parte;
        }
        e_ += "\r\n";
        if (e_.size() >= kMaximoTextoErrores) erroresLlenos_ = true;
    }

    // Bytes the tree may still take. Each value is charged as it joins the
    // tree, at about what it costs the heap; once the budget is spent the
    // container being filled reports kErrorMemoria and the parse ends.
    size_t presupuesto_;
    bool sinMemoria_ = false;

    void cargar(size_t bytes) {
        if (bytes > presupuesto_) {
            presupuesto_ = 0;
            sinMemoria_ = true;
        } else {
            presupuesto_ -= bytes;
        }
    }

    // What a parsed value costs beyond the slot that holds it.
    static size_t costoContenido(const Variant& v) {
        if (v.tipo() == comun::TipoVariant::String) return costoTexto(v.comoTexto());
        if (v.tipo() == comun::TipoVariant::Decimal) {
            return costoTexto(std::get<comun::Decimal>(v.interno()).digitos);
        }
        return 0;  // containers are charged as they are built
    }

    // Approximate heap costs of the tree's parts, each block with its
    // header. A collection's deque keeps its elements in 512-byte blocks and
    // takes a block and its map as soon as it is made.
    static constexpr size_t kCostoBloque = 16;
    static constexpr size_t kCostoDiccionario = sizeof(Diccionario) + 3 * kCostoBloque;
    static constexpr size_t kCostoColeccion =
        sizeof(Coleccion) + 2 * kCostoBloque + (64 + kCostoBloque) + (512 + kCostoBloque);
    static constexpr size_t kCostoElemento =
        (512 + kCostoBloque + sizeof(void*)) / (512 / sizeof(Variant)) + 1;
    // One key in a hash index: its node (the key, the position or nothing,
    // the cached hash and the link) and its bucket.
    static constexpr size_t kCostoEntradaHash =
        sizeof(std::string) + 3 * sizeof(void*) + kCostoBloque + sizeof(void*);

    bool fin() const { return p_ >= s_.size(); }

    // Steps over blanks and a separating comma before the next member or
    // element. True when the object or array ends here: at its closing
    // character (consumed) or at the end of the text (reported as missing).
    bool terminaEstructura(char cierre) {
        saltar();
        if (!fin() && s_[p_] == cierre) {
            ++p_;
            return true;
        }
        if (!fin() && s_[p_] == ',') {
            ++p_;
            saltar();
        } else if (fin()) {
            anotar({cierre == '}' ? "Missing '}': " : "Missing ']': ", ultimos(s_, 20)});
            return true;
        }
        return false;
    }
    // Characters (code points) before `bytesContados_`; error texts give
    // character positions, and since the position only moves forward the
    // count goes on from where the last error left it.
    size_t bytesContados_ = 0;
    size_t caracteresContados_ = 0;

    // The 1-based character position of p_.
    std::string posicion() {
        const size_t hasta = std::min(p_, s_.size());
        while (bytesContados_ < hasta) {
            leerCodigo(s_, bytesContados_);
            ++caracteresContados_;
        }
        return std::to_string(caracteresContados_ + 1);
    }

    // Skips blanks, parentheses and comments.
    void saltar() {
        bool comentario = false, bloque = false, barra = false;
        const size_t n = s_.size();
        while (p_ < n) {
            switch (s_[p_]) {
                case '\r':
                case '\n':
                    if (!bloque) comentario = barra = false;
                    break;
                case '\t':
                case ' ':
                case '(':
                case ')':
                    break;
                case '/':
                    if (bloque) {
                        if (barra) bloque = comentario = barra = false;
                    } else if (barra) {
                        comentario = true;
                        barra = false;
                    } else {
                        barra = true;
                        comentario = bloque = false;
                    }
                    break;
                case '*':
                    if (barra) {
                        comentario = bloque = true;
                        barra = false;
                    } else {
                        barra = true;
                    }
                    break;
                default:
                    if (!comentario) return;
            }
            ++p_;
        }
    }

    Resultado profundidadExcedida() {
        anotar({"Maximum nesting depth exceeded at position ", posicion()});
        return Resultado::Abortar;
    }

    // Members of the objects being read, innermost last; each object takes
    // its own from `base` up when it ends, so no dictionary grows piecemeal.
    struct Miembro {
        std::string clave;
        Variant valor;
    };
    std::vector<Miembro> pila_;

    static uint64_t dispersion(std::string_view t) {
        uint64_t h = 1469598103934665603ull;
        for (char c : t) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        return h;
    }

    // Keys already read by the object whose members start at `base`. A
    // 256-bit filter settles most new keys without comparing; past
    // kUmbralIndice keys a hash set keeps the check linear.
    struct Vistas {
        uint64_t filtro[4] = {};
        std::unordered_set<std::string> conjunto;
    };

    bool repetida(const std::string& clave, size_t base, Vistas& vistas) {
        const size_t cuantas = pila_.size() - base;
        if (cuantas >= Diccionario::kUmbralIndice) {
            if (vistas.conjunto.empty()) {
                for (size_t i = base; i < pila_.size(); ++i) vistas.conjunto.insert(pila_[i].clave);
            }
            return vistas.conjunto.count(clave) > 0;
        }
        const uint64_t h = dispersion(clave) & 255;
        uint64_t& palabra = vistas.filtro[h >> 6];
        const uint64_t bit = uint64_t{1} << (h & 63);
        if (!(palabra & bit)) {
            palabra |= bit;
            return false;
        }
        for (size_t i = base; i < pila_.size(); ++i) {
            if (pila_[i].clave == clave) return true;
        }
        return false;
    }

    // The last key list made at each depth: the next object at that depth
    // with the same keys shares it.
    std::vector<std::shared_ptr<Diccionario::Forma>> formas_;

    // The keys of the object whose members start at `base` (the current
    // depth's last key list when they are the same); null when it has none.
    std::shared_ptr<Diccionario::Forma> forma(size_t base) {
        const size_t cuantas = pila_.size() - base;
        if (cuantas == 0) return nullptr;
        const size_t nivel = static_cast<size_t>(profundidad_);
        if (formas_.size() <= nivel) formas_.resize(nivel + 1);
        auto& previa = formas_[nivel];
        if (previa && previa->claves.size() == cuantas &&
            std::equal(previa->claves.begin(), previa->claves.end(), pila_.begin() + base,
                       [](const std::string& a, const Miembro& m) { return a == m.clave; })) {
            return previa;
        }
        auto nueva = std::make_shared<Diccionario::Forma>();
        nueva->claves.reserve(cuantas);
        for (size_t i = base; i < pila_.size(); ++i)
            nueva->claves.push_back(std::move(pila_[i].clave));
        cargar(kCostoBloque + sizeof(Diccionario::Forma));
        if (cuantas > Diccionario::kUmbralIndice) {
            // Charged member by member as the object was read.
            nueva->indice.reserve(cuantas);
            for (size_t k = 0; k < cuantas; ++k) nueva->indice.emplace(nueva->claves[k], k);
        } else {
            cargar(cuantas * sizeof(std::string));
        }
        previa = nueva;
        return nueva;
    }

    // Storage for the values of an object that has members, taken before
    // the values themselves and sized by the previous object at this depth:
    // the tree's larger blocks then lie among its small ones instead of
    // after them, so freeing the tree leaves the allocator no large free run
    // at the top of its heap to give back to the system.
    void reservarValores(std::vector<Variant>& valores) const {
        const size_t nivel = static_cast<size_t>(profundidad_);
        if (nivel < formas_.size() && formas_[nivel]) {
            valores.reserve(formas_[nivel]->claves.size());
        }
    }

    // Charges the member that joins an object at 0-based position `n`: its
    // value's slot and content, its key, and past kUmbralIndice members what
    // the object's key list and the two hash indexes of its keys (the one
    // that finds repeated keys while reading, the dictionary's own) take for
    // it; the first members' share is charged with the member that crosses.
    void cargarMiembro(size_t n, const std::string& clave, const Variant& v) {
        cargar(sizeof(Variant) + costoTexto(clave) + costoContenido(v));
        constexpr size_t kGrande = sizeof(std::string) + 2 * kCostoEntradaHash;
        if (n == Diccionario::kUmbralIndice) cargar((n + 1) * kGrande);
        if (n > Diccionario::kUmbralIndice) cargar(kGrande);
    }

    // Pushes a member. A growing stack is charged its whole new block: the
    // old one is still held while the members are moved.
    void apilar(std::string clave, Variant v) {
        const size_t antes = pila_.capacity();
        pila_.push_back({std::move(clave), std::move(v)});
        if (pila_.capacity() > antes) cargar(pila_.capacity() * sizeof(Miembro));
    }

    Resultado objeto(Variant& salida) {
        auto dic = std::make_shared<Diccionario>();
        salida = Variant(std::shared_ptr<comun::Objeto>(dic));
        saltar();
        if (fin() || s_[p_] != '{') {
            anotar({"Invalid Object at position ", posicion(), " : ",
                    s_.substr(std::min(p_, s_.size()))});
            return Resultado::Ok;
        }
        if (profundidad_ >= kProfundidadMaxima) return profundidadExcedida();
        ++profundidad_;
        ++p_;
        cargar(kCostoDiccionario);
        const size_t base = pila_.size();
        std::vector<Variant> valores;
        Vistas vistas;
        Resultado res = Resultado::Ok;
        for (;;) {
            if (terminaEstructura('}')) break;
            if (valores.capacity() == 0) reservarValores(valores);
            std::string clave = leerClave();
            Variant v;
            Resultado r = valor(v);
            if (r == Resultado::Abortar) {
                // A container cut short still joins the tree built so far.
                if (v.esObjeto() && !repetida(clave, base, vistas)) {
                    apilar(std::move(clave), std::move(v));
                }
                res = r;
                break;
            }
            if (r == Resultado::ErrorConversion) {
                anotar({kErrorConversion, ": ", clave});
                break;
            }
            if (repetida(clave, base, vistas)) {
                anotar({kErrorClaveRepetida, ": ", clave});
                break;
            }
            cargarMiembro(pila_.size() - base, clave, v);
            if (sinMemoria_) {
                anotar({kErrorMemoria, ": ", clave});
                res = Resultado::Abortar;
                break;
            }
            apilar(std::move(clave), std::move(v));
            if (!vistas.conjunto.empty()) vistas.conjunto.insert(pila_.back().clave);
        }
        const size_t cuantos = pila_.size() - base;
        valores.reserve(cuantos);
        // Storage sized by a larger sibling is given back at once.
        if (valores.capacity() > cuantos) valores.shrink_to_fit();
        for (size_t i = base; i < pila_.size(); ++i) valores.push_back(std::move(pila_[i].valor));
        dic->asignar(forma(base), std::move(valores));
        pila_.resize(base);
        --profundidad_;
        return res;
    }

    Resultado arreglo(Variant& salida) {
        auto col = std::make_shared<Coleccion>();
        salida = Variant(std::shared_ptr<comun::Objeto>(col));
        saltar();
        if (fin() || s_[p_] != '[') {
            anotar({"Invalid Array at position ", posicion(), " : ", primeros(s_, p_, 20)});
            return Resultado::Ok;
        }
        if (profundidad_ >= kProfundidadMaxima) return profundidadExcedida();
        ++profundidad_;
        ++p_;
        cargar(kCostoColeccion);
        Resultado res = Resultado::Ok;
        for (;;) {
            if (terminaEstructura(']')) break;
            Variant v;
            Resultado r = valor(v);
            if (r == Resultado::Abortar) {
                if (v.esObjeto()) col->Add(std::move(v));
                res = r;
                break;
            }
            if (r == Resultado::ErrorConversion) {
                anotar({kErrorConversion, ": ", primeros(s_, p_, 20)});
                break;
            }
            cargar(kCostoElemento + costoContenido(v));
            if (sinMemoria_) {
                anotar({kErrorMemoria, ": ", primeros(s_, p_, 20)});
                res = Resultado::Abortar;
                break;
            }
            col->Add(std::move(v));
        }
        --profundidad_;
        return res;
    }

    Resultado valor(Variant& salida) {
        saltar();
        if (fin()) return numero(salida);
        switch (s_[p_]) {
            case '{':
                return objeto(salida);
            case '[':
                return arreglo(salida);
            case '"':
            case '\'':
                return cadena(salida);
            case 't':
            case 'f':
                return booleano(salida);
            case 'n':
                return nulo(salida);
            default:
                return numero(salida);
        }
    }

    // An invalid literal does not move the position, so the container that
    // asked for it could only read it again: it ends the parse instead.
    Resultado booleano(Variant& salida) {
        std::string_view resto = s_.substr(p_);
        if (resto.starts_with("true")) {
            salida = Variant(true);
            p_ += 4;
            return Resultado::Ok;
        }
        if (resto.starts_with("false")) {
            salida = Variant(false);
            p_ += 5;
            return Resultado::Ok;
        }
        anotar({"Invalid Boolean at position ", posicion(), " : ", resto});
        salida = Variant(false);
        return Resultado::Abortar;
    }

    Resultado nulo(Variant& salida) {
        std::string_view resto = s_.substr(p_);
        if (resto.starts_with("null")) {
            salida = Variant::Null();
            p_ += 4;
            return Resultado::Ok;
        }
        anotar({"Invalid null value at position ", posicion(), " : ", resto});
        return Resultado::Abortar;
    }

    Resultado numero(Variant& salida) {
        saltar();
        const size_t inicio = p_, n = s_.size();
        while (p_ < n && kCaracterNumero[static_cast<unsigned char>(s_[p_])]) ++p_;
        if (p_ >= n) return Resultado::Ok;  // the text ended while collecting: no value
        std::string_view t = s_.substr(inicio, p_ - inicio);
        if (!numeroValido(t)) return Resultado::ErrorConversion;
        salida = Variant(Decimal{std::string(t)});
        return Resultado::Ok;
    }

    // Four hexadecimal digits at p_; -1 when they are not there.
    long hex4(size_t desde) const {
        if (desde + 4 > s_.size()) return -1;
        long v = 0;
        for (size_t k = 0; k < 4; ++k) {
            int d = valorHex(s_[desde + k]);
            if (d < 0) return -1;
            v = v * 16 + d;
        }
        return v;
    }

    // The next position of each byte the string reader looks for, at or
    // after where it was last looked for (the text's size when there is
    // none further). The position only moves forward, so a position found
    // stays valid until the reader passes it: each part of the text is
    // searched once per byte, however many escapes a string holds.
    static constexpr size_t kSinBuscar = std::string_view::npos;
    size_t proximaDoble_ = kSinBuscar;
    size_t proximaSimple_ = kSinBuscar;
    size_t proximaBarra_ = kSinBuscar;

    size_t proximo(size_t& guardado, char c, size_t desde) {
        if (guardado == kSinBuscar || guardado < desde) {
            const void* q = std::memchr(s_.data() + desde, c, s_.size() - desde);
            guardado = q ? static_cast<size_t>(static_cast<const char*>(q) - s_.data()) : s_.size();
        }
        return guardado;
    }

    // Position of the first closing quote or backslash at or after `desde`
    // (the text's size when there is none), found with the library's
    // vectorised byte search.
    size_t buscarFinDeTramo(size_t desde, char cierre) {
        const size_t q = proximo(cierre == '"' ? proximaDoble_ : proximaSimple_, cierre, desde);
        return std::min(q, proximo(proximaBarra_, '\\', desde));
    }

    Resultado cadena(Variant& salida) {
        const char cierre = s_[p_++];
        const size_t n = s_.size();
        std::string r;
        // Fast path: most strings have no escapes at all.
        {
            const size_t i = buscarFinDeTramo(p_, cierre);
            if (i < n && s_[i] == cierre) {
                r.assign(s_.data() + p_, i - p_);
                p_ = i + 1;
                salida = Variant(std::move(r));
                return Resultado::Ok;
            }
            // Escapes only shorten the text, so the span up to the next
            // closing character is enough unless that one is escaped too.
            const size_t cierreVisto = cierre == '"' ? proximaDoble_ : proximaSimple_;
            r.reserve(cierreVisto - p_);
        }
        while (p_ < n) {
            const size_t inicio = p_;
            p_ = buscarFinDeTramo(p_, cierre);
            r.append(s_.data() + inicio, p_ - inicio);
            if (p_ >= n) break;
            if (s_[p_] == cierre) {
                ++p_;
                break;
            }
            ++p_;  // the backslash
            if (p_ >= n) break;
            const char c = s_[p_];
            switch (c) {
                case '"':
                case '\\':
                case '/':
                case '\'':
                    r.push_back(c);
                    ++p_;
                    break;
                case 'b':
                    r.push_back('\b');
                    ++p_;
                    break;
                case 'f':
                    r.push_back('\f');
                    ++p_;
                    break;
                case 'n':
                    r.push_back('\n');
                    ++p_;
                    break;
                case 'r':
                    r.push_back('\r');
                    ++p_;
                    break;
                case 't':
                    r.push_back('\t');
                    ++p_;
                    break;
                case 'u': {
                    long cp = hex4(p_ + 1);
                    if (cp < 0) return Resultado::ErrorConversion;
                    p_ += 5;
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        // A high surrogate joins the low one that follows it.
                        long bajo = -1;
                        if (p_ + 1 < n && s_[p_] == '\\' && s_[p_ + 1] == 'u') bajo = hex4(p_ + 2);
                        if (bajo >= 0xDC00 && bajo <= 0xDFFF) {
                            cp = 0x10000 + ((cp - 0xD800) << 10) + (bajo - 0xDC00);
                            p_ += 6;
                        } else {
                            cp = 0xFFFD;
                        }
                    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        cp = 0xFFFD;
                    }
                    escribirCodigo(r, static_cast<char32_t>(cp));
                    break;
                }
                default:
                    // Unknown escape: the backslash is dropped and the
                    // character is read again as an ordinary one.
                    break;
            }
        }
        salida = Variant(std::move(r));
        return Resultado::Ok;
    }

    std::string leerClave() {
        saltar();
        // Fast path: a quoted key of ordinary characters followed by ":".
        if (!fin() && (s_[p_] == '"' || s_[p_] == '\'')) {
            size_t i = p_ + 1;
            while (i < s_.size() && !kFinDeTramoClave[static_cast<unsigned char>(s_[i])]) ++i;
            if (i < s_.size() && s_[i] == s_[p_] && i + 1 < s_.size() && s_[i + 1] == ':') {
                std::string clave(s_.data() + p_ + 1, i - p_ - 1);
                p_ = i + 2;
                return clave;
            }
        }
        std::string clave;
        bool doble = false, simple = false;
        const size_t n = s_.size();
        while (p_ < n) {
            const char c = s_[p_];
            if (c == '"' || c == '\'') {
                bool& estado = c == '"' ? doble : simple;
                estado = !estado;
                ++p_;
                if (!estado) {
                    saltar();
                    if (fin() || s_[p_] != ':') {
                        anotar({"Invalid Key at position ", posicion(), " : ", clave});
                        return clave;
                    }
                }
            } else if (c == ':') {
                ++p_;
                if (!doble && !simple) break;
                clave.push_back(c);
            } else if (c == '\r' || c == '\n' || c == '\t' || c == ' ') {
                ++p_;
            } else {
                // A run of ordinary characters is copied at once.
                const size_t inicio = p_++;
                while (p_ < n && !kFinDeTramoClave[static_cast<unsigned char>(s_[p_])]) ++p_;
                clave.append(s_.data() + inicio, p_ - inicio);
            }
        }
        return clave;
    }
};

}  // namespace

Analisis parse(std::string_view texto) {
    Analisis resultado;
    Analizador a(texto, resultado.errores);
    resultado.valor = a.raiz();
    return resultado;
}

// ---------------------------------------------------------------------------
// Serialiser

namespace {

constexpr std::array<bool, 256> tablaPlano() {
    std::array<bool, 256> t{};
    for (int c = 32; c <= 127; ++c) t[c] = true;
    for (char c : std::string_view("\"'\\&{}")) t[static_cast<unsigned char>(c)] = false;
    return t;
}
constexpr auto kPlano = tablaPlano();

void escaparU(std::string& r, char32_t cp) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    char buf[6] = {
        '\\',          'u', kHex[(cp >> 12) & 0xF], kHex[(cp >> 8) & 0xF], kHex[(cp >> 4) & 0xF],
        kHex[cp & 0xF]};
    r.append(buf, 6);
}

}  // namespace

std::string Encode(std::string_view texto) {
    std::string r;
    r.reserve(texto.size() + texto.size() / 8 + 8);
    const size_t n = texto.size();
    size_t i = 0;
    while (i < n) {
        const size_t inicio = i;
        while (i < n && kPlano[static_cast<unsigned char>(texto[i])]) ++i;
        r.append(texto.data() + inicio, i - inicio);
        if (i >= n) break;
        const unsigned char c = static_cast<unsigned char>(texto[i]);
        if (c >= 0x80) {
            char32_t cp = leerCodigo(texto, i);
            if (cp > 0xFFFF) {
                cp -= 0x10000;
                escaparU(r, 0xD800 + (cp >> 10));
                escaparU(r, 0xDC00 + (cp & 0x3FF));
            } else {
                escaparU(r, cp);
            }
            continue;
        }
        ++i;
        switch (c) {
            case 8:
                r += "\\b";
                break;
            case 9:
                r += "\\t";
                break;
            case 10:
                r += "\\n";
                break;
            case 12:
                r += "\\f";
                break;
            case 13:
                r += "\\r";
                break;
            case '"':
                r += "\\\"";
                break;
            case '\'':
                r += ' ';
                break;
            case '\\':
                r += "\\\\";
                break;
            default:  // "&", "{", "}" and the other controls
                escaparU(r, c);
        }
    }
    return r;
}

void ObjetoTextos::agregar(std::string_view clave, std::string_view valor) {
    if (texto_.size() > 1) texto_ += ',';
    texto_ += '"';
    texto_ += Encode(clave);
    texto_ += "\":\"";
    texto_ += Encode(valor);
    texto_ += '"';
}

std::string ObjetoTextos::cerrar() {
    std::string t = std::move(texto_);
    t += '}';
    texto_ = "{";
    return t;
}

std::string lista(const std::vector<std::string>& elementos, std::string_view separador) {
    size_t total = 2;
    for (const std::string& e : elementos) total += e.size() + separador.size();
    std::string t;
    t.reserve(total);
    t += '[';
    for (size_t i = 0; i < elementos.size(); ++i) {
        if (i) t += separador;
        t += elementos[i];
    }
    t += ']';
    return t;
}

namespace {

void escribirCadena(std::string& s, std::string_view t) {
    s += '"';
    for (const char c : t) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            s += '\\';
            s += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            s += escape;
        } else {
            s += c;
        }
    }
    s += '"';
}

void escribirValor(std::string& s, const Variant& v, int profundidad) {
    if (v.esObjeto()) {
        if (profundidad <= 0) {
            s += "\"...\"";
        } else if (auto d = v.objetoComo<Diccionario>()) {
            s += '{';
            for (size_t i = 0; i < d->Count(); ++i) {
                if (i) s += ',';
                escribirCadena(s, d->Keys()[i]);
                s += ':';
                escribirValor(s, d->valorEn(i), profundidad - 1);
            }
            s += '}';
        } else if (auto c = v.objetoComo<Coleccion>()) {
            s += '[';
            bool primero = true;
            for (const Variant& e : c->elementos()) {
                if (!primero) s += ',';
                primero = false;
                escribirValor(s, e, profundidad - 1);
            }
            s += ']';
        } else {
            s += "null";
        }
        return;
    }
    switch (v.tipo()) {
        case comun::TipoVariant::Empty:
        case comun::TipoVariant::Null:
            s += "null";
            break;
        case comun::TipoVariant::Boolean:
            s += v.CBool() ? "true" : "false";
            break;
        case comun::TipoVariant::Decimal:
        case comun::TipoVariant::Integer:
        case comun::TipoVariant::Long:
        case comun::TipoVariant::Single:
        case comun::TipoVariant::Double:
        case comun::TipoVariant::Currency:
            s += v.texto();
            break;
        default:
            escribirCadena(s, v.texto());
            break;
    }
}

}  // namespace

std::string escribir(const Variant& valor, int profundidad) {
    std::string s;
    escribirValor(s, valor, profundidad);
    return s;
}

std::string filaJSON(const FuenteFilas& rs) {
    std::string fila = "{";
    const size_t campos = rs.numeroCampos();
    for (size_t i = 0; i < campos; ++i) {
        Variant v = rs.valorCampo(i);
        std::string texto;
        if (!v.esNull()) {
            texto = v.texto();
            std::erase(texto, '\\');
        }
        if (i > 0) fila += ',';
        fila += '"';
        fila += rs.nombreCampo(i);
        fila += "\":\"";
        fila += Encode(texto);
        fila += '"';
    }
    fila += '}';
    return fila;
}

std::string RStoJSON(FuenteFilas& rs) {
    if (rs.eof() || rs.bof()) return "null";
    std::string resultado;
    while (!rs.eof() && !rs.bof()) {
        if (!resultado.empty()) resultado += kSeparadorFilas;
        resultado += filaJSON(rs);
        rs.MoveNext();
    }
    return "[" + resultado + "]";
}

}  // namespace json
