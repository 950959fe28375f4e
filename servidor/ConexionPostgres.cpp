// The store's connection over libpq. Each statement is prepared once per
// connection under a name of its own; parameters and results travel as
// text. A connection that broke (the database restarted) is reset before
// it is lent out again.
#include <libpq-fe.h>

#include <cstring>
#include <map>

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

    Motor motor() const override { return Motor::PostgreSQL; }

    void ejecutarGuion(std::string_view sql) override {
        Resultado r(PQexec(conexion_, std::string(sql).c_str()));
        comprobar(r.r);
    }

    int64_t ejecutar(std::string_view sql, const Parametros& parametros,
                     const std::function<void(const FilaLeida&)>& alLeer) override {
        const std::string& nombre = preparada(sql);
        std::vector<const char*> valores;
        valores.reserve(parametros.size());
        for (const auto& p : parametros) valores.push_back(p.c_str());
        Resultado r(PQexecPrepared(conexion_, nombre.c_str(), static_cast<int>(valores.size()),
                                   valores.data(), nullptr, nullptr, 0));
        comprobar(r.r);
        if (PQresultStatus(r.r) == PGRES_TUPLES_OK) {
            int filas = PQntuples(r.r);
            if (alLeer)
                for (int i = 0; i < filas; ++i) alLeer(FilaPostgres(r.r, i));
            return filas;
        }
        const char* cambiadas = PQcmdTuples(r.r);
        return cambiadas && *cambiadas ? std::stoll(cambiadas) : 0;
    }

    void comenzar() override { ejecutarGuion("BEGIN ISOLATION LEVEL READ COMMITTED"); }
    void confirmar() override { ejecutarGuion("COMMIT"); }
    void deshacer() noexcept override {
        if (PQtransactionStatus(conexion_) != PQTRANS_IDLE) PQclear(PQexec(conexion_, "ROLLBACK"));
    }

    void verificar() override {
        if (PQstatus(conexion_) == CONNECTION_OK) return;
        PQreset(conexion_);
        preparadas_.clear();
        if (PQstatus(conexion_) != CONNECTION_OK)
            throw ErrorBase("Sin conexion con PostgreSQL: " + recortar(PQerrorMessage(conexion_)));
        silenciarAvisos();
    }

  private:
    static std::string recortar(std::string texto) {
        while (!texto.empty() && (texto.back() == '\n' || texto.back() == ' ')) texto.pop_back();
        return texto;
    }

    // Notices (of CREATE ... IF NOT EXISTS, say) would go to standard error.
    void silenciarAvisos() { PQsetNoticeProcessor(conexion_, callar, nullptr); }

    const std::string& preparada(std::string_view sql) {
        auto it = preparadas_.find(sql);
        if (it != preparadas_.end()) return it->second;
        std::string nombre = "s" + std::to_string(preparadas_.size() + 1);
        Resultado r(PQprepare(conexion_, nombre.c_str(), std::string(sql).c_str(), 0, nullptr));
        comprobar(r.r);
        return preparadas_.emplace(std::string(sql), nombre).first->second;
    }

    // Throws on a failed result. Deadlocks and serialization failures are
    // marked so the caller may run its transaction again; so is a broken
    // connection, which verificar() mends before the next use.
    void comprobar(PGresult* r) {
        ExecStatusType estado = PQresultStatus(r);
        if (estado == PGRES_COMMAND_OK || estado == PGRES_TUPLES_OK) return;
        const char* codigo = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
        bool conflicto =
            codigo && (std::strcmp(codigo, "40001") == 0 || std::strcmp(codigo, "40P01") == 0);
        bool caida = PQstatus(conexion_) != CONNECTION_OK;
        std::string mensaje = r ? PQresultErrorMessage(r) : PQerrorMessage(conexion_);
        throw ErrorBase(recortar(mensaje), conflicto || caida);
    }

    PGconn* conexion_;
    std::map<std::string, std::string, std::less<>> preparadas_;
};

}  // namespace

std::unique_ptr<ConexionSQL> conectarPostgres(const std::string& uri) {
    return std::make_unique<ConexionPostgres>(uri);
}

}  // namespace servidor
