#include "interfaz/Iconos.h"

#include <QString>

// The resources live in a static library: nothing would pull them into the
// program unless registered explicitly.
static void registrarRecursos() {
    static const bool hecho = [] {
        Q_INIT_RESOURCE(iconos);
        return true;
    }();
    (void)hecho;
}

namespace interfaz {

namespace {

QIcon cargar(const QString& nombre) {
    registrarRecursos();
    QIcon icono;
    icono.addFile(QStringLiteral(":/iconos/%1-16.png").arg(nombre), QSize(16, 16));
    icono.addFile(QStringLiteral(":/iconos/%1-32.png").arg(nombre), QSize(32, 32));
    return icono;
}

}  // namespace

QIcon iconoPrograma() {
    return cargar(QStringLiteral("programa"));
}

QIcon iconoEstado(sincronizador::EstadoIcono estado) {
    switch (estado) {
        case sincronizador::EstadoIcono::Desconectado:
            return cargar(QStringLiteral("estado-desconectado"));
        case sincronizador::EstadoIcono::Conectado:
            return cargar(QStringLiteral("estado-conectado"));
        case sincronizador::EstadoIcono::Satisfactorio:
            return cargar(QStringLiteral("estado-ok"));
        case sincronizador::EstadoIcono::Error:
            return cargar(QStringLiteral("estado-error"));
    }
    return {};
}

}  // namespace interfaz
