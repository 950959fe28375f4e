// The script evaluator's message box and input box as Qt dialogs, answered
// by the test without a modal loop.
#include <gtest/gtest.h>

#include <QInputDialog>
#include <QMessageBox>

#include "ventana/Avisos.h"

namespace {

// Looks at each dialog as it would be shown and answers it.
class AvisosInspeccionados : public ventana::AvisosQt {
  public:
    struct Visto {
        QString titulo, texto, propuesta;
        QMessageBox::Icon icono = QMessageBox::NoIcon;
    };
    std::vector<Visto> vistos;
    QString respuesta;
    bool cancelar = false;

  protected:
    int mostrar(QDialog& dialogo) override {
        Visto v;
        v.titulo = dialogo.windowTitle();
        if (auto* caja = qobject_cast<QMessageBox*>(&dialogo)) {
            v.texto = caja->text();
            v.icono = caja->icon();
        } else if (auto* entrada = qobject_cast<QInputDialog*>(&dialogo)) {
            v.texto = entrada->labelText();
            v.propuesta = entrada->textValue();
            entrada->setTextValue(respuesta);
        }
        vistos.push_back(v);
        return cancelar ? QDialog::Rejected : QDialog::Accepted;
    }
};

TEST(DialogosScript, MensajeYEntradaComoDialogosDeQt) {
    AvisosInspeccionados avisos;
    avisos.respuesta = QStringLiteral("Pérez");
    ventana::DialogosScriptQt dialogos(avisos);
    json::cJSONScript script(dialogos);

    const std::string resultado = script.Eval(
        R"([{"alert": {"message": "Hola", "title": "Aviso"}}, "<",)"
        R"( {"input": {"prompt": "Apellido?", "title": "Datos", "default": "Gómez"}}, ">"])");
    EXPECT_EQ(resultado, "<Pérez>");
    ASSERT_EQ(avisos.vistos.size(), 2u);
    EXPECT_EQ(avisos.vistos[0].titulo, "Aviso");
    EXPECT_EQ(avisos.vistos[0].texto, "Hola");
    EXPECT_EQ(avisos.vistos[0].icono, QMessageBox::Information);
    EXPECT_EQ(avisos.vistos[1].titulo, "Datos");
    EXPECT_EQ(avisos.vistos[1].texto, "Apellido?");
    EXPECT_EQ(avisos.vistos[1].propuesta, QStringLiteral("Gómez"));

    // A cancelled input box answers the empty text.
    avisos.cancelar = true;
    EXPECT_EQ(script.Eval(R"([{"input": {"prompt": "p", "title": "t", "default": "d"}}])"), "");
}

TEST(DialogosScript, ErrorDelParserConExclamacion) {
    AvisosInspeccionados avisos;
    ventana::DialogosScriptQt dialogos(avisos);
    json::cJSONScript script(dialogos);
    EXPECT_EQ(script.Eval("[1, "), "");
    ASSERT_EQ(avisos.vistos.size(), 1u);
    EXPECT_EQ(avisos.vistos[0].titulo, "Parser Error");
    EXPECT_EQ(avisos.vistos[0].icono, QMessageBox::Warning);
    EXPECT_FALSE(avisos.vistos[0].texto.isEmpty());

    // A box given no title carries the program's name.
    avisos.mensaje(QStringLiteral("x"));
    EXPECT_EQ(avisos.vistos.back().titulo, ventana::AvisosQt::tituloPorDefecto());
    EXPECT_EQ(avisos.vistos.back().icono, QMessageBox::NoIcon);
}

}  // namespace
