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
    std::string getComunicacion(std::vector<int64_t>& ids,
                                const comun::LimiteLote& limite) override {
        return conexion_.getComunicacion(ids, limite);
    }
    std::string getDatosQuiralte() override { return conexion_.getDatosQuiralte(); }
    int32_t setComunicacion(const comun::Variant& r) override {
        return conexion_.setComunicacion(r);
    }
    void marcarEnviados(const comun::Variant& r, const std::vector<int64_t>& enviados) override {
        conexion_.marcarEnviados(r, enviados);
    }
    void MarcarRegistroEnviadoQuiralte(int64_t id) override {
        conexion_.MarcarRegistroEnviadoQuiralte(id);
    }
    int32_t setDoctores(const comun::Variant& lista) override {
        return conexion_.setDoctores(lista);
    }
    void eliminarEnviados() override { conexion_.eliminarEnviados(); }
    void registrarIntercambio(Interlocutor quien, const comun::Fecha& cuando) override {
        datos::registrarIntercambio(
            conexion_,
            quien == Interlocutor::Socio ? datos::kInterlocutorSocio : datos::kInterlocutorServidor,
            cuando);
    }

  private:
    datos::DAO_Conexion& conexion_;
};

}  // namespace sincronizador
