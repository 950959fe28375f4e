// The partner queries: the next patient or study record for the partner
// service, and its removal once the partner confirms it.
#include <string>

#include "datos/DAO_Conexion.h"
#include "datos/FilaCola.h"

namespace datos {

std::optional<protocolo::Comunicacion> Quiralte::getDatosQuiralte() {
    auto rs = con_.Query(
        "SELECT top 1 * "
        "FROM COMUNICACIONES as C "
        "WHERE TABLA = 200 and SERVICIO = 2 and isnumeric(Campo11) AND EXISTS (select Nombre "
        "from terceros where idCliente = Campo11 ) ");
    if (DAO_Conexion::RsVacio(rs)) {
        DAO_Conexion::CerrarRs(rs);
        return std::nullopt;
    }
    protocolo::Comunicacion registro = leerFilaCola(*rs, posicionesCola(*rs));
    DAO_Conexion::CerrarRs(rs);
    return registro;
}

void Quiralte::MarcarRegistroEnviadoQuiralte(int64_t id) {
    GuardaConexion conexion(con_);
    con_.comando("delete from comunicaciones where id = ?",
                 {Variant(comun::Decimal{std::to_string(id)})});
}

}  // namespace datos
