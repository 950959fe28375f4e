// The store over either engine. The statements are the same for both but
// for the table definitions, the row locks and the way a list of ids is
// passed.
//
// Delivery model. When a record is stored, a delivery row is made for each
// site it is addressed to: its destination, or, for the general
// destination, every known site of the poster's client but the poster. A
// delivery row is offered until its site acknowledges it; then it is marked
// with the moment and kept, so that `reenviar` can offer it again to a
// site that restored a backup. Its id is what the site stores, so a record
// offered again carries the same id and the site keeps it once. A site seen
// for the first time gets a delivery of every general record of its client
// posted before.
//
// Delivery ids. A site takes a record under an id it holds for one it has,
// so no id may be given twice, even by a store restored from a backup
// (which forgets every id it gave since). The counter is therefore kept at
// the clock in microseconds or above: raised to it when the store opens and
// every couple of seconds after. Every id given is then below the clock of
// its moment (as long as fewer than a million are given a second), and a
// restored store, opened later, starts above every id it ever gave. With
// PostgreSQL the raise waits until the counter is a second behind (see
// seguirElReloj), so the store must be opened more than a second after the
// backup was taken, which a restore always is. When a site acknowledges an
// id above the counter (the clock went back), the counter moves past it.
// Ids stay within 16 digits until the year 2286.
//
// Concurrency. With SQLite every transaction starts with BEGIN IMMEDIATE
// on the one connection: transactions run one after another. With
// PostgreSQL, several server processes share the database and each runs
// its transactions at READ COMMITTED, which suffices because:
// - a record is stored once: the unique key (origin, row id, fingerprint)
//   makes a concurrent second insert of the same record wait for the first
//   and then do nothing, so exactly one transaction makes its deliveries;
// - a delivery row is unique per (record, site), and an answer lists each
//   delivery row once, so no answer holds a record twice; two concurrent
//   answers to one site may both hold it, with the same id, and the site
//   keeps it once;
// - the only read-then-write that could miss a concurrent change is the
//   fan-out of a general record (which sites exist) against the first
//   visit of a new site of the same client (which general records exist).
//   Both lock the client's row in `clientes` first: a post FOR SHARE, a
//   new site FOR UPDATE. Whichever gets the lock second starts its
//   statements after the other committed, and at READ COMMITTED each
//   statement sees every commit made before it starts, so the new site
//   gets the record from one side or the other; the unique key keeps it
//   from getting it from both.
// - nothing depends on ids being committed in order (sequence values are
//   not), so there is no high-water mark to skip a late commit.
// Deadlocks and serialization failures roll the transaction back and run
// it again.
#include "Almacen.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

#include "ConexionSQL.h"
#include "comun/Variant.h"

namespace servidor {

namespace {

constexpr int kVersionEsquema = 3;
constexpr int kIntentos = 5;

// "@ID@" is the engine's self-numbering key. The ids of `entregas` must
// never be used twice (the sites keep them to recognise a record they
// already have), hence AUTOINCREMENT on SQLite.
constexpr const char* kEsquema = R"SQL(
CREATE TABLE IF NOT EXISTS esquema (version INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS clientes (cliente TEXT PRIMARY KEY);
CREATE TABLE IF NOT EXISTS sitios (
    codigo TEXT PRIMARY KEY,
    cliente TEXT NOT NULL,
    visto BIGINT NOT NULL,
    retroceso BIGINT NOT NULL DEFAULT 0,
    filaRetroceso TEXT NOT NULL DEFAULT '',
    copiaAntesDe BIGINT NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS sitiosPorCliente ON sitios (cliente);
CREATE TABLE IF NOT EXISTS registros (
    id @ID@,
    origen TEXT NOT NULL,
    idOrigen TEXT NOT NULL,
    huella TEXT NOT NULL,
    cliente TEXT NOT NULL,
    destino TEXT NOT NULL,
    general INTEGER NOT NULL,
    servicio TEXT, tabla TEXT, funcion TEXT,
    Campo1 TEXT, Campo2 TEXT, Campo3 TEXT, Campo4 TEXT, Campo5 TEXT, Campo6 TEXT,
    Campo7 TEXT, Campo8 TEXT, Campo9 TEXT, Campo10 TEXT, Campo11 TEXT, Campo12 TEXT,
    Campo13 TEXT, Campo14 TEXT, Campo15 TEXT, Campo16 TEXT, Campo17 TEXT, Campo18 TEXT,
    Campo19 TEXT, Campo20 TEXT, Campo21 TEXT, Campo22 TEXT, Campo23 TEXT, Campo24 TEXT,
    Campo25 TEXT, Campo26 TEXT, Campo27 TEXT, Campo28 TEXT, Campo29 TEXT, Campo30 TEXT,
    Campo31 TEXT, Campo32 TEXT, Campo33 TEXT, Campo34 TEXT, Campo35 TEXT, Campo36 TEXT,
    Campo37 TEXT, Campo38 TEXT, Campo39 TEXT, Campo40 TEXT,
    recibido BIGINT NOT NULL,
    UNIQUE (origen, idOrigen, huella)
);
CREATE INDEX IF NOT EXISTS registrosGenerales ON registros (cliente, id) WHERE general = 1;
CREATE TABLE IF NOT EXISTS entregas (
    id @ID@,
    registro BIGINT NOT NULL REFERENCES registros (id),
    sitio TEXT NOT NULL,
    acusada BIGINT NOT NULL DEFAULT 0,
    UNIQUE (registro, sitio)
);
CREATE TABLE IF NOT EXISTS rechazados (
    id @ID@,
    sitio TEXT NOT NULL,
    idOrigen TEXT NOT NULL,
    motivo TEXT NOT NULL,
    registro TEXT NOT NULL,
    recibido BIGINT NOT NULL
);
CREATE INDEX IF NOT EXISTS rechazadosPorSitio ON rechazados (sitio);
CREATE TABLE IF NOT EXISTS socios (
    id @ID@,
    idRegistro TEXT NOT NULL,
    sucursal TEXT NOT NULL,
    parametros TEXT NOT NULL,
    recibido BIGINT NOT NULL,
    UNIQUE (idRegistro, sucursal)
);
)SQL";

// Made after the tables are brought to the current version.
constexpr const char* kIndices = R"SQL(
CREATE INDEX IF NOT EXISTS entregasPorSitioYAcuse ON entregas (sitio, acusada, registro);
)SQL";

// From the layout of version 2: acknowledged deliveries were deleted, and
// nothing was known of a site's row ids going back.
constexpr const char* kDeVersion2 = R"SQL(
ALTER TABLE entregas ADD COLUMN acusada BIGINT NOT NULL DEFAULT 0;
DROP INDEX IF EXISTS entregasPorSitio;
ALTER TABLE sitios ADD COLUMN retroceso BIGINT NOT NULL DEFAULT 0;
ALTER TABLE sitios ADD COLUMN filaRetroceso TEXT NOT NULL DEFAULT '';
ALTER TABLE sitios ADD COLUMN copiaAntesDe BIGINT NOT NULL DEFAULT 0;
)SQL";

// The clock in microseconds, which delivery ids never fall behind.
int64_t microsegundos() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}
// A second of ids: a raise of a counter other processes may be using goes
// this far past what called for it, so that it cannot land below an id
// taken meanwhile.
constexpr int64_t kMargenIds = 1000000;
// An acknowledged id beyond this (the year 148,000 in microseconds) moves
// nothing: a site cannot use up the ids of everyone.
constexpr int64_t kTopeIds = INT64_MAX / 2;

std::string esquemaPara(Motor motor) {
    std::string texto = kEsquema;
    const std::string clave = motor == Motor::SQLite
                                  ? "INTEGER PRIMARY KEY AUTOINCREMENT"
                                  : "BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY";
    for (size_t pos = texto.find("@ID@"); pos != std::string::npos; pos = texto.find("@ID@"))
        texto.replace(pos, 4, clave);
    return texto;
}

std::string campos(std::string_view prefijo, int hasta) {
    std::string lista;
    for (int k = 1; k <= hasta; ++k) {
        lista += ", ";
        lista += prefijo;
        lista += "Campo" + std::to_string(k);
    }
    return lista;
}

std::string marcas(int desde, int hasta) {
    std::string lista;
    for (int k = desde; k <= hasta; ++k) lista += ", $" + std::to_string(k);
    return lista;
}

const std::string kAlta =
    "INSERT INTO registros (origen, idOrigen, huella, cliente, destino, "
    "general, servicio, tabla, funcion" +
    campos("", 40) + ", recibido) VALUES ($1" + marcas(2, 50) +
    ") ON CONFLICT (origen, idOrigen, huella) DO NOTHING RETURNING id";

const std::string kPendientes =
    "SELECT e.id, r.tabla, r.origen, r.destino, r.general, r.servicio, r.funcion" +
    campos("r.", 39) +
    ", r.idOrigen FROM entregas e JOIN registros r ON r.id = e.registro WHERE e.sitio = $1 "
    "AND e.acusada = 0 ORDER BY e.registro LIMIT ";

// A list of ids as one parameter, and the condition that reads it.
std::string listaDeIds(Motor motor, const std::vector<int64_t>& ids) {
    std::string texto = motor == Motor::SQLite ? "[" : "{";
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i > 0) texto += ',';
        texto += std::to_string(ids[i]);
    }
    return texto + (motor == Motor::SQLite ? "]" : "}");
}
std::string idEnLista(Motor motor, std::string_view parametro) {
    if (motor == Motor::SQLite)
        return "id IN (SELECT value FROM json_each(" + std::string(parametro) + "))";
    return "id = ANY(CAST(" + std::string(parametro) + " AS BIGINT[]))";
}
// The same for texts of digits (a site's row ids).
std::string listaDeFilas(Motor motor, const std::vector<std::string>& filas) {
    std::string texto = motor == Motor::SQLite ? "[" : "{";
    for (size_t i = 0; i < filas.size(); ++i) texto += (i > 0 ? ",\"" : "\"") + filas[i] + '"';
    return texto + (motor == Motor::SQLite ? "]" : "}");
}
std::string filaEnLista(Motor motor, std::string_view parametro) {
    if (motor == Motor::SQLite)
        return "idOrigen IN (SELECT value FROM json_each(" + std::string(parametro) + "))";
    return "idOrigen = ANY(CAST(" + std::string(parametro) + " AS TEXT[]))";
}

// Connections lent one at a time; a borrower waits for a free one.
class Reserva {
  public:
    void agregar(std::unique_ptr<ConexionSQL> c) { libres_.push_back(std::move(c)); }

    std::unique_ptr<ConexionSQL> tomar() {
        std::unique_lock<std::mutex> guarda(cerrojo_);
        hayLibre_.wait(guarda, [this] { return !libres_.empty(); });
        auto c = std::move(libres_.back());
        libres_.pop_back();
        return c;
    }
    void devolver(std::unique_ptr<ConexionSQL> c) {
        {
            std::lock_guard<std::mutex> guarda(cerrojo_);
            libres_.push_back(std::move(c));
        }
        hayLibre_.notify_one();
    }

  private:
    std::mutex cerrojo_;
    std::condition_variable hayLibre_;
    std::vector<std::unique_ptr<ConexionSQL>> libres_;
};

class AlmacenSQL : public Almacen {
  public:
    AlmacenSQL(Motor motor, std::function<std::unique_ptr<ConexionSQL>()> conectar, int conexiones)
        : motor_(motor) {
        auto primera = conectar();
        crearEsquema(*primera);
        reserva_.agregar(std::move(primera));
        enTransaccion([this](ConexionSQL& c) { return seguirElReloj(c); });
        for (int i = 1; i < conexiones; ++i) reserva_.agregar(conectar());
        escritor_ = std::thread([this] { escribirVisitasPeriodicamente(); });
    }
    ~AlmacenSQL() override {
        {
            std::lock_guard<std::mutex> guarda(cerrojoEscritor_);
            parar_ = true;
        }
        pararEscritor_.notify_one();
        escritor_.join();
        escribirVisitas();
    }

    ResultadoLote guardarLote(const Lote& lote, int64_t ahora) override {
        ResultadoLote resultado = enGrupo([&](ConexionSQL& c) {
            registrar(c, lote.sitio, lote.cliente, ahora);
            ResultadoLote resultado;
            bool hayGenerales = false;
            for (const auto& r : lote.registros) hayGenerales = hayGenerales || r.general;
            if (hayGenerales) bloquearCliente(c, lote.cliente, "FOR SHARE");
            const std::string texto = std::to_string(ahora);
            std::vector<std::string> filasNuevas;
            std::vector<int64_t> registrosNuevos;
            for (const auto& r : lote.registros) {
                ConexionSQL::Parametros p{lote.sitio,   r.idOrigen, r.huella,
                                          lote.cliente, r.destino,  r.general ? "1" : "0",
                                          r.servicio,   r.tabla,    r.funcion};
                p.insert(p.end(), r.campos.begin(), r.campos.end());
                p.push_back(texto);
                std::string id;
                c.ejecutar(kAlta, p, [&id](const FilaLeida& f) { id = f.texto(0); });
                if (id.empty()) {
                    ++resultado.repetidos;
                    continue;
                }
                ++resultado.nuevos;
                filasNuevas.push_back(r.idOrigen);
                registrosNuevos.push_back(std::stoll(id));
                if (r.general)
                    c.ejecutar(
                        "INSERT INTO entregas (registro, sitio) "
                        "SELECT CAST($1 AS BIGINT), codigo FROM sitios "
                        "WHERE cliente = $2 AND codigo <> $3 ON CONFLICT DO NOTHING",
                        {id, lote.cliente, lote.sitio});
                else
                    c.ejecutar(
                        "INSERT INTO entregas (registro, sitio) "
                        "VALUES (CAST($1 AS BIGINT), $2) ON CONFLICT DO NOTHING",
                        {id, r.destino});
            }
            filasNuevas.insert(filasNuevas.end(), lote.filasAcuses.begin(), lote.filasAcuses.end());
            if (!filasNuevas.empty())
                notarRetroceso(c, lote.sitio, filasNuevas, registrosNuevos, ahora, resultado);
            if (!lote.acuses.empty()) {
                const int64_t acusadas = c.ejecutar(
                    "UPDATE entregas SET acusada = CAST($3 AS BIGINT) WHERE sitio = $1 AND "
                    "acusada = 0 AND " +
                        idEnLista(motor_, "$2"),
                    {lote.sitio, listaDeIds(motor_, lote.acuses), texto});
                // Fewer than acknowledged: repeats, or ids this store never
                // gave, which the counter must pass.
                const int64_t mayor = *std::max_element(lote.acuses.begin(), lote.acuses.end());
                if (acusadas < static_cast<int64_t>(lote.acuses.size()) && mayor <= kTopeIds &&
                    elevarIds(c, mayor + kMargenIds, mayor))
                    resultado.idsDesde = mayor + kMargenIds;
            }
            for (const auto& a : lote.apartados)
                c.ejecutar(
                    "INSERT INTO rechazados (sitio, idOrigen, motivo, registro, recibido) "
                    "VALUES ($1, $2, $3, $4, $5)",
                    {lote.sitio, a.idOrigen, a.motivo, a.registro, texto});
            return resultado;
        });
        notarVisita(lote.sitio, ahora);
        return resultado;
    }

    std::vector<Entrega> entregar(const std::string& sitio, const std::string& cliente, int maximo,
                                  int64_t ahora, const Elegir& elegir) override {
        auto entregas = enTransaccion([&](ConexionSQL& c) {
            registrar(c, sitio, cliente, ahora);
            std::vector<Entrega> entregas;
            std::vector<int64_t> unaVez;
            std::vector<std::pair<Entrega, std::string>> apartadas;
            size_t bytes = 0;
            bool lleno = false;
            c.ejecutar(kPendientes + std::to_string(maximo), {sitio}, [&](const FilaLeida& f) {
                if (lleno) return;
                Entrega e;
                e.id = f.entero(0);
                e.tabla = f.texto(1);
                e.origen = f.texto(2);
                e.destino = f.entero(4) ? sitio : std::string(f.texto(3));
                e.servicio = f.texto(5);
                e.funcion = f.texto(6);
                for (int k = 0; k < 39; ++k) e.campos[k] = f.texto(7 + k);
                e.idOrigen = f.texto(46);
                std::string motivo;
                switch (elegir ? elegir(e, entregas.size(), bytes, motivo) : Eleccion::Entregar) {
                    case Eleccion::Parar:
                        lleno = true;
                        return;
                    case Eleccion::Apartar:
                        apartadas.emplace_back(std::move(e), std::move(motivo));
                        return;
                    case Eleccion::Entregar:
                        break;
                }
                bytes += e.texto.size();
                if (!tablaAcusable(e.tabla)) unaVez.push_back(e.id);
                entregas.push_back(std::move(e));
            });
            const std::string cuando = std::to_string(ahora);
            for (const auto& [e, motivo] : apartadas) {
                c.ejecutar(
                    "INSERT INTO rechazados (sitio, idOrigen, motivo, registro, recibido) "
                    "VALUES ($1, $2, $3, $4, $5)",
                    {e.origen, e.idOrigen, motivo, e.texto, cuando});
                c.ejecutar("DELETE FROM entregas WHERE id = CAST($1 AS BIGINT)",
                           {std::to_string(e.id)});
            }
            // A site acknowledges only records whose table code is above
            // zero; any other record would be offered forever.
            if (!unaVez.empty())
                c.ejecutar("UPDATE entregas SET acusada = CAST($2 AS BIGINT) WHERE " +
                               idEnLista(motor_, "$1"),
                           {listaDeIds(motor_, unaVez), std::to_string(ahora)});
            return entregas;
        });
        notarVisita(sitio, ahora);
        return entregas;
    }

    bool guardarSocio(const std::string& id, const std::string& sucursal,
                      const std::string& parametros, int64_t ahora) override {
        return enTransaccion([&](ConexionSQL& c) {
            return c.ejecutar(
                       "INSERT INTO socios (idRegistro, sucursal, parametros, recibido) "
                       "VALUES ($1, $2, $3, $4) "
                       "ON CONFLICT (idRegistro, sucursal) DO NOTHING",
                       {id, sucursal, parametros, std::to_string(ahora)}) > 0;
        });
    }

    std::vector<EstadoSitio> estado() override {
        escribirVisitas();
        return enTransaccion([&](ConexionSQL& c) {
            std::vector<EstadoSitio> filas;
            c.ejecutar(
                "SELECT coalesce(s.cliente, ''), t.sitio, coalesce(p.pendientes, 0), "
                "coalesce(p.masAntiguo, 0), coalesce(s.visto, 0), coalesce(a.apartados, 0), "
                "coalesce(s.retroceso, 0), coalesce(s.filaRetroceso, ''), "
                "coalesce(s.copiaAntesDe, 0) "
                "FROM (SELECT codigo AS sitio FROM sitios UNION SELECT sitio FROM entregas "
                "WHERE acusada = 0 UNION SELECT sitio FROM rechazados) t "
                "LEFT JOIN sitios s ON s.codigo = t.sitio "
                "LEFT JOIN (SELECT e.sitio, count(*) AS pendientes, min(r.recibido) AS masAntiguo "
                "FROM entregas e JOIN registros r ON r.id = e.registro WHERE e.acusada = 0 "
                "GROUP BY e.sitio) p "
                "ON p.sitio = t.sitio "
                "LEFT JOIN (SELECT sitio, count(*) AS apartados FROM rechazados GROUP BY sitio) a "
                "ON a.sitio = t.sitio ORDER BY 1, 2",
                {}, [&filas](const FilaLeida& f) {
                    filas.push_back({std::string(f.texto(0)), std::string(f.texto(1)), f.entero(2),
                                     f.entero(3), f.entero(4), f.entero(5), f.entero(6),
                                     std::string(f.texto(7)), f.entero(8)});
                });
            return filas;
        });
    }

    int64_t reenviar(const std::string& sitio, int64_t desde) override {
        return enTransaccion([&](ConexionSQL& c) {
            c.ejecutar(
                "UPDATE sitios SET retroceso = 0, filaRetroceso = '', copiaAntesDe = 0 "
                "WHERE codigo = $1",
                {sitio});
            return c.ejecutar(
                "UPDATE entregas SET acusada = 0 WHERE sitio = $1 AND acusada >= CAST($2 AS "
                "BIGINT)",
                {sitio, std::to_string(std::max<int64_t>(desde, 1))});
        });
    }

    std::vector<ApartadoGuardado> apartados(const std::string& sitio, int64_t maximo) override {
        return enTransaccion([&](ConexionSQL& c) {
            std::vector<ApartadoGuardado> filas;
            c.ejecutar(
                "SELECT id, sitio, idOrigen, motivo, registro, recibido FROM rechazados "
                "WHERE $1 = '' OR sitio = $1 ORDER BY id LIMIT CAST($2 AS BIGINT)",
                {sitio, std::to_string(maximo)}, [&filas](const FilaLeida& f) {
                    filas.push_back({f.entero(0),
                                     std::string(f.texto(1)),
                                     {std::string(f.texto(2)), std::string(f.texto(3)),
                                      std::string(f.texto(4))},
                                     f.entero(5)});
                });
            return filas;
        });
    }

  private:
    template <typename Trabajo>
    std::invoke_result_t<Trabajo, ConexionSQL&> enTransaccion(Trabajo trabajo) {
        for (int intento = 1;; ++intento) {
            auto c = reserva_.tomar();
            try {
                c->verificar();
                c->comenzar();
                auto resultado = trabajo(*c);
                c->confirmar();
                reserva_.devolver(std::move(c));
                return resultado;
            } catch (const ErrorBase& e) {
                c->deshacer();
                reserva_.devolver(std::move(c));
                if (!e.reintentable() || intento >= kIntentos) throw;
            } catch (...) {
                c->deshacer();
                reserva_.devolver(std::move(c));
                throw;
            }
        }
    }

    // Group commit, for SQLite: a batch is stored in a transaction of its
    // own, but on one connection, where every commit waits for the disk,
    // the batches that arrive meanwhile are gathered and committed
    // together, each inside a savepoint so that a failing one fails alone.
    // The first waiting request leads: it runs the group gathered so far
    // and wakes the others when it is committed. (PostgreSQL groups the
    // commits of its connections by itself.)
    template <typename Trabajo>
    std::invoke_result_t<Trabajo, ConexionSQL&> enGrupo(Trabajo trabajo) {
        using R = std::invoke_result_t<Trabajo, ConexionSQL&>;
        if (motor_ != Motor::SQLite) return enTransaccion(trabajo);
        std::optional<R> resultado;
        Encargo encargo;
        encargo.hacer = [&](ConexionSQL& c) { resultado = trabajo(c); };
        std::unique_lock<std::mutex> guarda(cerrojoGrupo_);
        pendientes_.push_back(&encargo);
        while (!encargo.hecho) {
            if (hayLider_) {
                grupoListo_.wait(guarda);
                continue;
            }
            hayLider_ = true;
            std::vector<Encargo*> grupo;
            grupo.swap(pendientes_);
            guarda.unlock();
            correrGrupo(grupo);
            guarda.lock();
            for (Encargo* e : grupo) e->hecho = true;
            hayLider_ = false;
            grupoListo_.notify_all();
        }
        if (encargo.error) std::rethrow_exception(encargo.error);
        return std::move(*resultado);
    }

    struct Encargo {
        std::function<void(ConexionSQL&)> hacer;
        std::exception_ptr error;
        bool hecho = false;
    };

    void correrGrupo(const std::vector<Encargo*>& grupo) {
        try {
            enTransaccion([&](ConexionSQL& c) {
                for (Encargo* e : grupo) {
                    e->error = nullptr;
                    c.ejecutarGuion("SAVEPOINT encargo");
                    try {
                        e->hacer(c);
                    } catch (...) {
                        e->error = std::current_exception();
                        c.ejecutarGuion("ROLLBACK TO encargo");
                    }
                    c.ejecutarGuion("RELEASE encargo");
                }
                return 0;
            });
        } catch (...) {
            for (Encargo* e : grupo)
                if (!e->error) e->error = std::current_exception();
        }
    }

    // Raises the delivery counter to `valor` when it is below `siMenorQue`,
    // so that the next id given is above `valor`. True when it moved.
    bool elevarIds(ConexionSQL& c, int64_t valor, int64_t siMenorQue) {
        const ConexionSQL::Parametros p{std::to_string(valor), std::to_string(siMenorQue)};
        if (motor_ == Motor::SQLite) {
            // AUTOINCREMENT keeps the last id given in sqlite_sequence, and
            // gives the next one above it.
            c.ejecutar(
                "INSERT INTO sqlite_sequence (name, seq) SELECT 'entregas', 0 "
                "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = 'entregas')",
                {});
            return c.ejecutar(
                       "UPDATE sqlite_sequence SET seq = CAST($1 AS INTEGER) "
                       "WHERE name = 'entregas' AND seq < CAST($2 AS INTEGER)",
                       p) > 0;
        }
        return c.ejecutar(
                   "SELECT setval(q.s::regclass, CAST($1 AS BIGINT)) FROM "
                   "(SELECT pg_get_serial_sequence('entregas', 'id') AS s) q "
                   "WHERE coalesce(pg_sequence_last_value(q.s::regclass), 0) < CAST($2 AS BIGINT)",
                   p) > 0;
    }

    // Keeps the counter up with the clock. The one SQLite process raises it
    // to the clock whenever it is behind; with PostgreSQL, where another
    // server process may be taking ids meanwhile, only when it is a second
    // behind (a raise then cannot land below an id taken in between).
    bool seguirElReloj(ConexionSQL& c) {
        const int64_t reloj = microsegundos();
        return elevarIds(c, reloj, motor_ == Motor::SQLite ? reloj : reloj - kMargenIds);
    }

    // A site's row ids go back when it restores a backup: it then posts,
    // under row ids it used before for a stored record, other records (new
    // content, or acknowledgements). `filas` are the row ids of the batch's
    // new records and acknowledgements, `nuevos` the ids the new records
    // were stored under. The first such sign is kept for estado, until the
    // operator runs reenviar.
    void notarRetroceso(ConexionSQL& c, const std::string& sitio,
                        const std::vector<std::string>& filas, const std::vector<int64_t>& nuevos,
                        int64_t ahora, ResultadoLote& resultado) {
        c.ejecutar("SELECT idOrigen, recibido FROM registros WHERE origen = $1 AND " +
                       filaEnLista(motor_, "$2") + " AND NOT " + idEnLista(motor_, "$3") +
                       " ORDER BY length(idOrigen), idOrigen, recibido LIMIT 1",
                   {sitio, listaDeFilas(motor_, filas), listaDeIds(motor_, nuevos)},
                   [&resultado](const FilaLeida& f) {
                       resultado.filaRepetida = f.texto(0);
                       resultado.copiaAntesDe = f.entero(1);
                   });
        if (resultado.filaRepetida.empty()) return;
        c.ejecutar(
            "UPDATE sitios SET retroceso = CAST($2 AS BIGINT), filaRetroceso = $3, "
            "copiaAntesDe = CAST($4 AS BIGINT) WHERE codigo = $1 AND retroceso = 0",
            {sitio, std::to_string(ahora), resultado.filaRepetida,
             std::to_string(resultado.copiaAntesDe)});
    }

    void bloquearCliente(ConexionSQL& c, const std::string& cliente, std::string_view modo) {
        if (motor_ == Motor::PostgreSQL)
            c.ejecutar("SELECT 1 FROM clientes WHERE cliente = $1 " + std::string(modo), {cliente});
    }

    // Makes a site known on its first visit: known to its client, and owed
    // the client's general records posted before. Sites known already are
    // remembered, so a visit costs no write.
    void registrar(ConexionSQL& c, const std::string& sitio, const std::string& cliente,
                   int64_t ahora) {
        {
            std::lock_guard<std::mutex> guarda(cerrojoVisitas_);
            if (conocidos_.count(sitio)) return;
        }
        if (c.ejecutar("SELECT 1 FROM sitios WHERE codigo = $1", {sitio}) > 0) return;
        c.ejecutar("INSERT INTO clientes (cliente) VALUES ($1) ON CONFLICT DO NOTHING", {cliente});
        bloquearCliente(c, cliente, "FOR UPDATE");
        if (c.ejecutar("INSERT INTO sitios (codigo, cliente, visto) VALUES ($1, $2, $3) "
                       "ON CONFLICT DO NOTHING",
                       {sitio, cliente, std::to_string(ahora)}) == 0)
            return;
        c.ejecutar(
            "INSERT INTO entregas (registro, sitio) SELECT id, $1 FROM registros "
            "WHERE general = 1 AND cliente = $2 AND origen <> $1 ORDER BY id "
            "ON CONFLICT DO NOTHING",
            {sitio, cliente});
    }

    // After a transaction that registered the site committed.
    void notarVisita(const std::string& sitio, int64_t ahora) {
        std::lock_guard<std::mutex> guarda(cerrojoVisitas_);
        conocidos_.insert(sitio);
        int64_t& visto = visitas_[sitio];
        visto = std::max(visto, ahora);
    }

    // The time of each site's last request is written in batches, every
    // couple of seconds, not by every request: most requests of a site
    // that is up to date then write nothing (and, on SQLite, wait for no
    // flush to disk).
    //
    // The same pass keeps the delivery counter up with the clock (see the
    // top of this file): a store restored under a running server process
    // of a shared database is caught within a pass.
    void escribirVisitas(bool elevar = false) {
        std::unordered_map<std::string, int64_t> visitas;
        {
            std::lock_guard<std::mutex> guarda(cerrojoVisitas_);
            visitas.swap(visitas_);
        }
        if (visitas.empty() && !elevar) return;
        try {
            enTransaccion([&](ConexionSQL& c) {
                for (const auto& [sitio, visto] : visitas)
                    c.ejecutar("UPDATE sitios SET visto = $2 WHERE codigo = $1 AND visto < $2",
                               {sitio, std::to_string(visto)});
                if (elevar) seguirElReloj(c);
                return 0;
            });
        } catch (const std::exception&) {
            // Informational only; the next pass tries again.
        }
    }

    void escribirVisitasPeriodicamente() {
        std::unique_lock<std::mutex> guarda(cerrojoEscritor_);
        while (!parar_) {
            pararEscritor_.wait_for(guarda, std::chrono::seconds(2));
            guarda.unlock();
            escribirVisitas(true);
            guarda.lock();
        }
    }

    void crearEsquema(ConexionSQL& c) {
        c.comenzar();
        try {
            // Two server processes starting together on one PostgreSQL
            // database would race to create the same tables.
            if (motor_ == Motor::PostgreSQL)
                c.ejecutar("SELECT pg_advisory_xact_lock(7305861)", {});
            c.ejecutarGuion(esquemaPara(motor_));
            int64_t version = 0;
            c.ejecutar("SELECT version FROM esquema", {},
                       [&version](const FilaLeida& f) { version = f.entero(0); });
            if (version == 2) {
                c.ejecutarGuion(kDeVersion2);
                c.ejecutar("UPDATE esquema SET version = $1", {std::to_string(kVersionEsquema)});
            } else if (version == 0) {
                int64_t registros = 0;
                c.ejecutar("SELECT count(*) FROM registros", {},
                           [&registros](const FilaLeida& f) { registros = f.entero(0); });
                if (registros > 0)
                    throw ErrorBase(
                        "La base tiene registros en un formato anterior del servidor; "
                        "use una base nueva");
                c.ejecutar("INSERT INTO esquema (version) VALUES ($1)",
                           {std::to_string(kVersionEsquema)});
            } else if (version != kVersionEsquema) {
                throw ErrorBase("La base es de otra version del servidor (esquema " +
                                std::to_string(version) + ")");
            }
            c.ejecutarGuion(kIndices);
            c.confirmar();
        } catch (...) {
            c.deshacer();
            throw;
        }
    }

    Motor motor_;
    Reserva reserva_;
    std::mutex cerrojoGrupo_;
    std::condition_variable grupoListo_;
    std::vector<Encargo*> pendientes_;
    bool hayLider_ = false;
    std::mutex cerrojoVisitas_;
    std::unordered_set<std::string> conocidos_;
    std::unordered_map<std::string, int64_t> visitas_;
    std::mutex cerrojoEscritor_;
    std::condition_variable pararEscritor_;
    bool parar_ = false;
    std::thread escritor_;
};

}  // namespace

bool esPostgres(const std::string& base) {
    return base.rfind("postgresql://", 0) == 0 || base.rfind("postgres://", 0) == 0;
}

std::unique_ptr<Almacen> abrirAlmacen(const std::string& base, int conexiones) {
    if (esPostgres(base))
        return std::make_unique<AlmacenSQL>(
            Motor::PostgreSQL, [base] { return conectarPostgres(base); }, std::max(conexiones, 1));
    return std::make_unique<AlmacenSQL>(
        Motor::SQLite, [base] { return conectarSQLite(base); }, 1);
}

int64_t FilaLeida::entero(int columna) const {
    std::string_view t = texto(columna);
    int64_t valor = 0;
    bool negativo = !t.empty() && t[0] == '-';
    for (size_t i = negativo ? 1 : 0; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i)
        valor = valor * 10 + (t[i] - '0');
    return negativo ? -valor : valor;
}

bool tablaAcusable(const std::string& tabla) {
    if (!comun::IsNumeric(tabla)) return false;
    try {
        return comun::Variant(tabla).CDbl() > 0;
    } catch (const comun::ErrorTipo&) {
        return false;
    }
}

}  // namespace servidor
