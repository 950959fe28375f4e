// The store's statements in the SQL that SQLite and PostgreSQL both speak.
#include "Sentencias.h"

namespace servidor {

namespace {

// "@ID@" is the engine's self-numbering key. The ids of `entregas` must
// never be used twice (the sites keep them to recognise a record they
// already have), hence AUTOINCREMENT on SQLite.
constexpr const char* kEsquema = R"SQL(
CREATE TABLE IF NOT EXISTS esquema (
    version INTEGER NOT NULL,
    cambiosSitios BIGINT NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS clientes (cliente TEXT PRIMARY KEY);
CREATE TABLE IF NOT EXISTS sitios (
    codigo TEXT PRIMARY KEY,
    cliente TEXT NOT NULL,
    visto BIGINT NOT NULL,
    retroceso BIGINT NOT NULL DEFAULT 0,
    filaRetroceso TEXT NOT NULL DEFAULT '',
    copiaAntesDe BIGINT NOT NULL DEFAULT 0,
    alta BIGINT NOT NULL DEFAULT 0,
    porOperador INTEGER NOT NULL DEFAULT 0
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

// From the layout of version 3: every site that had made a request was
// known, and known sites stay registered (as registered on their first
// visit, which is when they were first seen as far as the store knows).
constexpr const char* kDeVersion3 = R"SQL(
ALTER TABLE esquema ADD COLUMN cambiosSitios BIGINT NOT NULL DEFAULT 0;
ALTER TABLE sitios ADD COLUMN alta BIGINT NOT NULL DEFAULT 0;
ALTER TABLE sitios ADD COLUMN porOperador INTEGER NOT NULL DEFAULT 0;
UPDATE sitios SET alta = visto;
)SQL";

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

// A new record: $1 origin, $2 row id, $3 fingerprint, $4 client, $5
// destination, $6 general (1 or 0), $7 service, $8 table, $9 function,
// $10..$49 Campo1..Campo40, $50 received.
const std::string kAlta =
    "INSERT INTO registros (origen, idOrigen, huella, cliente, destino, "
    "general, servicio, tabla, funcion" +
    campos("", 40) + ", recibido) VALUES ($1" + marcas(2, 50) +
    ") ON CONFLICT (origen, idOrigen, huella) DO NOTHING RETURNING id";

// Columns: 0 delivery id, 1 table, 2 origin, 3 destination, 4 general, 5
// service, 6 function, 7..45 Campo1..Campo39, 46 the poster's row id.
const std::string kPendientes =
    "SELECT e.id, r.tabla, r.origen, r.destino, r.general, r.servicio, r.funcion" +
    campos("r.", 39) +
    ", r.idOrigen FROM entregas e JOIN registros r ON r.id = e.registro WHERE e.sitio = $1 "
    "AND e.acusada = 0 ORDER BY e.registro LIMIT CAST($2 AS BIGINT)";

// Columns: 0 client, 1 site, 2 pending, 3 oldest, 4 seen, 5 kept aside, 6
// row ids went back (when), 7 first row id used again, 8 its first receipt.
constexpr const char* kEstado =
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
    "ON a.sitio = t.sitio ORDER BY 1, 2";

// The records of a range of ids, received before a moment, that no site
// still waits for: their deliveries (all acknowledged) go first, then the
// records themselves.
constexpr const char* kOlvidarEntregas =
    "DELETE FROM entregas WHERE registro IN (SELECT r.id FROM registros r "
    "WHERE r.id > CAST($1 AS BIGINT) AND r.id <= CAST($2 AS BIGINT) "
    "AND r.recibido < CAST($3 AS BIGINT) AND NOT EXISTS (SELECT 1 FROM entregas p "
    "WHERE p.registro = r.id AND p.acusada = 0))";
constexpr const char* kOlvidarRegistros =
    "DELETE FROM registros WHERE id > CAST($1 AS BIGINT) AND id <= CAST($2 AS BIGINT) "
    "AND recibido < CAST($3 AS BIGINT) AND NOT EXISTS (SELECT 1 FROM entregas e "
    "WHERE e.registro = registros.id)";

}  // namespace

std::string esquema(std::string_view clave) {
    std::string texto = kEsquema;
    for (size_t pos = texto.find("@ID@"); pos != std::string::npos; pos = texto.find("@ID@"))
        texto.replace(pos, 4, clave);
    return texto;
}

std::string notarRetroceso(std::string_view filaVuelta) {
    return "UPDATE sitios SET retroceso = CAST($4 AS BIGINT), filaRetroceso = v.idOrigen, "
           "copiaAntesDe = v.recibido FROM (" +
           std::string(filaVuelta) + ") v WHERE codigo = $1 AND retroceso = 0";
}

bool esGuion(Sentencia s) {
    return s == Sentencia::CrearTablas || s == Sentencia::CrearIndices ||
           s == Sentencia::DeVersion2 || s == Sentencia::DeVersion3;
}

bool esLectura(Sentencia s) {
    switch (s) {
        case Sentencia::LeerVersion:
        case Sentencia::ContarRegistros:
        case Sentencia::SitioConocido:
        case Sentencia::FilaVuelta:
        case Sentencia::Pendientes:
        case Sentencia::Estado:
        case Sentencia::Apartados:
        case Sentencia::LeerCambiosSitios:
        case Sentencia::SitiosRegistrados:
            return true;
        default:
            return false;
    }
}

std::string_view sqlComun(Sentencia s) {
    switch (s) {
        case Sentencia::CrearIndices:
            return kIndices;
        case Sentencia::DeVersion2:
            return kDeVersion2;
        case Sentencia::DeVersion3:
            return kDeVersion3;
        case Sentencia::LeerVersion:
            return "SELECT version FROM esquema";
        case Sentencia::ContarRegistros:
            return "SELECT count(*) FROM registros";
        case Sentencia::AnotarVersion:
            return "INSERT INTO esquema (version) VALUES ($1)";
        case Sentencia::CambiarVersion:
            return "UPDATE esquema SET version = $1";
        case Sentencia::SitioConocido:
            return "SELECT 1 FROM sitios WHERE codigo = $1";
        case Sentencia::AltaCliente:
            return "INSERT INTO clientes (cliente) VALUES ($1) ON CONFLICT DO NOTHING";
        case Sentencia::AltaSitio:
            return "INSERT INTO sitios (codigo, cliente, visto, alta, porOperador) "
                   "VALUES ($1, $2, CAST($3 AS BIGINT), CAST($4 AS BIGINT), CAST($5 AS INTEGER)) "
                   "ON CONFLICT DO NOTHING";
        case Sentencia::EntregasAnteriores:
            return "INSERT INTO entregas (registro, sitio) SELECT id, $1 FROM registros "
                   "WHERE general = 1 AND cliente = $2 AND origen <> $1 ORDER BY id "
                   "ON CONFLICT DO NOTHING";
        case Sentencia::AltaRegistro:
            return kAlta;
        case Sentencia::EntregarACliente:
            return "INSERT INTO entregas (registro, sitio) "
                   "SELECT CAST($1 AS BIGINT), codigo FROM sitios "
                   "WHERE cliente = $2 AND codigo <> $3 ON CONFLICT DO NOTHING";
        case Sentencia::EntregarADestino:
            return "INSERT INTO entregas (registro, sitio) "
                   "VALUES (CAST($1 AS BIGINT), $2) ON CONFLICT DO NOTHING";
        case Sentencia::Apartar:
            return "INSERT INTO rechazados (sitio, idOrigen, motivo, registro, recibido) "
                   "VALUES ($1, $2, $3, $4, $5)";
        case Sentencia::Pendientes:
            return kPendientes;
        case Sentencia::BorrarEntrega:
            return "DELETE FROM entregas WHERE id = CAST($1 AS BIGINT)";
        case Sentencia::AnotarVisita:
            return "UPDATE sitios SET visto = $2 WHERE codigo = $1 AND visto < $2";
        case Sentencia::AltaQuiralte:
            return "INSERT INTO socios (idRegistro, sucursal, parametros, recibido) "
                   "VALUES ($1, $2, $3, $4) "
                   "ON CONFLICT (idRegistro, sucursal) DO NOTHING";
        case Sentencia::Estado:
            return kEstado;
        case Sentencia::OlvidarRetroceso:
            return "UPDATE sitios SET retroceso = 0, filaRetroceso = '', copiaAntesDe = 0 "
                   "WHERE codigo = $1";
        case Sentencia::Reenviar:
            return "UPDATE entregas SET acusada = 0 WHERE sitio = $1 AND acusada >= CAST($2 AS "
                   "BIGINT)";
        case Sentencia::Apartados:
            return "SELECT id, sitio, idOrigen, motivo, registro, recibido FROM rechazados "
                   "WHERE $1 = '' OR sitio = $1 ORDER BY id LIMIT CAST($2 AS BIGINT)";
        case Sentencia::QuitarSitio:
            return "DELETE FROM sitios WHERE codigo = $1";
        case Sentencia::CambiarSitios:
            return "UPDATE esquema SET cambiosSitios = cambiosSitios + 1";
        case Sentencia::LeerCambiosSitios:
            return "SELECT cambiosSitios FROM esquema";
        case Sentencia::SitiosRegistrados:
            return "SELECT cliente, codigo, alta, porOperador, visto FROM sitios "
                   "WHERE $1 = '' OR cliente = $1 ORDER BY cliente, codigo";
        case Sentencia::RegistrosDesde:
            return "SELECT id, recibido FROM registros WHERE id > CAST($1 AS BIGINT) ORDER BY id "
                   "LIMIT CAST($2 AS BIGINT)";
        case Sentencia::OlvidarEntregas:
            return kOlvidarEntregas;
        case Sentencia::OlvidarRegistros:
            return kOlvidarRegistros;
        case Sentencia::OlvidarQuiralte:
            return "DELETE FROM socios WHERE id IN (SELECT id FROM socios WHERE recibido < "
                   "CAST($1 AS BIGINT) ORDER BY id LIMIT CAST($2 AS BIGINT))";
        case Sentencia::Vencidos:
            return "SELECT e.sitio, count(*), min(r.recibido) FROM entregas e JOIN registros r "
                   "ON r.id = e.registro WHERE e.acusada = 0 AND r.recibido < CAST($1 AS BIGINT) "
                   "GROUP BY e.sitio ORDER BY e.sitio";
        case Sentencia::Responde:
            return "SELECT version FROM esquema";
        // Written by each backend.
        case Sentencia::CrearTablas:
        case Sentencia::BloquearEsquema:
        case Sentencia::BloquearClienteCompartido:
        case Sentencia::BloquearClienteExclusivo:
        case Sentencia::Acusar:
        case Sentencia::FilaVuelta:
        case Sentencia::NotarRetroceso:
        case Sentencia::PrepararContador:
        case Sentencia::ElevarContador:
        case Sentencia::AcusarUnaVez:
            break;
    }
    return {};
}

}  // namespace servidor
