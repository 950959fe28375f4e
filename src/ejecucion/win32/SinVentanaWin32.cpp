// The headless face on Windows: the engine on the Winsock socket and the
// loop of this folder, console lines to standard output, stopped by the
// console's Ctrl+C or close, or by the service manager.
#include <iostream>
#include <memory>

#include "comun/Funciones.h"
#include "datos/DAO_Conexion.h"
#include "ejecucion/CaraSinVentana.h"
#include "ejecucion/Composicion.h"
#include "ejecucion/Salidas.h"
#include "ejecucion/SinVentana.h"
#include "ejecucion/win32/Bucle.h"
#include "ejecucion/win32/Detencion.h"
#include "ejecucion/win32/InstanciaMutex.h"
#include "ejecucion/win32/SinVentanaWin32.h"
#include "ejecucion/win32/SocketWinsock.h"
#include "sincronizador/Motor.h"

namespace ejecucion {

namespace win32 {

int correrSinVentana(const OpcionesEjecucion& opciones, HANDLE detener) {
    SocketWinsock socket;
    if (std::string error; !socket.configurarTls(opciones, error)) {
        std::cerr << "sincronizador: " << error << "\n";
        return kSalidaOpciones;
    }
    InstanciaMutex instancia(opciones.acceso);
    const auto bloqueo = instancia.tomar();
    if (bloqueo != InstanciaMutex::Resultado::Tomada) {
        std::cerr << instancia.explicar(bloqueo) << "\n";
        return kSalidaOtraInstancia;
    }

    comun::RelojSistema reloj;
    SalidasSinVentana salidas;
    if (!salidas.abrir(opciones, reloj)) return kSalidaOpciones;
    const auto avisar = salidas.avisador();
    auto& consola = salidas.consola();
    auto sitio = componerMotor(opciones, {consola, salidas.bandeja(), salidas.bitacora()}, socket);
    socket.motor(sitio->motor.get());
    sitio->conexion->dataFile(comun::leerConfiguracion(opciones.acceso, avisar));

    auto& motor = *sitio->motor;
    consola.escribir(motor.datosConexion());
    if (!motor.iniciar()) {
        avisar("sincronizador: the cycle cannot start (see the console lines above)");
        return kSalidaNoArranca;
    }
    correrBucle(socket, detener, opciones.intervaloMs, [&] {
        motor.tick();
        return !(opciones.ciclos > 0 && motor.pasadas() >= opciones.ciclos);
    });
    socket.motor(nullptr);
    socket.cerrar();
    return codigoAlTerminar(0, opciones, motor, avisar);
}

}  // namespace win32

int ejecutarSinVentana(int, char**, const OpcionesEjecucion& opciones) {
    auto& detencion = win32::Detencion::proceso();
    detencion.vigilarConsola();
    // The console lines are UTF-8, as the program's text is ("ñ" in a
    // path, the chat's messages).
    ::SetConsoleOutputCP(CP_UTF8);
    return win32::correrSinVentana(opciones, detencion.evento());
}

}  // namespace ejecucion
