// The message boxes and the input box the windows show. Everything that
// asks the user goes through `Avisos`, so tests answer it without a modal
// loop.
#pragma once

#include <QString>
#include <string>

#include "json/cJSONScript.h"

class QDialog;
class QWidget;

namespace ventana {

class Avisos {
  public:
    enum class Icono { Ninguno, Informacion, Exclamacion };
    virtual ~Avisos() = default;
    // A message box with an OK button; an empty title is the program's name.
    virtual void mensaje(const QString& texto, Icono icono = Icono::Ninguno,
                         const QString& titulo = {}) = 0;
    // The user's answer, `defecto` being the proposed one; "" when the box
    // is cancelled.
    virtual QString entrada(const QString& prompt, const QString& titulo,
                            const QString& defecto) = 0;
};

// Qt's dialogs. Each box is built, then shown modally by `mostrar`.
class AvisosQt : public Avisos {
  public:
    explicit AvisosQt(QWidget* padre = nullptr) : padre_(padre) {}
    void mensaje(const QString& texto, Icono icono = Icono::Ninguno,
                 const QString& titulo = {}) override;
    QString entrada(const QString& prompt, const QString& titulo, const QString& defecto) override;

    // The title of a box that is given none: the program's name.
    static QString tituloPorDefecto();

  protected:
    // Runs the dialog and returns its result (QDialog::Accepted or not).
    virtual int mostrar(QDialog& dialogo);

  private:
    QWidget* padre_;
};

// The script evaluator's message box and input box over the face's.
class DialogosScriptQt : public json::DialogosScript {
  public:
    explicit DialogosScriptQt(Avisos& avisos) : avisos_(avisos) {}
    void mensaje(const std::string& texto, const std::string& titulo, Icono icono) override;
    std::string entrada(const std::string& prompt, const std::string& titulo,
                        const std::string& defecto) override;

  private:
    Avisos& avisos_;
};

}  // namespace ventana
