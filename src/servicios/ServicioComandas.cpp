#include "servicios/ServicioComandas.h"

#include <map>
#include <vector>

#include "comun/Texto.h"
#include "servicios/Valores.h"

namespace servicios {

using comun::Variant;
using datos::DAO_Conexion;

namespace {

// The date part of a date, as the database stores dates.
std::string textoFecha(const comun::Fecha& f) {
    comun::Fecha dia;
    dia.anio = f.anio;
    dia.mes = f.mes;
    dia.dia = f.dia;
    return dia.iso();
}

}  // namespace

int32_t ultimoIdInsertado(DAO_Conexion& con) {
    auto rs = con.Query("SELECT @@IDENTITY AS id");
    const Variant v = DAO_Conexion::RsVacio(rs) ? Variant() : (*rs)[size_t{0}];
    DAO_Conexion::CerrarRs(rs);
    const int32_t id = v.esNumero() ? v.CLng() : 0;
    if (id <= 0) throw datos::ErrorBD("The key of the row just written cannot be read.");
    return id;
}

ServicioComandas::ServicioComandas(DAO_Conexion& conexion, const comun::Reloj& reloj)
    : con_(conexion), reloj_(reloj) {}

bool ServicioComandas::setCuenta(const clsComandas& comanda,
                                 const std::vector<clsAcompanamientos>& acompanamientos,
                                 int32_t idTercero, int16_t nPersonas, const std::string& idMesa) {
    datos::Transaccion transaccion(con_);
    const std::string mesa = idMesa.empty() ? std::to_string(getMesaDomicilio(idTercero)) : idMesa;

    // Numbers that stand in the text are checked before anything is written.
    const std::string cantidad = textoNumero(comanda.Cantidad, "la cantidad");
    const std::string valor = textoNumero(comanda.valor, "el valor");
    const std::string hora = textoHora(reloj_.ahora());

    // Every value bound, as the text it stands for: one statement, prepared
    // once, whatever the line holds.
    con_.comando(
        "INSERT INTO comandas(CodigoAB,idmesa,nombreproducto,cantidad,fecha,mesero,nick,estado,"
        "concepto,ok, despcoc,desp,tdc,tdm,negocio,tin,idproducto,hora, valor,detalle, imprCoc, "
        "ImprM, BImp, Impx, ImpVr, idFactura, Tercero, Detalle2) Values (?, ?, ?, ?, ?, ?, ?, "
        "'Pendiente', 'Ventas', '0', 'Y', 'X', '0', '0', ?, 'O', ?, ?, ?, ?, ' ', 'C', ?, ?, ?, "
        "'0', ?, ?)",
        {Variant(comanda.CodigoAB), Variant(mesa), Variant(comanda.NombreProducto),
         Variant(cantidad), Variant(textoFecha(comanda.Fecha)), Variant(comanda.Mesero),
         Variant(comanda.nick), Variant(comanda.Negocio),
         Variant(std::to_string(comanda.IdProducto)), Variant(hora), Variant(valor),
         Variant(comanda.Detalle), Variant(std::to_string(redondearEntero(comanda.BImp))),
         Variant(comanda.ImpX.empty() ? std::string(" ") : comanda.ImpX),
         Variant(std::to_string(redondearEntero(comanda.ImpVr))),
         Variant(std::to_string(idTercero)), Variant(std::to_string(nPersonas))});

    // The row this insert created, by the key it was given: the site's own
    // application writes order lines at the same time, so the newest line
    // of the table need not be this one.
    const int32_t id = ultimoIdInsertado(con_);
    auto fila = con_.Query("SELECT * FROM COMANDAS WHERE IDCOMANDA = ?", {Variant(id)});
    if (DAO_Conexion::RsVacio(fila))
        throw datos::ErrorBD("The order line just written cannot be read back.");
    con_.encolarRegistro(*fila, 6, "A", kDestinoGeneral);

    // The side dishes of a line are usually all of one product: its supply
    // is read once.
    std::map<int32_t, RegInsumo> productos;
    for (const clsAcompanamientos& a : acompanamientos) {
        auto p = productos.find(a.CodigoProducto);
        if (p == productos.end())
            p = productos.emplace(a.CodigoProducto, getInsumo(std::to_string(a.CodigoProducto)))
                    .first;
        escribirAdicional(id, a.CodigoProducto, p->second, a.CodigoAcompanamiento, a.Cantidad);
    }
    DAO_Conexion::CerrarRs(fila);

    transaccion.confirmar();
    ultimaComanda_ = id;
    ultimaMesa_ = mesa;
    return true;
}

bool ServicioComandas::setCuentaMesa(const clsComandas& comanda,
                                     const std::vector<clsAcompanamientos>& acompanamientos,
                                     const std::string& mesa, int16_t personas) {
    return setCuenta(comanda, acompanamientos, 0, personas, mesa);
}

int16_t ServicioComandas::getMesaDomicilio(int32_t idTercero) {
    // A customer with a pending order keeps its table. A table whose number
    // is not a number is no one's delivery table.
    auto rs = con_.Query("SELECT IDMESA FROM COMANDAS WHERE ESTADO = 'Pendiente' AND TERCERO = ?",
                         {Variant(std::to_string(idTercero))});
    while (!DAO_Conexion::RsVacio(rs)) {
        const Variant actual = (*rs)["IDMESA"];
        if (comun::IsNumeric(actual)) return actual.CInt();
        rs->MoveNext();
    }
    DAO_Conexion::CerrarRs(rs);

    // Otherwise the next number above the highest delivery table in use.
    rs = con_.Query(
        "Select max(cint(IIF(ISNUMERIC(IDMESA),IDMESA,0))) as mesa from Comandas where "
        "cint(IIF(ISNUMERIC(IDMESA),IDMESA,0)) > 2000 AND "
        "cint(IIF(ISNUMERIC(IDMESA),IDMESA,0)) "
        "< 3000 ");
    int16_t mesa = kPrimeraMesaDomicilio - 1;
    if (!DAO_Conexion::RsVacio(rs)) {
        const Variant mayor = (*rs)["mesa"];
        mesa = comun::IsNumeric(mayor) ? static_cast<int16_t>(mayor.CInt() + 1)
                                       : kPrimeraMesaDomicilio;
    }
    DAO_Conexion::CerrarRs(rs);
    if (mesa <= kUltimaMesaDomicilio) return mesa;

    // Past the last one: the lowest table without a pending order, so that
    // no two customers ever share one.
    std::vector<bool> ocupada(kUltimaMesaDomicilio - kPrimeraMesaDomicilio + 1, false);
    rs = con_.Query("SELECT DISTINCT IDMESA FROM COMANDAS WHERE ESTADO = 'Pendiente'");
    while (!DAO_Conexion::RsVacio(rs)) {
        const Variant v = (*rs)["IDMESA"];
        if (comun::IsNumeric(v)) {
            const double n = v.CDbl();
            if (n >= kPrimeraMesaDomicilio && n <= kUltimaMesaDomicilio)
                ocupada[static_cast<size_t>(v.CInt() - kPrimeraMesaDomicilio)] = true;
        }
        rs->MoveNext();
    }
    DAO_Conexion::CerrarRs(rs);
    for (size_t i = 0; i < ocupada.size(); ++i)
        if (!ocupada[i]) return static_cast<int16_t>(kPrimeraMesaDomicilio + i);
    throw MesasAgotadas("no hay mesa de domicilio libre: las mesas " +
                        std::to_string(kPrimeraMesaDomicilio) + " a " +
                        std::to_string(kUltimaMesaDomicilio) + " tienen pedidos pendientes");
}

void ServicioComandas::setAdicional(int32_t idComanda, int32_t codigoProducto,
                                    int32_t codigoAcompanamiento, double cantidad) {
    escribirAdicional(idComanda, codigoProducto, getInsumo(std::to_string(codigoProducto)),
                      codigoAcompanamiento, cantidad);
}

void ServicioComandas::escribirAdicional(int32_t idComanda, int32_t codigoProducto,
                                         const RegInsumo& producto, int32_t codigoAcompanamiento,
                                         double cantidad) {
    const RegInsumo acompanamiento = getInsumo(std::to_string(codigoAcompanamiento));
    const std::string textoCantidad = textoNumero(cantidad, "la cantidad del acompanamiento");
    const std::string costo = textoNumero(acompanamiento.Costo, "el costo del acompanamiento");

    con_.comando(
        "INSERT INTO ACOMPANAMIENTOS(IDCOMANDA, NOMBREPRODUCTO, CODPRODUCTO, ACOMPANAMIENTO, "
        "CODINSUMO, CANTIDAD, COSTO) VALUES (?, ?, ?, ?, ?, ?, ?)",
        {Variant(idComanda), Variant(producto.nombre), Variant(codigoProducto),
         Variant(acompanamiento.nombre), Variant(codigoAcompanamiento), Variant(textoCantidad),
         Variant(costo)});

    // Read back by its own key, like the order line.
    const int32_t id = ultimoIdInsertado(con_);
    auto fila = con_.Query("SELECT * FROM ACOMPANAMIENTOS WHERE ID = ?", {Variant(id)});
    if (DAO_Conexion::RsVacio(fila))
        throw datos::ErrorBD("The side dish just written cannot be read back.");
    con_.encolarRegistro(*fila, 10, "A", kDestinoGeneral);
    DAO_Conexion::CerrarRs(fila);
    ultimoAcompanamiento_ = id;
}

RegInsumo ServicioComandas::getInsumo(const std::string& codigo) {
    RegInsumo r;
    auto rs = con_.Query("SELECT * FROM INSUMOS AS I WHERE i.codigo = ?", {Variant(codigo)});
    if (!DAO_Conexion::RsVacio(rs)) {
        r.codigo = textoDe(*rs, "Codigo");
        r.nombre = textoDe(*rs, "Nombre");
        r.medida = textoDe(*rs, "medida");
        r.categoria = textoDe(*rs, "Categoria");
        // The cost a side dish is booked at.
        r.Costo = numeroRequerido(*rs, "Costo", "el costo del insumo '" + codigo + "'");
    }
    DAO_Conexion::CerrarRs(rs);
    return r;
}

}  // namespace servicios
