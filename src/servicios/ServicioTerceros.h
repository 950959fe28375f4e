// Third parties, products and users: the lookups a remote order needs before
// its line can be written, and the registration of a customer by telephone.
#pragma once

#include <cstdint>
#include <string>

#include "comun/Funciones.h"
#include "datos/DAO_Conexion.h"
#include "servicios/Entidades.h"

namespace servicios {

class ServicioTerceros {
  public:
    // The connection must be open for every operation; the clock dates new
    // third parties and picks the weekday's price.
    ServicioTerceros(datos::DAO_Conexion& conexion, const comun::Reloj& reloj);

    // The third party whose first telephone is `telefono`; idTercero 0 when
    // there is none.
    RegTercero getTerceroTelefono(const std::string& telefono);
    // The third party of that key, with its branches (one empty branch when
    // it has none); idTercero 0 when there is none.
    RegTercero getTercero(int32_t id);

    // Registers the third party by its first telephone: a new one is added
    // with the defaults of the table, a known one gets the record's name and
    // address; either way the row is queued (code 12) to the general
    // destination and to the client's other branches. Returns its key, or 0
    // (nothing written) when the record has no name.
    int32_t setTerceroTelefono(RegTercero& tercero);

    // The product of that code with its tax; CodigoAB 0 when there is none.
    // The alternative price is that of `nivelPrecio` when it is 1 or 2
    // (Precio8, Precio9), otherwise that of today's weekday (Precio1 on
    // Sunday .. Precio7 on Saturday); a price of 0 there gives PrecioUnidad.
    RegProducto getProducto(const std::string& codigo, int nivelPrecio = 0);

    // The point-of-sale user of that third party; an empty record when there
    // is none or its row cannot be read.
    RegUsuario getUsuario(int32_t id);

  private:
    datos::DAO_Conexion& con_;
    const comun::Reloj& reloj_;
};

// A telephone as TERCEROS keeps it: trimmed, at most 20 characters.
std::string telefonoGuardado(const std::string& telefono);

}  // namespace servicios
