// The communications queue: the outbound batch, the enqueue builders, the
// marking of acknowledged rows and the removal of sent rows.
#include <cmath>
#include <limits>
#include <string>

#include "datos/DAO_Conexion.h"
#include "json/JSON.h"

namespace datos {

namespace {

// The destination that addresses every site of the client and none alone.
constexpr const char* kDestinoGeneral = "000000000000000";
// Payload columns of a communication record (Campo1 .. Campo40).
constexpr size_t kMaxCamposCarga = 40;

// A row id given by the server: a whole number that fits a 32-bit key.
bool leerIdFila(const Variant& valor, int32_t& id) {
    if (!comun::IsNumeric(valor)) return false;
    double d = 0;
    try {
        d = valor.CDbl();
    } catch (const comun::ErrorTipo&) {
        return false;
    }
    if (!std::isfinite(d) || d != std::floor(d)) return false;
    if (d < 1 || d > std::numeric_limits<int32_t>::max()) return false;
    id = static_cast<int32_t>(d);
    return true;
}

std::string sentenciaMarca(int32_t id) {
    return "UPDATE COMUNICACIONES SET ENVIADO = TRUE WHERE ID = " + std::to_string(id);
}

}  // namespace

std::string DAO_Conexion::getComunicacion() {
    const std::string s = ValidarSql(getSyASys());
    // The translator moves the final ORDER BY into each TOP arm, so each arm
    // takes the oldest unsent rows (first in, first out).
    const std::string sql =
        "SELECT top 200  * "
        "FROM COMUNICACIONES "
        "WHERE ENVIADO = False AND ISNUMERIC(TABLA) and Destino <> '" +
        s +
        "' AND SERVICIO <> 4 "
        "UNION "
        "SELECT top 1  * "
        "FROM COMUNICACIONES "
        "WHERE ENVIADO = False AND ISNUMERIC(TABLA) and Destino <> '" +
        s +
        "' AND SERVICIO = 4 "
        "ORDER BY SERVICIO, ID";
    auto rs = Query(sql);
    if (RsVacio(rs)) {
        CerrarRs(rs);
        return "null";
    }
    std::string lote = json::RStoJSON(*rs);
    CerrarRs(rs);
    return lote;
}

void DAO_Conexion::encolarRegistro(Recordset& rs, int16_t tabla, const std::string& funcion,
                                   const std::string& destino) {
    if (destino.empty() || RsVacio(&rs)) return;
    const size_t n = rs.numeroCampos();
    if (n > kMaxCamposCarga) {
        throw ErrorBD("A row of " + std::to_string(n) +
                      " columns cannot be queued: a communication record holds at most " +
                      std::to_string(kMaxCamposCarga) + " payload columns");
    }

    std::string columnas = "Servicio, Tabla, Origen, Destino, Funcion ";
    for (size_t k = 1; k <= n; ++k) columnas += ", Campo" + std::to_string(k);

    std::string valores = "2, " + std::to_string(tabla) + ", '" + ValidarSql(getSyASys()) + "', '" +
                          ValidarSql(destino) + "', '" + ValidarSql(funcion) + "'";
    for (size_t i = 0; i < n; ++i) {
        const Variant v = rs.valorCampo(i);
        // Yes/no columns travel as empty text, as do null and empty values.
        if (rs.tipoCampo(i) == TipoColumna::SiNo || v.esNull() || v.texto().empty()) {
            valores += ",''";
        } else {
            valores += ",'" + ValidarSql(v) + "'";
        }
    }

    const std::string sql =
        "INSERT INTO comunicaciones (" + columnas + ") VALUES (" + valores + ") ";
    bitacora().escribir(sql);
    comando(sql);
}

void DAO_Conexion::encolarRegistros(Recordset& rs, int16_t tabla) {
    while (!RsVacio(&rs)) {
        encolarRegistro(rs, tabla, "A", kDestinoGeneral);
        rs.MoveNext();
    }
}

void DAO_Conexion::setComunicacionSucursales(Recordset& rs, int16_t tabla,
                                             const std::string& funcion) {
    std::string cliente = sitio().identificadorCliente;
    if (cliente.empty()) cliente = getIdentificadorCliente();
    const std::string sitioPropio = getSyASys();
    const std::string sucursal = sitioPropio.substr(std::min(cliente.size(), sitioPropio.size()));

    encolarRegistro(rs, tabla, funcion, kDestinoGeneral);

    auto sucursales = Query("SELECT IDSYA FROM SUCYAGEN WHERE IDCLIENTE = '" + ValidarSql(cliente) +
                            "' AND IDSYA <> '" + ValidarSql(sucursal) + "'");
    while (!RsVacio(sucursales)) {
        encolarRegistro(rs, tabla, funcion, cliente + (*sucursales)["IDSYA"].texto());
        sucursales->MoveNext();
    }
    CerrarRs(sucursales);
}

void DAO_Conexion::setSolicitudIPR(int16_t tabla, const std::string& funcion,
                                   const std::string& destino) {
    if (destino.empty()) return;
    const std::string sitioPropio = getSyASys();
    auto rs = Query("Comunicaciones");
    rs->AddNew();
    rs->asignar("Servicio", Variant(int16_t{1}));
    rs->asignar("Tabla", Variant(tabla));
    rs->asignar("Origen", Variant(sitioPropio));
    rs->asignar("Destino", Variant(destino));
    rs->asignar("Funcion", Variant(funcion));
    if (funcion != "A") rs->asignar("Campo1", Variant(sitioPropio));
    rs->Update();
    CerrarRs(rs);
}

void DAO_Conexion::marcarEnviados(const Variant& respuesta) {
    // The whole reply is checked before anything is marked.
    auto lista = respuesta.esObjeto() ? respuesta.objetoComo<json::Coleccion>() : nullptr;
    if (!lista) {
        throw ErrorBD("The reply to setData is not a JSON array of objects; nothing was marked");
    }
    for (const Variant& e : lista->elementos()) {
        if (!e.esObjeto() || !e.objetoComo<json::Diccionario>()) {
            throw ErrorBD(
                "The reply to setData holds an element that is not an object; nothing was "
                "marked");
        }
    }

    GuardaConexion conexion(*this);
    for (const Variant& e : lista->elementos()) {
        const Variant valor = e.objetoComo<json::Diccionario>()->Item("valor");
        const std::string texto = valor.texto();
        if (texto.empty()) continue;
        int32_t id = 0;
        if (!leerIdFila(valor, id)) {
            // Never pasted into SQL: the row stays unsent and is offered again.
            bitacora().escribir("marcarEnviados: \"valor\" is not a row id, skipped: " + texto);
            continue;
        }
        comando(sentenciaMarca(id));
    }
}

void DAO_Conexion::setMarcaEnviado(int32_t id) {
    comando(sentenciaMarca(id));
}

void DAO_Conexion::eliminarEnviados() {
    const std::string s = ValidarSql(getSyASys());
    comando("DELETE FROM COMUNICACIONES WHERE ENVIADO = TRUE AND Destino <> '" + s +
            "' AND (DESTINO <> '0' AND ORIGEN <> '0') ");
}

}  // namespace datos
