// The runtime's value type: what a record-set field, a parsed JSON value and
// a parameter of the command layer hold. Conversions follow the rules the
// rest of the system relies on, independent of the machine's locale.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace comun {

// A conversion that cannot be made ("abc" to a number, Null to text where
// text is required). Callers rely on it: a number column refuses a text
// that is not a number.
class ErrorTipo : public std::runtime_error {
  public:
    explicit ErrorTipo(const std::string& mensaje) : std::runtime_error(mensaje) {}
};

// A date and time of day, to the second. The zero date is 30/12/1899, the
// origin of the dates the site's database stores.
struct Fecha {
    int anio = 1899;
    int mes = 12;
    int dia = 30;
    int hora = 0;
    int minuto = 0;
    int segundo = 0;

    bool tieneHora() const { return hora != 0 || minuto != 0 || segundo != 0; }
    // Days since the zero date, with the time of day as the fraction.
    double serial() const;
    static Fecha desdeSerial(double serial);
    // "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss": the stored form.
    std::string iso() const;
    // Whether the fields form a real calendar date and time.
    bool valida() const;

    auto operator<=>(const Fecha&) const = default;
};

// Fixed point with four decimals (the Currency type), held as ten-thousandths.
struct Moneda {
    int64_t diezmilesimas = 0;
    static Moneda desdeDouble(double valor);
    double aDouble() const { return static_cast<double>(diezmilesimas) / 10000.0; }
    bool operator==(const Moneda&) const = default;
};

// An exact decimal number kept as its normalised text ("-12.50", "1E+3"), so
// that a 17-digit identifier comes back exactly as it was written.
struct Decimal {
    std::string digitos;
    bool operator==(const Decimal&) const = default;
};

// Base of the object kinds a Variant can refer to (the JSON dictionary and
// collection live in the json library).
class Objeto {
  public:
    virtual ~Objeto() = default;
};

enum class TipoVariant {
    Empty,
    Null,
    Boolean,
    Integer,  // 16-bit
    Long,     // 32-bit
    Single,
    Double,
    Currency,
    Decimal,
    Date,
    String,
    Object,
};

class Variant {
  public:
    struct NullTag {};

    Variant() = default;  // Empty
    Variant(NullTag) : valor_(NullTag{}) {}
    Variant(bool v) : valor_(v) {}
    Variant(int16_t v) : valor_(v) {}
    Variant(int32_t v) : valor_(v) {}
    Variant(float v) : valor_(v) {}
    Variant(double v) : valor_(v) {}
    Variant(Moneda v) : valor_(v) {}
    Variant(Decimal v) : valor_(std::move(v)) {}
    Variant(Fecha v) : valor_(v) {}
    Variant(std::string v) : valor_(std::move(v)) {}
    Variant(std::string_view v) : valor_(std::string(v)) {}
    Variant(const char* v) : valor_(std::string(v)) {}
    Variant(std::shared_ptr<Objeto> v) : valor_(std::move(v)) {}

    static Variant Null() { return Variant(NullTag{}); }

    TipoVariant tipo() const;
    bool esEmpty() const { return tipo() == TipoVariant::Empty; }
    bool esNull() const { return tipo() == TipoVariant::Null; }
    bool esTexto() const { return tipo() == TipoVariant::String; }
    bool esObjeto() const { return tipo() == TipoVariant::Object; }
    // Boolean, Integer, Long, Single, Double, Currency or Decimal.
    bool esNumero() const;

    // Text form: "." decimals and no grouping; "True"/"False"; dates as
    // dd/mm/yyyy plus " HH:MM:SS" when the time is not midnight. Empty gives
    // "". Null raises ErrorTipo (as the runtime's CStr does); use texto()
    // where Null should read as "".
    std::string CStr() const;
    // Like CStr, but Null gives "" and an object gives "".
    std::string texto() const&;
    // The same of a value about to go: a text is moved out, not copied.
    std::string texto() &&;

    // Numeric conversions. Texts are read with "." as decimal separator,
    // optional blanks and sign; anything else raises ErrorTipo. Empty is 0;
    // Null raises ErrorTipo. Whole-number conversions round half to even and
    // raise ErrorTipo on overflow.
    double CDbl() const;
    float CSng() const;
    int16_t CInt() const;
    int32_t CLng() const;
    int64_t CLngLng() const;
    Moneda CCur() const;
    // True/False, "True"/"False" (any case), numbers (non-zero is true) and
    // numeric texts; anything else raises ErrorTipo.
    bool CBool() const;
    // Dates, numbers (serial days) and date texts (see IsDate).
    Fecha CDate() const;

    // Raw access; each throws ErrorTipo when the held kind differs.
    const std::string& comoTexto() const;
    std::shared_ptr<Objeto> objeto() const;
    template <class T>
    std::shared_ptr<T> objetoComo() const {
        return std::dynamic_pointer_cast<T>(objeto());
    }

    const auto& interno() const { return valor_; }

    // Same kind and value (used by tests and by equality of parsed trees).
    bool operator==(const Variant& otro) const;

  private:
    std::variant<std::monostate, NullTag, bool, int16_t, int32_t, float, double, Moneda, Decimal,
                 Fecha, std::string, std::shared_ptr<Objeto>>
        valor_;
};

// Whether a value reads as a number: numbers themselves, and texts made of
// optional blanks, an optional sign, digits with optional decimals (".")
// and an optional exponent, and optional trailing blanks. Empty text, Null
// and Empty are not numeric.
bool IsNumeric(const Variant& v);
bool IsNumeric(std::string_view texto);
// Plain texts would otherwise be ambiguous between the two forms above.
inline bool IsNumeric(const char* texto) {
    return IsNumeric(std::string_view(texto));
}
inline bool IsNumeric(const std::string& texto) {
    return IsNumeric(std::string_view(texto));
}

// Whether a value reads as a date: dates themselves and texts of the forms
// dd/mm/yyyy, yyyy-mm-dd, yyyy/mm/dd, each with an optional time HH:MM or
// HH:MM:SS after a blank (or a "T" for the ISO form).
bool IsDate(const Variant& v);
bool IsDate(std::string_view texto);
inline bool IsDate(const char* texto) {
    return IsDate(std::string_view(texto));
}
inline bool IsDate(const std::string& texto) {
    return IsDate(std::string_view(texto));
}
// Reads a date text of the forms above; nullopt-like: returns false when it
// is not one.
bool leerFecha(std::string_view texto, Fecha& salida);

// Text of a double as the system writes it: shortest form that reads back
// the same, "." decimals, no grouping, no exponent for ordinary magnitudes
// (1E+16 and beyond, or below 1E-4, use the "E" form as the runtime does).
std::string textoDouble(double v);

}  // namespace comun
