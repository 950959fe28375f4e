// The store over either kind of database: what it does with the sites'
// batches and requests. The statements it runs are named (Sentencias.h);
// each backend writes them in its dialect. The connections, transactions
// and group commit are in Reserva.h, the layout in Esquema.cpp, the
// operator's queries in Operador.cpp.
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
#include <atomic>
#include <chrono>
#include <climits>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "ConexionSQL.h"
#include "Esquema.h"
#include "Operador.h"
#include "Reserva.h"
#include "Sitios.h"
#include "comun/Variant.h"

namespace servidor {

namespace {

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

// The history's pass looks at this many records per transaction, so that
// the sites' requests (on SQLite, all behind the one connection) wait for
// no more than one such piece at a time.
constexpr int64_t kOlvidoPorVez = 1000;
// How often the pass runs.
constexpr std::chrono::seconds kCadaOlvido{5};

int64_t segundos() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class AlmacenSQL : public Almacen {
  public:
    AlmacenSQL(const Reserva::Conectar& conectar, int conexiones)
        : reserva_(conectar, conexiones, prepararEsquema),
          escritor_(std::chrono::seconds(2), [this] { escribirVisitas(true); }),
          olvido_(kCadaOlvido, [this] { olvidarLoViejo(); }) {
        reserva_.enTransaccion([this](ConexionSQL& c) { return seguirElReloj(c); });
    }
    ~AlmacenSQL() override {
        parando_ = true;
        olvido_.detener();
        escritor_.detener();
        escribirVisitas();
    }

    ResultadoLote guardarLote(const Lote& lote, int64_t ahora) override {
        const uint64_t olvidos = olvidosHastaAhora();
        // Filled as the answers arrive, by the commit at the latest.
        ResultadoLote resultado;
        reserva_.enGrupo([&](ConexionSQL& c) {
            resultado = {};
            registrar(c, lote.sitio, lote.cliente, ahora);
            bool hayGenerales = false;
            for (const auto& r : lote.registros) hayGenerales = hayGenerales || r.general;
            // The lock, the acknowledgements and the new records go
            // together (one round trip where the engine can send several);
            // what follows needs the ids the records were stored under.
            if (hayGenerales) c.encolar(Sentencia::BloquearClienteCompartido, {lote.cliente});
            int64_t acusadas = 0;
            if (!lote.acuses.empty())
                c.encolar(Sentencia::Acusar, {lote.sitio, lote.acuses, ahora}, {}, &acusadas);
            std::vector<std::string> ids(lote.registros.size());
            for (size_t i = 0; i < lote.registros.size(); ++i) {
                const RegistroEntrante& r = lote.registros[i];
                const protocolo::Comunicacion& g = r.registro;
                ConexionSQL::Parametros p{lote.sitio,   g.id,      r.huella,
                                          lote.cliente, g.destino, int64_t{r.general ? 1 : 0},
                                          g.servicio,   g.tabla,   g.funcion};
                p.reserve(50);
                p.insert(p.end(), g.campos.begin(), g.campos.end());
                p.emplace_back(ahora);
                c.encolar(Sentencia::AltaRegistro, p,
                          [&ids, i](const FilaLeida& f) { ids[i] = f.texto(0); });
            }
            c.esperar();
            std::vector<std::string> filasNuevas;
            std::vector<int64_t> registrosNuevos;
            for (size_t i = 0; i < lote.registros.size(); ++i) {
                const RegistroEntrante& r = lote.registros[i];
                const std::string& id = ids[i];
                if (id.empty()) {
                    ++resultado.repetidos;
                    continue;
                }
                ++resultado.nuevos;
                filasNuevas.push_back(r.registro.id);
                registrosNuevos.push_back(std::stoll(id));
                if (r.general)
                    c.encolar(Sentencia::EntregarACliente, {id, lote.cliente, lote.sitio});
                else
                    c.encolar(Sentencia::EntregarADestino, {id, r.registro.destino});
            }
            filasNuevas.insert(filasNuevas.end(), lote.filasAcuses.begin(), lote.filasAcuses.end());
            if (!filasNuevas.empty())
                notarRetroceso(c, lote.sitio, filasNuevas, registrosNuevos, ahora, resultado);
            if (!lote.acuses.empty()) {
                // Fewer than acknowledged: repeats, or ids this store never
                // gave, which the counter must pass.
                const int64_t mayor = *std::max_element(lote.acuses.begin(), lote.acuses.end());
                if (acusadas < static_cast<int64_t>(lote.acuses.size()) && mayor <= kTopeIds &&
                    elevarIds(c, mayor + kMargenIds, mayor))
                    resultado.idsDesde = mayor + kMargenIds;
            }
            for (const auto& a : lote.apartados)
                c.encolar(Sentencia::Apartar,
                          {lote.sitio, a.idOrigen, a.motivo, a.registro, ahora});
        });
        notarVisita(lote.sitio, ahora, olvidos);
        return resultado;
    }

    std::vector<Entrega> entregar(const std::string& sitio, const std::string& cliente, int maximo,
                                  int64_t ahora, const Elegir& elegir) override {
        const uint64_t olvidos = olvidosHastaAhora();
        auto entregas = reserva_.enTransaccion([&](ConexionSQL& c) {
            registrar(c, sitio, cliente, ahora);
            std::vector<Entrega> entregas;
            std::vector<int64_t> unaVez;
            std::vector<std::pair<Entrega, std::string>> apartadas;
            size_t bytes = 0;
            bool lleno = false;
            c.ejecutar(Sentencia::Pendientes, {sitio, int64_t{maximo}}, [&](const FilaLeida& f) {
                if (lleno) return;
                Entrega e;
                e.id = f.entero(0);
                protocolo::Comunicacion& r = e.registro;
                r.tabla = f.texto(1);
                r.origen = f.texto(2);
                r.destino = f.entero(4) ? sitio : std::string(f.texto(3));
                r.servicio = f.texto(5);
                r.funcion = f.texto(6);
                for (size_t k = 1; k <= protocolo::kCamposEntregados; ++k)
                    r.campo(k) = f.texto(static_cast<int>(6 + k));
                r.id = f.texto(46);
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
                if (!tablaAcusable(e.registro.tabla)) unaVez.push_back(e.id);
                entregas.push_back(std::move(e));
            });
            for (const auto& [e, motivo] : apartadas) {
                c.encolar(Sentencia::Apartar,
                          {e.registro.origen, e.registro.id, motivo, e.texto, ahora});
                c.encolar(Sentencia::BorrarEntrega, {e.id});
            }
            // A site acknowledges only records whose table code is above
            // zero; any other record would be offered forever.
            if (!unaVez.empty()) c.encolar(Sentencia::AcusarUnaVez, {unaVez, ahora});
            return entregas;
        });
        notarVisita(sitio, ahora, olvidos);
        return entregas;
    }

    bool guardarQuiralte(const std::string& id, const std::string& sucursal,
                         const std::string& parametros, int64_t ahora) override {
        return reserva_.enTransaccion([&](ConexionSQL& c) {
            return c.ejecutar(Sentencia::AltaQuiralte, {id, sucursal, parametros, ahora}) > 0;
        });
    }

    std::vector<EstadoSitio> estado(int64_t historiaDesde) override {
        escribirVisitas();
        return leerEstado(reserva_, historiaDesde);
    }

    int64_t reenviar(const std::string& sitio, int64_t desde) override {
        return reenviarDesde(reserva_, sitio, desde);
    }

    std::vector<ApartadoGuardado> apartados(const std::string& sitio, int64_t maximo) override {
        return leerApartados(reserva_, sitio, maximo);
    }

    void registroAbierto(bool abierto) override { registroAbierto_ = abierto; }

    bool agregarSitio(const std::string& sitio, const std::string& cliente,
                      int64_t ahora) override {
        return reserva_.enTransaccion([&](ConexionSQL& c) {
            if (!darDeAlta(c, sitio, cliente, ahora, true)) return false;
            c.ejecutar(Sentencia::CambiarSitios, {});
            return true;
        });
    }

    bool quitarSitio(const std::string& sitio, const std::string& cliente) override {
        const bool quitado = darDeBaja(reserva_, sitio, cliente);
        std::lock_guard<std::mutex> guarda(cerrojoVisitas_);
        conocidos_.erase(sitio);
        ++olvidos_;
        return quitado;
    }

    std::vector<SitioRegistrado> sitios(const std::string& cliente) override {
        escribirVisitas();
        return leerSitios(reserva_, cliente);
    }

    void historial(int64_t segundos) override { historial_ = std::max<int64_t>(segundos, 0); }

    // The records are walked in id order (the order they arrived in, give
    // or take what several processes commit at once), a piece at a time,
    // from where the last piece ended; the walk stops at the first record
    // within the history, and starts again from the first record on the
    // next pass. A record still owed to some site is stepped over.
    int64_t olvidar(int64_t antesDe) override {
        int64_t olvidados = 0;
        int64_t desde = 0;
        bool alFinal = false;
        while (!alFinal && !parando_) {
            olvidados += reserva_.enTransaccion([&](ConexionSQL& c) {
                // From scratch: a piece run again after a conflict reads
                // its records again.
                alFinal = false;
                int64_t hasta = desde, vistos = 0;
                c.ejecutar(Sentencia::RegistrosDesde, {desde, kOlvidoPorVez},
                           [&](const FilaLeida& f) {
                               ++vistos;
                               if (alFinal) return;
                               if (f.entero(1) >= antesDe)
                                   alFinal = true;
                               else
                                   hasta = f.entero(0);
                           });
                if (vistos < kOlvidoPorVez) alFinal = true;
                int64_t quitados = 0;
                if (hasta > desde) {
                    c.ejecutar(Sentencia::OlvidarEntregas, {desde, hasta, antesDe});
                    quitados = c.ejecutar(Sentencia::OlvidarRegistros, {desde, hasta, antesDe});
                }
                desde = hasta;
                return quitados;
            });
        }
        while (!parando_ && reserva_.enTransaccion([&](ConexionSQL& c) {
            return c.ejecutar(Sentencia::OlvidarQuiralte, {antesDe, kOlvidoPorVez});
        }) == kOlvidoPorVez) {
        }
        return olvidados;
    }

    bool responde() override {
        try {
            return reserva_.enTransaccion(
                [](ConexionSQL& c) { return c.ejecutar(Sentencia::Responde, {}) > 0; });
        } catch (const std::exception&) {
            return false;
        }
    }

  private:
    // The history's pass on the store's own thread.
    void olvidarLoViejo() {
        const int64_t historial = historial_;
        if (historial <= 0) return;
        try {
            olvidar(segundos() - historial);
        } catch (const std::exception&) {
            // The next pass tries again; what was not removed is kept.
        }
    }

    // Raises the delivery counter to `valor` when it is below `siMenorQue`,
    // so that the next id given is above `valor`. True when it moved.
    static bool elevarIds(ConexionSQL& c, int64_t valor, int64_t siMenorQue) {
        c.ejecutar(Sentencia::PrepararContador, {});
        return c.ejecutar(Sentencia::ElevarContador, {valor, siMenorQue}) > 0;
    }

    // Keeps the counter up with the clock. A store of one process raises
    // it to the clock whenever it is behind; a store other server processes
    // share, which may be taking ids meanwhile, only when it is a second
    // behind (a raise then cannot land below an id taken in between).
    bool seguirElReloj(ConexionSQL& c) {
        const int64_t reloj = microsegundos();
        return elevarIds(c, reloj, reserva_.rasgos().compartida ? reloj - kMargenIds : reloj);
    }

    // A site's row ids go back when it restores a backup: it then posts,
    // under row ids it used before for a stored record, other records (new
    // content, or acknowledgements). `filas` are the row ids of the batch's
    // new records and acknowledgements, `nuevos` the ids the new records
    // were stored under. The first such sign is kept for estado, until the
    // operator runs reenviar; `resultado` learns it by the commit.
    static void notarRetroceso(ConexionSQL& c, const std::string& sitio,
                               const std::vector<std::string>& filas,
                               const std::vector<int64_t>& nuevos, int64_t ahora,
                               ResultadoLote& resultado) {
        c.encolar(Sentencia::FilaVuelta, {sitio, filas, nuevos}, [&resultado](const FilaLeida& f) {
            resultado.filaRepetida = f.texto(0);
            resultado.copiaAntesDe = f.entero(1);
        });
        c.encolar(Sentencia::NotarRetroceso, {sitio, filas, nuevos, ahora});
    }

    // Makes a site known on its first visit, while the register is open
    // (see darDeAlta); refuses one not registered while it is closed.
    // Sites known already are remembered, so a visit costs no query, until
    // the register changes (see escribirVisitas).
    void registrar(ConexionSQL& c, const std::string& sitio, const std::string& cliente,
                   int64_t ahora) {
        {
            std::lock_guard<std::mutex> guarda(cerrojoVisitas_);
            if (conocidos_.count(sitio)) return;
        }
        if (c.ejecutar(Sentencia::SitioConocido, {sitio}) > 0) return;
        if (!registroAbierto_) throw SitioNoRegistrado(paraBitacora(sitio));
        darDeAlta(c, sitio, cliente, ahora, false);
    }

    // Forgets the sites known in memory when the register changed since
    // the last look (an operator's command, or another server process):
    // a site taken off it is refused from its next request on.
    void seguirElRegistro(ConexionSQL& c) {
        int64_t cambios = 0;
        c.ejecutar(Sentencia::LeerCambiosSitios, {},
                   [&cambios](const FilaLeida& f) { cambios = f.entero(0); });
        std::lock_guard<std::mutex> guarda(cerrojoVisitas_);
        if (cambios != cambiosVistos_) {
            conocidos_.clear();
            ++olvidos_;
        }
        cambiosVistos_ = cambios;
    }

    uint64_t olvidosHastaAhora() {
        std::lock_guard<std::mutex> guarda(cerrojoVisitas_);
        return olvidos_;
    }

    // After a transaction that registered the site committed. `olvidos`:
    // the sites forgotten when it started; if they were forgotten since,
    // the site may have been taken off the register meanwhile, and is
    // looked up again on its next request.
    void notarVisita(const std::string& sitio, int64_t ahora, uint64_t olvidos) {
        std::lock_guard<std::mutex> guarda(cerrojoVisitas_);
        if (olvidos == olvidos_) conocidos_.insert(sitio);
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
            reserva_.enTransaccion([&](ConexionSQL& c) {
                for (const auto& [sitio, visto] : visitas)
                    c.encolar(Sentencia::AnotarVisita, {sitio, visto});
                if (elevar) {
                    seguirElReloj(c);
                    seguirElRegistro(c);
                }
            });
        } catch (const std::exception&) {
            // Informational only; the next pass tries again.
        }
    }

    Reserva reserva_;
    std::mutex cerrojoVisitas_;
    std::unordered_set<std::string> conocidos_;
    int64_t cambiosVistos_ = 0;
    // How many times known sites were forgotten.
    uint64_t olvidos_ = 0;
    std::atomic<bool> registroAbierto_{true};
    std::unordered_map<std::string, int64_t> visitas_;
    std::atomic<int64_t> historial_{0};
    std::atomic<bool> parando_{false};
    // Last: they run on the members above, and stop before they go.
    Periodico escritor_;
    Periodico olvido_;
};

}  // namespace

TipoBase tipoDeBase(const std::string& base) {
    return base.rfind("postgresql://", 0) == 0 || base.rfind("postgres://", 0) == 0
               ? TipoBase::PostgreSQL
               : TipoBase::SQLite;
}

std::unique_ptr<ConexionSQL> conectar(const std::string& base) {
    return tipoDeBase(base) == TipoBase::PostgreSQL ? conectarPostgres(base) : conectarSQLite(base);
}

std::unique_ptr<Almacen> abrirAlmacen(const std::string& base, int conexiones) {
    return std::make_unique<AlmacenSQL>([base] { return conectar(base); }, conexiones);
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
