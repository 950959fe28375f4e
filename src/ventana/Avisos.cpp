#include "ventana/Avisos.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace ventana {

QString AvisosQt::tituloPorDefecto() {
    const QString nombre = QCoreApplication::applicationName();
    return nombre.isEmpty() ? QStringLiteral("sincronizador") : nombre;
}

void AvisosQt::mensaje(const QString& texto, Icono icono, const QString& titulo) {
    QMessageBox caja(padre_);
    caja.setObjectName(QStringLiteral("msgAviso"));
    caja.setWindowTitle(titulo.isEmpty() ? tituloPorDefecto() : titulo);
    caja.setText(texto);
    caja.setStandardButtons(QMessageBox::Ok);
    switch (icono) {
        case Icono::Ninguno:
            caja.setIcon(QMessageBox::NoIcon);
            break;
        case Icono::Informacion:
            caja.setIcon(QMessageBox::Information);
            break;
        case Icono::Exclamacion:
            caja.setIcon(QMessageBox::Warning);
            break;
    }
    mostrar(caja);
}

QString AvisosQt::entrada(const QString& prompt, const QString& titulo, const QString& defecto) {
    QInputDialog caja(padre_);
    caja.setObjectName(QStringLiteral("inputEntrada"));
    caja.setWindowTitle(titulo.isEmpty() ? tituloPorDefecto() : titulo);
    caja.setInputMode(QInputDialog::TextInput);
    caja.setLabelText(prompt);
    caja.setTextValue(defecto);
    if (mostrar(caja) != QDialog::Accepted) return {};
    return caja.textValue();
}

int AvisosQt::mostrar(QDialog& dialogo) {
    return dialogo.exec();
}

void DialogosScriptQt::mensaje(const std::string& texto, const std::string& titulo, Icono icono) {
    avisos_.mensaje(
        QString::fromStdString(texto),
        icono == Icono::Exclamacion ? Avisos::Icono::Exclamacion : Avisos::Icono::Informacion,
        QString::fromStdString(titulo));
}

std::string DialogosScriptQt::entrada(const std::string& prompt, const std::string& titulo,
                                      const std::string& defecto) {
    return avisos_
        .entrada(QString::fromStdString(prompt), QString::fromStdString(titulo),
                 QString::fromStdString(defecto))
        .toStdString();
}

}  // namespace ventana
