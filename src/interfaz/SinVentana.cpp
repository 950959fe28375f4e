#include "interfaz/SinVentana.h"

#include <QCoreApplication>
#include <iostream>
#include <memory>

#include "comun/Registro.h"
#include "interfaz/Nucleo.h"
#include "sincronizador/Motor.h"

namespace interfaz {

namespace {

// Console lines go to standard output exactly as the engine writes them,
// and to the log file when there is one.
class ConsolaSalida : public sincronizador::Consola {
  public:
    explicit ConsolaSalida(comun::Registro* registro) : registro_(registro) {}
    void escribir(const std::string& texto) noexcept override {
        std::cout << texto << std::flush;
        if (registro_) registro_->escribir(texto);
    }
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
    void escribir(const std::string& linea) noexcept override { consola_.escribir(linea + "\r\n"); }
    void depurar(const std::string& linea) noexcept override {
        if (registro_) registro_->escribir(linea + "\r\n");
    }

  private:
    sincronizador::Consola& consola_;
    comun::Registro* registro_;
};

}  // namespace

int ejecutarSinVentana(int argc, char** argv, const OpcionesEjecucion& opciones) {
    QCoreApplication app(argc, argv);

    InstanciaUnica instancia(opciones.acceso);
    const auto bloqueo = instancia.tomar();
    if (bloqueo != InstanciaUnica::Resultado::Tomada) {
        std::cerr << instancia.explicar(bloqueo) << "\n";
        return kSalidaOtraInstancia;
    }
    vigilarSenales(&app, [&app] { app.quit(); });

    comun::RelojSistema reloj;
    std::unique_ptr<comun::Registro> registro;
    if (!opciones.registro.empty()) {
        registro = std::make_unique<comun::Registro>(opciones.registro, reloj);
        std::string error;
        if (!registro->abrir(error)) {
            std::cerr << "sincronizador: --registro: " << error << "\n";
            return kSalidaOpciones;
        }
    }
    // Messages of the program itself (not of the cycle) go to standard
    // error, and to the log.
    auto avisar = [&](const std::string& texto) {
        std::cerr << texto << "\n";
        if (registro) registro->escribir(texto + "\n");
    };

    ConsolaSalida consola(registro.get());
    BandejaNula bandeja;
    BitacoraSalida bitacora(consola, registro.get());
    Nucleo nucleo(opciones, consola, bandeja, bitacora);
    if (std::string error; !nucleo.prepararSocket(error)) {
        std::cerr << "sincronizador: " << error << "\n";
        return kSalidaOpciones;
    }
    nucleo.leerConfiguracion(avisar);

    consola.escribir(nucleo.motor().datosConexion());
    if (!nucleo.iniciar()) {
        avisar("sincronizador: the cycle cannot start (see the console lines above)");
        return kSalidaNoArranca;
    }

    QObject::connect(&nucleo, &Nucleo::tickHecho, &app, [&] {
        if (opciones.ciclos > 0 && nucleo.motor().pasadas() >= opciones.ciclos) app.quit();
    });
    nucleo.arrancar();

    const int codigo = app.exec();
    nucleo.detener();
    // Passes that ran to their end without one exchange with the server
    // leave the site out of step: a service manager or a script must see it.
    auto& motor = nucleo.motor();
    if (codigo == 0 && opciones.ciclos > 0 && motor.pasadas() >= opciones.ciclos &&
        motor.intercambiosServidor() == 0) {
        avisar("sincronizador: none of the " + std::to_string(opciones.ciclos) +
               " passes completed an exchange with the server");
        return kSalidaSinIntercambio;
    }
    return codigo;
}

}  // namespace interfaz
