// The program's icon in the notification area: its image and tooltip follow
// the synchronizer's state, and the mouse actions on it become events. Where
// no notification area exists (no tray host, an offscreen display) every
// operation still works on the object's own state, so the program runs and
// tests can read what the icon would show.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QSystemTrayIcon>

class QMenu;
class QWidget;

namespace ventana {

class clsSystray : public QObject {
    Q_OBJECT
  public:
    // The message numbers by which the shell reports a mouse action on the
    // icon; MouseMove turns them into events.
    static constexpr long WM_LBUTTONDOWN = 513;
    static constexpr long WM_LBUTTONUP = 514;
    static constexpr long WM_LBUTTONDBLCLK = 515;
    static constexpr long WM_RBUTTONUP = 517;
    static constexpr long NIN_BALLOONHIDE = 1027;
    static constexpr long NIN_BALLOONTIMEOUT = 1028;
    // Longest texts the icon keeps: tooltip, balloon text, balloon title.
    static constexpr int kLargoTooltip = 127;
    static constexpr int kLargoGlobo = 255;
    static constexpr int kLargoTituloGlobo = 63;
    // The balloon's icon kinds.
    enum IconoGlobo { Ninguno = 0, Informacion = 1, Advertencia = 2, Error = 3 };

    explicit clsSystray(QObject* padre = nullptr);
    // Removes the icon.
    ~clsSystray() override;

    // Makes the tray image from a painted picture. With a colour of 0 or
    // more (0x00BBGGRR, as the picture's owner gives it) the icon is the
    // picture's top-left 32 x 32 pixels with every pixel of that colour
    // transparent; with a negative colour the whole picture, opaque. The
    // tooltip is not touched. False, and nothing changed, for an empty
    // picture.
    bool DrawIcon(const QPixmap& dibujo, qint64 colorTransparente = 0);
    // Adds the icon with the window's icon as its image and `tooltip` as its
    // text. Always false: whether a tray shows the icon is no failure of the
    // program.
    bool Init(QWidget* ventana, const QString& tooltip);
    // Raises the event that belongs to the shell's message number: a left
    // press raises BalloonClicked. The button and window are not used.
    void MouseMove(int boton, long mensaje, QWidget* ventana = nullptr);
    // Sets the image and the shown tooltip; TooltipText() keeps its value.
    void SetIcon(const QIcon& imagen, const QString& tip);
    // Shows a balloon over the icon, a notification that never takes the
    // focus. Where no notification area shows the icon (a desktop without
    // a tray), the desktop's notification service shows it instead.
    void ShowBalloonTip(const QString& mensaje, int icono = Ninguno, const QString& titulo = {},
                        int tiempoMs = 10000);
    // The menu a right click on the icon opens; the caller keeps it.
    void setMenu(QMenu* menu);
    QMenu* menu() const { return menu_; }
    // The text last given to TooltipText (set) or Init.
    QString TooltipText() const { return textoTooltip_; }
    void TooltipText(const QString& texto);
    // Removes the icon; harmless when it is not there.
    void delIcon();

    // What the icon shows now.
    bool agregado() const { return agregado_; }
    const QIcon& icono() const { return icono_; }
    const QString& tooltipMostrado() const { return tooltip_; }
    const QString& textoGlobo() const { return textoGlobo_; }
    const QString& tituloGlobo() const { return tituloGlobo_; }

  signals:
    void LeftClick();
    void RightClick();
    void DoubleClick();
    void BalloonHide();
    void BalloonTimeOut();
    void BalloonClicked();

  private:
    void aplicarIcono(const QIcon& icono);
    void alActivar(QSystemTrayIcon::ActivationReason motivo);

    QSystemTrayIcon bandeja_;
    QMenu* menu_ = nullptr;
    QString textoTooltip_;
    QString tooltip_;
    QIcon icono_;
    QString textoGlobo_;
    QString tituloGlobo_;
    bool agregado_ = false;
};

}  // namespace ventana
