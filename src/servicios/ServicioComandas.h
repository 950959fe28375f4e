// Remote orders: writing an order line and its side dishes into COMANDAS and
// ACOMPANAMIENTOS, on a delivery table or a given one, and queuing a copy of
// every row written for the client's other sites.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "comun/Funciones.h"
#include "datos/DAO_Conexion.h"
#include "servicios/Entidades.h"

namespace servicios {

// Delivery orders are booked on the tables 2001 to 2999; a new customer gets
// one from 2002 on.
inline constexpr int16_t kPrimeraMesaDomicilio = 2002;
inline constexpr int16_t kUltimaMesaDomicilio = 2999;

// Every delivery table holds a pending order: a new customer's order waits.
class MesasAgotadas : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class ServicioComandas {
  public:
    // The connection must be open for every operation; the clock gives the
    // time of day written with each line.
    ServicioComandas(datos::DAO_Conexion& conexion, const comun::Reloj& reloj);

    // Writes the order line on `idMesa`, or, when it is empty, on the
    // delivery table of `idTercero`; then its side dishes. Every row written
    // is queued (code 6 for the line, 10 for each side dish) to the general
    // destination. All of it lands in one transaction or none of it does.
    // Returns true once written; a failure raises.
    bool setCuenta(const clsComandas& comanda,
                   const std::vector<clsAcompanamientos>& acompanamientos, int32_t idTercero = 0,
                   int16_t nPersonas = 0, const std::string& idMesa = {});
    // setCuenta on a given table, without a third party.
    bool setCuentaMesa(const clsComandas& comanda,
                       const std::vector<clsAcompanamientos>& acompanamientos,
                       const std::string& mesa, int16_t personas = 0);

    // The table a delivery order of the third party is booked on: the
    // numbered table of its pending order (a table whose number is not a
    // number is no one's), else the next one above the highest delivery
    // table in use (2001..2999); past 2999, the lowest table from 2002 on
    // without a pending order. MesasAgotadas when every one has one.
    int16_t getMesaDomicilio(int32_t idTercero);

    // Writes one side dish of order line `idComanda` and queues it (code 10).
    void setAdicional(int32_t idComanda, int32_t codigoProducto, int32_t codigoAcompanamiento,
                      double cantidad);

    // The supply of that code; an unknown code gives an empty record.
    RegInsumo getInsumo(const std::string& codigo);

    // What the last setCuenta wrote: the line's key and its table.
    int32_t ultimaComanda() const { return ultimaComanda_; }
    const std::string& ultimaMesa() const { return ultimaMesa_; }
    // Key of the last side dish setAdicional wrote.
    int32_t ultimoAcompanamiento() const { return ultimoAcompanamiento_; }

  private:
    // setAdicional with the product's supply already read.
    void escribirAdicional(int32_t idComanda, int32_t codigoProducto, const RegInsumo& producto,
                           int32_t codigoAcompanamiento, double cantidad);

    datos::DAO_Conexion& con_;
    const comun::Reloj& reloj_;
    int32_t ultimaComanda_ = 0;
    std::string ultimaMesa_;
    int32_t ultimoAcompanamiento_ = 0;
};

// The key the database gave the last row this connection inserted.
int32_t ultimoIdInsertado(datos::DAO_Conexion& con);

}  // namespace servicios
