#include "aplicacion/AccionesComandas.h"

#include "comun/Texto.h"
#include "servicios/ServicioComandas.h"
#include "servicios/ServicioTerceros.h"
#include "servicios/Valores.h"

namespace aplicacion {

using comun::Variant;
using datos::DAO_Conexion;

namespace {

// Side-dish codes run from Campo7 up to Campo39: an inbound record carries
// the server's identifier of the record in Campo40.
constexpr size_t kPrimerAcompanamiento = 7;
constexpr size_t kUltimoAcompanamiento = 39;
// Who books the lines that come from the central ordering channel.
constexpr const char* kClienteDomicilios = "Cliente Domicilios";

std::string nadieTiene(const std::string& telefono) {
    return "nadie tiene el telefono '" + telefono + "'";
}

comun::Fecha fechaTrabajo(DAO_Conexion& con) {
    const std::string& texto = servicios::valoresSitio(con).fechaTrabajo;
    comun::Fecha f;
    if (!comun::leerFecha(texto, f))
        throw servicios::ValorInvalido("la fecha de trabajo del sitio no es una fecha: '" + texto +
                                       "'");
    return f;
}

// A date text as a date column stores it: the date it reads as, or the text
// itself when it reads as none.
Variant fechaGuardada(const std::string& texto) {
    comun::Fecha f;
    if (comun::leerFecha(texto, f) && f.valida()) return Variant(f);
    return Variant(texto);
}

}  // namespace

AccionesComandas::AccionesComandas(DAO_Conexion& conexion, const comun::Reloj& reloj)
    : con_(conexion), reloj_(reloj) {}

std::string AccionesComandas::aplicar(const Entrante& r) {
    if (r.funcion == "E") {
        if (cancelar(r.campo(1)) == 0) return "no hay linea " + r.campo(1) + " que anular";
        return {};
    }
    if (r.funcion != "A") return "la funcion '" + r.funcion + "' no es A ni E";
    const std::string& accion = r.campo(2);
    if (accion == "Impresion Cuenta") {
        if (!imprimirCuenta(r.campo(1))) return nadieTiene(r.campo(1));
        return {};
    }
    if (accion == "Detalle domicilio") {
        if (!detalleDomicilio(r.campo(1), r.campo(3))) {
            if (servicios::ServicioTerceros(con_, reloj_)
                    .getTerceroTelefono(r.campo(1))
                    .idTercero == 0)
                return nadieTiene(r.campo(1));
            return "el cliente del telefono '" + r.campo(1) + "' no tiene un pedido pendiente";
        }
        return {};
    }
    if (r.campo(4).empty() || r.campo(5).empty() || r.campo(6).empty())
        return "el pedido no trae nombre, direccion y telefono del cliente (Campo4 a Campo6)";
    PedidoDomicilio p;
    p.producto = r.campo(1);
    p.cantidad = r.campo(2);
    p.nota = r.campo(3);
    p.nombre = r.campo(4);
    p.direccion = r.campo(5);
    p.telefono = r.campo(6);
    // The list ends at the first empty column, whatever follows it.
    for (size_t k = kPrimerAcompanamiento; k <= kUltimoAcompanamiento && !r.campo(k).empty(); ++k)
        p.acompanamientos.push_back(r.campo(k));
    return pedirDomicilio(p).motivo;
}

std::string AccionesComandas::telefonoDelCliente(const Entrante& r) {
    if (r.funcion != "A") return {};
    const std::string& accion = r.campo(2);
    if (accion == "Impresion Cuenta" || accion == "Detalle domicilio")
        return servicios::telefonoGuardado(r.campo(1));
    if (r.campo(4).empty() || r.campo(5).empty() || r.campo(6).empty()) return {};
    return servicios::telefonoGuardado(r.campo(6));
}

int AccionesComandas::cancelar(const std::string& idComanda) {
    const int32_t id = servicios::enteroDeTexto(idComanda, "Campo1 (la linea a anular)");
    return con_.comando("UPDATE COMANDAS SET IMPRM = 'E' WHERE idComanda = ?", {Variant(id)});
}

bool AccionesComandas::imprimirCuenta(const std::string& telefono) {
    servicios::ServicioTerceros terceros(con_, reloj_);
    const servicios::RegTercero t = terceros.getTerceroTelefono(telefono);
    if (t.idTercero == 0) return false;
    datos::Transaccion transaccion(con_);
    servicios::ServicioComandas comandas(con_, reloj_);
    const int16_t mesa = comandas.getMesaDomicilio(t.idTercero);
    con_.comando(
        "INSERT INTO COMANDAS (idmesa, nombreproducto, concepto, fecha, hora, mesero, "
        "ImprM) VALUES (?, 'Impresion Cuenta', 'Impresion', ?, ?, 'Cliente Domicilios', 'X')",
        {Variant(std::to_string(mesa)), fechaGuardada(servicios::valoresSitio(con_).fechaTrabajo),
         Variant(servicios::textoHora(reloj_.ahora()))});
    transaccion.confirmar();
    return true;
}

bool AccionesComandas::detalleDomicilio(const std::string& telefono, const std::string& medioPago) {
    servicios::ServicioTerceros terceros(con_, reloj_);
    const servicios::RegTercero t = terceros.getTerceroTelefono(telefono);
    if (t.idTercero == 0) return false;
    servicios::ServicioComandas comandas(con_, reloj_);
    const int16_t mesa = comandas.getMesaDomicilio(t.idTercero);
    // The first pending line the customer has there: a delivery table is
    // used again once its orders are paid, and the lines of those orders
    // are another customer's.
    return con_.comando(
               "UPDATE COMANDAS SET DETALLE1 = ? WHERE IDCOMANDA = (SELECT MIN(IDCOMANDA) FROM "
               "COMANDAS WHERE idmesa = ? AND ESTADO = 'Pendiente' AND TERCERO = ?)",
               {Variant("Pago en " + medioPago), Variant(std::to_string(mesa)),
                Variant(std::to_string(t.idTercero))}) > 0;
}

std::string AccionesComandas::productoDesconocido(const std::string& codigo) {
    // Under the "Comun" regime the product is looked up with its tax row: a
    // product without one is not found either, and is told apart here.
    if (servicios::valoresSitio(con_).regimen == "Comun") {
        auto rs = con_.Query("SELECT impx FROM PRODUCTOS WHERE CodigoAB = ?", {Variant(codigo)});
        if (!DAO_Conexion::RsVacio(rs)) {
            const std::string impuesto = "Impuesto" + (*rs)["impx"].texto();
            DAO_Conexion::CerrarRs(rs);
            return "el producto '" + codigo + "' no tiene su impuesto ('" + impuesto +
                   "' no esta en XX0100)";
        }
        DAO_Conexion::CerrarRs(rs);
    }
    return "el producto '" + codigo + "' no existe en este sitio";
}

struct AccionesComandas::LineaPreparada {
    bool productoConocido = false;
    std::string motivo;  // why the product is not known
    servicios::clsComandas linea;
    std::vector<servicios::clsAcompanamientos> acompanamientos;
};

AccionesComandas::LineaPreparada AccionesComandas::preparar(const PedidoDomicilio& pedido) {
    LineaPreparada l;
    servicios::ServicioTerceros terceros(con_, reloj_);
    const servicios::RegProducto producto = terceros.getProducto(pedido.producto);
    if (producto.CodigoAB == 0) {
        l.motivo = productoDesconocido(pedido.producto);
        return l;
    }
    l.productoConocido = true;

    // Every value that stands in SQL as a number is checked before the
    // first write.
    const double cantidad = servicios::numeroDeTexto(pedido.cantidad, "Campo2 (la cantidad)");
    for (size_t i = 0; i < pedido.acompanamientos.size(); ++i) {
        servicios::clsAcompanamientos a;
        a.Cantidad = cantidad;
        a.CodigoProducto = producto.CodigoAB;
        a.CodigoAcompanamiento = servicios::enteroDeTexto(
            pedido.acompanamientos[i],
            "Campo" + std::to_string(kPrimerAcompanamiento + i) + " (un acompanamiento)");
        l.acompanamientos.push_back(a);
    }

    servicios::clsComandas& c = l.linea;
    c.NombreProducto = producto.NombreProducto;
    c.Cantidad = cantidad;
    c.valor = cantidad * producto.PrecioUnidad.aDouble();
    c.ImpX = std::to_string(producto.ImpX);
    try {
        c.ImpVr = comun::Moneda::desdeDouble(cantidad * producto.impuestoUnidad);
        c.BImp = comun::Moneda::desdeDouble(c.valor - c.ImpVr.aDouble());
    } catch (const comun::ErrorTipo&) {
        throw servicios::ValorInvalido("el valor del pedido desborda: cantidad '" +
                                       pedido.cantidad + "'");
    }
    c.Fecha = fechaTrabajo(con_);
    c.Hora = servicios::textoHora(reloj_.ahora());
    c.Estado = "Pendiente";
    c.Detalle = pedido.nota.empty() ? std::string(" ") : comun::izquierda(pedido.nota, 250);
    c.CodigoAB = std::to_string(producto.CodigoAB);
    c.Mesero = kClienteDomicilios;
    c.nick = kClienteDomicilios;
    c.Concepto = "Ventas";
    c.IdProducto = static_cast<int16_t>(comun::minutoDelServicio(reloj_));
    c.Negocio = producto.Negocio;
    c.ok = "0";
    c.desp = "X";
    c.despCoc = "Y";
    return l;
}

LineaEscrita AccionesComandas::pedirDomicilio(const PedidoDomicilio& pedido) {
    // An order for a product this site does not sell changes nothing, not
    // even the customer.
    const LineaPreparada l = preparar(pedido);
    if (!l.productoConocido) {
        LineaEscrita nada;
        nada.motivo = l.motivo;
        return nada;
    }

    servicios::ServicioTerceros terceros(con_, reloj_);
    servicios::ServicioComandas comandas(con_, reloj_);
    datos::Transaccion transaccion(con_);
    // setTerceroTelefono finds the customer by the telephone itself; a
    // known one takes only the name and the address.
    servicios::RegTercero cliente;
    cliente.Nombre = pedido.nombre;
    cliente.Direccion = pedido.direccion;
    cliente.Telefono1 = pedido.telefono;
    cliente.IdDocumento = pedido.telefono;
    const int32_t idTercero = terceros.setTerceroTelefono(cliente);

    comandas.setCuenta(l.linea, l.acompanamientos, idTercero, 0, {});
    transaccion.confirmar();

    LineaEscrita escrita;
    escrita.idComanda = comandas.ultimaComanda();
    escrita.mesa = comandas.ultimaMesa();
    escrita.idTercero = idTercero;
    escrita.acompanamientos = static_cast<int>(l.acompanamientos.size());
    return escrita;
}

LineaEscrita AccionesComandas::pedirEnMesa(const std::string& mesa, const PedidoDomicilio& pedido) {
    const LineaPreparada l = preparar(pedido);
    if (!l.productoConocido) {
        LineaEscrita nada;
        nada.motivo = l.motivo;
        return nada;
    }
    servicios::ServicioComandas comandas(con_, reloj_);
    comandas.setCuentaMesa(l.linea, l.acompanamientos, mesa);
    LineaEscrita escrita;
    escrita.idComanda = comandas.ultimaComanda();
    escrita.mesa = comandas.ultimaMesa();
    escrita.acompanamientos = static_cast<int>(l.acompanamientos.size());
    return escrita;
}

}  // namespace aplicacion
