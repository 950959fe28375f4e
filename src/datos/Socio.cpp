// The partner queries: the next patient or study record for the partner
// service, and its removal once the partner confirms it.
#include <string>

#include "datos/DAO_Conexion.h"
#include "json/JSON.h"

namespace datos {

std::string DAO_Conexion::getDatosQuiralte() {
    auto rs = Query(
        "SELECT top 1 * "
        "FROM COMUNICACIONES as C "
        "WHERE TABLA = 200 and SERVICIO = 2 and isnumeric(Campo11) AND EXISTS (select Nombre "
        "from terceros where idCliente = Campo11 ) ");
    if (RsVacio(rs)) {
        CerrarRs(rs);
        return "null";
    }
    std::string registro = json::RStoJSON(*rs);
    CerrarRs(rs);
    return registro;
}

void DAO_Conexion::MarcarRegistroEnviadoQuiralte(int64_t id) {
    GuardaConexion conexion(*this);
    comando("delete from comunicaciones where id = " + std::to_string(id));
}

}  // namespace datos
