// The program's icon in the notification area over Shell_NotifyIconW: its
// image and tooltip follow the synchronizer's state, a balloon tells what
// the operator must know, and the shell's mouse messages for the icon
// become events. What the icon shows is also kept in the object, so tests
// read it whether or not a shell is there to draw it.
#pragma once

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <functional>
#include <string>

namespace ventana::win32 {

class clsSystray {
  public:
    // The message the shell sends the owner window for a mouse action on
    // the icon, the action's own message number in its lParam. A message of
    // its own, not WM_MOUSEMOVE: a real mouse move over the window carries
    // coordinates in lParam, which could read as a click.
    static constexpr UINT kMensaje = WM_APP + 17;
    static constexpr UINT kId = 1;
    // Longest texts the icon keeps: tooltip, balloon text, balloon title.
    static constexpr size_t kLargoTooltip = 127;
    static constexpr size_t kLargoGlobo = 255;
    static constexpr size_t kLargoTituloGlobo = 63;
    enum IconoGlobo {
        Ninguno = NIIF_NONE,
        Informacion = NIIF_INFO,
        Advertencia = NIIF_WARNING,
        Error = NIIF_ERROR
    };

    clsSystray() = default;
    ~clsSystray() { delIcon(); }
    clsSystray(const clsSystray&) = delete;
    clsSystray& operator=(const clsSystray&) = delete;

    // Adds the icon with `icono` (the window's) as its image and `tooltip`
    // as its text. Always false, as the original: whether a shell shows the
    // icon is no failure of the program.
    bool Init(HWND ventana, HICON icono, const std::string& tooltip);
    // Sets the image and the shown tooltip; TooltipText() keeps its value.
    // The shell keeps its own copy of the image.
    void SetIcon(HICON imagen, const std::string& tip);
    // A balloon over the icon: it never takes the focus.
    void ShowBalloonTip(const std::string& mensaje, IconoGlobo icono = Ninguno,
                        const std::string& titulo = {}, UINT tiempoMs = 10000);
    std::string TooltipText() const { return textoTooltip_; }
    void TooltipText(const std::string& texto);
    // Removes the icon; harmless when it is not there.
    void delIcon();
    // Adds the icon again as it was, after the taskbar was re-created (the
    // shell restarted).
    void reponer();

    // Raises the event of the shell's mouse message (the lParam of kMensaje).
    void MouseMove(UINT mensaje);
    std::function<void()> BalloonClicked;  // left button pressed on the icon
    std::function<void()> RightClick;      // right button released: the menu
    std::function<void()> DoubleClick;

    // What the icon shows now.
    bool agregado() const { return agregado_; }
    const std::string& tooltipMostrado() const { return tooltip_; }
    const std::string& textoGlobo() const { return textoGlobo_; }
    const std::string& tituloGlobo() const { return tituloGlobo_; }
    HICON imagen() const { return datos_.hIcon; }
    // The shell's answer to the last call (FALSE where no shell runs).
    BOOL ultimaRespuesta() const { return respuesta_; }

  private:
    void modificar(UINT banderas);

    NOTIFYICONDATAW datos_{};
    std::string textoTooltip_;
    std::string tooltip_;
    std::string textoGlobo_;
    std::string tituloGlobo_;
    bool agregado_ = false;
    BOOL respuesta_ = FALSE;
};

}  // namespace ventana::win32
