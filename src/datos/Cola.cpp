// The communications queue: the outbound batch, the enqueue builders, the
// marking of acknowledged rows and the removal of sent rows.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "comun/Comunicacion.h"
#include "datos/DAO_Conexion.h"
#include "json/JSON.h"

namespace datos {

namespace {

// The destination that addresses every site of the client and none alone.
using comun::kDestinoGeneral;
// Payload columns of a communication record (Campo1 .. Campo40).

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

// The rows of a batch as RStoJSON reads them, noting the Id of each row it
// moves past: the ids of exactly the rows the batch text carries.
class FilasAnotadas : public json::FuenteFilas {
  public:
    FilasAnotadas(Recordset& rs, std::vector<int32_t>& ids)
        : rs_(rs), ids_(ids), columnaId_(rs.indiceCampo("Id")) {}
    bool eof() const override { return rs_.eof(); }
    bool bof() const override { return rs_.bof(); }
    size_t numeroCampos() const override { return rs_.numeroCampos(); }
    const std::string& nombreCampo(size_t i) const override { return rs_.nombreCampo(i); }
    Variant valorCampo(size_t i) const override { return rs_.valorCampo(i); }
    void MoveNext() override {
        ids_.push_back(rs_.valorCampo(columnaId_).CLng());
        rs_.MoveNext();
    }

  private:
    Recordset& rs_;
    std::vector<int32_t>& ids_;
    size_t columnaId_;
};

// Ids listed in a report: the first few, then the count.
constexpr size_t kIdsEnInforme = 10;

}  // namespace

std::string DAO_Conexion::getComunicacion() {
    std::vector<int32_t> ids;
    return getComunicacion(ids);
}

std::string DAO_Conexion::getComunicacion(std::vector<int32_t>& ids) {
    ids.clear();
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
    FilasAnotadas filas(*rs, ids);
    std::string lote = json::RStoJSON(filas);
    CerrarRs(rs);
    return lote;
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

void DAO_Conexion::marcarEnviados(const Variant& respuesta, const std::vector<int32_t>& enviados) {
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

    std::vector<int32_t> lote(enviados);
    std::sort(lote.begin(), lote.end());
    std::vector<int32_t> ajenos;

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

void DAO_Conexion::setMarcaEnviado(int32_t id) {
    comando(sentenciaMarca(id));
}

void DAO_Conexion::eliminarEnviados() {
    const std::string s = ValidarSql(getSyASys());
    comando("DELETE FROM COMUNICACIONES WHERE ENVIADO = TRUE AND Destino <> '" + s +
            "' AND (DESTINO <> '0' AND ORIGEN <> '0') ");
}

}  // namespace datos
