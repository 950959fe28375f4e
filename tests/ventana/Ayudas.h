// What the window tests share: the runtime's site and peer, and message
// boxes answered by the test.
#pragma once

#include <QString>
#include <vector>

#include "ejecucion/Ayudas.h"
#include "ventana/Avisos.h"

namespace prueba {

// Message boxes answered at once by the test; each one is recorded.
struct AvisosFalsos : ventana::Avisos {
    struct Aviso {
        QString texto;
        Icono icono;
        QString titulo;
    };
    std::vector<Aviso> avisos;
    QString respuesta;
    void mensaje(const QString& texto, Icono icono, const QString& titulo) override {
        avisos.push_back({texto, icono, titulo});
    }
    QString entrada(const QString& prompt, const QString& titulo, const QString&) override {
        avisos.push_back({prompt, Icono::Ninguno, titulo});
        return respuesta;
    }
    bool dijo(const QString& texto) const {
        for (const auto& a : avisos)
            if (a.texto == texto) return true;
        return false;
    }
};

}  // namespace prueba
