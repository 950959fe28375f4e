#include "ventana/Iconos.h"

#include <QString>

#include "ventana/EstadoBandeja.h"

// The resources live in a static library: nothing would pull them into the
// program unless registered explicitly.
static void registrarRecursos() {
    static const bool hecho = [] {
        Q_INIT_RESOURCE(iconos);
        return true;
    }();
    (void)hecho;
}

namespace ventana {

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
    return cargar(QString::fromLatin1(aspectoEstado(estado).icono));
}

}  // namespace ventana
