#include "aplicacion/Usuarios.h"

#include "comun/Texto.h"

namespace aplicacion {

using comun::Variant;
using datos::DAO_Conexion;
using datos::Recordset;

void aplicarUsuario(DAO_Conexion& con, const Entrante& r) {
    // Looked up as it is stored: trimmed.
    const std::string documento = comun::recortar(r.campo(5));
    auto tercero =
        con.Query("SELECT IDTERCERO FROM TERCEROS WHERE IDDOCUMENTO = ?", {Variant(documento)});
    if (documento.empty() || DAO_Conexion::RsVacio(tercero)) return;  // must be a third party here
    const int32_t id = (*tercero)["IDTERCERO"].CLng();
    DAO_Conexion::CerrarRs(tercero);

    auto usuario = con.Query("SELECT * FROM PW WHERE IDTERCERO = ?", {Variant(id)});
    const bool nuevo = DAO_Conexion::RsVacio(usuario);
    if (nuevo) {
        DAO_Conexion::CerrarRs(usuario);
        usuario = con.Query("Pw");
        usuario->AddNew();
        usuario->asignar("idTercero", Variant(id));
    }
    // An empty number or date leaves the column at its default on a new
    // user and as it stands on an existing one (the record set's rule).
    Recordset& u = *usuario;
    u.asignar("IdEmpleado", Variant(r.campo(2)));
    u.asignar("Nombre", Variant(comun::mayusculas(comun::recortar(r.campo(3)))));
    u.asignar("Documento", Variant(documento));
    u.asignar("Nick", Variant(r.campo(6)));
    u.asignar("acceso", Variant(r.campo(7)));
    u.asignar("labor", Variant(r.campo(8)));
    u.asignar("lugar", Variant(r.campo(9)));
    u.asignar("Base", Variant(r.campo(11)));
    u.asignar("Direccion", Variant(r.campo(16)));
    u.asignar("Telefono", Variant(r.campo(17)));
    if (nuevo) {
        // The password and the date come only with a new user.
        u.asignar("pw", Variant(r.campo(4)));
        u.asignar("Fecha", Variant(r.campo(10)));
    }
    u.Update();
    DAO_Conexion::CerrarRs(usuario);
}

}  // namespace aplicacion
