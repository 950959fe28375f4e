// The central server's store: where the records the sites post are kept
// until every addressed site has acknowledged them. One interface, two
// kinds of database: a SQLite file (the default, for demos, tests and small
// installations) and a PostgreSQL database, which several server processes
// may share. The sites' side (guardarLote, entregar, guardarQuiralte) is in
// Almacen.cpp, the operator's (estado, reenviar, apartados) in
// Operador.cpp, each backend's dialect in its ConexionSQL.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "protocolo/Comunicacion.h"

namespace servidor {

class ErrorBase : public std::runtime_error {
  public:
    explicit ErrorBase(const std::string& mensaje, bool reintentable = false)
        : std::runtime_error(mensaje), reintentable_(reintentable) {}
    // A conflict with a concurrent transaction (a deadlock, a serialization
    // failure): running the whole transaction again is safe.
    bool reintentable() const { return reintentable_; }

  private:
    bool reintentable_;
};

// A request of a site the store has not registered, while sites are not
// registered on their first visit: nothing of it is stored or delivered.
class SitioNoRegistrado : public ErrorBase {
  public:
    explicit SitioNoRegistrado(const std::string& sitio)
        : ErrorBase("sitio " + sitio + " no registrado") {}
};

// A site of the register, as the operator lists it.
struct SitioRegistrado {
    std::string cliente;
    std::string sitio;
    int64_t alta = 0;            // when it was registered (epoch s)
    bool porOperador = false;    // by the operator, or on its first visit
    int64_t ultimaPeticion = 0;  // epoch s, 0: never
};

// A data record as the posting site sent it; registro.id is the site's row
// id.
struct RegistroEntrante {
    protocolo::Comunicacion registro;
    std::string huella;    // fingerprint of the content (see huellaDe)
    bool general = false;  // addressed to every other site of the client
};

// A record that is not taken, kept whole with the reason: posted in another
// site's name, addressed outside the poster's client, or an
// acknowledgement naming no delivery.
struct RegistroApartado {
    std::string idOrigen;
    std::string motivo;
    std::string registro;  // the record as JSON
};

// A record kept aside, as the operator lists it.
struct ApartadoGuardado {
    int64_t id = 0;
    std::string sitio;  // the site that posted it
    RegistroApartado apartado;
    int64_t recibido = 0;  // epoch s
};

// One site's setData batch, already read and checked.
struct Lote {
    std::string sitio;
    std::string cliente;
    std::vector<RegistroEntrante> registros;
    std::vector<int64_t> acuses;           // deliveries the site acknowledges
    std::vector<std::string> filasAcuses;  // the row ids of those acknowledgements
    std::vector<RegistroApartado> apartados;
};

struct ResultadoLote {
    int nuevos = 0;
    int repetidos = 0;
    // The lowest row id the site used before for other content (its row
    // ids went back: it restored a backup), "" when none; and when the
    // store first received that row id, which the backup predates.
    std::string filaRepetida;
    int64_t copiaAntesDe = 0;
    // When the site acknowledged an id above any this store gave (the
    // store was restored, or its clock went back), the id the store's
    // deliveries now continue from; 0 otherwise.
    int64_t idsDesde = 0;
};

// A record owed to a site; `id` is the identifier the site stores and
// acknowledges (one per record and site, the same on every offer).
struct Entrega {
    int64_t id = 0;
    // The record, Campo1 to Campo39 (a delivery carries no more);
    // registro.id is the posting site's row id.
    protocolo::Comunicacion registro;
    // The record as the answer carries it, when the chooser wrote it.
    std::string texto;
};

// How a record owed to a site fares in the answer being composed.
enum class Eleccion {
    Entregar,  // it goes in the answer
    Apartar,   // it can never go: kept aside whole, its delivery removed
    Parar,     // the answer is full: it and those after it wait
};
// Chooses, record by record in order, what one answer carries, knowing
// that `tomadas` records with `bytes` bytes of `texto` are taken so far. It
// may fill `e.texto` (what Apartar keeps) and gives the reason of Apartar in
// `motivo`. Called again from the first record if the store must run the
// answer's transaction again, so it must decide from its arguments alone.
using Elegir =
    std::function<Eleccion(Entrega& e, size_t tomadas, size_t bytes, std::string& motivo)>;

// What the operator sees of one site.
struct EstadoSitio {
    std::string cliente;
    std::string sitio;
    int64_t pendientes = 0;      // records offered and not acknowledged
    int64_t masAntiguo = 0;      // when the oldest of them arrived (epoch s), 0: none
    int64_t ultimaPeticion = 0;  // epoch s, 0: never
    int64_t apartados = 0;       // records it posted that were kept aside
    // When the store saw the site's row ids go back (epoch s, 0: not since
    // the last reenviar), the first row id it used again, and when the
    // store first received that row id.
    int64_t retroceso = 0;
    std::string filaRetroceso;
    int64_t copiaAntesDe = 0;
    // Of the records waiting, those that arrived before the history began
    // (see Almacen::estado): kept until the site takes them.
    int64_t vencidos = 0;
};

class Almacen {
  public:
    virtual ~Almacen() = default;

    // Stores a batch in one transaction: the new records with a delivery
    // for each addressed site, the acknowledgements (only of the poster's
    // own deliveries), the records kept aside. A record already stored
    // (same site, row id and content) is counted as a repeat.
    virtual ResultadoLote guardarLote(const Lote& lote, int64_t ahora) = 0;

    // Up to `maximo` records owed to `sitio`, oldest first, as `elegir`
    // chooses them (all of them when it is empty). Records whose table code
    // the site will not acknowledge are offered this once. A record the
    // chooser sets aside is kept in the table of records kept aside, in its
    // poster's name, and no longer owed.
    virtual std::vector<Entrega> entregar(const std::string& sitio, const std::string& cliente,
                                          int maximo, int64_t ahora, const Elegir& elegir = {}) = 0;

    // A partner push; false when that record of that branch was stored before.
    virtual bool guardarQuiralte(const std::string& id, const std::string& sucursal,
                                 const std::string& parametros, int64_t ahora) = 0;

    // The operator's side.

    // Every site known or owed something, by client and site; with
    // `historiaDesde` (epoch s), how many of the records waiting for each
    // arrived before it.
    virtual std::vector<EstadoSitio> estado(int64_t historiaDesde = 0) = 0;

    // Offers `sitio` again, under their own ids, every record it
    // acknowledged at `desde` (epoch s) or later, and forgets that its row
    // ids went back. Returns how many. Safe because a site keeps each id
    // once: what it still has it acknowledges again and does not apply.
    virtual int64_t reenviar(const std::string& sitio, int64_t desde) = 0;

    // The records kept aside, oldest first, at most `maximo`; only those
    // posted by `sitio` unless it is empty.
    virtual std::vector<ApartadoGuardado> apartados(const std::string& sitio, int64_t maximo) = 0;

    // The register of sites (see Sitios.h).

    // Whether a site the store does not know is registered by its first
    // request (true, the default) or refused with SitioNoRegistrado.
    virtual void registroAbierto(bool abierto) = 0;
    // Registers `sitio` of `cliente`, owed the client's general records
    // posted before; false when it was registered already.
    virtual bool agregarSitio(const std::string& sitio, const std::string& cliente,
                              int64_t ahora) = 0;
    // Takes `sitio` of `cliente` off the register: its requests are
    // refused (within a couple of seconds by the other server processes
    // of the store), and general records posted meanwhile are not made
    // for it. What waits for it is kept. False when it was not registered.
    virtual bool quitarSitio(const std::string& sitio, const std::string& cliente) = 0;
    // The registered sites, by client and site; only those of `cliente`
    // unless it is empty.
    virtual std::vector<SitioRegistrado> sitios(const std::string& cliente) = 0;

    // The history.

    // Records are kept this many seconds after they arrive, then removed
    // once every site they are addressed to has acknowledged them, by a
    // pass every few seconds on a thread of the store's own; the partner's
    // pushes too. 0 (the default) keeps everything.
    virtual void historial(int64_t segundos) = 0;
    // One such pass now, over the records that arrived before `antesDe`
    // (epoch s), in transactions of a bounded number of records each.
    // Returns how many records it removed. A record some site has not
    // acknowledged stays, however old: estado reports it.
    virtual int64_t olvidar(int64_t antesDe) = 0;

    // Whether the store answers a query now (for a load balancer's check).
    virtual bool responde() = 0;
};

// The kinds of database a store runs on.
enum class TipoBase { SQLite, PostgreSQL };
// The kind `base` names: a "postgresql://" or "postgres://" URI names
// PostgreSQL; anything else is a SQLite file.
TipoBase tipoDeBase(const std::string& base);

// Opens the store named by `base` (see tipoDeBase), PostgreSQL with a pool
// of `conexiones` connections, a SQLite file created when missing. Creates
// the tables; throws ErrorBase when the store cannot be opened.
std::unique_ptr<Almacen> abrirAlmacen(const std::string& base, int conexiones = 8);

// Whether a table code is a number above zero: only such records are
// acknowledged by the sites.
bool tablaAcusable(const std::string& tabla);

}  // namespace servidor
