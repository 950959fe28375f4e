#include "servicios/ServicioTerceros.h"

#include <cmath>

#include "comun/Texto.h"
#include "servicios/Valores.h"

namespace servicios {

using comun::Variant;
using datos::DAO_Conexion;
using datos::Recordset;

namespace {

// The value, or the table's placeholder text when it is empty.
std::string oDefecto(const std::string& valor, const char* defecto = "No Definido") {
    return valor.empty() ? std::string(defecto) : valor;
}

std::string textoODefecto(const Recordset& rs, std::string_view campo) {
    const Variant v = rs[campo];
    return v.esNull() ? std::string("No Definido") : v.texto();
}

// 0 for Sunday .. 6 for Saturday. The zero date, 30/12/1899, was a Saturday.
int diaDeLaSemana(const comun::Fecha& f) {
    const auto dias = static_cast<int64_t>(std::floor(f.serial()));
    return static_cast<int>(((dias + 6) % 7 + 7) % 7);
}

comun::Fecha soloDia(const comun::Fecha& f) {
    comun::Fecha d;
    d.anio = f.anio;
    d.mes = f.mes;
    d.dia = f.dia;
    return d;
}

// Queues the row of TERCEROS with that key for the client's other sites.
void encolarTercero(DAO_Conexion& con, int32_t id) {
    auto fila = con.Query("SELECT * FROM TERCEROS WHERE IDTercero = ?", {Variant(id)});
    if (DAO_Conexion::RsVacio(fila))
        throw datos::ErrorBD("The third party just written cannot be read back.");
    con.setComunicacionSucursales(*fila, 12, "A");
    DAO_Conexion::CerrarRs(fila);
}

}  // namespace

std::string telefonoGuardado(const std::string& telefono) {
    return comun::recortar(comun::izquierda(telefono, 20));
}

ServicioTerceros::ServicioTerceros(DAO_Conexion& conexion, const comun::Reloj& reloj)
    : con_(conexion), reloj_(reloj) {}

RegTercero ServicioTerceros::getTerceroTelefono(const std::string& telefono) {
    // Looked up as the registration stores it; a blank telephone is nobody's.
    const std::string buscado = telefonoGuardado(telefono);
    if (buscado.empty()) return {};
    auto rs = con_.Query("SELECT IDTERCERO FROM TERCEROS WHERE TELEFONO1 = ?", {Variant(buscado)});
    int32_t id = 0;
    if (!DAO_Conexion::RsVacio(rs)) id = (*rs)["IDTERCERO"].CLng();
    DAO_Conexion::CerrarRs(rs);
    return id == 0 ? RegTercero{} : getTercero(id);
}

RegTercero ServicioTerceros::getTercero(int32_t id) {
    RegTercero t;
    auto rs = con_.Query("SELECT * FROM TERCEROS WHERE IDTERCERO = ?", {Variant(id)});
    if (DAO_Conexion::RsVacio(rs)) {
        DAO_Conexion::CerrarRs(rs);
        return t;
    }
    const Recordset& f = *rs;
    t.idTercero = id;
    t.IdDocumento = textoDe(f, "IdDocumento");
    t.Nombre = textoDe(f, "Nombre");
    t.representante = textoDe(f, "representante");
    t.TipoDocumento = textoDe(f, "TipoDocumento");
    t.Persona = textoDe(f, "Persona");
    t.GranContribuyente = siNoDe(f, "GranContribuyente");
    t.Autorretenedor = siNoDe(f, "Autorretenedor");
    t.regimen = textoDe(f, "regimen");
    t.Direccion = textoODefecto(f, "Direccion");
    t.Ciudad = textoDe(f, "Ciudad");
    t.Telefono1 = textoODefecto(f, "Telefono1");
    t.Telefono2 = textoODefecto(f, "Telefono2");
    t.Mail = textoDe(f, "Mail");
    t.Sangre = dobleDe(f, "Sangre");
    t.Comentarios = textoDe(f, "Comentarios");
    t.FNacimiento = fechaDe(f, "FNacimiento");
    t.FIngreso = fechaDe(f, "FIngreso");
    t.FRetiro = fechaDe(f, "FRetiro");
    t.SyA = siNoDe(f, "SyA");
    t.idCliente = textoDe(f, "idCliente");
    t.Proveedor = siNoDe(f, "Proveedor");
    t.cliente = siNoDe(f, "cliente");
    t.empleado = siNoDe(f, "empleado");
    t.Socio = siNoDe(f, "Socio");
    t.Otro = siNoDe(f, "Otro");
    DAO_Conexion::CerrarRs(rs);

    if (t.SyA) {
        auto s = con_.Query(
            "SELECT * FROM SUCYAGEN AS S INNER JOIN PSYAG AS PA ON LEFT(S.IDSYA,5) = PA.CODIGO "
            "WHERE TERCERO = ?",
            {Variant(t.IdDocumento)});
        while (!DAO_Conexion::RsVacio(s)) {
            RegSucursal r;
            r.idSyA = textoDe(*s, "idSyA");
            r.NombreMunicipio = textoDe(*s, "NombreMunicipio");
            r.Nombre = textoDe(*s, "Nombre");
            r.idTercero = static_cast<int32_t>(dobleDe(*s, "idTercero"));
            r.tercero = textoDe(*s, "tercero");
            r.Direccion = textoDe(*s, "Direccion");
            r.Telefono = textoDe(*s, "Telefono");
            r.NombreDpto = textoDe(*s, "NombreDpto");
            r.Codigo = textoDe(*s, "Codigo");
            t.sucursales.push_back(std::move(r));
            s->MoveNext();
        }
        DAO_Conexion::CerrarRs(s);
    }
    if (t.sucursales.empty()) t.sucursales.emplace_back();
    return t;
}

int32_t ServicioTerceros::setTerceroTelefono(RegTercero& t) {
    if (t.Nombre.empty()) return 0;
    const std::string telefono = telefonoGuardado(t.Telefono1);
    const std::string nombre = comun::mayusculas(comun::recortar(t.Nombre));
    const std::string direccion = comun::mayusculas(t.Direccion) + " ";

    datos::Transaccion transaccion(con_);
    auto existente = con_.Query("select * from Terceros where telefono1 = ?", {Variant(telefono)});
    int32_t id = 0;
    if (!telefono.empty() && !DAO_Conexion::RsVacio(existente)) {
        // The third party that holds the telephone keeps its row and key.
        existente->asignar("Nombre", Variant(nombre));
        existente->asignar("Direccion", Variant(direccion));
        existente->Update();
        id = (*existente)["IdTercero"].CLng();
        DAO_Conexion::CerrarRs(existente);
    } else {
        DAO_Conexion::CerrarRs(existente);
        auto rs = con_.Query("Terceros");
        rs->AddNew();
        // The key is the database's to give: the counter column takes no value.
        rs->asignar("IdDocumento", Variant(comun::mayusculas(comun::izquierda(t.IdDocumento, 15))));
        rs->asignar("Nombre", Variant(nombre));
        const std::string representante = comun::recortar(t.representante);
        rs->asignar("representante",
                    Variant(representante.empty() ? std::string("No Definido")
                                                  : comun::mayusculas(representante)));
        rs->asignar("TipoDocumento", Variant(oDefecto(comun::recortar(t.TipoDocumento))));
        rs->asignar("Persona", Variant(oDefecto(t.Persona, "No definido")));
        rs->asignar("GranContribuyente", Variant(t.GranContribuyente));
        rs->asignar("Autorretenedor", Variant(t.Autorretenedor));
        rs->asignar("regimen", Variant(oDefecto(t.regimen)));
        rs->asignar("Direccion", Variant(direccion));
        rs->asignar("Ciudad", Variant(oDefecto(t.Ciudad)));
        // "No Definifo" is what the sites' rows already carry.
        rs->asignar("Telefono1", Variant(oDefecto(telefono, "No Definifo")));
        rs->asignar("Telefono2", Variant(oDefecto(telefonoGuardado(t.Telefono2), "No Definifo")));
        rs->asignar("Mail", Variant(oDefecto(t.Mail)));
        rs->asignar("Sangre", Variant(t.Sangre));
        rs->asignar("Comentarios", Variant(oDefecto(t.Comentarios)));
        rs->asignar("idCliente", Variant(t.idCliente));
        // The record's dates as they are: the zero date, 30/12/1899, when it
        // has none. The site's application cannot read a Null date.
        rs->asignar("FNacimiento", Variant(t.FNacimiento));
        rs->asignar("FRetiro", Variant(t.FRetiro));
        rs->asignar("FIngreso", Variant(soloDia(reloj_.ahora())));
        rs->asignar("Proveedor", Variant(t.Proveedor));
        rs->asignar("cliente", Variant(t.cliente));
        rs->asignar("empleado", Variant(t.empleado));
        rs->asignar("Socio", Variant(t.Socio));
        rs->asignar("Otro", Variant(t.Otro));
        rs->Update();
        // The row just added is the current one, its key included.
        id = (*rs)["IdTercero"].CLng();
        DAO_Conexion::CerrarRs(rs);
    }
    encolarTercero(con_, id);
    transaccion.confirmar();
    return id;
}

RegProducto ServicioTerceros::getProducto(const std::string& codigo, int nivelPrecio) {
    RegProducto p;
    const bool comun = valoresSitio(con_).regimen == "Comun";
    auto rs = con_.Query(comun ? "SELECT * FROM PRODUCTOS AS P INNER JOIN XX0100 AS X ON "
                                 "'Impuesto'&P.IMPX = X.NOMBRE WHERE CodigoAB = ?"
                               : "SELECT * FROM PRODUCTOS WHERE CodigoAB = ?",
                         {Variant(codigo)});
    if (DAO_Conexion::RsVacio(rs)) {
        DAO_Conexion::CerrarRs(rs);
        return p;
    }
    const Recordset& f = *rs;
    p.Categoria = textoDe(f, "Categoria");
    p.Negocio = textoDe(f, "Negocio");
    p.NombreProducto = textoDe(f, "NombreProducto");
    // The order line is priced and taxed from these: a product without a
    // price (or, under the "Comun" regime, without its tax) fails the order
    // rather than selling it for nothing.
    const std::string producto = "del producto '" + codigo + "'";
    numeroRequerido(f, "PrecioUnidad", "el precio " + producto);
    p.PrecioUnidad = f["PrecioUnidad"].CCur();
    const Variant impx = f["impx"];
    if (impx.esNull() && !comun) {
        p.ImpX = 1;
    } else {
        numeroRequerido(f, "impx", "el impuesto " + producto);
        p.ImpX = impx.CInt();
    }
    // Side dishes and the order line carry the code as a number.
    p.CodigoAB = enteroDeTexto(textoDe(f, "CodigoAB"), "el codigo del producto");
    if (comun) {
        p.CodigoBarras = textoDe(f, "CodigoBarras");
        p.descripcion = textoDe(f, "descripcion");
        // The price includes the tax: its share of it. Without a rate above 0
        // the product's own tax value is taken.
        const double tasa = dobleDe(f, "Vr");
        p.impuestoUnidad = tasa > 0
                               ? p.PrecioUnidad.aDouble() * tasa / (100 + tasa)
                               : numeroRequerido(f, "ImpVr", "el valor del impuesto " + producto);
    }
    for (size_t i = 0; i < p.precios.size(); ++i) {
        const Variant v = f["Precio" + std::to_string(i + 1)];
        if (!v.esNull()) p.precios[i] = v.CCur();
    }
    const size_t entrada = (nivelPrecio == 1 || nivelPrecio == 2)
                               ? static_cast<size_t>(nivelPrecio + 6)
                               : static_cast<size_t>(diaDeLaSemana(reloj_.ahora()));
    p.precioAlterno = p.precios[entrada].diezmilesimas == 0 ? p.PrecioUnidad.aDouble()
                                                            : p.precios[entrada].aDouble();
    DAO_Conexion::CerrarRs(rs);
    return p;
}

RegUsuario ServicioTerceros::getUsuario(int32_t id) {
    RegUsuario u;
    try {
        auto rs = con_.Query("SELECT * FROM PW WHERE idtercero = ?", {Variant(id)});
        if (!DAO_Conexion::RsVacio(rs)) {
            const Recordset& f = *rs;
            u.acceso = textoDe(f, "acceso");
            u.Base = dobleDe(f, "Base");
            u.Fecha = fechaDe(f, "Fecha");
            u.IdEmpleado = static_cast<int32_t>(dobleDe(f, "IdEmpleado"));
            u.labor = textoDe(f, "labor");
            u.lugar = textoDe(f, "lugar");
            u.idTercero = static_cast<int32_t>(dobleDe(f, "idTercero"));
            u.nick = textoDe(f, "nick");
            u.Nombre = textoDe(f, "Nombre");
            u.Documento = textoDe(f, "Documento");
            u.Direccion = textoDe(f, "Direccion");
            u.Telefono = textoDe(f, "Telefono");
            u.pw = textoDe(f, "pw");
        }
        DAO_Conexion::CerrarRs(rs);
    } catch (const std::exception&) {
        return {};
    }
    return u;
}

}  // namespace servicios
