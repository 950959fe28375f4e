// Inventory replication: queuing the whole of the supplies, products and
// recipes tables for the server, asking the server for them, watching the
// queue for such records, and correcting the supplies' stock balances from
// the two saved queries of the database.
#pragma once

#include <cstdint>
#include <string>

#include "datos/DAO_Conexion.h"

namespace servicios {

class ServicioInventario {
  public:
    explicit ServicioInventario(datos::DAO_Conexion& conexion);

    // These four need an open connection.
    // Up to 50 unsent queue records of codes 1, 2 and 3 for the general
    // destination, as JSON text, or "null".
    std::string getInusmosProductosRzs();
    // How many such records are unsent, and how many there are at all.
    int32_t getInusmosProductosRzsNum();
    int32_t getInusmosProductosRzsNumAll();
    // Replaces every queue record of codes 1, 2 and 3 by an erase request
    // per table followed by every row of the three tables; all of it or
    // nothing. Returns the empty text.
    std::string setInusmosProductosRzs();
    // Whether a request for the three tables has been sent.
    bool getSolicitudInusmosProductosRzs();

    // These two open and close the connection themselves.
    // Empties the local supplies and queues a request for the three tables;
    // returns the unsent records of the three tables as JSON text, or "null".
    std::string setSolicitudInusmosProductosRzs();
    // Sets each supply's last inventory date and balance from
    // UltimoRegistroInventario, then its closing balance (CANTKAL) from
    // SaldoInsumosUltimoCierre, or from that balance when the supply had no
    // closing. One transaction.
    void corregirSaldosInventario();

  private:
    int32_t contar(const std::string& sql);

    datos::DAO_Conexion& con_;
};

}  // namespace servicios
