// The records the sites and the server exchange, each written to and read
// from its JSON form in this one place: the communication record, the
// outbound batch a site posts with setData and the receipts the server
// answers it with, the records the server delivers with getData, and the
// acknowledgement a site queues for each record it stores.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comun/Fallo.h"
#include "comun/Variant.h"

namespace json {
class Diccionario;
}

namespace protocolo {

// The destination that addresses every site of the client and none alone.
inline constexpr char kDestinoGeneral[] = "000000000000000";

// The payload columns of a record: Campo1 to Campo40.
inline constexpr size_t kCamposCarga = 40;
// A delivered record carries Campo1 to Campo39: at a receiving site
// Campo40 holds the server's id of the record, by which it is stored once
// and acknowledged.
inline constexpr size_t kCampoIdServidor = 40;
inline constexpr size_t kCamposEntregados = kCampoIdServidor - 1;

// The largest message either peer takes: the body of a request at the
// server, a whole answer at the site.
inline constexpr size_t kMensajeMaximo = size_t{64} * 1024 * 1024;
// Room in a message for what surrounds its records: the request line and
// headers, the other parameters, the list's brackets.
inline constexpr size_t kMargenMensaje = size_t{64} * 1024;
// A record whose JSON text is longer can never travel, alone or with
// others: it is set aside whole instead of being offered for ever.
inline constexpr size_t kRegistroMaximo = kMensajeMaximo - kMargenMensaje;

// How much one outbound batch (or one answer of the server) may carry: at
// most `filas` records and, past the first, no more than `bytes` of JSON
// text. A first record larger than `bytes` still travels alone, up to
// `registroMaximo`.
// The site's default is the batch it has always sent: up to 200 records
// of any kind but 4, and one of kind 4.
struct LimiteLote {
    size_t filas = 201;
    size_t bytes = size_t{4} * 1024 * 1024;
    size_t registroMaximo = kRegistroMaximo;
};

// A message of the other peer that is valid JSON but not the records it
// should be: a protocol failure. Nothing of it is stored or marked.
class ErrorProtocolo : public comun::Fallo {
  public:
    explicit ErrorProtocolo(const std::string& mensaje)
        : comun::Fallo(comun::TipoFallo::Protocolo, mensaje) {}
};

// A communication record: a row of COMUNICACIONES, and what travels of it.
// Every member travels as a text.
struct Comunicacion {
    // The members that may lack a value, for `sinValor`.
    enum Miembro : size_t { kServicio, kTabla, kOrigen, kDestino, kFuncion, kPrimerCampo };
    static constexpr size_t kMiembros = kPrimerCampo + kCamposCarga;
    static constexpr size_t miembroCampo(size_t k) { return kPrimerCampo + k - 1; }

    // The sender's row id ("Id") in a batch; the server's id of the record
    // ("id") in a delivery, which a receiving site keeps in Campo40.
    std::string id;
    std::string servicio;  // 0 acknowledgement, 1 request, 2 data, 4 at most one a batch
    std::string tabla;     // the table code
    std::string origen;
    std::string destino;
    std::string funcion;  // "A" add or change, "E" erase, "X" applied
    bool enviado = false;
    std::array<std::string, kCamposCarga> campos;  // campos[k - 1] is Campo k
    // Members with no value at all: a NULL column of the queue, a member
    // absent or null in an answer. They travel as "" and are stored as no
    // value (the column's default).
    std::bitset<kMiembros> sinValor;

    // Campo k (1-based); the empty text beyond the last one.
    const std::string& campo(size_t k) const;
    std::string& campo(size_t k) { return campos.at(k - 1); }
    bool tieneValor(size_t miembro) const { return !sinValor.test(miembro); }
};

// --- the outbound batch: setData's "dato" ---

// The oldest unsent rows of a site's queue, as one setData request carries
// them: `ids` are their row ids, in order, one per record.
struct LoteSaliente {
    std::vector<int64_t> ids;
    std::vector<Comunicacion> registros;
    bool vacio() const { return registros.empty(); }
};

// One row as a batch carries it: an object of every column in the queue's
// order (Id, Servicio, Tabla, Origen, Destino, Funcion, Enviado, Campo1 to
// Campo40), each value its text without backslashes, escaped by
// json::Encode.
std::string codificarSaliente(const Comunicacion& r);
// The batch: "null" when it is empty, otherwise its rows joined by
// kSeparadorSalientes inside "[" and "]".
std::string codificar(const LoteSaliente& lote);
inline constexpr std::string_view kSeparadorSalientes = ",\r\n";

// One element of a batch as the server reads it: every member its text (a
// member that is an object or a list reads as ""), an absent one "".
Comunicacion leerSaliente(const json::Diccionario& elemento);

// --- the receipts: setData's answer ---

// The server's answer to a batch: one object {"valor": id} for each row it
// took, in the order of the batch.
std::string codificarRecibos(const std::vector<std::string>& filas);

// The answer as the site reads it: the row ids it lists, and the values
// that are not one (listed for the report, never marked). An empty value
// is neither.
struct Recibos {
    std::vector<int64_t> filas;
    std::vector<std::string> ilegibles;
};
// Throws ErrorProtocolo, before reading any receipt, when the answer is
// not an array of objects.
Recibos leerRecibos(const comun::Variant& respuesta);

// --- the deliveries: getData's answer ---

// A record as an answer delivers it under the server's id `id`: id, Tabla,
// Origen, Destino, Servicio, Funcion and Campo1 to Campo39, all texts.
std::string codificarEntrega(int64_t id, const Comunicacion& r);

// One element of a getData answer as the site reads it.
struct Recibido {
    // The record to store: `id` is the server's id, also in Campo40.
    Comunicacion registro;
    // Why it cannot be stored ("" when it can): the element is not an
    // object, or its id, table code or kind is not what it must be, or a
    // member is an object or a list.
    std::string rechazo;
    // The element as it came, to keep it whole if it is refused.
    comun::Variant elemento;
    // That element as JSON text (see json::escribir).
    std::string texto() const;
    // The table code its acknowledgement carries: the record's own when it
    // is a whole number above 0, else 0.
    int32_t tablaAcuse = 0;
    // Whether the element is an object (only those count as records).
    bool objeto = true;
};
// The elements of an answer that have an id, or that cannot be read as a
// record (those are kept aside); an object without an id is none of the
// server's records and is left out. Throws ErrorProtocolo when the answer
// is not an array.
std::vector<Recibido> leerEntregas(const comun::Variant& respuesta);

// --- the acknowledgement a site queues for a record it stored ---

// Sent from the record's destination (or, for a record set aside, from the
// site itself) to the general destination: kind 0, the record's table
// code, Campo1 the server's id of the record.
struct Acuse {
    std::string origen;
    int32_t tabla = 0;
    std::string entrega;
    Comunicacion comoComunicacion() const;
};
// Whether a record of a batch is an acknowledgement (kind "0").
bool esAcuse(const Comunicacion& r);
// The delivery an acknowledgement names: Campo1, a whole number above 0;
// none when it names none.
std::optional<int64_t> entregaAcusada(const Comunicacion& r);

}  // namespace protocolo
