// The local step's port over the real apply step.
#pragma once

#include "aplicacion/Aplicador.h"
#include "comun/Bitacora.h"
#include "comun/Funciones.h"
#include "datos/DAO_Conexion.h"
#include "sincronizador/Puertos.h"

namespace sincronizador {

class PasoLocalAplicador : public PasoLocal {
  public:
    PasoLocalAplicador(datos::DAO_Conexion& conexion, comun::Bitacora& bitacora,
                       const comun::Reloj& reloj)
        : aplicador_(conexion, bitacora, reloj) {}
    void aplicarComunicacion() override { aplicador_.aplicarComunicacion(); }

  private:
    aplicacion::Aplicador aplicador_;
};

}  // namespace sincronizador
