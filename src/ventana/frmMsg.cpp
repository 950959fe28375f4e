#include "ventana/frmMsg.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "comun/Variant.h"
#include "ventana/Avisos.h"
#include "ventana/modForm.h"

#ifndef SINC_VERSION
#define SINC_VERSION "0.0.0"
#endif

namespace ventana {

namespace {

// The window's size when it first loads, in twips.
constexpr int kAnchoInicial = 7500;
constexpr int kAltoInicial = 6300;

QTableWidgetItem* celda(const QString& texto, bool negrita) {
    auto* item = new QTableWidgetItem(texto);
    item->setFlags(Qt::ItemIsEnabled);
    QFont fuente = item->font();
    fuente.setBold(negrita);
    item->setFont(fuente);
    item->setTextAlignment(Qt::AlignLeft | Qt::AlignTop);
    return item;
}

int16_t twips16(int pixeles, const QWidget* ventana) {
    return static_cast<int16_t>(std::clamp(pixelesATwips(pixeles, ventana), 0, 32767));
}

}  // namespace

frmMsg::frmMsg(std::unique_ptr<ejecucion::Mensajeria> mensajeria, Avisos& avisos, QWidget* padre)
    : QWidget(padre, Qt::Window), mensajeria_(std::move(mensajeria)), avisos_(avisos) {
    setObjectName(QStringLiteral("frmMsg"));
    resize(twipsAPixeles(kAnchoInicial, this), twipsAPixeles(kAltoInicial, this));

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("tabMensajes"));
    auto* marco = new QVBoxLayout(this);
    marco->setContentsMargins(6, 6, 6, 6);
    marco->addWidget(tabs_);

    // --- chat
    auto* chat = new QWidget;
    msgListaMensajes_ = new QTableWidget(0, 1, chat);
    msgListaMensajes_->setObjectName(QStringLiteral("msgListaMensajes"));
    msgListaMensajes_->horizontalHeader()->hide();
    msgListaMensajes_->verticalHeader()->hide();
    msgListaMensajes_->horizontalHeader()->setStretchLastSection(true);
    msgListaMensajes_->setShowGrid(false);
    msgListaMensajes_->setWordWrap(true);
    msgListaMensajes_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    msgListaMensajes_->setSelectionMode(QAbstractItemView::NoSelection);
    msgListaMensajes_->setTextElideMode(Qt::ElideNone);
    msgListaMensajes_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    msgListaMensajes_->installEventFilter(this);
    connect(msgListaMensajes_, &QTableWidget::cellClicked, this, &frmMsg::dejarDeEstarEncima);

    txtMensaje_ = new QLineEdit(chat);
    txtMensaje_->setObjectName(QStringLiteral("txtMensaje"));
    txtMensaje_->installEventFilter(this);
    connect(txtMensaje_, &QLineEdit::returnPressed, this, &frmMsg::cmdEnviar_Click);
    cmdEnviar_ = new QPushButton(QStringLiteral("Enviar"), chat);
    cmdEnviar_->setObjectName(QStringLiteral("cmdEnviar"));
    connect(cmdEnviar_, &QPushButton::clicked, this, &frmMsg::cmdEnviar_Click);

    auto* rejillaChat = new QGridLayout(chat);
    rejillaChat->addWidget(msgListaMensajes_, 0, 0, 1, 2);
    rejillaChat->addWidget(txtMensaje_, 1, 0);
    rejillaChat->addWidget(cmdEnviar_, 1, 1);
    tabs_->addTab(chat, QStringLiteral("Mensajeria "));

    // --- support request
    auto* soporte = new QWidget;
    auto* lblDuda = new QLabel(QStringLiteral("* Duda o comentario (Obligatorio)"), soporte);
    lblDuda->setObjectName(QStringLiteral("lblDuda"));
    txtMensajeSoporte_ = new QPlainTextEdit(soporte);
    txtMensajeSoporte_->setObjectName(QStringLiteral("txtMensajeSoporte"));
    txtMensajeSoporte_->setTabChangesFocus(true);
    auto* lblNombre = new QLabel(QStringLiteral("Tu nombre (opcional)"), soporte);
    lblNombre->setObjectName(QStringLiteral("lblNombre"));
    txtNombre_ = new QLineEdit(soporte);
    txtNombre_->setObjectName(QStringLiteral("txtNombre"));
    auto* lblTelefono = new QLabel(QStringLiteral("Telefono de contacto (opcional)"), soporte);
    lblTelefono->setObjectName(QStringLiteral("lblTelefono"));
    txtTelefono_ = new QLineEdit(soporte);
    txtTelefono_->setObjectName(QStringLiteral("txtTelefono"));
    cmdEnviarSoporte_ = new QPushButton(QStringLiteral("Enviar"), soporte);
    cmdEnviarSoporte_->setObjectName(QStringLiteral("cmdEnviarSoporte"));
    connect(cmdEnviarSoporte_, &QPushButton::clicked, this, &frmMsg::cmdEnviarSoporte_Click);
    lblDuda->setBuddy(txtMensajeSoporte_);
    lblNombre->setBuddy(txtNombre_);
    lblTelefono->setBuddy(txtTelefono_);

    auto* rejillaSoporte = new QGridLayout(soporte);
    rejillaSoporte->addWidget(lblDuda, 0, 0, 1, 2);
    rejillaSoporte->addWidget(txtMensajeSoporte_, 1, 0, 1, 2);
    rejillaSoporte->addWidget(lblNombre, 2, 0);
    rejillaSoporte->addWidget(txtNombre_, 2, 1);
    rejillaSoporte->addWidget(lblTelefono, 3, 0);
    rejillaSoporte->addWidget(txtTelefono_, 3, 1);
    rejillaSoporte->addWidget(cmdEnviarSoporte_, 4, 1, Qt::AlignRight);
    rejillaSoporte->setRowStretch(1, 1);
    tabs_->addTab(soporte, QStringLiteral("Soporte Tecnico"));

    tmrChat_.setInterval(kIntervaloChatMs);
    connect(&tmrChat_, &QTimer::timeout, this, &frmMsg::refrescarMensajes);
}

frmMsg::~frmMsg() {
    tmrChat_.stop();
}

void frmMsg::cargar() {
    anchoMensajes = twips16(width(), this);
    altoMensajes = twips16(height(), this);
    mostrarEnEsquina(*this, anchoMensajes, altoMensajes);

    mensajeria_->abrir([this](const std::string& aviso) {
        avisos_.mensaje(QString::fromStdString(aviso), Avisos::Icono::Ninguno);
    });
    msgListaMensajes_->setRowCount(0);
    setWindowTitle(QStringLiteral("sincronizador Ombrel v. ") + QStringLiteral(SINC_VERSION));
    tmrChat_.start();
}

void frmMsg::refrescarMensajes() {
    if (!mensajeria_->conectada()) return;
    std::vector<datos::clsMensaje> lista;
    try {
        lista = mensajeria_->mensajes();
    } catch (const std::exception&) {
        // The database is busy or gone for a moment: the next tick retries.
        return;
    }
    const auto filas = chat_.actualizar(lista);
    if (!filas) return;

    ++reconstrucciones_;
    auto* rejilla = msgListaMensajes_;
    rejilla->setUpdatesEnabled(false);
    rejilla->setRowCount(0);
    rejilla->setRowCount(static_cast<int>(filas->size()));
    const int anchoTexto = std::max(50, rejilla->viewport()->width() - 8);
    const int altoMinimo = twipsAPixeles(kAltoTexto, this);
    int fila = 0;
    for (const FilaChat& f : *filas) {
        const QString texto = QString::fromStdString(f.texto);
        switch (f.tipo) {
            case FilaChat::Tipo::Cabecera:
                rejilla->setItem(fila, 0, celda(texto, true));
                break;
            case FilaChat::Tipo::Texto: {
                auto* item = celda(texto, false);
                rejilla->setItem(fila, 0, item);
                // A long message wraps; its row grows to show all of it.
                const QFontMetrics medidas(item->font());
                const int alto =
                    medidas.boundingRect(QRect(0, 0, anchoTexto, 1 << 20), Qt::TextWordWrap, texto)
                        .height() +
                    6;
                rejilla->setRowHeight(fila, std::max(altoMinimo, alto));
                break;
            }
            case FilaChat::Tipo::Separador: {
                auto* linea = celda(texto, false);
                linea->setForeground(palette().color(QPalette::Mid));
                rejilla->setItem(fila, 0, linea);
                rejilla->setRowHeight(fila, QFontMetrics(linea->font()).height());
                break;
            }
        }
        ++fila;
    }
    rejilla->setColumnWidth(0, rejilla->viewport()->width());
    rejilla->setUpdatesEnabled(true);
    rejilla->scrollToBottom();

    // Someone working in this window keeps it as it is; otherwise it comes
    // in front without taking the keyboard from whoever types elsewhere.
    const bool enUso = isVisible() && isActiveWindow();
    if (!enUso) activarAlMostrar(*this, false);
    mostrarEnEsquina(*this, anchoMensajes, altoMensajes);
    if (!enUso) siempreEncima(*this, true);
}

void frmMsg::abrir() {
    // Asked for by the user: it comes up active, ready to type in.
    activarAlMostrar(*this, true);
    mostrarEnEsquina(*this, anchoMensajes, altoMensajes);
    raise();
    activateWindow();
}

void frmMsg::cmdEnviar_Click() {
    const QString texto = txtMensaje_->text();
    if (texto.trimmed().isEmpty()) return;
    if (!mensajeria_->conectar()) {
        avisos_.mensaje(
            QStringLiteral("No se puede abrir la base de datos; el mensaje no se envio"),
            Avisos::Icono::Exclamacion);
        return;
    }
    try {
        mensajeria_->enviar(texto.toStdString());
    } catch (const std::exception& e) {
        // The text stays in its box, so nothing typed is lost.
        avisos_.mensaje(
            QStringLiteral("No se pudo enviar el mensaje: ") + QString::fromUtf8(e.what()),
            Avisos::Icono::Exclamacion);
        return;
    }
    refrescarMensajes();
    txtMensaje_->clear();
}

void frmMsg::cmdEnviarSoporte_Click() {
    if (txtMensajeSoporte_->toPlainText().trimmed().isEmpty()) {
        avisos_.mensaje(QStringLiteral("Debes escribir un mensaje"), Avisos::Icono::Exclamacion);
        txtMensajeSoporte_->setFocus();
        return;
    }
    try {
        mensajeria_->enviarSoporte(txtNombre_->text().toStdString(),
                                   txtMensajeSoporte_->toPlainText().toStdString(),
                                   txtTelefono_->text().toStdString());
    } catch (const std::exception& e) {
        avisos_.mensaje(
            QStringLiteral("No se pudo enviar tu mensaje: ") + QString::fromUtf8(e.what()),
            Avisos::Icono::Exclamacion);
        return;
    }
    txtNombre_->clear();
    txtMensajeSoporte_->clear();
    txtTelefono_->clear();
    avisos_.mensaje(QStringLiteral("Tu mensaje ha sido enviado"), Avisos::Icono::Informacion);
}

void frmMsg::dejarDeEstarEncima() {
    siempreEncima(*this, false);
}

void frmMsg::closeEvent(QCloseEvent* evento) {
    evento->ignore();
    hide();
}

bool frmMsg::event(QEvent* evento) {
    if (evento->type() == QEvent::WindowActivate) refrescarMensajes();
    return QWidget::event(evento);
}

bool frmMsg::eventFilter(QObject* objeto, QEvent* evento) {
    if (evento->type() == QEvent::FocusIn &&
        (objeto == txtMensaje_ || objeto == msgListaMensajes_)) {
        dejarDeEstarEncima();
    }
    return QWidget::eventFilter(objeto, evento);
}

}  // namespace ventana
