// What the headless face is made of on every runtime, without a toolkit:
// the console on standard output (and the log file), no tray, the apply
// step's lines on the console, and the exit code once the cycle stops.
// The windows report the apply step through BitacoraSalida too.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "comun/Bitacora.h"
#include "comun/Registro.h"
#include "ejecucion/Opciones.h"
#include "sincronizador/Puertos.h"

namespace sincronizador {
class Motor;
}

namespace ejecucion {

// Console lines go to standard output exactly as the engine writes them,
// and to the log file when there is one.
class ConsolaSalida : public sincronizador::Consola {
  public:
    explicit ConsolaSalida(comun::Registro* registro) : registro_(registro) {}
    void registro(comun::Registro* r) noexcept { registro_ = r; }
    void escribir(const std::string& texto) noexcept override;
    void limpiar() noexcept override {}

  private:
    comun::Registro* registro_;
};

// Without a window there is no tray icon; its state is not shown.
class BandejaNula : public sincronizador::Bandeja {
  public:
    void mostrar(sincronizador::EstadoIcono) noexcept override {}
};

// What the apply step reports goes to the console too; its debug lines go
// to the log file only, when there is one.
class BitacoraSalida : public comun::Bitacora {
  public:
    BitacoraSalida(sincronizador::Consola& consola, comun::Registro* registro)
        : consola_(consola), registro_(registro) {}
    // The log the debug lines go to from now on; null for none.
    void registro(comun::Registro* r) noexcept { registro_ = r; }
    void escribir(const std::string& linea) noexcept override { consola_.escribir(linea + "\r\n"); }
    void depurar(const std::string& linea) noexcept override {
        if (registro_) registro_->escribir(linea + "\r\n");
    }

  private:
    sincronizador::Consola& consola_;
    comun::Registro* registro_;
};

// The --registro log of the options, opened; null when there is none.
// False, with the message on standard error, when it cannot be opened.
bool abrirRegistro(const OpcionesEjecucion& opciones, const comun::Reloj& reloj,
                   std::unique_ptr<comun::Registro>& registro);

// The headless face's outputs on every runtime: the --registro log when
// the options name one, the console, no tray, the apply step's lines.
class SalidasSinVentana {
  public:
    SalidasSinVentana() : consola_(nullptr), bitacora_(consola_, nullptr) {}
    SalidasSinVentana(const SalidasSinVentana&) = delete;
    SalidasSinVentana& operator=(const SalidasSinVentana&) = delete;

    // Opens the log of the options. False, with the message on standard
    // error, when it cannot be opened.
    bool abrir(const OpcionesEjecucion& opciones, const comun::Reloj& reloj);
    // A message of the program itself (not of the cycle): standard error,
    // and the log.
    void avisar(const std::string& texto) const;
    std::function<void(const std::string&)> avisador() const {
        return [this](const std::string& texto) { avisar(texto); };
    }
    sincronizador::Consola& consola() { return consola_; }
    sincronizador::Bandeja& bandeja() { return bandeja_; }
    comun::Bitacora& bitacora() { return bitacora_; }

  private:
    std::unique_ptr<comun::Registro> registro_;
    ConsolaSalida consola_;
    BandejaNula bandeja_;
    BitacoraSalida bitacora_;
};

// The exit code once the cycle has stopped with `codigo`: passes that ran
// to their end without one exchange with the server leave the site out of
// step, and a service manager or a script must see it.
int codigoAlTerminar(int codigo, const OpcionesEjecucion& opciones,
                     const sincronizador::Motor& motor,
                     const std::function<void(const std::string&)>& avisar);

}  // namespace ejecucion
