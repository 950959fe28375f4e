// The inbound store: the records the server holds for this site are kept in
// COMUNICACIONES once each, and each table record is acknowledged back.
#include <cmath>
#include <limits>
#include <string>

#include "datos/DAO_Conexion.h"
#include "json/JSON.h"

namespace datos {

namespace {

constexpr const char* kDestinoGeneral = "000000000000000";
// Payload columns filled from the members "Campo1" .. "Campo39"; Campo40
// keeps the server's id of the record.
constexpr int kCamposEntrantes = 39;

// The table code as a value to compare with: a whole number binds as one,
// anything else numeric as a double.
Variant tablaComoNumero(const Variant& tabla) {
    const double d = tabla.CDbl();
    if (d == std::floor(d) && d >= std::numeric_limits<int32_t>::min() &&
        d <= std::numeric_limits<int32_t>::max()) {
        return Variant(static_cast<int32_t>(d));
    }
    return Variant(d);
}

// A text from the network as a named text parameter, so that a "::" inside
// it is bound as part of the value rather than read as a parameter name.
Variant textoEntero(const char* nombre, const std::string& texto) {
    return Variant(std::string(nombre) + "::" + texto);
}

// An absent member leaves the column at its default (null).
void asignarMiembro(Recordset& rs, const std::string& columna, const Variant& valor) {
    if (!valor.esEmpty()) rs.asignar(columna, valor);
}

}  // namespace

int32_t DAO_Conexion::setComunicacion(const Variant& respuesta) {
    // The answer must be an array of objects; it is refused whole otherwise.
    auto lista = respuesta.esObjeto() ? respuesta.objetoComo<json::Coleccion>() : nullptr;
    if (!lista) {
        throw ErrorBD("The answer to getData is not a JSON array of objects; nothing was stored");
    }
    for (const Variant& e : lista->elementos()) {
        if (!e.esObjeto() || !e.objetoComo<json::Diccionario>()) {
            throw ErrorBD(
                "The answer to getData holds an element that is not an object; nothing was "
                "stored");
        }
    }

    GuardaConexion conexion(*this);
    // One answer is stored whole or not at all: the server keeps offering
    // the records it has no acknowledgement for, so a failed answer is
    // simply received again.
    Transaccion transaccion(*this);
    auto tabla = Query("Comunicaciones");
    int32_t cuenta = 0;

    for (const Variant& e : lista->elementos()) {
        const auto r = e.objetoComo<json::Diccionario>();
        const std::string id = r->Item("id").texto();
        if (id.empty()) continue;

        auto existente =
            Query("SELECT ID FROM COMUNICACIONES WHERE CAMPO40 = ?", {textoEntero("campo40", id)});
        const bool nuevo = RsVacio(existente);
        CerrarRs(existente);
        if (nuevo) {
            tabla->AddNew();
            asignarMiembro(*tabla, "Tabla", r->Item("Tabla"));
            asignarMiembro(*tabla, "Origen", r->Item("Origen"));
            asignarMiembro(*tabla, "Destino", r->Item("Destino"));
            asignarMiembro(*tabla, "Servicio", r->Item("Servicio"));
            asignarMiembro(*tabla, "Funcion", r->Item("Funcion"));
            tabla->asignar("Enviado", Variant(true));
            for (int k = 1; k <= kCamposEntrantes; ++k) {
                const std::string campo = "Campo" + std::to_string(k);
                asignarMiembro(*tabla, campo, r->Item(campo));
            }
            tabla->asignar("Campo40", Variant(id));
            tabla->Update();
        }

        const Variant tablaR = r->Item("Tabla");
        if (comun::IsNumeric(tablaR) && tablaR.CDbl() > 0) {
            const std::string destino = r->Item("Destino").texto();
            auto acuse = Query(
                "SELECT ID FROM COMUNICACIONES WHERE origen = ? AND destino = "
                "'000000000000000' AND tabla = ? AND servicio = 0 AND campo1 = ?",
                {textoEntero("origen", destino), tablaComoNumero(tablaR),
                 textoEntero("campo1", id)});
            const bool sinAcuse = RsVacio(acuse);
            CerrarRs(acuse);
            if (sinAcuse) {
                tabla->AddNew();
                tabla->asignar("Origen", Variant(destino));
                tabla->asignar("Destino", Variant(kDestinoGeneral));
                tabla->asignar("Tabla", tablaR);
                tabla->asignar("Servicio", Variant(int16_t{0}));
                tabla->asignar("Funcion", Variant("A"));
                tabla->asignar("Campo1", Variant(id));
                tabla->asignar("Enviado", Variant(false));
                tabla->Update();
            }
        }
        ++cuenta;
    }

    CerrarRs(tabla);
    transaccion.confirmar();
    return cuenta;
}

}  // namespace datos
