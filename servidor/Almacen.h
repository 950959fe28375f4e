// The central server's store: where the records the sites post are kept
// until every addressed site has acknowledged them. One interface, two
// engines: a SQLite file (the default, for demos, tests and small
// installations) and a PostgreSQL database, which several server processes
// may share.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "comun/Comunicacion.h"

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

// A data record as the posting site sent it.
struct RegistroEntrante {
    std::string idOrigen;  // the site's row id
    std::string huella;    // fingerprint of the content (see huellaDe)
    std::string destino;
    bool general = false;  // addressed to every other site of the client
    std::string servicio, tabla, funcion;
    std::array<std::string, comun::kCamposCarga> campos;
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
    std::string tabla, origen, destino, servicio, funcion;
    std::array<std::string, 39> campos;
    std::string idOrigen;  // the posting site's row id
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
    virtual bool guardarSocio(const std::string& id, const std::string& sucursal,
                              const std::string& parametros, int64_t ahora) = 0;

    // Every site known or owed something, by client and site.
    virtual std::vector<EstadoSitio> estado() = 0;

    // Offers `sitio` again, under their own ids, every record it
    // acknowledged at `desde` (epoch s) or later, and forgets that its row
    // ids went back. Returns how many. Safe because a site keeps each id
    // once: what it still has it acknowledges again and does not apply.
    virtual int64_t reenviar(const std::string& sitio, int64_t desde) = 0;

    // The records kept aside, oldest first, at most `maximo`; only those
    // posted by `sitio` unless it is empty.
    virtual std::vector<ApartadoGuardado> apartados(const std::string& sitio, int64_t maximo) = 0;
};

// Opens the store named by `base`: a "postgresql://" or "postgres://" URI
// opens PostgreSQL with a pool of `conexiones` connections; anything else
// is a SQLite file, created when missing. Creates the tables; throws
// ErrorBase when the store cannot be opened.
std::unique_ptr<Almacen> abrirAlmacen(const std::string& base, int conexiones = 8);
// Whether `base` names a PostgreSQL database rather than a SQLite file.
bool esPostgres(const std::string& base);

// The operator's table of `estado`: one line per site, by client, and a
// total; the client of a site that never made a request shows as "-". A
// site whose row ids went back gets a warning line with the command to run
// on the store `base`.
std::string informeEstado(const std::vector<EstadoSitio>& sitios, int64_t ahora,
                          const std::string& base = "BASE");

// A moment as the operator reads and writes it, in local time:
// "2026-05-01 14:30:00"; "nunca" for 0.
std::string textoFecha(int64_t segundos);
// "YYYY-MM-DD", "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS" (a "T" may stand
// for the blank), in local time, as epoch s; nothing when it is not one.
std::optional<int64_t> leerFecha(const std::string& texto);

// The operator's list of records kept aside: one header line each (id,
// posting site, when, why) and the record as it came.
std::string informeApartados(const std::vector<ApartadoGuardado>& apartados);

// Whether a table code is a number above zero: only such records are
// acknowledged by the sites.
bool tablaAcusable(const std::string& tabla);

}  // namespace servidor
