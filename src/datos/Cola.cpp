// The communications queue: the outbound batch, the enqueue builders, the
// marking of acknowledged rows and the removal of sent rows.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "comun/Comunicacion.h"
#include "comun/Texto.h"
#include "datos/DAO_Conexion.h"
#include "json/JSON.h"

namespace datos {

namespace {

// The destination that addresses every site of the client and none alone.
using comun::kDestinoGeneral;
// Payload columns of a communication record (Campo1 .. Campo40).

// A row id given by the server: a whole number above zero that fits 64
// bits, written as digits (or as a number whose value is exactly one).
bool leerIdFila(const Variant& valor, int64_t& id) {
    if (!comun::IsNumeric(valor)) return false;
    try {
        std::string texto = comun::recortar(valor.texto());
        if (!texto.empty() && texto[0] == '+') texto.erase(0, 1);
        const bool digitos =
            !texto.empty() && texto.find_first_not_of("0123456789") == std::string::npos;
        if (digitos) {
            id = Variant(texto).CLngLng();
            return id >= 1;
        }
        // "17.0" or "1.7E1": only where a double holds the value exactly.
        const double d = valor.CDbl();
        if (!std::isfinite(d) || d != std::floor(d) || d < 1 || d > 9007199254740992.0)
            return false;
        id = static_cast<int64_t>(d);
        return true;
    } catch (const comun::ErrorTipo&) {
        return false;
    }
}

std::string sentenciaMarca(int64_t id) {
    return "UPDATE COMUNICACIONES SET ENVIADO = TRUE WHERE ID = " + std::to_string(id);
}

// Ids listed in a report: the first few, then the count.
constexpr size_t kIdsEnInforme = 10;

}  // namespace

std::string DAO_Conexion::getComunicacion() {
    std::vector<int64_t> ids;
    return getComunicacion(ids);
}

std::string DAO_Conexion::getComunicacion(std::vector<int64_t>& ids,
                                          const comun::LimiteLote& limite) {
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
    const size_t maximoFilas = std::max<size_t>(limite.filas, 1);
    // The rows in queue order, as long as the next fits the limit; a batch
    // of rows that fit has exactly the text RStoJSON gives those rows. A
    // row that could never travel is set aside and the queue read again, so
    // it holds back nothing behind it.
    while (true) {
        ids.clear();
        auto rs = Query(sql);
        if (RsVacio(rs)) {
            CerrarRs(rs);
            return "null";
        }
        const size_t columnaId = rs->indiceCampo("Id");
        std::string lote = "[";
        std::optional<std::pair<int64_t, std::string>> apartado;
        while (!RsVacio(rs) && ids.size() < maximoFilas) {
            const int64_t id = rs->valorCampo(columnaId).CLngLng();
            std::string fila = json::filaJSON(*rs);
            if (fila.size() + 2 > limite.registroMaximo) {
                apartado.emplace(id, std::move(fila));
                break;
            }
            const size_t separador = ids.empty() ? 0 : json::kSeparadorFilas.size();
            if (!ids.empty() && lote.size() + separador + fila.size() + 1 > limite.bytes) break;
            if (separador) lote += json::kSeparadorFilas;
            lote += fila;
            ids.push_back(id);
            rs->MoveNext();
        }
        CerrarRs(rs);
        if (apartado) apartarSaliente(apartado->first, apartado->second, limite.registroMaximo);
        if (!ids.empty()) return lote + "]";
    }
}

void DAO_Conexion::apartarSaliente(int64_t id, const std::string& texto, size_t maximo) {
    const std::string motivo = "ocupa " + std::to_string(texto.size() + 2) +
                               " bytes en un lote y un lote lleva a lo mas " +
                               std::to_string(maximo);
    asegurarTablasPropias();
    Transaccion t(*this);
    comando("INSERT INTO APARTADOS_ENVIO (IdComunicacion, Bytes, Motivo, Texto) VALUES (" +
                std::to_string(id) + ", " + std::to_string(texto.size() + 2) + ", ?, ?)",
            {Variant("motivo::" + motivo), Variant("texto::" + texto)});
    // Gone from the queue, or the batch would meet it again.
    if (comando("DELETE FROM COMUNICACIONES WHERE ID = " + std::to_string(id)) != 1)
        throw ErrorBD("The queue row " + std::to_string(id) + " could not be set aside");
    t.confirmar();
    bitacora().escribir("Registro " + std::to_string(id) + " de la cola apartado: " + motivo);
}

void DAO_Conexion::encolarRegistro(Recordset& rs, int16_t tabla, const std::string& funcion,
                                   const std::string& destino) {
    if (destino.empty() || RsVacio(&rs)) return;
    const size_t n = rs.numeroCampos();
    if (n > comun::kCamposCarga) {
        throw ErrorBD("A row of " + std::to_string(n) +
                      " columns cannot be queued: a communication record holds at most " +
                      std::to_string(comun::kCamposCarga) + " payload columns");
    }

    std::string columnas = "Servicio, Tabla, Origen, Destino, Funcion ";
    for (size_t k = 1; k <= n; ++k) columnas += ", Campo" + std::to_string(k);

    // The texts are bound whole (named, so that a "::" of their own stays
    // in them): the statement is one text per table code and row width, read
    // and prepared once however many rows are queued.
    const std::string origen = getSyASys();
    std::string marcas = "2, " + std::to_string(tabla) + ", ?, ?, ?";
    ListaParametros parametros{Variant("Origen::" + origen), Variant("Destino::" + destino),
                               Variant("Funcion::" + funcion)};
    parametros.reserve(n + 3);
    for (size_t i = 0; i < n; ++i) {
        const Variant v = rs.valorCampo(i);
        // Yes/no columns travel as empty text, as do null and empty values.
        const bool vacio = rs.tipoCampo(i) == TipoColumna::SiNo || v.esNull() || v.texto().empty();
        marcas += ", ?";
        parametros.emplace_back("Campo::" + (vacio ? std::string() : v.texto()));
    }

    if (bitacora_) {
        // The log shows the statement with its values in place.
        std::string valores = "2, " + std::to_string(tabla) + ", '" + ValidarSql(origen) + "', '" +
                              ValidarSql(destino) + "', '" + ValidarSql(funcion) + "'";
        for (size_t i = 3; i < parametros.size(); ++i) {
            const std::string& t = parametros[i].comoTexto();
            valores += ",'" + ValidarSql(Variant(t.substr(t.find("::") + 2))) + "'";
        }
        bitacora_->escribir("INSERT INTO comunicaciones (" + columnas + ") VALUES (" + valores +
                            ") ");
    }
    comando("INSERT INTO comunicaciones (" + columnas + ") VALUES (" + marcas + ") ", parametros);
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

void DAO_Conexion::marcarEnviados(const Variant& respuesta, const std::vector<int64_t>& enviados) {
    // The whole reply is checked before anything is marked.
    auto lista = respuesta.esObjeto() ? respuesta.objetoComo<json::Coleccion>() : nullptr;
    if (!lista) {
        throw ErrorRespuesta(
            "The reply to setData is not a JSON array of objects; nothing was marked");
    }
    for (const Variant& e : lista->elementos()) {
        if (!e.esObjeto() || !e.objetoComo<json::Diccionario>()) {
            throw ErrorRespuesta(
                "The reply to setData holds an element that is not an object; nothing was "
                "marked");
        }
    }

    std::vector<int64_t> lote(enviados);
    std::sort(lote.begin(), lote.end());
    std::vector<int64_t> ajenos;

    GuardaConexion conexion(*this);
    for (const Variant& e : lista->elementos()) {
        const Variant valor = e.objetoComo<json::Diccionario>()->Item("valor");
        const std::string texto = valor.texto();
        if (texto.empty()) continue;
        int64_t id = 0;
        if (!leerIdFila(valor, id)) {
            // Never pasted into SQL: the row stays unsent and is offered again.
            bitacora().escribir("marcarEnviados: \"valor\" is not a row id, skipped: " + texto);
            continue;
        }
        if (!std::binary_search(lote.begin(), lote.end(), id)) {
            ajenos.push_back(id);
            continue;
        }
        comando(sentenciaMarca(id));
    }

    if (!ajenos.empty()) {
        std::string lista;
        for (size_t i = 0; i < ajenos.size() && i < kIdsEnInforme; ++i)
            lista += (i ? ", " : "") + std::to_string(ajenos[i]);
        if (ajenos.size() > kIdsEnInforme) lista += ", ...";
        bitacora().escribir("marcarEnviados: " + std::to_string(ajenos.size()) +
                            " ids listed by the server were not in the batch just sent; not "
                            "marked: " +
                            lista);
    }
}

void DAO_Conexion::setMarcaEnviado(int64_t id) {
    comando(sentenciaMarca(id));
}

void DAO_Conexion::eliminarEnviados() {
    const std::string s = ValidarSql(getSyASys());
    comando("DELETE FROM COMUNICACIONES WHERE ENVIADO = TRUE AND Destino <> '" + s +
            "' AND (DESTINO <> '0' AND ORIGEN <> '0') ");
}

}  // namespace datos
