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
    SalidasSinVentana salidas;
    if (!salidas.abrir(opciones, reloj)) return kSalidaOpciones;
    const auto avisar = salidas.avisador();
    auto& consola = salidas.consola();
    Nucleo nucleo(opciones, {consola, salidas.bandeja(), salidas.bitacora()});
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
