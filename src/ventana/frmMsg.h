// The support window: a chat with the support desk over the table MENSAJE
// (polled every 500 ms, the 15 newest messages shown) and a one-off support
// request. Created once, hidden rather than closed; it comes to the lower-
// right corner, in front, when a new message arrives.
#pragma once

#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "ejecucion/Mensajeria.h"
#include "ventana/ChatSoporte.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace ventana {

class Avisos;

// The support window's size in twips, kept when it loads, and used by
// whoever shows it again.
inline int16_t anchoMensajes = 0;
inline int16_t altoMensajes = 0;

class frmMsg : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kIntervaloChatMs = 500;
    // Twips of a message's text row, at least.
    static constexpr int kAltoTexto = 400;
    static constexpr int kLargoSeparador = static_cast<int>(ChatSoporte::kLargoSeparador);
    // The longest part of one message the grid shows; a longer one (a
    // runaway paste at another site) ends in "[...]".
    static constexpr int kLargoMostrado = static_cast<int>(ChatSoporte::kLargoMostrado);

    // `mensajeria`: the site's chat and support requests, as the runtime
    // gives them.
    frmMsg(std::unique_ptr<ejecucion::Mensajeria> mensajeria, Avisos& avisos,
           QWidget* padre = nullptr);
    ~frmMsg() override;

    // Load: size, corner, database, caption, polling.
    void cargar();
    // Rebuilds the grid when a message newer than the one shown exists; the
    // window then comes up in front without taking the focus.
    void refrescarMensajes();
    // Shows the window because the user asked for it: at the corner, in
    // front and active.
    void abrir();

    bool conectado() const { return mensajeria_->conectada(); }
    int64_t ultimoIdMensaje() const { return chat_.ultimoId(); }
    // How often the grid has been rebuilt.
    int reconstrucciones() const { return reconstrucciones_; }
    QTimer& tmrChat() { return tmrChat_; }

  protected:
    void closeEvent(QCloseEvent* evento) override;
    bool event(QEvent* evento) override;
    bool eventFilter(QObject* objeto, QEvent* evento) override;

  private:
    void cmdEnviar_Click();
    void cmdEnviarSoporte_Click();
    void dejarDeEstarEncima();

    std::unique_ptr<ejecucion::Mensajeria> mensajeria_;
    Avisos& avisos_;
    ChatSoporte chat_;
    int reconstrucciones_ = 0;
    QTimer tmrChat_;

    QTabWidget* tabs_;
    QTableWidget* msgListaMensajes_;
    QLineEdit* txtMensaje_;
    QPushButton* cmdEnviar_;
    QPlainTextEdit* txtMensajeSoporte_;
    QLineEdit* txtNombre_;
    QLineEdit* txtTelefono_;
    QPushButton* cmdEnviarSoporte_;
};

}  // namespace ventana
