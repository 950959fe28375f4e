#include "ventana/ConVentana.h"

#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "comun/Registro.h"
#include "ejecucion/InstanciaUnica.h"
#include "ejecucion/Nucleo.h"
#include "ejecucion/Salidas.h"
#include "ejecucion/Senales.h"
#include "sincronizador/Motor.h"
#include "ventana/Avisos.h"
#include "ventana/Iconos.h"
#include "ventana/frmSincronizador.h"

namespace ventana {

namespace {

// Without a display Qt would abort with its own message; this one says what
// to do instead.
bool hayPantalla() {
    auto definida = [](const char* nombre) {
        const char* valor = std::getenv(nombre);
        return valor != nullptr && *valor != '\0';
    };
    return definida("QT_QPA_PLATFORM") || definida("DISPLAY") || definida("WAYLAND_DISPLAY");
}

}  // namespace

int ejecutarConVentana(int argc, char** argv, const ejecucion::OpcionesEjecucion& opciones) {
    if (!hayPantalla()) {
        std::cerr << "sincronizador: no display to open the window on; run with --sin-ventana "
                     "for the headless program\n";
        return ejecucion::kSalidaOpciones;
    }
    QApplication app(argc, argv);
    app.setWindowIcon(iconoPrograma());
    app.setQuitOnLastWindowClosed(false);
    AvisosQt avisos;

    ejecucion::InstanciaUnica instancia(opciones.acceso);
    const auto bloqueo = instancia.tomar();
    if (bloqueo != ejecucion::InstanciaUnica::Resultado::Tomada) {
        const std::string motivo = instancia.explicar(bloqueo);
        std::cerr << motivo << "\n";
        avisos.mensaje(QString::fromStdString(motivo), Avisos::Icono::Exclamacion);
        return ejecucion::kSalidaOtraInstancia;
    }

    // The log outlives the window, whose engine writes to it to the end. A
    // file the desktop user may not write (the packaged settings name one
    // under /var/log for the service) does not keep the window from
    // running: the window says why.
    comun::RelojSistema reloj;
    std::unique_ptr<comun::Registro> registro;
    std::string errorRegistro;
    if (!opciones.registro.empty()) {
        registro = std::make_unique<comun::Registro>(opciones.registro, reloj);
        if (!registro->abrir(errorRegistro))
            std::cerr << "sincronizador: --registro: " << errorRegistro << "\n";
    }
    // The engine is composed as the headless face composes it, with the
    // window as its console and tray; it goes before the window.
    frmSincronizador ventana(avisos);
    ejecucion::Nucleo nucleo(opciones, ventana.puertos());
    ventana.conectar(nucleo);
    if (registro) ventana.setRegistro(*registro, errorRegistro);
    if (std::string error; !nucleo.prepararSocket(error)) {
        std::cerr << "sincronizador: " << error << "\n";
        avisos.mensaje(QString::fromStdString(error), Avisos::Icono::Exclamacion);
        return ejecucion::kSalidaOpciones;
    }
    QObject::connect(&ventana, &frmSincronizador::cerrado, &app, &QApplication::quit);
    ejecucion::vigilarSenales(&app, [&ventana] { ventana.close(); });
    if (opciones.ciclos > 0) {
        QObject::connect(&nucleo, &ejecucion::Nucleo::tickHecho, &app, [&] {
            if (nucleo.motor().pasadas() >= opciones.ciclos) ventana.close();
        });
    }
    ventana.cargar();
    ventana.show();
    return app.exec();
}

}  // namespace ventana
