// The site's own settings (table XX0100) and its working date (the control
// row of COMANDAS), read inside an open connection. Reached through
// DAO_Conexion, whose connection it uses and whose site values it loads.
#pragma once

#include <string>
#include <string_view>

namespace datos {

class DAO_Conexion;

class ParametrosSitio {
  public:
    explicit ParametrosSitio(DAO_Conexion& conexion) : con_(conexion) {}

    std::string getFechaSys();
    std::string getRegimen();
    bool getEsTerminalCliente();
    bool getEsServidor();
    std::string getNombreCliente();
    std::string getIpServidor();
    std::string getSyASys();
    // The setting "Identificador Cliente".
    std::string getIdentificadorCliente();
    // dd/mm/yyyy -> yyyy-mm-dd, or with rev yyyy-mm-dd -> dd/mm/yyyy.
    static std::string convertirFecha(std::string_view fecha, bool rev = false);
    // Loads fechaTrabajo, identificadorCliente, regimen, esTerminalCliente
    // and esServidor of the connection's site values, in this order.
    void cargarValoresSitio();

  private:
    DAO_Conexion& con_;
};

}  // namespace datos
