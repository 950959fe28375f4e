// The communications queue of the site's database: the outbound batch, the
// enqueue builders, the marking of acknowledged rows and the removal of sent
// rows. Reached through DAO_Conexion, whose connection it uses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "comun/Variant.h"
#include "protocolo/Comunicacion.h"

namespace datos {

class DAO_Conexion;
class Recordset;

class Cola {
  public:
    explicit Cola(DAO_Conexion& conexion) : con_(conexion) {}

    // The next outbound batch (empty when nothing waits): the oldest rows
    // that fit `limite`, each measured by the text the batch gives it. A
    // row that alone passes limite.registroMaximo can never travel: it is
    // moved to APARTADOS_ENVIO, reported once, and the rows behind it go.
    protocolo::LoteSaliente getComunicacion(const protocolo::LimiteLote& limite = {});
    void encolarRegistro(Recordset& rs, int16_t tabla, const std::string& funcion,
                         const std::string& destino);
    void encolarRegistros(Recordset& rs, int16_t tabla);
    void setComunicacionSucursales(Recordset& rs, int16_t tabla, const std::string& funcion);
    void setSolicitudIPR(int16_t tabla, const std::string& funcion = {},
                         const std::string& destino = {});
    // Marks sent the rows the server's reply to setData lists, among
    // `enviados`, the ids of the batch just posted. An id the reply lists
    // that is not one of them is reported and left alone: a faulty server
    // must not make the site drop rows that never left; so is a value that
    // is no row id.
    void marcarEnviados(const protocolo::Recibos& recibos, const std::vector<int64_t>& enviados);
    // The same for the reply as parsed; ErrorRespuesta, with nothing
    // marked, when it is not an array of objects.
    void marcarEnviados(const comun::Variant& respuesta, const std::vector<int64_t>& enviados);
    void setMarcaEnviado(int64_t id);
    void eliminarEnviados();

  private:
    // Moves the queue row `id`, whose batch text is `texto`, to
    // APARTADOS_ENVIO and reports it.
    void apartarSaliente(int64_t id, const std::string& texto, size_t maximo);

    DAO_Conexion& con_;
};

}  // namespace datos
