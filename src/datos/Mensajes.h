// One chat message of the support window, as getListaMensajes reads it
// from the table MENSAJE.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace datos
