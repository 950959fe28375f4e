// The inbound store: the records the server holds for this site are kept in
// COMUNICACIONES once each, and each table record is acknowledged back. A
// record that cannot be stored is set aside whole in CUARENTENA and
// acknowledged all the same, so that one bad record never holds back the
// records behind it.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>

#include "comun/Comunicacion.h"
#include "datos/DAO_Conexion.h"
#include "json/JSON.h"

namespace datos {

namespace {

using comun::kDestinoGeneral;
// Payload columns filled from the members "Campo1" .. "Campo39"; Campo40
// keeps the server's id of the record.
constexpr int kCamposEntrantes = 39;
// Nesting written out when a set-aside record is kept as text; anything
// deeper is cut (a hostile answer may nest without end).
constexpr int kProfundidadTexto = 32;

// A record whose own values cannot be stored: it is set aside, not retried.
class RegistroRechazado : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A text from the network as a named text parameter, so that a "::" inside
// it is bound as part of the value rather than read as a parameter name.
Variant textoEntero(const char* nombre, const std::string& texto) {
    return Variant(std::string(nombre) + "::" + texto);
}

// A table code or a record kind as the server must send it: a whole number,
// as a JSON number or as a text of digits with an optional minus sign and
// nothing else, that fits 32 bits. "2.5", " 2 " and "2e0" are not one:
// rounding or trimming them would apply the record to a table it does not
// name.
std::optional<int32_t> enteroEstricto(const Variant& v) {
    switch (v.tipo()) {
        case comun::TipoVariant::Integer:
        case comun::TipoVariant::Long:
            return v.CLng();
        case comun::TipoVariant::Decimal:
        case comun::TipoVariant::String:
            break;
        default:
            return std::nullopt;
    }
    const std::string t = v.texto();
    const size_t inicio = !t.empty() && t[0] == '-' ? 1 : 0;
    if (t.size() == inicio || t.size() - inicio > 10) return std::nullopt;
    for (size_t i = inicio; i < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9') return std::nullopt;
    const long long n = std::stoll(t);
    if (n < INT32_MIN || n > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(n);
}

// The value stored for the member `nombre` (Tabla or Servicio): absent
// leaves the column's default, empty or null stores null, anything else
// must be a whole number.
std::optional<Variant> miembroEntero(const json::Diccionario& r, const char* nombre) {
    const Variant v = r.Item(nombre);
    if (v.esEmpty()) return std::nullopt;
    if (v.esNull() || (v.esTexto() && v.comoTexto().empty())) return Variant::Null();
    if (auto n = enteroEstricto(v)) return Variant(*n);
    if (v.esObjeto()) throw RegistroRechazado(std::string(nombre) + " es un objeto o una lista");
    throw RegistroRechazado(std::string(nombre) + " no es un numero entero: '" + v.texto() + "'");
}

// The table code an acknowledgement carries: the record's own when it is a
// whole number above 0.
std::optional<int32_t> tablaParaAcuse(const json::Diccionario& r) {
    auto n = enteroEstricto(r.Item("Tabla"));
    if (n && *n > 0) return n;
    return std::nullopt;
}

// An absent member leaves the column at its default (null).
void asignarMiembro(Recordset& rs, const std::string& columna, const Variant& valor) {
    if (!valor.esEmpty()) rs.asignar(columna, valor);
}

// --- a set-aside record written back as JSON text ---

void escribirCadena(std::string& s, std::string_view t) {
    s += '"';
    for (const char c : t) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            s += '\\';
            s += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            s += escape;
        } else {
            s += c;
        }
    }
    s += '"';
}

void escribirValor(std::string& s, const Variant& v, int profundidad) {
    if (v.esObjeto()) {
        if (profundidad >= kProfundidadTexto) {
            s += "\"...\"";
        } else if (auto d = v.objetoComo<json::Diccionario>()) {
            s += '{';
            for (size_t i = 0; i < d->Count(); ++i) {
                if (i) s += ',';
                escribirCadena(s, d->Keys()[i]);
                s += ':';
                escribirValor(s, d->valorEn(i), profundidad + 1);
            }
            s += '}';
        } else if (auto c = v.objetoComo<json::Coleccion>()) {
            s += '[';
            bool primero = true;
            for (const Variant& e : c->elementos()) {
                if (!primero) s += ',';
                primero = false;
                escribirValor(s, e, profundidad + 1);
            }
            s += ']';
        } else {
            s += "null";
        }
        return;
    }
    switch (v.tipo()) {
        case comun::TipoVariant::Empty:
        case comun::TipoVariant::Null:
            s += "null";
            break;
        case comun::TipoVariant::Boolean:
            s += v.CBool() ? "true" : "false";
            break;
        case comun::TipoVariant::Decimal:
        case comun::TipoVariant::Integer:
        case comun::TipoVariant::Long:
        case comun::TipoVariant::Single:
        case comun::TipoVariant::Double:
        case comun::TipoVariant::Currency:
            s += v.texto();
            break;
        default:
            escribirCadena(s, v.texto());
            break;
    }
}

std::string textoJSON(const Variant& v) {
    std::string s;
    escribirValor(s, v, 0);
    return s;
}

// --- the steps of one record ---

// Queues the acknowledgement of the record `id` unless it is queued already.
void acusar(DAO_Conexion& dao, Recordset& tabla, const std::string& origen, int32_t codigoTabla,
            const std::string& id) {
    auto acuse =
        dao.Query(std::string("SELECT ID FROM COMUNICACIONES WHERE origen = ? AND destino = '") +
                      kDestinoGeneral + "' AND tabla = ? AND servicio = 0 AND campo1 = ?",
                  {textoEntero("origen", origen), Variant(codigoTabla), textoEntero("campo1", id)});
    const bool sinAcuse = DAO_Conexion::RsVacio(acuse);
    DAO_Conexion::CerrarRs(acuse);
    if (!sinAcuse) return;
    tabla.AddNew();
    tabla.asignar("Origen", Variant(origen));
    tabla.asignar("Destino", Variant(kDestinoGeneral));
    tabla.asignar("Tabla", Variant(codigoTabla));
    tabla.asignar("Servicio", Variant(int16_t{0}));
    tabla.asignar("Funcion", Variant("A"));
    tabla.asignar("Campo1", Variant(id));
    tabla.asignar("Enviado", Variant(false));
    tabla.Update();
}

// Stores one record (once: a record whose id is stored already is not
// written again) and acknowledges it. Throws when a value cannot be stored.
void guardar(DAO_Conexion& dao, Recordset& tabla, const json::Diccionario& r,
             const std::string& id) {
    const std::optional<Variant> codigoTabla = miembroEntero(r, "Tabla");
    const std::optional<Variant> servicio = miembroEntero(r, "Servicio");

    auto existente =
        dao.Query("SELECT ID FROM COMUNICACIONES WHERE CAMPO40 = ?", {textoEntero("campo40", id)});
    const bool nuevo = DAO_Conexion::RsVacio(existente);
    DAO_Conexion::CerrarRs(existente);
    if (nuevo) {
        tabla.AddNew();
        if (codigoTabla) tabla.asignar("Tabla", *codigoTabla);
        asignarMiembro(tabla, "Origen", r.Item("Origen"));
        asignarMiembro(tabla, "Destino", r.Item("Destino"));
        if (servicio) tabla.asignar("Servicio", *servicio);
        asignarMiembro(tabla, "Funcion", r.Item("Funcion"));
        tabla.asignar("Enviado", Variant(true));
        for (int k = 1; k <= kCamposEntrantes; ++k) {
            const std::string campo = "Campo" + std::to_string(k);
            asignarMiembro(tabla, campo, r.Item(campo));
        }
        tabla.asignar("Campo40", Variant(id));
        tabla.Update();
    }
    if (auto acuse = tablaParaAcuse(r)) acusar(dao, tabla, r.Item("Destino").texto(), *acuse, id);
}

// Keeps a record that cannot be stored: once in CUARENTENA (reported the
// first time only) and acknowledged, in this site's name, when it has an id,
// so that the server stops offering it.
void apartar(DAO_Conexion& dao, Recordset& tabla, const Variant& elemento, const std::string& id,
             const std::string& motivo) {
    dao.asegurarTablasPropias();
    const std::string texto = textoJSON(elemento);
    auto previo = dao.Query("SELECT Id FROM CUARENTENA WHERE IdServidor = ? AND Texto = ?",
                            {textoEntero("id", id), textoEntero("texto", texto)});
    const bool nuevo = DAO_Conexion::RsVacio(previo);
    DAO_Conexion::CerrarRs(previo);
    if (nuevo) {
        dao.comando(
            "INSERT INTO CUARENTENA (IdServidor, Motivo, Texto) VALUES (?, ?, ?)",
            {textoEntero("id", id), textoEntero("motivo", motivo), textoEntero("texto", texto)});
        dao.bitacora().escribir("Registro " + (id.empty() ? std::string("sin id") : id) +
                                " del servidor en cuarentena: " + motivo);
    }
    if (id.empty()) return;
    const auto r = elemento.objetoComo<json::Diccionario>();
    acusar(dao, tabla, dao.getSyASys(), r ? tablaParaAcuse(*r).value_or(0) : 0, id);
}

}  // namespace

int32_t DAO_Conexion::setComunicacion(const Variant& respuesta) {
    auto lista = respuesta.esObjeto() ? respuesta.objetoComo<json::Coleccion>() : nullptr;
    if (!lista) {
        throw ErrorRespuesta(
            "The answer to getData is not a JSON array of objects; nothing was stored");
    }

    GuardaConexion conexion(*this);
    // One commit for the answer; each record has its own savepoint, so a
    // record that fails leaves nothing of itself behind. A failure of the
    // database itself (damaged, full, locked past the wait) is no fault of
    // the record: it ends the answer, nothing of it is kept, and the server
    // offers it again.
    Transaccion transaccion(*this);
    auto tabla = Query("Comunicaciones");
    int32_t cuenta = 0;

    for (const Variant& e : lista->elementos()) {
        const auto r = e.esObjeto() ? e.objetoComo<json::Diccionario>() : nullptr;
        const Variant idMiembro = r ? r->Item("id") : Variant();
        const std::string id = idMiembro.esObjeto() ? std::string() : idMiembro.texto();
        // A record without an id is not one the server keeps: skipped.
        if (r && id.empty() && !idMiembro.esObjeto()) continue;

        std::string motivo;
        try {
            if (!r) throw RegistroRechazado("el elemento no es un objeto");
            if (idMiembro.esObjeto()) throw RegistroRechazado("el id es un objeto o una lista");
            Transaccion registro(*this);
            guardar(*this, *tabla, *r, id);
            registro.confirmar();
        } catch (const RegistroRechazado& x) {
            motivo = x.what();
        } catch (const comun::ErrorTipo& x) {
            motivo = x.what();
        } catch (const ErrorBD& x) {
            if (x.deLaBase()) throw;
            motivo = x.mensaje();
        }
        if (!motivo.empty()) {
            tabla->CancelUpdate();
            apartar(*this, *tabla, e, id, motivo);
        }
        if (r) ++cuenta;
    }

    CerrarRs(tabla);
    transaccion.confirmar();
    return cuenta;
}

}  // namespace datos
