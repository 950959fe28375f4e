#include "comun/Variant.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>
#include <system_error>

namespace comun {

namespace {

// ---------------------------------------------------------------- dates

constexpr int64_t kSegundosDia = 86400;

// Days between the zero date (30/12/1899) and the given calendar date.
int64_t diasDesdeCero(int anio, int mes, int dia) {
    using namespace std::chrono;
    const sys_days fecha =
        year{anio} / month{static_cast<unsigned>(mes)} / day{static_cast<unsigned>(dia)};
    const sys_days cero = year{1899} / December / day{30};
    return (fecha - cero).count();
}

bool esBisiesto(int anio) {
    return (anio % 4 == 0 && anio % 100 != 0) || anio % 400 == 0;
}

int diasDelMes(int anio, int mes) {
    static constexpr int dias[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (mes == 2 && esBisiesto(anio)) return 29;
    return dias[mes - 1];
}

void dosDigitos(std::string& destino, int valor) {
    destino.push_back(static_cast<char>('0' + (valor / 10) % 10));
    destino.push_back(static_cast<char>('0' + valor % 10));
}

std::string cuatroDigitos(int valor) {
    std::string s = std::to_string(valor);
    if (s.size() < 4) s.insert(0, 4 - s.size(), '0');
    return s;
}

std::string textoFecha(const Fecha& f) {
    std::string s;
    dosDigitos(s, f.dia);
    s.push_back('/');
    dosDigitos(s, f.mes);
    s.push_back('/');
    s += cuatroDigitos(f.anio);
    if (f.tieneHora()) {
        s.push_back(' ');
        dosDigitos(s, f.hora);
        s.push_back(':');
        dosDigitos(s, f.minuto);
        s.push_back(':');
        dosDigitos(s, f.segundo);
    }
    return s;
}

// ---------------------------------------------------------------- numbers

bool esBlanco(char c) {
    return c == ' ' || c == '\t';
}
bool esDigito(char c) {
    return c >= '0' && c <= '9';
}

// The parts of a numeric text, as recognised by escanearNumero.
struct NumeroEscaneado {
    std::string limpio;    // sign (only "-") and the number, without blanks or "+"
    bool entero = true;    // no decimals and no exponent
    int64_t magnitud = 0;  // rough decimal exponent of the value (for underflow)
};

// Recognises: blanks, optional sign, digits with optional "." decimals
// (at least one digit in all), optional exponent, blanks.
bool escanearNumero(std::string_view t, NumeroEscaneado* salida) {
    size_t i = 0;
    const size_t n = t.size();
    while (i < n && esBlanco(t[i])) ++i;
    bool negativo = false;
    if (i < n && (t[i] == '+' || t[i] == '-')) {
        negativo = t[i] == '-';
        ++i;
    }
    const size_t inicio = i;
    size_t digitosEnteros = 0, digitosDecimales = 0;
    size_t primerSignificativo = std::string_view::npos;  // index among integer digits
    while (i < n && esDigito(t[i])) {
        if (t[i] != '0' && primerSignificativo == std::string_view::npos)
            primerSignificativo = digitosEnteros;
        ++digitosEnteros;
        ++i;
    }
    bool entero = true;
    int64_t cerosDecimales = 0;
    bool hallado = primerSignificativo != std::string_view::npos;
    if (i < n && t[i] == '.') {
        entero = false;
        ++i;
        while (i < n && esDigito(t[i])) {
            if (!hallado) {
                if (t[i] == '0')
                    ++cerosDecimales;
                else
                    hallado = true;
            }
            ++digitosDecimales;
            ++i;
        }
    }
    if (digitosEnteros + digitosDecimales == 0) return false;
    int64_t exponente = 0;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        entero = false;
        ++i;
        bool expNegativo = false;
        if (i < n && (t[i] == '+' || t[i] == '-')) {
            expNegativo = t[i] == '-';
            ++i;
        }
        if (i >= n || !esDigito(t[i])) return false;
        while (i < n && esDigito(t[i])) {
            if (exponente < 100000) exponente = exponente * 10 + (t[i] - '0');
            ++i;
        }
        if (expNegativo) exponente = -exponente;
    }
    const size_t finNumero = i;
    while (i < n && esBlanco(t[i])) ++i;
    if (i != n) return false;
    if (salida) {
        salida->limpio.clear();
        if (negativo) salida->limpio.push_back('-');
        salida->limpio.append(t.substr(inicio, finNumero - inicio));
        salida->entero = entero;
        if (primerSignificativo != std::string_view::npos)
            salida->magnitud =
                exponente + static_cast<int64_t>(digitosEnteros - primerSignificativo);
        else
            salida->magnitud = exponente - cerosDecimales;
    }
    return true;
}

double textoADouble(std::string_view t) {
    NumeroEscaneado num;
    if (!escanearNumero(t, &num))
        throw ErrorTipo("No coinciden los tipos: '" + std::string(t) + "' no es un numero");
    double valor = 0;
    const char* ini = num.limpio.data();
    const char* fin = ini + num.limpio.size();
    auto [ptr, ec] = std::from_chars(ini, fin, valor, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Too small to represent reads as zero; too large is an overflow.
        if (num.magnitud <= 0) return 0.0;
        throw ErrorTipo("Desbordamiento: " + std::string(t));
    }
    if (ec != std::errc() || ptr != fin)
        throw ErrorTipo("No coinciden los tipos: '" + std::string(t) + "' no es un numero");
    return valor;
}

// Reads a whole-number text exactly (so that a 17-digit identifier is not
// squeezed through a double); other texts go through the double path.
bool textoAEntero(std::string_view t, int64_t& salida) {
    NumeroEscaneado num;
    if (!escanearNumero(t, &num) || !num.entero) return false;
    const char* ini = num.limpio.data();
    const char* fin = ini + num.limpio.size();
    auto [ptr, ec] = std::from_chars(ini, fin, salida);
    if (ec == std::errc::result_out_of_range) throw ErrorTipo("Desbordamiento: " + std::string(t));
    return ec == std::errc() && ptr == fin;
}

// The shortest digits that read back as v (finite, non-zero), without
// trailing zeros, and the decimal exponent of the first one: v is
// d1.d2d3... x 10^exponente.
struct DigitosCortos {
    bool negativo = false;
    std::string digitos;
    int exponente = 0;
};

template <class T>
DigitosCortos digitosCortos(T v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string_view cientifico(buf, static_cast<size_t>(res.ptr - buf));
    // cientifico: [-]d[.ddd]e[+-]xx
    DigitosCortos d;
    if (cientifico.front() == '-') {
        d.negativo = true;
        cientifico.remove_prefix(1);
    }
    const size_t e = cientifico.find('e');
    for (char c : cientifico.substr(0, e))
        if (c != '.') d.digitos.push_back(c);
    std::string_view textoExp = cientifico.substr(e + 1);
    if (textoExp.front() == '+') textoExp.remove_prefix(1);
    std::from_chars(textoExp.data(), textoExp.data() + textoExp.size(), d.exponente);
    while (d.digitos.size() > 1 && d.digitos.back() == '0') d.digitos.pop_back();
    return d;
}

// Writes the shortest round-trip digits of v in the runtime's style:
// fixed notation for ordinary magnitudes, "E+nn"/"E-nn" otherwise.
template <class T>
std::string textoFlotante(T v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
    if (v == 0) return "0";
    const DigitosCortos d = digitosCortos(v);
    const bool negativo = d.negativo;
    const std::string& digitos = d.digitos;
    const int exponente = d.exponente;

    std::string s;
    if (negativo) s.push_back('-');
    if (exponente >= 16 || exponente < -4) {
        s.push_back(digitos[0]);
        if (digitos.size() > 1) {
            s.push_back('.');
            s.append(digitos, 1);
        }
        s.push_back('E');
        s.push_back(exponente < 0 ? '-' : '+');
        const int absoluto = exponente < 0 ? -exponente : exponente;
        if (absoluto < 10) s.push_back('0');
        s += std::to_string(absoluto);
    } else if (exponente < 0) {
        s += "0.";
        s.append(static_cast<size_t>(-exponente - 1), '0');
        s += digitos;
    } else {
        const size_t enteros = static_cast<size_t>(exponente) + 1;
        if (digitos.size() <= enteros) {
            s += digitos;
            s.append(enteros - digitos.size(), '0');
        } else {
            s.append(digitos, 0, enteros);
            s.push_back('.');
            s.append(digitos, enteros);
        }
    }
    return s;
}

std::string textoMoneda(Moneda m) {
    const bool negativo = m.diezmilesimas < 0;
    // Work with the magnitude as unsigned so that the most negative value is safe.
    const uint64_t absoluto = negativo ? 0 - static_cast<uint64_t>(m.diezmilesimas)
                                       : static_cast<uint64_t>(m.diezmilesimas);
    std::string s;
    if (negativo) s.push_back('-');
    s += std::to_string(absoluto / 10000);
    uint64_t fraccion = absoluto % 10000;
    if (fraccion != 0) {
        std::string f = std::to_string(fraccion);
        f.insert(0, 4 - f.size(), '0');
        while (f.back() == '0') f.pop_back();
        s.push_back('.');
        s += f;
    }
    return s;
}

// Rounds half to even (the default floating-point rounding mode) and checks
// the range of the target type.
template <class T>
T redondearA(double v) {
    if (std::isnan(v)) throw ErrorTipo("Desbordamiento");
    const double r = std::nearbyint(v);
    // The upper bound is exclusive: max()+1 is a power of two and exact.
    const double minimo = static_cast<double>(std::numeric_limits<T>::min());
    const double limite = -minimo;
    if (r < minimo || r >= limite) throw ErrorTipo("Desbordamiento");
    return static_cast<T>(r);
}

template <class... F>
struct Sobrecarga : F... {
    using F::operator()...;
};
template <class... F>
Sobrecarga(F...) -> Sobrecarga<F...>;

// ---------------------------------------------------------------- date text

// Reads up to `maximo` digits (at least `minimo`) starting at i.
bool leerDigitos(std::string_view t, size_t& i, size_t minimo, size_t maximo, int& valor) {
    size_t cuenta = 0;
    valor = 0;
    while (i < t.size() && cuenta < maximo && esDigito(t[i])) {
        valor = valor * 10 + (t[i] - '0');
        ++i;
        ++cuenta;
    }
    return cuenta >= minimo && !(i < t.size() && esDigito(t[i]));
}

// HH:MM or HH:MM:SS, with ISO fractions of a second accepted and dropped.
bool leerHora(std::string_view t, size_t& i, Fecha& f, bool iso) {
    if (!leerDigitos(t, i, 1, 2, f.hora)) return false;
    if (i >= t.size() || t[i] != ':') return false;
    ++i;
    if (!leerDigitos(t, i, 2, 2, f.minuto)) return false;
    f.segundo = 0;
    if (i < t.size() && t[i] == ':') {
        ++i;
        if (!leerDigitos(t, i, 2, 2, f.segundo)) return false;
        if (iso && i < t.size() && t[i] == '.') {
            ++i;
            const size_t antes = i;
            while (i < t.size() && esDigito(t[i])) ++i;
            if (i == antes) return false;
        }
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------- Fecha

double Fecha::serial() const {
    const double dias = static_cast<double>(diasDesdeCero(anio, mes, dia));
    const double fraccion = (hora * 3600.0 + minuto * 60.0 + segundo) / kSegundosDia;
    // Before the zero date the day count is negative but the time still
    // counts forward from that day's midnight, as the stored dates do.
    return dias < 0 ? dias - fraccion : dias + fraccion;
}

Fecha Fecha::desdeSerial(double serial) {
    if (!std::isfinite(serial) || serial > 2958466.0 || serial < -657435.0)
        throw ErrorTipo("Desbordamiento: fecha fuera de rango");
    double dias = std::trunc(serial);
    int64_t segundos = std::llround(std::fabs(serial - dias) * kSegundosDia);
    if (segundos >= kSegundosDia) {
        segundos -= kSegundosDia;
        dias += serial < 0 ? -1 : 1;
    }
    using namespace std::chrono;
    const sys_days cero = year{1899} / December / day{30};
    const year_month_day ymd{cero + days{static_cast<int64_t>(dias)}};
    Fecha f;
    f.anio = static_cast<int>(ymd.year());
    f.mes = static_cast<int>(static_cast<unsigned>(ymd.month()));
    f.dia = static_cast<int>(static_cast<unsigned>(ymd.day()));
    f.hora = static_cast<int>(segundos / 3600);
    f.minuto = static_cast<int>(segundos / 60 % 60);
    f.segundo = static_cast<int>(segundos % 60);
    return f;
}

std::string Fecha::iso() const {
    std::string s = cuatroDigitos(anio);
    s.push_back('-');
    dosDigitos(s, mes);
    s.push_back('-');
    dosDigitos(s, dia);
    if (tieneHora()) {
        s.push_back(' ');
        dosDigitos(s, hora);
        s.push_back(':');
        dosDigitos(s, minuto);
        s.push_back(':');
        dosDigitos(s, segundo);
    }
    return s;
}

bool Fecha::valida() const {
    if (anio < 100 || anio > 9999 || mes < 1 || mes > 12) return false;
    if (dia < 1 || dia > diasDelMes(anio, mes)) return false;
    return hora >= 0 && hora <= 23 && minuto >= 0 && minuto <= 59 && segundo >= 0 && segundo <= 59;
}

// ---------------------------------------------------------------- Moneda

Moneda Moneda::desdeDouble(double valor) {
    if (!std::isfinite(valor)) throw ErrorTipo("Desbordamiento: moneda fuera de rango");
    if (valor == 0) return Moneda{};
    // Round the decimal digits the value is written with, not its binary
    // expansion, so that 1.00005 is a tie (to 1.0000) as the user sees it.
    const DigitosCortos d = digitosCortos(valor);
    // Number of digits that fall in the ten-thousandths' whole part.
    const int enteros = d.exponente + 1 + 4;
    if (enteros > 19) throw ErrorTipo("Desbordamiento: moneda fuera de rango");
    uint64_t magnitud = 0;
    for (int i = 0; i < enteros; ++i) {
        const size_t k = static_cast<size_t>(i);
        magnitud = magnitud * 10 + (k < d.digitos.size() ? d.digitos[k] - '0' : 0);
    }
    if (enteros >= 0 && static_cast<size_t>(enteros) < d.digitos.size()) {
        const size_t k = static_cast<size_t>(enteros);
        const char primero = d.digitos[k];
        // Trailing zeros were removed, so any digit after the first is non-zero.
        const bool masDeLaMitad = primero > '5' || (primero == '5' && d.digitos.size() > k + 1);
        if (masDeLaMitad || (primero == '5' && (magnitud & 1))) ++magnitud;
    }
    const uint64_t limite = d.negativo ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    if (magnitud > limite) throw ErrorTipo("Desbordamiento: moneda fuera de rango");
    return Moneda{d.negativo ? static_cast<int64_t>(0 - magnitud) : static_cast<int64_t>(magnitud)};
}

// ---------------------------------------------------------------- Variant

TipoVariant Variant::tipo() const {
    static constexpr TipoVariant tipos[] = {
        TipoVariant::Empty,   TipoVariant::Null,   TipoVariant::Boolean, TipoVariant::Integer,
        TipoVariant::Long,    TipoVariant::Single, TipoVariant::Double,  TipoVariant::Currency,
        TipoVariant::Decimal, TipoVariant::Date,   TipoVariant::String,  TipoVariant::Object,
    };
    return tipos[valor_.index()];
}

bool Variant::esNumero() const {
    switch (tipo()) {
        case TipoVariant::Boolean:
        case TipoVariant::Integer:
        case TipoVariant::Long:
        case TipoVariant::Single:
        case TipoVariant::Double:
        case TipoVariant::Currency:
        case TipoVariant::Decimal:
            return true;
        default:
            return false;
    }
}

std::string Variant::CStr() const {
    return std::visit(Sobrecarga{
                          [](std::monostate) -> std::string { return ""; },
                          [](NullTag) -> std::string { throw ErrorTipo("Uso no valido de Null"); },
                          [](bool b) -> std::string { return b ? "True" : "False"; },
                          [](int16_t v) -> std::string { return std::to_string(v); },
                          [](int32_t v) -> std::string { return std::to_string(v); },
                          [](float v) -> std::string { return textoFlotante(v); },
                          [](double v) -> std::string { return textoDouble(v); },
                          [](Moneda m) -> std::string { return textoMoneda(m); },
                          [](const Decimal& d) -> std::string { return d.digitos; },
                          [](const Fecha& f) -> std::string { return textoFecha(f); },
                          [](const std::string& s) -> std::string { return s; },
                          [](const std::shared_ptr<Objeto>&) -> std::string {
                              throw ErrorTipo("No coinciden los tipos: un objeto no tiene texto");
                          },
                      },
                      valor_);
}

std::string Variant::texto() const& {
    if (esNull() || esObjeto()) return "";
    return CStr();
}

std::string Variant::texto() && {
    if (auto* t = std::get_if<std::string>(&valor_)) return std::move(*t);
    return static_cast<const Variant&>(*this).texto();
}

double Variant::CDbl() const {
    return std::visit(Sobrecarga{
                          [](std::monostate) -> double { return 0.0; },
                          [](NullTag) -> double { throw ErrorTipo("Uso no valido de Null"); },
                          [](bool b) -> double { return b ? -1.0 : 0.0; },
                          [](int16_t v) -> double { return v; },
                          [](int32_t v) -> double { return v; },
                          [](float v) -> double { return v; },
                          [](double v) -> double { return v; },
                          [](Moneda m) -> double { return m.aDouble(); },
                          [](const Decimal& d) -> double { return textoADouble(d.digitos); },
                          [](const Fecha& f) -> double { return f.serial(); },
                          [](const std::string& s) -> double { return textoADouble(s); },
                          [](const std::shared_ptr<Objeto>&) -> double {
                              throw ErrorTipo("No coinciden los tipos: un objeto no es un numero");
                          },
                      },
                      valor_);
}

float Variant::CSng() const {
    if (const float* f = std::get_if<float>(&valor_)) return *f;
    const double v = CDbl();
    if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max())
        throw ErrorTipo("Desbordamiento");
    return static_cast<float>(v);
}

int64_t Variant::CLngLng() const {
    int64_t exacto = 0;
    if (const auto* s = std::get_if<std::string>(&valor_)) {
        if (textoAEntero(*s, exacto)) return exacto;
    } else if (const auto* d = std::get_if<Decimal>(&valor_)) {
        if (textoAEntero(d->digitos, exacto)) return exacto;
    } else if (const auto* m = std::get_if<Moneda>(&valor_)) {
        // Half to even on the exact ten-thousandths.
        int64_t q = m->diezmilesimas / 10000, r = m->diezmilesimas % 10000;
        if (r > 5000 || (r == 5000 && (q & 1))) ++q;
        if (r < -5000 || (r == -5000 && (q & 1))) --q;
        return q;
    }
    return redondearA<int64_t>(CDbl());
}

int32_t Variant::CLng() const {
    const int64_t v = CLngLng();
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        throw ErrorTipo("Desbordamiento");
    return static_cast<int32_t>(v);
}

int16_t Variant::CInt() const {
    const int64_t v = CLngLng();
    if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max())
        throw ErrorTipo("Desbordamiento");
    return static_cast<int16_t>(v);
}

Moneda Variant::CCur() const {
    if (const auto* m = std::get_if<Moneda>(&valor_)) return *m;
    return Moneda::desdeDouble(CDbl());
}

bool Variant::CBool() const {
    if (const bool* b = std::get_if<bool>(&valor_)) return *b;
    if (const auto* s = std::get_if<std::string>(&valor_)) {
        std::string_view t = *s;
        while (!t.empty() && esBlanco(t.front())) t.remove_prefix(1);
        while (!t.empty() && esBlanco(t.back())) t.remove_suffix(1);
        auto igual = [&](std::string_view palabra) {
            if (t.size() != palabra.size()) return false;
            for (size_t i = 0; i < t.size(); ++i) {
                char c = t[i];
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
                if (c != palabra[i]) return false;
            }
            return true;
        };
        if (igual("true")) return true;
        if (igual("false")) return false;
        return textoADouble(*s) != 0.0;
    }
    return CDbl() != 0.0;
}

Fecha Variant::CDate() const {
    if (const auto* f = std::get_if<Fecha>(&valor_)) return *f;
    if (const auto* s = std::get_if<std::string>(&valor_)) {
        Fecha f;
        if (leerFecha(*s, f)) return f;
        throw ErrorTipo("No coinciden los tipos: '" + *s + "' no es una fecha");
    }
    return Fecha::desdeSerial(CDbl());
}

const std::string& Variant::comoTexto() const {
    if (const auto* s = std::get_if<std::string>(&valor_)) return *s;
    throw ErrorTipo("No coinciden los tipos: el valor no es un texto");
}

std::shared_ptr<Objeto> Variant::objeto() const {
    if (const auto* o = std::get_if<std::shared_ptr<Objeto>>(&valor_)) return *o;
    throw ErrorTipo("Se requiere un objeto");
}

bool Variant::operator==(const Variant& otro) const {
    if (valor_.index() != otro.valor_.index()) return false;
    return std::visit(
        [&](const auto& a) -> bool {
            using T = std::decay_t<decltype(a)>;
            if constexpr (std::is_same_v<T, std::monostate> || std::is_same_v<T, NullTag>) {
                return true;
            } else {
                return a == std::get<T>(otro.valor_);
            }
        },
        valor_);
}

// ---------------------------------------------------------------- predicates

bool IsNumeric(std::string_view texto) {
    return escanearNumero(texto, nullptr);
}

bool IsNumeric(const Variant& v) {
    if (v.esNumero()) return true;
    if (v.esTexto()) return IsNumeric(v.comoTexto());
    return false;
}

bool leerFecha(std::string_view t, Fecha& salida) {
    while (!t.empty() && esBlanco(t.front())) t.remove_prefix(1);
    while (!t.empty() && esBlanco(t.back())) t.remove_suffix(1);
    Fecha f;
    size_t i = 0;
    bool iso = false;
    int primero = 0;
    const size_t inicio = i;
    if (!leerDigitos(t, i, 1, 4, primero) || i >= t.size()) return false;
    const size_t largoPrimero = i - inicio;
    const char separador = t[i];
    if (largoPrimero == 4) {
        // yyyy-mm-dd or yyyy/mm/dd
        if (separador != '-' && separador != '/') return false;
        iso = separador == '-';
        f.anio = primero;
        ++i;
        if (!leerDigitos(t, i, 1, 2, f.mes) || i >= t.size() || t[i] != separador) return false;
        ++i;
        if (!leerDigitos(t, i, 1, 2, f.dia)) return false;
    } else if (largoPrimero <= 2 && separador == '/') {
        // dd/mm/yyyy
        f.dia = primero;
        ++i;
        if (!leerDigitos(t, i, 1, 2, f.mes) || i >= t.size() || t[i] != '/') return false;
        ++i;
        if (!leerDigitos(t, i, 4, 4, f.anio)) return false;
    } else {
        return false;
    }
    if (i < t.size()) {
        const char c = t[i];
        if (c == ' ' || (iso && c == 'T')) {
            ++i;
            while (c == ' ' && i < t.size() && t[i] == ' ') ++i;
            if (!leerHora(t, i, f, iso)) return false;
        } else {
            return false;
        }
    }
    if (i != t.size() || !f.valida()) return false;
    salida = f;
    return true;
}

bool IsDate(std::string_view texto) {
    Fecha f;
    return leerFecha(texto, f);
}

bool IsDate(const Variant& v) {
    if (v.tipo() == TipoVariant::Date) return true;
    if (v.esTexto()) return IsDate(v.comoTexto());
    return false;
}

std::string textoDouble(double v) {
    return textoFlotante(v);
}

}  // namespace comun
