#include "interfaz/ConVentana.h"

#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "comun/Registro.h"
#include "interfaz/Avisos.h"
#include "interfaz/Iconos.h"
#include "interfaz/SinVentana.h"
#include "interfaz/frmSincronizador.h"
#include "sincronizador/Motor.h"

namespace interfaz {

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

int ejecutarConVentana(int argc, char** argv, const OpcionesEjecucion& opciones) {
    if (!hayPantalla()) {
        std::cerr << "sincronizador: no display to open the window on; run with --sin-ventana "
                     "for the headless program\n";
        return kSalidaOpciones;
    }
    QApplication app(argc, argv);
    app.setWindowIcon(iconoPrograma());
    app.setQuitOnLastWindowClosed(false);
    AvisosQt avisos;

    InstanciaUnica instancia(opciones.acceso);
    const auto bloqueo = instancia.tomar();
    if (bloqueo != InstanciaUnica::Resultado::Tomada) {
        const std::string motivo = instancia.explicar(bloqueo);
        std::cerr << motivo << "\n";
        avisos.mensaje(QString::fromStdString(motivo), Avisos::Icono::Exclamacion);
        return kSalidaOtraInstancia;
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
    frmSincronizador ventana(opciones, avisos);
    if (registro) ventana.setRegistro(*registro, errorRegistro);
    if (std::string error; !ventana.nucleo().prepararSocket(error)) {
        std::cerr << "sincronizador: " << error << "\n";
        avisos.mensaje(QString::fromStdString(error), Avisos::Icono::Exclamacion);
        return kSalidaOpciones;
    }
    QObject::connect(&ventana, &frmSincronizador::cerrado, &app, &QApplication::quit);
    vigilarSenales(&app, [&ventana] { ventana.close(); });
    if (opciones.ciclos > 0) {
        QObject::connect(&ventana.nucleo(), &Nucleo::tickHecho, &app, [&] {
            if (ventana.nucleo().motor().pasadas() >= opciones.ciclos) ventana.close();
        });
    }
    ventana.cargar();
    ventana.show();
    return app.exec();
}

}  // namespace interfaz
