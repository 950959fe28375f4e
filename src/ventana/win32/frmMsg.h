// The support window of the Win32 face: a chat with the support desk over
// the table MENSAJE (polled every 500 ms, the 15 newest messages shown, as
// ChatSoporte decides) and a one-off support request, on two tabs. Created
// once, hidden rather than closed; it comes to the lower-right corner, in
// front and without taking the focus, when a new message arrives.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ejecucion/Mensajeria.h"
#include "ventana/ChatSoporte.h"

namespace ventana::win32 {

class Avisos;

// The support window's size in twips, kept when it loads, and used by
// whoever shows it again.
inline int16_t anchoMensajes = 0;
inline int16_t altoMensajes = 0;

class frmMsg {
  public:
    static constexpr const wchar_t* kClase = L"SincronizadorMensajes";
    static constexpr UINT kIntervaloChatMs = 500;
    static constexpr UINT_PTR tmrChat = 1;
    // Twips of a message's text row, at least.
    static constexpr int kAltoTexto = 400;
    enum Control : int {
        tabMensajes = 3001,
        msgListaMensajes,
        txtMensaje,
        cmdEnviar,
        lblDuda,
        txtMensajeSoporte,
        lblNombre,
        txtNombre,
        lblTelefono,
        txtTelefono,
        cmdEnviarSoporte,
    };

    frmMsg(std::unique_ptr<ejecucion::Mensajeria> mensajeria, Avisos& avisos);
    ~frmMsg();
    frmMsg(const frmMsg&) = delete;
    frmMsg& operator=(const frmMsg&) = delete;

    // Load: size, corner, database, caption, polling.
    void cargar();
    // Rebuilds the grid when a message newer than the one shown exists; the
    // window then comes up in front without taking the focus, unless
    // someone is working in it.
    void refrescarMensajes();
    // Shows the window at the corner, in front; active when `activar`.
    void abrir(bool activar);
    // Shows the tab: 0 the chat, 1 the support request.
    void mostrarPestana(int pestana);

    HWND hwnd() const { return hwnd_; }
    HWND control(Control id) const { return ::GetDlgItem(hwnd_, id); }
    bool conectado() const { return mensajeria_->conectada(); }
    int64_t ultimoIdMensaje() const { return chat_.ultimoId(); }
    int reconstrucciones() const { return reconstrucciones_; }
    // The grid's rows as they are shown, oldest first.
    const std::vector<FilaChat>& filas() const { return filas_; }

    static LRESULT CALLBACK procedimiento(HWND, UINT, WPARAM, LPARAM);

  private:
    LRESULT mensaje(UINT msg, WPARAM w, LPARAM l);
    void crearControles();
    void colocarControles();
    void cmdEnviar_Click();
    void cmdEnviarSoporte_Click();
    void dejarDeEstarEncima();
    void bajarAlFinal();
    static LRESULT CALLBACK procedimientoTexto(HWND, UINT, WPARAM, LPARAM);

    std::unique_ptr<ejecucion::Mensajeria> mensajeria_;
    Avisos& avisos_;
    ChatSoporte chat_;
    std::vector<FilaChat> filas_;
    int reconstrucciones_ = 0;
    HWND hwnd_ = nullptr;
    HFONT fuente_ = nullptr;
    HFONT negrita_ = nullptr;
    HICON iconoGrande_ = nullptr;
    HICON iconoChico_ = nullptr;
    double ppp_ = 0;
    WNDPROC procedimientoEdit_ = nullptr;
};

}  // namespace ventana::win32
