// The statements the store runs, by name. A connection prepares each one
// the first time it runs it and keeps it; each backend writes it in its own
// dialect (ConexionSQLite.cpp, ConexionPostgres.cpp), most of them in the
// SQL both engines speak (Sentencias.cpp). Parameters are written "$1"..
// "$n"; a statement an engine has no need of is an empty text, which runs
// as nothing.
#pragma once

#include <string>
#include <string_view>

namespace servidor {

enum class Sentencia {
    // The layout (scripts, run once when the store opens; see Esquema.cpp).
    CrearTablas,      // every table, IF NOT EXISTS
    CrearIndices,     // made after the tables are brought to the current version
    DeVersion2,       // from layout 2 to layout 3
    DeVersion3,       // from layout 3 to the current one
    BloquearEsquema,  // serialises processes that open one database together
    LeerVersion,      // -> version
    ContarRegistros,  // -> count of registros
    AnotarVersion,    // $1 version (the first time)
    CambiarVersion,   // $1 version
    // A site's first visit.
    SitioConocido,       // $1 site -> a row when known
    AltaCliente,         // $1 client
    AltaSitio,           // $1 site, $2 client, $3 seen, $4 registered, $5 by the operator (1/0)
    EntregasAnteriores,  // $1 site, $2 client: the client's general records posted before
    // Row locks on a client: a post of general records shares it, a new
    // site of the client takes it alone (see Almacen.cpp).
    BloquearClienteCompartido,  // $1 client
    BloquearClienteExclusivo,   // $1 client
    // A batch.
    AltaRegistro,  // $1 origin .. $50 received (see kAlta) -> the new id, none when stored before
    // The deliveries of a record just stored (an engine may make them in
    // AltaRegistro, from its client, poster, destination and general).
    EntregarACliente,  // $1 record, $2 client, $3 poster: one delivery per other site of the client
    EntregarADestino,  // $1 record, $2 site
    Acusar,            // $1 site, $2 list of delivery ids, $3 when
    Apartar,           // $1 site, $2 row id, $3 reason, $4 record, $5 when
    FilaVuelta,        // $1 site, $2 list of row ids, $3 list of record ids to leave out
                       // -> row id, received of the first row id used before
    NotarRetroceso,    // $1 site, $2 list of row ids, $3 list of record ids to leave out, $4
                       // when: notes what FilaVuelta finds, unless a going back is noted
    // The delivery counter.
    PrepararContador,  // makes the counter's row where the engine needs one
    ElevarContador,    // $1 value, $2 only when below this -> rows changed: 1 when it moved
    // An answer.
    Pendientes,     // $1 site, $2 at most -> deliveries owed, oldest first (see kPendientes)
    BorrarEntrega,  // $1 delivery id
    AcusarUnaVez,   // $1 list of delivery ids, $2 when
    AnotarVisita,   // $1 site, $2 seen
    // The partner.
    AltaQuiralte,  // $1 id, $2 branch, $3 parameters, $4 received
    // The operator (see Operador.cpp).
    Estado,            // -> one row per site
    OlvidarRetroceso,  // $1 site
    Reenviar,          // $1 site, $2 since
    Apartados,         // $1 site ("" for all), $2 at most
    // The register of sites (see Sitios.h).
    QuitarSitio,        // $1 site
    CambiarSitios,      // counts a change of the register, which every process watches
    LeerCambiosSitios,  // -> the count of changes
    SitiosRegistrados,  // $1 client ("" for all) -> client, site, registered, by the operator, seen
    // The history (see Almacen::olvidar).
    RegistrosDesde,    // $1 after this id, $2 at most -> id, received, oldest first
    OlvidarEntregas,   // $1 after this id, $2 up to this id, $3 received before: the deliveries
                       // of the records in that range that nobody still waits for
    OlvidarRegistros,  // the same arguments: those records, left without deliveries
    OlvidarQuiralte,   // $1 received before, $2 at most
    Vencidos,          // $1 received before -> site, records waiting, the oldest's arrival
    Responde,          // -> one row when the store answers
};
inline constexpr int kSentencias = static_cast<int>(Sentencia::Responde) + 1;

// Whether `s` is a script of several statements (run, never prepared).
bool esGuion(Sentencia s);
// Whether `s` only reads, taking no lock past its own end: at READ
// COMMITTED it sees the same inside a transaction that has written nothing
// yet as outside any, so a transaction need not begin before it.
bool esLectura(Sentencia s);

// The text of `s` in the SQL both engines speak; nothing for the statements
// each backend must write itself.
std::string_view sqlComun(Sentencia s);
// NotarRetroceso, from the backend's text of FilaVuelta.
std::string notarRetroceso(std::string_view filaVuelta);
// Every table of the layout, with `clave` as the self-numbering key of the
// tables that have one.
std::string esquema(std::string_view clave);

}  // namespace servidor
