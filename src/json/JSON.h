// The JSON module: a lenient parser into dictionaries and 1-based
// collections, the serialiser of record sets, and the string escaper.
// Parsing never throws; problems are collected in the error text it returns
// with its result.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "comun/Variant.h"

namespace json {

using comun::Variant;

// A JSON object: keys compared exactly, enumeration in insertion order.
class Diccionario : public comun::Objeto {
  public:
    // The keys of a dictionary in order, with a hash index past
    // kUmbralIndice keys. Objects of one answer mostly share their keys (every
    // record of a batch has the same members), so the parser gives such
    // dictionaries one shared Forma; a dictionary copies it before changing
    // its keys.
    struct Forma {
        std::vector<std::string> claves;
        std::unordered_map<std::string, size_t> indice;
    };

    bool Exists(std::string_view clave) const;
    // The value of a key; Empty when absent.
    Variant Item(std::string_view clave) const;
    // Adds a pair; returns false (and changes nothing) when the key exists.
    bool Add(std::string clave, Variant valor);
    // Sets or replaces.
    void Set(std::string clave, Variant valor);
    size_t Count() const { return valores_.size(); }
    const std::vector<std::string>& Keys() const;
    // Value by insertion position (0-based).
    const Variant& valorEn(size_t i) const { return valores_[i]; }

    // Replaces the whole content: the keys (distinct, with their index when
    // there are more than kUmbralIndice) and one value per key.
    void asignar(std::shared_ptr<Forma> forma, std::vector<Variant> valores);
    // Appends a pair whose key is known not to be present, without looking
    // it up again.
    void agregarDistinta(std::string clave, Variant valor);

    // Up to this many keys a lookup scans the keys (cheaper than hashing
    // for records of a few dozen short keys); beyond it the index is kept.
    static constexpr size_t kUmbralIndice = 64;

  private:
    // Position of a key, or Count() when absent.
    size_t buscar(std::string_view clave) const;
    // The keys, unshared, for a change.
    Forma& formaPropia();

    std::shared_ptr<Forma> forma_;  // null while there are no keys
    std::vector<Variant> valores_;
};

// A JSON array: 1-based in its accessors, as the runtime's Collection. The
// elements are held in blocks of a few hundred bytes rather than in one
// array, so a long answer's list is never copied whole as it grows and
// never needs one large block (which, once freed, the allocator hands back
// to the system, to be faulted in again by the next parse).
class Coleccion : public comun::Objeto {
  public:
    size_t Count() const { return elementos_.size(); }
    // Element i, 1 <= i <= Count(); throws std::out_of_range otherwise.
    const Variant& Item(size_t i) const;
    void Add(Variant valor) { elementos_.push_back(std::move(valor)); }
    const std::deque<Variant>& elementos() const { return elementos_; }

  private:
    std::deque<Variant> elementos_;
};

// What a parse gives: the root Diccionario or Coleccion wrapped in a
// Variant (an Object), or an Empty Variant when the first non-blank
// character is neither "{" nor "[" ("Invalid JSON"); and the error text,
// one line per problem, empty when the text parsed cleanly. A text with
// errors still gives the tree built up to them.
struct Analisis {
    Variant valor;
    std::string errores;
    bool correcto() const { return errores.empty(); }
};

Analisis parse(std::string_view texto);

// What RStoJSON needs of a record set; the data layer's record set
// implements it (tests use a small in-memory one).
class FuenteFilas {
  public:
    virtual ~FuenteFilas() = default;
    virtual bool eof() const = 0;
    virtual bool bof() const = 0;
    virtual size_t numeroCampos() const = 0;
    virtual const std::string& nombreCampo(size_t i) const = 0;
    virtual Variant valorCampo(size_t i) const = 0;
    virtual void MoveNext() = 0;
};

// The rows from the current one to the end as a JSON array of objects whose
// values are all strings; "null" when there is no current row.
std::string RStoJSON(FuenteFilas& rs);
// The current row alone as RStoJSON writes it inside the array (an object,
// no separator); it does not move. RStoJSON's text is "[" + the rows joined
// by ",\r\n" + "]".
std::string filaJSON(const FuenteFilas& rs);
// What RStoJSON puts between two rows.
inline constexpr std::string_view kSeparadorFilas = ",\r\n";

// Escapes one text for use inside a JSON string (no surrounding quotes).
std::string Encode(std::string_view texto);

// A JSON object written member by member, every value a text, keys and
// values escaped by Encode, with no blanks: the form in which records
// travel between the sites and the server.
class ObjetoTextos {
  public:
    void agregar(std::string_view clave, std::string_view valor);
    // The object's text, closed; the writer is left empty.
    std::string cerrar();

  private:
    std::string texto_ = "{";
};

// A JSON array of elements that are JSON texts already, joined by
// `separador`.
std::string lista(const std::vector<std::string>& elementos, std::string_view separador = ",");

// A parsed value written back as JSON text, to keep it as it came: members
// in their order, texts as they are (only '"', '\\' and control characters
// escaped), numbers as they were written, Empty as null. Containers nested
// deeper than `profundidad` are written as "...", since a hostile text may
// nest without end.
std::string escribir(const Variant& valor, int profundidad = 32);

}  // namespace json
