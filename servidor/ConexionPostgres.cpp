// The store's connection over libpq, and what PostgreSQL writes in its
// own way: the identity key, a list of ids as an array, a new record with
// its deliveries in one statement, the row locks on a client, the lock that serialises processes
// creating the layout, and the delivery counter as the identity's sequence. Each statement is
// prepared once per connection under a name of its own; parameters and results travel as text. A
// connection that broke (the database restarted) is reset before it is lent out again.
//
// Round trips. Statements whose answers may wait (encolar) are held and
// sent in one pipeline with the next statement whose answer is awaited,
// so a transaction costs about one round trip per answer it reads before
// writing again. A transaction's BEGIN waits for its first statement that
// writes or locks: at READ COMMITTED every statement sees what was
// committed before it started, inside a transaction or not, so reads that
// come first run without one, and a transaction that only read costs no
// BEGIN and no COMMIT.
#include <libpq-fe.h>

#include <array>
#include <climits>
#include <cstring>
#include <exception>
#include <optional>

#include "ConexionSQL.h"

namespace servidor {

namespace {

class FilaPostgres : public FilaLeida {
  public:
    FilaPostgres(PGresult* resultado, int fila) : resultado_(resultado), fila_(fila) {}
    std::string_view texto(int columna) const override {
        if (PQgetisnull(resultado_, fila_, columna)) return {};
        return {PQgetvalue(resultado_, fila_, columna),
                static_cast<size_t>(PQgetlength(resultado_, fila_, columna))};
    }

  private:
    PGresult* resultado_;
    int fila_;
};

// Owns one PGresult.
struct Resultado {
    explicit Resultado(PGresult* r) : r(r) {}
    ~Resultado() { PQclear(r); }
    Resultado(const Resultado&) = delete;
    Resultado& operator=(const Resultado&) = delete;
    PGresult* r;
};

void callar(void*, const char*) {}

// A list as an array literal: {1,2} or {"a","b"}.
std::string comoArreglo(const std::vector<int64_t>& ids) {
    std::string texto = "{";
    for (size_t i = 0; i < ids.size(); ++i) texto += (i > 0 ? "," : "") + std::to_string(ids[i]);
    return texto + "}";
}
std::string comoArreglo(const std::vector<std::string>& textos) {
    std::string texto = "{";
    for (size_t i = 0; i < textos.size(); ++i) {
        texto += i > 0 ? ",\"" : "\"";
        for (char c : textos[i]) {
            if (c == '"' || c == '\\') texto += '\\';
            texto += c;
        }
        texto += '"';
    }
    return texto + "}";
}

// A parameter as the text libpq sends.
std::string comoTexto(const Valor& valor) {
    if (const auto* texto = std::get_if<std::string>(&valor)) return *texto;
    if (const auto* entero = std::get_if<int64_t>(&valor)) return std::to_string(*entero);
    if (const auto* ids = std::get_if<std::vector<int64_t>>(&valor)) return comoArreglo(*ids);
    return comoArreglo(std::get<std::vector<std::string>>(valor));
}

class ConexionPostgres : public ConexionSQL {
  public:
    explicit ConexionPostgres(const std::string& uri) : conexion_(PQconnectdb(uri.c_str())) {
        if (!conexion_ || PQstatus(conexion_) != CONNECTION_OK) {
            std::string mensaje = conexion_ ? PQerrorMessage(conexion_) : "sin memoria";
            PQfinish(conexion_);
            conexion_ = nullptr;
            throw ErrorBase("No se pudo conectar con PostgreSQL: " + recortar(mensaje));
        }
        silenciarAvisos();
    }
    ~ConexionPostgres() override { PQfinish(conexion_); }

    Rasgos rasgos() const override { return {INT_MAX, false, true}; }

    using ConexionSQL::ejecutarGuion;
    void ejecutarGuion(std::string_view sql) override {
        comenzarYa();
        esperar();
        Resultado r(PQexec(conexion_, std::string(sql).c_str()));
        comprobar(r.r);
    }

    int64_t ejecutar(Sentencia s, const Parametros& parametros,
                     const std::function<void(const FilaLeida&)>& alLeer) override {
        int64_t cambiadas = 0;
        encolar(s, parametros, alLeer, &cambiadas);
        esperar();
        return cambiadas;
    }

    void encolar(Sentencia s, const Parametros& parametros,
                 std::function<void(const FilaLeida&)> alLeer, int64_t* cambiadas) override {
        if (cambiadas) *cambiadas = 0;
        if (!preparada(s)) return;
        if (!esLectura(s)) comenzarYa();
        Pendiente p;
        p.nombre = "s" + std::to_string(static_cast<int>(s));
        p.textos.reserve(parametros.size());
        for (const auto& v : parametros) p.textos.push_back(comoTexto(v));
        p.alLeer = std::move(alLeer);
        p.cambiadas = cambiadas;
        cola_.push_back(std::move(p));
        // A long pipeline could fill both ways of the socket at once.
        if (cola_.size() >= kMaximoEnCola) esperar();
    }

    void esperar() override {
        if (cola_.empty()) return;
        std::vector<Pendiente> cola;
        cola.swap(cola_);
        enviarYLeer(cola);
    }

    void comenzar() override {
        cola_.clear();
        enTransaccion_ = true;
        comenzada_ = false;
    }
    void confirmar() override {
        if (comenzada_) cola_.push_back(sinParametros("COMMIT"));
        esperar();
        enTransaccion_ = comenzada_ = false;
    }
    void deshacer() noexcept override {
        cola_.clear();
        enTransaccion_ = comenzada_ = false;
        if (PQtransactionStatus(conexion_) != PQTRANS_IDLE) PQclear(PQexec(conexion_, "ROLLBACK"));
    }

    void verificar() override {
        if (PQstatus(conexion_) == CONNECTION_OK && !rota_) return;
        PQreset(conexion_);
        PQexitPipelineMode(conexion_);
        rota_ = false;
        cola_.clear();
        enTransaccion_ = comenzada_ = false;
        preparadas_.fill(Preparada::No);
        if (PQstatus(conexion_) != CONNECTION_OK)
            throw ErrorBase("Sin conexion con PostgreSQL: " + recortar(PQerrorMessage(conexion_)));
        silenciarAvisos();
    }

    void preparar(Sentencia s) override { preparada(s); }

    std::string sql(Sentencia s) const override {
        switch (s) {
            case Sentencia::CrearTablas:
                return esquema("BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY");
            // Two server processes starting together on one database would
            // race to create the same tables.
            case Sentencia::BloquearEsquema:
                return "SELECT pg_advisory_xact_lock(7305861)";
            case Sentencia::BloquearClienteCompartido:
                return "SELECT 1 FROM clientes WHERE cliente = $1 FOR SHARE";
            case Sentencia::BloquearClienteExclusivo:
                return "SELECT 1 FROM clientes WHERE cliente = $1 FOR UPDATE";
            case Sentencia::Acusar:
                return "UPDATE entregas SET acusada = CAST($3 AS BIGINT) WHERE sitio = $1 AND "
                       "acusada = 0 AND id = ANY(CAST($2 AS BIGINT[]))";
            case Sentencia::AcusarUnaVez:
                return "UPDATE entregas SET acusada = CAST($2 AS BIGINT) WHERE "
                       "id = ANY(CAST($1 AS BIGINT[]))";
            case Sentencia::FilaVuelta:
                return "SELECT idOrigen, recibido FROM registros WHERE origen = $1 AND "
                       "idOrigen = ANY(CAST($2 AS TEXT[])) AND NOT id = ANY(CAST($3 AS BIGINT[])) "
                       "ORDER BY length(idOrigen), idOrigen, recibido LIMIT 1";
            case Sentencia::NotarRetroceso:
                return notarRetroceso(sql(Sentencia::FilaVuelta));
            // A new record and its deliveries in one statement: one per
            // other site of the client for a general record, one to its
            // destination otherwise (EntregarACliente and EntregarADestino
            // are then left with nothing to do).
            case Sentencia::AltaRegistro:
                return "WITH r AS (" + std::string(sqlComun(s)) +
                       "), e AS (INSERT INTO entregas (registro, sitio) "
                       "SELECT r.id, t.codigo FROM r JOIN sitios t ON t.cliente = $4 AND "
                       "t.codigo <> $1 WHERE CAST($6 AS INTEGER) = 1 "
                       "UNION ALL SELECT r.id, $5 FROM r WHERE CAST($6 AS INTEGER) = 0 "
                       "ON CONFLICT DO NOTHING) SELECT id FROM r";
            case Sentencia::EntregarACliente:
            case Sentencia::EntregarADestino:
                return {};
            // The general records a new site is owed, each locked as it is
            // read: a record the history's pass is removing is waited for
            // and then skipped, where reading it unlocked would make its
            // delivery break the foreign key once the pass commits.
            case Sentencia::EntregasAnteriores:
                return "INSERT INTO entregas (registro, sitio) SELECT id, $1 FROM registros "
                       "WHERE general = 1 AND cliente = $2 AND origen <> $1 ORDER BY id "
                       "FOR KEY SHARE ON CONFLICT DO NOTHING";
            // The identity's sequence needs no row of its own.
            case Sentencia::PrepararContador:
                return {};
            case Sentencia::ElevarContador:
                return "SELECT setval(q.s::regclass, CAST($1 AS BIGINT)) FROM "
                       "(SELECT pg_get_serial_sequence('entregas', 'id') AS s) q "
                       "WHERE coalesce(pg_sequence_last_value(q.s::regclass), 0) < "
                       "CAST($2 AS BIGINT)";
            default:
                return std::string(sqlComun(s));
        }
    }

  private:
    static std::string recortar(std::string texto) {
        while (!texto.empty() && (texto.back() == '\n' || texto.back() == ' ')) texto.pop_back();
        return texto;
    }

    // Notices (of CREATE ... IF NOT EXISTS, say) would go to standard error.
    void silenciarAvisos() { PQsetNoticeProcessor(conexion_, callar, nullptr); }

    // Prepares `s` on first use; false for a statement PostgreSQL has no
    // need of.
    bool preparada(Sentencia s) {
        Preparada& estado = preparadas_[static_cast<size_t>(s)];
        if (estado != Preparada::No) return estado == Preparada::Si;
        const std::string texto = sql(s);
        if (texto.empty()) {
            estado = Preparada::Vacia;
            return false;
        }
        const std::string nombre = "s" + std::to_string(static_cast<int>(s));
        Resultado r(PQprepare(conexion_, nombre.c_str(), texto.c_str(), 0, nullptr));
        comprobar(r.r);
        estado = Preparada::Si;
        return true;
    }

    // A statement held for the next pipeline: prepared (by name, with its
    // parameters) or, with no name, a text without parameters.
    struct Pendiente {
        std::string nombre;
        std::string texto;
        std::vector<std::string> textos;
        std::function<void(const FilaLeida&)> alLeer;
        int64_t* cambiadas = nullptr;
    };
    static constexpr size_t kMaximoEnCola = 256;

    static Pendiente sinParametros(const char* texto) {
        Pendiente p;
        p.texto = texto;
        return p;
    }

    // Within a transaction, sends its BEGIN ahead of what follows.
    void comenzarYa() {
        if (!enTransaccion_ || comenzada_) return;
        comenzada_ = true;
        cola_.push_back(sinParametros("BEGIN ISOLATION LEVEL READ COMMITTED"));
    }

    // Sends `cola` in one pipeline and reads every answer, in order. The
    // first failure is thrown once every answer is read (those after it
    // were not run), so that the connection is left ready for the next.
    void enviarYLeer(std::vector<Pendiente>& cola) {
        if (PQenterPipelineMode(conexion_) != 1) {
            rota_ = true;
            throw ErrorBase("PostgreSQL: " + recortar(PQerrorMessage(conexion_)), true);
        }
        size_t enviadas = 0;
        for (const Pendiente& p : cola) {
            int ok;
            if (p.nombre.empty()) {
                ok = PQsendQueryParams(conexion_, p.texto.c_str(), 0, nullptr, nullptr, nullptr,
                                       nullptr, 0);
            } else {
                std::vector<const char*> valores;
                valores.reserve(p.textos.size());
                for (const auto& t : p.textos) valores.push_back(t.c_str());
                ok = PQsendQueryPrepared(conexion_, p.nombre.c_str(),
                                         static_cast<int>(valores.size()), valores.data(), nullptr,
                                         nullptr, 0);
            }
            if (!ok) break;
            ++enviadas;
        }
        const bool sincronizada = PQpipelineSync(conexion_) == 1;
        std::optional<ErrorBase> error;
        std::exception_ptr fallo;
        for (size_t i = 0; i < enviadas; ++i) {
            Pendiente& p = cola[i];
            while (PGresult* crudo = PQgetResult(conexion_)) {
                Resultado r(crudo);
                const ExecStatusType estado = PQresultStatus(r.r);
                if (error || fallo || estado == PGRES_PIPELINE_ABORTED) continue;
                if (estado != PGRES_COMMAND_OK && estado != PGRES_TUPLES_OK) {
                    error = errorDe(r.r);
                    continue;
                }
                try {
                    leer(r.r, p);
                } catch (...) {
                    fallo = std::current_exception();
                }
            }
            if (PQstatus(conexion_) != CONNECTION_OK) break;
        }
        // The answer to the pipeline's end; after it the connection is idle.
        bool terminada = false;
        for (int vuelta = 0; sincronizada && vuelta < 8 && PQstatus(conexion_) == CONNECTION_OK;
             ++vuelta) {
            PGresult* crudo = PQgetResult(conexion_);
            if (!crudo) continue;
            Resultado r(crudo);
            if (PQresultStatus(r.r) == PGRES_PIPELINE_SYNC) {
                terminada = true;
                break;
            }
        }
        if (!terminada || PQexitPipelineMode(conexion_) != 1) rota_ = true;
        if (error) throw *error;
        if (fallo) std::rethrow_exception(fallo);
        if (enviadas < cola.size() || rota_) {
            rota_ = true;
            throw ErrorBase("Sin conexion con PostgreSQL: " + recortar(PQerrorMessage(conexion_)),
                            true);
        }
    }

    static void leer(PGresult* r, Pendiente& p) {
        if (PQresultStatus(r) == PGRES_TUPLES_OK) {
            const int filas = PQntuples(r);
            if (p.alLeer)
                for (int i = 0; i < filas; ++i) p.alLeer(FilaPostgres(r, i));
            if (p.cambiadas) *p.cambiadas = filas;
            return;
        }
        const char* cambiadas = PQcmdTuples(r);
        if (p.cambiadas) *p.cambiadas = cambiadas && *cambiadas ? std::stoll(cambiadas) : 0;
    }

    // Throws on a failed result. Deadlocks and serialization failures are
    // marked so the caller may run its transaction again; so is a broken
    // connection, which verificar() mends before the next use.
    void comprobar(PGresult* r) {
        ExecStatusType estado = PQresultStatus(r);
        if (estado == PGRES_COMMAND_OK || estado == PGRES_TUPLES_OK) return;
        throw errorDe(r);
    }
    ErrorBase errorDe(PGresult* r) {
        const char* codigo = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
        bool conflicto =
            codigo && (std::strcmp(codigo, "40001") == 0 || std::strcmp(codigo, "40P01") == 0);
        bool caida = PQstatus(conexion_) != CONNECTION_OK;
        std::string mensaje = r ? PQresultErrorMessage(r) : PQerrorMessage(conexion_);
        return ErrorBase(recortar(mensaje), conflicto || caida);
    }

    enum class Preparada : char { No, Si, Vacia };
    PGconn* conexion_;
    std::array<Preparada, kSentencias> preparadas_{};
    std::vector<Pendiente> cola_;
    // Inside a transaction (comenzar was called), and whether its BEGIN
    // has gone into the pipeline.
    bool enTransaccion_ = false;
    bool comenzada_ = false;
    // A pipeline ended unread: reset before the next use.
    bool rota_ = false;
};

}  // namespace

std::unique_ptr<ConexionSQL> conectarPostgres(const std::string& uri) {
    return std::make_unique<ConexionPostgres>(uri);
}

}  // namespace servidor
