// What the main window's controls show and when, decided without a toolkit:
// the pause button's caption, the connection data, the console's pieces and
// the notice the tray gives. The Qt window (frmSincronizador) draws it; a
// window of another toolkit draws the same.
#pragma once

#include <cstddef>
#include <string>

#include "ventana/AvisosOperador.h"

namespace ventana {

// The main window's client area and where its controls go, in twips; each
// face converts them at its screen's resolution.
inline constexpr int kAnchoVentana = 8745;
inline constexpr int kAltoVentana = 8130;
struct LugarTwips {
    int x, y, ancho, alto;
};
inline constexpr LugarTwips kLugarCommand1{5400, 120, 2535, 495};
// The support window's button, below the pause button, for a desktop
// without a tray.
inline constexpr LugarTwips kLugarSoporte{5400, 720, 2535, 495};
inline constexpr LugarTwips kLugarDatos{120, 720, 8535, 1575};
inline constexpr LugarTwips kLugarConsola{120, 2400, 8175, 5295};
inline constexpr LugarTwips kLugarEstadoSocket{120, 7800, 8415, 255};
// The site's state line: the free strip left of the pause button.
inline constexpr LugarTwips kLugarResumen{120, 120, 5160, 495};
// The four state pictures, from the top (error, success, connected,
// disconnected), at the right edge: the `orden`th one.
inline constexpr LugarTwips lugarImagen(int orden) {
    return {8400, 2400 + orden * 375, 255, 255};
}

inline constexpr const char* kPausar = "Pausar Reloj";
inline constexpr const char* kReanudar = "Reanudar Reloj";

// The pause button's caption (and its menu item's): what a click does. A
// cycle that has not started yet waits for the button to start it.
const char* textoPausa(bool cicloIniciado, bool pausado);

// The log file's line of the connection data: where it is, and why nothing
// is written to it when it cannot be.
std::string lineaRegistro(const std::string& ruta, const std::string& error);

// The connection data: the engine's lines, then the log file's, one line
// end each.
std::string textoDatos(const std::string& datosConexion, const std::string& lineaRegistro);

// The longest piece of text the console shows at once, in characters; the
// rest of a larger one is left out with a note, so that a huge answer
// cannot freeze the window.
inline constexpr size_t kMaximoPieza = 64 * 1024;

// The engine's texts end their lines with CR LF (or CR); a text box wants
// one line end ("\n").
std::string lineasDeTexto(const std::string& texto);

// A piece of console text as the console shows it: its lines as
// lineasDeTexto gives them, at most kMaximoPieza characters, and then
// "... (N caracteres mas no mostrados)" on a line of its own.
std::string piezaConsola(const std::string& texto);

// The kind of desktop notice for a change of the server's reachability.
enum class TipoAviso { Informacion, Advertencia };
TipoAviso tipoAviso(VigiaServidor::Aviso aviso);

}  // namespace ventana
