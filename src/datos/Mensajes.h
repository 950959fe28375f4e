// The support messaging of the site's database, and one chat message of the
// support window as getListaMensajes reads it from the table MENSAJE.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "comun/Variant.h"

namespace datos {

class clsMensaje {
  public:
    int64_t getId() const { return id_; }
    void setId(int64_t id) { id_ = id; }
    const std::string& getMensaje() const { return mensaje_; }
    void setMensaje(std::string mensaje) { mensaje_ = std::move(mensaje); }
    // Who wrote it ("LOCAL" for this site).
    const std::string& getOrigen() const { return origen_; }
    void setOrigen(std::string origen) { origen_ = std::move(origen); }
    const std::string& getDestino() const { return destino_; }
    void setDestino(std::string destino) { destino_ = std::move(destino); }
    const comun::Fecha& getFecha() const { return fecha_; }
    void setFecha(const comun::Fecha& fecha) { fecha_ = fecha; }

  private:
    int64_t id_ = 0;
    std::string mensaje_;
    std::string origen_;
    std::string destino_;
    comun::Fecha fecha_;
};

class DAO_Conexion;

// Reached through DAO_Conexion, whose connection it uses (it must be open).
class Mensajes {
  public:
    explicit Mensajes(DAO_Conexion& conexion) : con_(conexion) {}

    // Stores an outgoing chat message in MENSAJE and queues it for the
    // client's other sites, in one transaction.
    void setMensaje(const std::string& texto);
    // Queues a support request (table code 20); nothing when `mensaje` is
    // empty.
    void setEMailSoporte(const std::string& cliente, const std::string& mensaje,
                         const std::string& telefono);
    // The newest chat messages, newest first, at most 15.
    std::vector<clsMensaje> getListaMensajes();

  private:
    // Queues one record of service 4 whose Campo1.. are `valores`.
    void setComunicacionCampos(int16_t tabla, const std::vector<std::string>& valores);

    DAO_Conexion& con_;
};

}  // namespace datos
