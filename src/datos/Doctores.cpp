// The doctors import: every doctor of the server's list becomes a supplier
// among the site's third parties, updated when its identity number is known
// and created with fixed defaults otherwise.
#include <string>

#include "comun/Texto.h"
#include "datos/DAO_Conexion.h"
#include "json/JSON.h"

namespace datos {

using comun::recortar;

int32_t Doctores::setDoctores(const Variant& lista) {
    auto doctores = lista.esObjeto() ? lista.objetoComo<json::Coleccion>() : nullptr;
    if (!doctores) {
        throw ErrorRespuesta(
            "The doctors list is not a JSON array of objects; nothing was imported");
    }
    for (const Variant& e : doctores->elementos()) {
        if (!e.esObjeto() || !e.objetoComo<json::Diccionario>()) {
            throw ErrorRespuesta(
                "The doctors list holds an element that is not an object; nothing was imported");
        }
    }

    GuardaConexion conexion(con_);
    int32_t nuevos = 0;
    for (const Variant& e : doctores->elementos()) {
        const auto d = e.objetoComo<json::Diccionario>();
        const std::string id = d->Item("id").texto();
        if (id.empty()) continue;
        const std::string nombre = d->Item("nombre").texto() + " " + d->Item("apellido").texto();
        const std::string cedula = d->Item("cedula").texto();
        // Without an identity number the update would rename every third
        // party that has none; such a doctor cannot be matched, so it is
        // reported and left out.
        if (recortar(cedula).empty()) {
            con_.bitacora().escribir("Medico sin cedula omitido: id " + id);
            continue;
        }

        const int actualizados = con_.comando(
            "Update Terceros set Proveedor = true, Cliente = False, idCliente = ?, Nombre "
            "= ?  where IdDocumento = ?",
            {Variant(id), Variant(nombre), Variant(cedula)});
        if (actualizados == 0) {
            con_.comando(
                "insert into Terceros (Nombre, IdDocumento, IdCliente, proveedor, Representante, "
                "TipoDocumento, Persona, Regimen, Direccion, Telefono1, Telefono2, Mail, Sangre, "
                "Comentarios, FNacimiento, FIngreso, FRetiro, Ciudad) Values(?, ?, ?, true, 'No "
                "Definido', 'Nit/CC', 'No definido', 'Simplificado', 'No Definido', 'No "
                "Definido', 'No Definido', 'No Definido', '0', 'No Definido', Now, Now, Now, 'No "
                "Definido')",
                {Variant(nombre), Variant(cedula), Variant(id)});
            ++nuevos;
        }
    }
    return nuevos;
}

}  // namespace datos
