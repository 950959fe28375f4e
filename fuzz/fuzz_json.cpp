// The JSON parser on arbitrary text: every parse ends, a text that is not an
// object or array says "Invalid JSON", the error text stays within its bound,
// and the tree can be walked whole. The same bytes go through the escaper
// (what Encode writes reads back as the text it was given) and, when they
// parse into a list of records, through RStoJSON and back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Exigir.h"
#include "comun/Texto.h"
#include "json/JSON.h"

namespace {

using comun::Variant;
using fuzz::exigir;

size_t recorrer(const Variant& v) {
    size_t nodos = 1;
    if (!v.esObjeto()) {
        (void)v.texto();
    } else if (auto d = v.objetoComo<json::Diccionario>()) {
        const auto& claves = d->Keys();
        exigir(claves.size() == d->Count(), "a dictionary has one key per value");
        for (size_t i = 0; i < d->Count(); ++i) {
            exigir(d->Exists(claves[i]), "every key of a dictionary is found");
            nodos += recorrer(d->valorEn(i));
        }
    } else if (auto c = v.objetoComo<json::Coleccion>()) {
        for (size_t i = 1; i <= c->Count(); ++i) nodos += recorrer(c->Item(i));
    }
    return nodos;
}

// What Encode keeps of a text through a JSON string: everything, but an
// apostrophe becomes a blank.
std::string trasEncode(std::string_view t) {
    std::string r(t);
    for (char& c : r)
        if (c == '\'') c = ' ';
    return r;
}

// A parsed list of objects as a record set: one row per object, the fields
// named by the plain keys of the first one.
class Filas : public json::FuenteFilas {
  public:
    Filas(std::vector<std::shared_ptr<json::Diccionario>> filas, std::vector<std::string> nombres)
        : filas_(std::move(filas)), nombres_(std::move(nombres)) {}
    bool eof() const override { return actual_ >= filas_.size(); }
    bool bof() const override { return false; }
    size_t numeroCampos() const override { return nombres_.size(); }
    const std::string& nombreCampo(size_t i) const override { return nombres_[i]; }
    Variant valorCampo(size_t i) const override { return filas_[actual_]->Item(nombres_[i]); }
    void MoveNext() override { ++actual_; }

  private:
    std::vector<std::shared_ptr<json::Diccionario>> filas_;
    std::vector<std::string> nombres_;
    size_t actual_ = 0;
};

bool nombrePlano(const std::string& n) {
    if (n.empty()) return false;
    for (char c : n) {
        const bool plano =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!plano) return false;
    }
    return true;
}

void idaYVueltaDeFilas(const Variant& arbol) {
    auto lista = arbol.esObjeto() ? arbol.objetoComo<json::Coleccion>() : nullptr;
    if (!lista || lista->Count() == 0) return;
    std::vector<std::shared_ptr<json::Diccionario>> filas;
    for (const Variant& e : lista->elementos()) {
        auto d = e.esObjeto() ? e.objetoComo<json::Diccionario>() : nullptr;
        if (!d) return;
        filas.push_back(d);
    }
    std::vector<std::string> nombres;
    for (const std::string& k : filas.front()->Keys())
        if (nombrePlano(k)) nombres.push_back(k);
    if (nombres.empty()) return;

    Filas rs(filas, nombres);
    const std::string texto = json::RStoJSON(rs);
    const json::Analisis analisis = json::parse(texto);
    exigir(analisis.correcto(), "RStoJSON writes a text the parser reads");
    const Variant& vuelta = analisis.valor;
    auto otra = vuelta.esObjeto() ? vuelta.objetoComo<json::Coleccion>() : nullptr;
    exigir(otra && otra->Count() == filas.size(), "RStoJSON writes one object per row");
    for (size_t f = 0; f < filas.size(); ++f) {
        const Variant& fila = otra->Item(f + 1);
        auto d = fila.esObjeto() ? fila.objetoComo<json::Diccionario>() : nullptr;
        exigir(d && d->Count() == nombres.size(), "RStoJSON writes every field of a row");
        for (const std::string& n : nombres) {
            const Variant original = filas[f]->Item(n);
            std::string esperado = original.esNull() ? "" : original.texto();
            std::erase(esperado, '\\');
            if (!comun::esUtf8Valido(esperado)) continue;
            exigir(d->Item(n).comoTexto() == trasEncode(esperado),
                   "a value goes through RStoJSON as its text");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t tamano) {
    const std::string_view texto(reinterpret_cast<const char*>(datos), tamano);

    const json::Analisis analisis = json::parse(texto);
    const Variant& arbol = analisis.valor;
    const std::string& errores = analisis.errores;
    exigir(!arbol.esEmpty() || errores == "Invalid JSON", "no tree means \"Invalid JSON\"");
    exigir(arbol.esEmpty() || arbol.esObjeto(), "the root is an object or an array");
    exigir(errores.size() <= 64 * 1024 + 64, "the error text stays within its bound");
    recorrer(arbol);
    if (errores.empty()) idaYVueltaDeFilas(arbol);

    const std::string escapado = json::Encode(texto);
    const json::Analisis enCadena = json::parse("[\"" + escapado + "\"]");
    exigir(enCadena.correcto(), "an encoded text parses as a string");
    const Variant& cadena = enCadena.valor;
    if (comun::esUtf8Valido(texto)) {
        auto c = cadena.esObjeto() ? cadena.objetoComo<json::Coleccion>() : nullptr;
        exigir(c && c->Count() == 1 && c->Item(1).comoTexto() == trasEncode(texto),
               "an encoded text reads back as itself");
    }
    return 0;
}
