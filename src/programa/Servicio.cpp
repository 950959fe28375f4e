#include "programa/Servicio.h"

#include <exception>
#include <functional>
#include <iostream>
#include <limits>

#include "aplicacion/AccionesComandas.h"
#include "datos/DAO_Conexion.h"
#include "programa/Comando.h"
#include "servicios/ServicioComandas.h"
#include "servicios/ServicioInventario.h"
#include "servicios/ServicioTerceros.h"
#include "servicios/Valores.h"

namespace programa {

namespace {

using Argumentos = std::vector<std::string>;

struct Contexto {
    datos::DAO_Conexion& con;
    const Argumentos& a;
    std::ostream& salida;
    const comun::Reloj& reloj;
};

struct Operacion {
    const char* nombre;
    const char* argumentos;  // usage, after the operation's name
    size_t minimo;
    size_t maximo;
    // Opens the connection itself (the operation owns it).
    bool propiaConexion;
    std::function<int(Contexto&)> correr;
};

constexpr size_t kSinLimite = std::numeric_limits<size_t>::max();

int32_t entero(const std::string& texto, const char* que) {
    return servicios::enteroDeTexto(texto, que);
}

std::string fecha(const comun::Fecha& f) {
    return servicios::esFechaCero(f) ? std::string() : f.iso();
}

void escribir(std::ostream& o, const servicios::RegTercero& t) {
    o << "idTercero=" << t.idTercero << "\nIdDocumento=" << t.IdDocumento << "\nNombre=" << t.Nombre
      << "\nDireccion=" << t.Direccion << "\nCiudad=" << t.Ciudad << "\nTelefono1=" << t.Telefono1
      << "\nTelefono2=" << t.Telefono2 << "\nMail=" << t.Mail << "\nFIngreso=" << fecha(t.FIngreso)
      << "\nSyA=" << (t.SyA ? "True" : "False") << "\n";
    for (const auto& s : t.sucursales)
        if (!s.idSyA.empty())
            o << "sucursal=" << s.idSyA << "|" << s.Nombre << "|" << s.NombreMunicipio << "|"
              << s.NombreDpto << "\n";
}

void escribir(std::ostream& o, const aplicacion::LineaEscrita& l) {
    o << "idComanda=" << l.idComanda << "\nmesa=" << l.mesa << "\nidTercero=" << l.idTercero
      << "\nacompanamientos=" << l.acompanamientos << "\n";
}

// PRODUCTO CANTIDAD NOTA from `desde` on, then side dishes from `desde` + 3.
aplicacion::PedidoDomicilio pedidoDe(const Argumentos& a, size_t desde, size_t acompanamientos) {
    aplicacion::PedidoDomicilio p;
    p.producto = a[desde];
    p.cantidad = a[desde + 1];
    p.nota = a[desde + 2];
    for (size_t i = acompanamientos; i < a.size(); ++i) p.acompanamientos.push_back(a[i]);
    return p;
}

int productoDesconocido(Contexto& c, const std::string& codigo) {
    c.salida << "The product '" << codigo << "' is not sold at this site: nothing written\n";
    return 1;
}

const std::vector<Operacion>& operaciones() {
    static const std::vector<Operacion> lista = {
        {"pedido", "PRODUCTO CANTIDAD NOTA NOMBRE DIRECCION TELEFONO [ACOMPANAMIENTO...]", 6,
         kSinLimite, false,
         [](Contexto& c) {
             aplicacion::PedidoDomicilio p = pedidoDe(c.a, 0, 6);
             p.nombre = c.a[3];
             p.direccion = c.a[4];
             p.telefono = c.a[5];
             if (p.nombre.empty()) throw servicios::ValorInvalido("the customer has no name");
             const auto l = aplicacion::AccionesComandas(c.con, c.reloj).pedirDomicilio(p);
             if (l.idComanda == 0) return productoDesconocido(c, p.producto);
             escribir(c.salida, l);
             return 0;
         }},
        {"setCuentaMesa", "MESA PRODUCTO CANTIDAD NOTA [ACOMPANAMIENTO...]", 4, kSinLimite, false,
         [](Contexto& c) {
             const auto p = pedidoDe(c.a, 1, 4);
             if (c.a[0].empty()) throw servicios::ValorInvalido("the table number is empty");
             const auto l = aplicacion::AccionesComandas(c.con, c.reloj).pedirEnMesa(c.a[0], p);
             if (l.idComanda == 0) return productoDesconocido(c, p.producto);
             escribir(c.salida, l);
             return 0;
         }},
        {"setAdicional", "IDCOMANDA PRODUCTO ACOMPANAMIENTO CANTIDAD", 4, 4, false,
         [](Contexto& c) {
             servicios::ServicioComandas s(c.con, c.reloj);
             datos::Transaccion t(c.con);
             s.setAdicional(entero(c.a[0], "IDCOMANDA"), entero(c.a[1], "PRODUCTO"),
                            entero(c.a[2], "ACOMPANAMIENTO"),
                            servicios::numeroDeTexto(c.a[3], "CANTIDAD"));
             t.confirmar();
             c.salida << "id=" << s.ultimoAcompanamiento() << "\n";
             return 0;
         }},
        {"getMesaDomicilio", "IDTERCERO", 1, 1, false,
         [](Contexto& c) {
             c.salida << servicios::ServicioComandas(c.con, c.reloj)
                             .getMesaDomicilio(entero(c.a[0], "IDTERCERO"))
                      << "\n";
             return 0;
         }},
        {"cancelar", "IDCOMANDA", 1, 1, false,
         [](Contexto& c) {
             c.salida << aplicacion::AccionesComandas(c.con, c.reloj).cancelar(c.a[0]) << "\n";
             return 0;
         }},
        {"imprimirCuenta", "TELEFONO", 1, 1, false,
         [](Contexto& c) {
             if (aplicacion::AccionesComandas(c.con, c.reloj).imprimirCuenta(c.a[0])) return 0;
             c.salida << "Nobody has the telephone '" << c.a[0] << "': nothing written\n";
             return 1;
         }},
        {"detalleDomicilio", "TELEFONO MEDIO_DE_PAGO", 2, 2, false,
         [](Contexto& c) {
             if (aplicacion::AccionesComandas(c.con, c.reloj).detalleDomicilio(c.a[0], c.a[1]))
                 return 0;
             c.salida << "Nobody has the telephone '" << c.a[0]
                      << "', or that customer has no pending order: nothing written\n";
             return 1;
         }},
        {"getTerceroTelefono", "TELEFONO", 1, 1, false,
         [](Contexto& c) {
             escribir(c.salida,
                      servicios::ServicioTerceros(c.con, c.reloj).getTerceroTelefono(c.a[0]));
             return 0;
         }},
        {"getTercero", "IDTERCERO", 1, 1, false,
         [](Contexto& c) {
             escribir(c.salida, servicios::ServicioTerceros(c.con, c.reloj)
                                    .getTercero(entero(c.a[0], "IDTERCERO")));
             return 0;
         }},
        {"setTerceroTelefono", "TELEFONO NOMBRE [DIRECCION]", 2, 3, false,
         [](Contexto& c) {
             servicios::RegTercero t;
             t.Telefono1 = c.a[0];
             t.IdDocumento = c.a[0];
             t.Nombre = c.a[1];
             if (c.a.size() > 2) t.Direccion = c.a[2];
             const int32_t id = servicios::ServicioTerceros(c.con, c.reloj).setTerceroTelefono(t);
             if (id == 0) throw servicios::ValorInvalido("the third party has no name");
             c.salida << "idTercero=" << id << "\n";
             return 0;
         }},
        {"getProducto", "CODIGO", 1, 1, false,
         [](Contexto& c) {
             const auto p = servicios::ServicioTerceros(c.con, c.reloj).getProducto(c.a[0]);
             c.salida << "CodigoAB=" << p.CodigoAB << "\nNombreProducto=" << p.NombreProducto
                      << "\nCategoria=" << p.Categoria << "\nNegocio=" << p.Negocio
                      << "\nPrecioUnidad=" << comun::Variant(p.PrecioUnidad).texto()
                      << "\nImpX=" << p.ImpX
                      << "\nimpuestoUnidad=" << comun::textoDouble(p.impuestoUnidad)
                      << "\nprecioAlterno=" << comun::textoDouble(p.precioAlterno) << "\n";
             return 0;
         }},
        {"getUsuario", "IDTERCERO", 1, 1, false,
         [](Contexto& c) {
             const auto u = servicios::ServicioTerceros(c.con, c.reloj)
                                .getUsuario(entero(c.a[0], "IDTERCERO"));
             c.salida << "idTercero=" << u.idTercero << "\nNombre=" << u.Nombre
                      << "\nnick=" << u.nick << "\nDocumento=" << u.Documento
                      << "\nacceso=" << u.acceso << "\nlabor=" << u.labor << "\nlugar=" << u.lugar
                      << "\nFecha=" << fecha(u.Fecha) << "\n";
             return 0;
         }},
        {"getInusmosProductosRzs", "", 0, 0, false,
         [](Contexto& c) {
             c.salida << servicios::ServicioInventario(c.con).getInusmosProductosRzs() << "\n";
             return 0;
         }},
        {"getInusmosProductosRzsNum", "", 0, 0, false,
         [](Contexto& c) {
             c.salida << servicios::ServicioInventario(c.con).getInusmosProductosRzsNum() << "\n";
             return 0;
         }},
        {"getInusmosProductosRzsNumAll", "", 0, 0, false,
         [](Contexto& c) {
             c.salida << servicios::ServicioInventario(c.con).getInusmosProductosRzsNumAll()
                      << "\n";
             return 0;
         }},
        {"setInusmosProductosRzs", "", 0, 0, false,
         [](Contexto& c) {
             servicios::ServicioInventario s(c.con);
             s.setInusmosProductosRzs();
             c.salida << s.getInusmosProductosRzsNum() << "\n";
             return 0;
         }},
        {"getSolicitudInusmosProductosRzs", "", 0, 0, false,
         [](Contexto& c) {
             c.salida << (servicios::ServicioInventario(c.con).getSolicitudInusmosProductosRzs()
                              ? "True"
                              : "False")
                      << "\n";
             return 0;
         }},
        {"setSolicitudInusmosProductosRzs", "", 0, 0, true,
         [](Contexto& c) {
             c.salida << servicios::ServicioInventario(c.con).setSolicitudInusmosProductosRzs()
                      << "\n";
             return 0;
         }},
        {"corregirSaldosInventario", "", 0, 0, true,
         [](Contexto& c) {
             servicios::ServicioInventario(c.con).corregirSaldosInventario();
             return 0;
         }},
    };
    return lista;
}

void escribirUso(std::ostream& o) {
    o << "Operations (sincronizador servicio FILE OPERATION [ARGUMENT...]):\n";
    for (const Operacion& op : operaciones())
        o << "  " << op.nombre << " " << op.argumentos << "\n";
}

}  // namespace

int ejecutarServicio(const std::string& archivo, const std::string& operacion,
                     const std::vector<std::string>& argumentos, std::ostream& salida,
                     std::ostream& errores, const comun::Reloj& reloj) {
    if (operacion.empty()) {
        escribirUso(salida);
        return 0;
    }
    const Operacion* op = nullptr;
    for (const Operacion& o : operaciones())
        if (operacion == o.nombre) op = &o;
    if (!op) {
        errores << "servicio: unknown operation '" << operacion << "'\n";
        escribirUso(errores);
        return 2;
    }
    if (argumentos.size() < op->minimo || argumentos.size() > op->maximo) {
        errores << "servicio: usage: " << op->nombre << " " << op->argumentos << "\n";
        return 2;
    }
    datos::DAO_Conexion conexion;
    conexion.dataFile(archivo);
    try {
        Contexto c{conexion, argumentos, salida, reloj};
        if (op->propiaConexion) return op->correr(c);
        datos::GuardaConexion guarda(conexion);
        return op->correr(c);
    } catch (const std::exception& e) {
        errores << "servicio: " << e.what() << "\n";
        return 1;
    }
}

namespace {

class ComandoServicio : public Comando {
  public:
    CLI::App* declarar(CLI::App& programa, OpcionesGlobales&) override {
        CLI::App* sub = programa.add_subcommand(
            "servicio",
            "Run one operation of the order, third-party and inventory services on a site "
            "database (without an operation: the list)");
        sub->add_option("archivo", archivo_, "Site database file")->required();
        sub->add_option("operacion", operacion_, "The operation");
        sub->add_option("argumentos", argumentos_, "Its arguments");
        return sub;
    }
    int ejecutar(const OpcionesGlobales&) override {
        const comun::RelojSistema reloj;
        return ejecutarServicio(archivo_, operacion_, argumentos_, std::cout, std::cerr, reloj);
    }

  private:
    std::string archivo_;
    std::string operacion_;
    Argumentos argumentos_;
};

}  // namespace

std::unique_ptr<Comando> comandoServicio() {
    return std::make_unique<ComandoServicio>();
}

}  // namespace programa
