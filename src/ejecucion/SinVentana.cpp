#include "ejecucion/SinVentana.h"

#include <QCoreApplication>
#include <iostream>
#include <memory>

#include "ejecucion/CaraSinVentana.h"
#include "ejecucion/InstanciaUnica.h"
#include "ejecucion/Nucleo.h"
#include "ejecucion/Senales.h"
#include "sincronizador/Motor.h"

namespace ejecucion {

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
    if (!abrirRegistro(opciones, reloj, registro)) return kSalidaOpciones;
    // Messages of the program itself (not of the cycle) go to standard
    // error, and to the log.
    auto avisar = [&](const std::string& texto) {
        std::cerr << texto << "\n";
        if (registro) registro->escribir(texto + "\n");
    };

    ConsolaSalida consola(registro.get());
    BandejaNula bandeja;
    BitacoraSalida bitacora(consola, registro.get());
    Nucleo nucleo(opciones, {consola, bandeja, bitacora});
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
    return codigoAlTerminar(codigo, opciones, nucleo.motor(), avisar);
}

}  // namespace ejecucion
