// One instance per configuration file, through a lock of the system.
#include <gtest/gtest.h>

#include <QFile>
#include <QLockFile>

#include "ejecucion/Ayudas.h"
#include "ejecucion/InstanciaUnica.h"

namespace {

TEST(InstanciaUnica, UnaPorArchivoDeConfiguracion) {
    prueba::SitioConAcceso a, b;
    ejecucion::InstanciaUnica primera(a.acceso), segunda(a.acceso), otra(b.acceso);
    EXPECT_EQ(primera.tomar(), ejecucion::InstanciaUnica::Resultado::Tomada);
    EXPECT_EQ(segunda.tomar(), ejecucion::InstanciaUnica::Resultado::EnEjecucion);
    EXPECT_EQ(otra.tomar(), ejecucion::InstanciaUnica::Resultado::Tomada);
}

// A killed instance leaves its lock file behind, naming its process id; on
// a busy machine the system soon gives that id to another process, even to
// another instance of the program. Once the killed one is gone a new one
// must start, whatever the file says.
TEST(InstanciaUnica, UnBloqueoDejadoPorUnaInstanciaMuertaNoImpideArrancar) {
    prueba::SitioConAcceso a;
    const QString ruta = ejecucion::InstanciaUnica(a.acceso).archivo();
    // What the lock file of a dead instance holds when its id now names a
    // live process of the same program: this one.
    QByteArray contenido;
    {
        QLockFile muestra(ruta + ".muestra");
        ASSERT_TRUE(muestra.tryLock(0));
        QFile f(ruta + ".muestra");
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        contenido = f.readAll();
    }
    QFile dejado(ruta);
    ASSERT_TRUE(dejado.open(QIODevice::WriteOnly | QIODevice::Truncate));
    dejado.write(contenido);
    dejado.close();

    ejecucion::InstanciaUnica nueva(a.acceso);
    EXPECT_EQ(nueva.tomar(), ejecucion::InstanciaUnica::Resultado::Tomada)
        << contenido.toStdString();
    EXPECT_EQ(ejecucion::InstanciaUnica(a.acceso).tomar(),
              ejecucion::InstanciaUnica::Resultado::EnEjecucion);
}

}  // namespace
