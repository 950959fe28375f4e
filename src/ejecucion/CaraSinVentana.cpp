#include "ejecucion/CaraSinVentana.h"

#include <iostream>

#include "ejecucion/Salidas.h"
#include "sincronizador/Motor.h"

namespace ejecucion {

void ConsolaSalida::escribir(const std::string& texto) noexcept {
    std::cout << texto << std::flush;
    if (registro_) registro_->escribir(texto);
}

bool abrirRegistro(const OpcionesEjecucion& opciones, const comun::Reloj& reloj,
                   std::unique_ptr<comun::Registro>& registro) {
    registro.reset();
    if (opciones.registro.empty()) return true;
    registro = std::make_unique<comun::Registro>(opciones.registro, reloj);
    std::string error;
    if (registro->abrir(error)) return true;
    std::cerr << "sincronizador: --registro: " << error << "\n";
    registro.reset();
    return false;
}

bool SalidasSinVentana::abrir(const OpcionesEjecucion& opciones, const comun::Reloj& reloj) {
    if (!abrirRegistro(opciones, reloj, registro_)) return false;
    consola_.registro(registro_.get());
    bitacora_.registro(registro_.get());
    return true;
}

void SalidasSinVentana::avisar(const std::string& texto) const {
    std::cerr << texto << "\n";
    if (registro_) registro_->escribir(texto + "\n");
}

int codigoAlTerminar(int codigo, const OpcionesEjecucion& opciones,
                     const sincronizador::Motor& motor,
                     const std::function<void(const std::string&)>& avisar) {
    if (codigo == 0 && opciones.ciclos > 0 && motor.pasadas() >= opciones.ciclos &&
        motor.intercambiosServidor() == 0) {
        avisar("sincronizador: none of the " + std::to_string(opciones.ciclos) +
               " passes completed an exchange with the server");
        return kSalidaSinIntercambio;
    }
    return codigo;
}

}  // namespace ejecucion
