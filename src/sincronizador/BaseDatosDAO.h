// The database port over the real data layer. A failure of the data layer
// is a database failure in the engine's kinds (datos::ErrorBD is one).
#pragma once

#include "datos/DAO_Conexion.h"
#include "datos/Estado.h"
#include "sincronizador/Puertos.h"

namespace sincronizador {

class BaseDatosDAO : public BaseDatos {
  public:
    explicit BaseDatosDAO(datos::DAO_Conexion& conexion) : conexion_(conexion) {}

    std::string ruta() const override { return conexion_.dataFile(); }
    void conectar() override { conexion_.conectar(); }
    void desconectar() noexcept override { conexion_.desconectar(); }
    void cargarValoresSitio() override { conexion_.cargarValoresSitio(); }
    void asegurarTablasPropias() override { conexion_.asegurarTablasPropias(); }
    std::string getSyASys() override { return conexion_.getSyASys(); }
    protocolo::LoteSaliente getComunicacion(const protocolo::LimiteLote& limite) override {
        return conexion_.getComunicacion(limite);
    }
    std::optional<protocolo::Comunicacion> getDatosQuiralte() override {
        return conexion_.getDatosQuiralte();
    }
    int32_t setComunicacion(const std::vector<protocolo::Recibido>& recibidos) override {
        return conexion_.setComunicacion(recibidos);
    }
    void marcarEnviados(const protocolo::Recibos& recibos,
                        const std::vector<int64_t>& enviados) override {
        conexion_.marcarEnviados(recibos, enviados);
    }
    void MarcarRegistroEnviadoQuiralte(int64_t id) override {
        conexion_.MarcarRegistroEnviadoQuiralte(id);
    }
    int32_t setDoctores(const comun::Variant& lista) override {
        return conexion_.setDoctores(lista);
    }
    void eliminarEnviados() override { conexion_.eliminarEnviados(); }
    void registrarIntercambio(Interlocutor quien, const comun::Fecha& cuando) override {
        datos::registrarIntercambio(conexion_,
                                    quien == Interlocutor::Quiralte ? datos::kInterlocutorQuiralte
                                                                    : datos::kInterlocutorServidor,
                                    cuando);
    }

  private:
    datos::DAO_Conexion& conexion_;
};

}  // namespace sincronizador
