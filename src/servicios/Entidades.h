// The entity classes and records the services hand between them: an order
// line and its side dishes, and the records filled from one row of the
// supplies, third parties, branches, users and products tables. Plain
// stored values; a new object holds 0, the empty text, false or the zero
// date in every member.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "comun/Variant.h"

namespace servicios {

// One order line, members in the order of its slots.
struct clsComandas {
    int32_t idComandServer = 0;
    double Cantidad = 0;
    std::string CodigoAB;  // product code
    std::string idMesa;    // table number
    int32_t id = 0;
    std::string NombreProducto;
    double valor = 0;  // line value
    comun::Fecha Fecha;
    std::string Hora;
    std::string Mesero;  // waiter
    std::string nick;
    std::string Especie;
    std::string Estado;
    std::string IdFactura;
    std::string Concepto;
    std::string ok;
    std::string despCoc;
    std::string desp;
    int16_t IdProducto = 0;  // minute of the service day
    std::string Detalle;
    std::string Detalle1;
    std::string Detalle2;
    int16_t Tdc = 0;
    int16_t Tdm = 0;
    std::string Negocio;
    std::string ImpX;     // number of the product's tax, as text
    comun::Moneda ImpVr;  // tax value
    comun::Moneda BImp;   // tax base
    std::string tercero;
    std::string CodigoC;
};

// One side dish of an order line.
struct clsAcompanamientos {
    int32_t id = 0;
    int32_t idComanda = 0;
    int32_t CodigoProducto = 0;
    int32_t CodigoAcompanamiento = 0;
    double Cantidad = 0;
    double Costo = 0;
    int16_t fila = 0;
    std::string Insumo;
    std::string Producto;
};

// One row of INSUMOS; a code without a row leaves it empty.
struct RegInsumo {
    std::string codigo;
    std::string nombre;
    std::string medida;
    std::string categoria;
    double Costo = 0;
};

// One branch of a third party (SUCYAGEN joined with its municipality).
struct RegSucursal {
    int32_t idTercero = 0;
    std::string tercero;
    std::string idSyA;
    std::string Nombre;
    std::string Direccion;
    std::string Telefono;
    std::string NombreMunicipio;
    std::string NombreDpto;
    std::string Codigo;
};

// One third party of TERCEROS, with its branches.
struct RegTercero {
    int32_t idTercero = 0;  // 0: no third party
    std::string IdDocumento;
    std::string Nombre;
    std::string representante;
    std::string TipoDocumento;
    std::string Persona;
    bool GranContribuyente = false;
    bool Autorretenedor = false;
    std::string regimen;
    std::string Direccion;
    std::string Ciudad;
    std::string Telefono1;
    std::string Telefono2;
    std::string Mail;
    double Sangre = 0;
    std::string Comentarios;
    comun::Fecha FNacimiento;
    comun::Fecha FIngreso;
    comun::Fecha FRetiro;
    bool SyA = false;  // has branches
    std::string idCliente;
    bool Proveedor = false;
    bool cliente = false;
    bool empleado = false;
    bool Socio = false;
    bool Otro = false;
    std::vector<RegSucursal> sucursales;
};

// One point-of-sale user of PW.
struct RegUsuario {
    std::string acceso;
    double Base = 0;
    comun::Fecha Fecha;
    int32_t IdEmpleado = 0;
    std::string labor;
    std::string lugar;
    int32_t idTercero = 0;
    std::string nick;
    std::string Nombre;
    std::string Documento;
    std::string Direccion;
    std::string Telefono;
    std::string pw;
};

// One product, with its tax and alternative prices.
struct RegProducto {
    std::string Categoria;
    std::string Negocio;
    std::string NombreProducto;
    comun::Moneda PrecioUnidad;
    int16_t ImpX = 0;      // number of the product's tax
    int32_t CodigoAB = 0;  // product code; 0: no such product
    std::string CodigoBarras;
    double impuestoUnidad = 0;  // tax contained in one unit's price
    std::string descripcion;
    std::array<comun::Moneda, 9> precios{};  // Precio1 .. Precio9
    double precioAlterno = 0;
};

// Whether a date is the zero date, the value of a date nobody set.
bool esFechaCero(const comun::Fecha& f);

}  // namespace servicios
