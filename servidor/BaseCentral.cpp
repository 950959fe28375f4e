#include "BaseCentral.h"

#include <sqlite3.h>

namespace servidor {

namespace {

// The server's own tables. `registros` holds each record once as a site
// posted it, known by the posting site, its row id and a fingerprint of its
// content (row ids repeat after a site restores a backup); `entregas` holds
// one row per record and addressed site, whose id is the identifier the
// site stores and acknowledges; `rechazados` keeps whole the records a site
// posted in another site's name.
constexpr const char* kEsquema = R"SQL(
CREATE TABLE IF NOT EXISTS sitios (
    codigo TEXT PRIMARY KEY,
    cliente TEXT NOT NULL,
    ultimoRegistro INTEGER NOT NULL DEFAULT 0,
    visto TEXT
);
CREATE TABLE IF NOT EXISTS registros (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    origen TEXT NOT NULL,
    idOrigen TEXT NOT NULL,
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
    huella TEXT NOT NULL,
    recibido TEXT NOT NULL DEFAULT (datetime('now')),
    UNIQUE (origen, idOrigen, huella)
);
CREATE INDEX IF NOT EXISTS registrosPorDestino ON registros (destino, id);
CREATE INDEX IF NOT EXISTS registrosPorCliente ON registros (cliente, general, id);
CREATE TABLE IF NOT EXISTS entregas (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    registro INTEGER NOT NULL REFERENCES registros (id),
    sitio TEXT NOT NULL,
    acusado INTEGER NOT NULL DEFAULT 0,
    UNIQUE (registro, sitio)
);
CREATE INDEX IF NOT EXISTS entregasPendientes ON entregas (sitio, acusado, registro);
CREATE TABLE IF NOT EXISTS rechazados (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    sitio TEXT NOT NULL,
    idOrigen TEXT NOT NULL,
    motivo TEXT NOT NULL,
    registro TEXT NOT NULL,
    recibido TEXT NOT NULL DEFAULT (datetime('now'))
);
CREATE TABLE IF NOT EXISTS socios (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    idRegistro TEXT NOT NULL,
    sucursal TEXT NOT NULL,
    parametros TEXT NOT NULL,
    recibido TEXT NOT NULL DEFAULT (datetime('now')),
    UNIQUE (idRegistro, sucursal)
);
)SQL";

}  // namespace

BaseCentral::BaseCentral(const std::string& ruta) {
    if (sqlite3_open_v2(ruta.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        std::string mensaje = db_ ? sqlite3_errmsg(db_) : "sin memoria";
        sqlite3_close(db_);
        db_ = nullptr;
        throw ErrorBase("No se pudo abrir la base " + ruta + ": " + mensaje);
    }
    sqlite3_busy_timeout(db_, 5000);
    try {
        ejecutar("PRAGMA journal_mode=WAL");
        ejecutar(kEsquema);
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

BaseCentral::~BaseCentral() {
    sqlite3_close(db_);
}

void BaseCentral::fallar(std::string_view donde) const {
    throw ErrorBase(std::string(donde) + ": " + sqlite3_errmsg(db_));
}

void BaseCentral::ejecutar(std::string_view sql) {
    std::string texto(sql);
    char* error = nullptr;
    if (sqlite3_exec(db_, texto.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string mensaje = error ? error : "error desconocido";
        sqlite3_free(error);
        throw ErrorBase(mensaje);
    }
}

int64_t BaseCentral::ultimoId() const {
    return sqlite3_last_insert_rowid(db_);
}

int BaseCentral::cambios() const {
    return sqlite3_changes(db_);
}

Sentencia::Sentencia(BaseCentral& base, std::string_view sql) : base_(base) {
    if (sqlite3_prepare_v2(base.manejador(), sql.data(), static_cast<int>(sql.size()), &stmt_,
                           nullptr) != SQLITE_OK)
        base.fallar("preparar");
}

Sentencia::~Sentencia() {
    sqlite3_finalize(stmt_);
}

Sentencia& Sentencia::enlazar(int posicion, std::string_view texto) {
    // An empty view may carry no pointer, which SQLite would bind as NULL.
    const char* datos = texto.empty() ? "" : texto.data();
    if (sqlite3_bind_text64(stmt_, posicion, datos, texto.size(), SQLITE_TRANSIENT, SQLITE_UTF8) !=
        SQLITE_OK)
        base_.fallar("enlazar");
    return *this;
}

Sentencia& Sentencia::enlazar(int posicion, int64_t numero) {
    if (sqlite3_bind_int64(stmt_, posicion, numero) != SQLITE_OK) base_.fallar("enlazar");
    return *this;
}

bool Sentencia::paso() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    base_.fallar("ejecutar");
}

void Sentencia::ejecutar() {
    while (paso()) {
    }
    reiniciar();
}

void Sentencia::reiniciar() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::string Sentencia::texto(int columna) const {
    const unsigned char* p = sqlite3_column_text(stmt_, columna);
    if (!p) return {};
    return std::string(reinterpret_cast<const char*>(p),
                       static_cast<size_t>(sqlite3_column_bytes(stmt_, columna)));
}

int64_t Sentencia::entero(int columna) const {
    return sqlite3_column_int64(stmt_, columna);
}

Transaccion::Transaccion(BaseCentral& base) : base_(base) {
    base_.ejecutar("BEGIN IMMEDIATE");
}

Transaccion::~Transaccion() {
    if (abierta_) {
        try {
            base_.ejecutar("ROLLBACK");
        } catch (...) {
        }
    }
}

void Transaccion::confirmar() {
    base_.ejecutar("COMMIT");
    abierta_ = false;
}

}  // namespace servidor
