// Order actions that reach the site through the server (table code 22):
// cancelling an order line, a delivery customer's bill request, the payment
// note of a delivery order, and a new delivery order line with its side
// dishes. Each action is one transaction: the customer, the order line, its
// side dishes and the records queued for the other sites land together or
// not at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "aplicacion/Aplicador.h"
#include "comun/Funciones.h"
#include "datos/DAO_Conexion.h"

namespace aplicacion {

// A new delivery order line as the central ordering channel sends it.
struct PedidoDomicilio {
    std::string producto;  // product code
    std::string cantidad;
    std::string nota;
    std::string nombre;  // customer
    std::string direccion;
    std::string telefono;
    std::vector<std::string> acompanamientos;  // supply codes of the side dishes
};

// What a new order line got.
struct LineaEscrita {
    int32_t idComanda = 0;  // 0: nothing written (unknown product)
    std::string mesa;
    int32_t idTercero = 0;
    int acompanamientos = 0;
    std::string motivo;  // why nothing was written, when idComanda is 0
};

class AccionesComandas {
  public:
    // The connection must be open.
    AccionesComandas(datos::DAO_Conexion& conexion, const comun::Reloj& reloj);

    // Applies one record of code 22. A value that would have to stand in
    // SQL as a number and is not one refuses the record (an exception)
    // before anything is written. Returns why the action changed nothing
    // (an unknown product, a telephone nobody has, ...), or "" when it
    // wrote what it asks.
    std::string aplicar(const Entrante& r);
    // The customer's telephone a record of code 22 concerns, as stored
    // (a bill request's or payment note's Campo1, a new order's Campo6);
    // "" for a cancellation, which names a line.
    static std::string telefonoDelCliente(const Entrante& r);

    // Marks order line `idComanda` cancelled (print mark "E"); the row stays.
    // Returns the number of lines marked.
    int cancelar(const std::string& idComanda);
    // Books a bill print request on the delivery table of the customer with
    // that telephone; false when nobody has it.
    bool imprimirCuenta(const std::string& telefono);
    // Writes "Pago en <medio>" on the first pending line of that customer's
    // delivery table; false when nobody has the telephone or the customer
    // has no pending line.
    bool detalleDomicilio(const std::string& telefono, const std::string& medioPago);
    // Registers the customer and writes the line on its delivery table.
    LineaEscrita pedirDomicilio(const PedidoDomicilio& pedido);
    // Writes the line on table `mesa`, without a customer (the name,
    // address and telephone of the order are not used).
    LineaEscrita pedirEnMesa(const std::string& mesa, const PedidoDomicilio& pedido);

  private:
    // The product, the line and its side dishes of an order, every value
    // checked; idComanda 0 in `escrita` when the product is unknown.
    struct LineaPreparada;
    LineaPreparada preparar(const PedidoDomicilio& pedido);
    // Why the product of that code was not found.
    std::string productoDesconocido(const std::string& codigo);

    datos::DAO_Conexion& con_;
    const comun::Reloj& reloj_;
};

}  // namespace aplicacion
