// The main window on real widgets, a real site database and loopback peers.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Ayudas.h"
#include "comun/Registro.h"
#include "datos/DAO_Conexion.h"
#include "datos/Estado.h"
#include "ejecucion/Nucleo.h"
#include "sincronizador/Motor.h"
#include "ventana/Iconos.h"
#include "ventana/frmMsg.h"
#include "ventana/frmSincronizador.h"
#include "ventana/modForm.h"

namespace {

using sincronizador::EstadoIcono;
using ventana::frmSincronizador;

// The window, with every tray state it shows recorded.
class VentanaQueAnota : public frmSincronizador {
  public:
    using frmSincronizador::frmSincronizador;
    void mostrar(EstadoIcono estado) noexcept override {
        estados.push_back(estado);
        frmSincronizador::mostrar(estado);
    }
    // Every console line, also those a later step has emptied away.
    void escribir(const std::string& texto) noexcept override {
        todo += texto;
        frmSincronizador::escribir(texto);
    }
    std::vector<EstadoIcono> estados;
    std::string todo;
};

// A window with its engine composed outside it, as the window face does;
// the engine goes first.
template <class V>
struct ConMotor : V {
    ejecucion::Nucleo compuesto;
    ConMotor(const ejecucion::OpcionesEjecucion& o, ventana::Avisos& avisos)
        : V(avisos), compuesto(o, this->puertos()) {
        this->conectar(compuesto);
    }
};
using Ventana = ConMotor<frmSincronizador>;

ejecucion::OpcionesEjecucion opciones(const std::string& acceso, const std::string& servidor,
                                      int intervalo = 20) {
    ejecucion::OpcionesEjecucion o;
    o.acceso = acceso;
    ejecucion::separarHostPuerto(servidor, o.hostServidor, o.puertoServidor, o.tlsServidor);
    ejecucion::separarHostPuerto(servidor, o.hostQuiralte, o.puertoQuiralte, o.tlsQuiralte);
    o.intervaloMs = intervalo;
    return o;
}

template <class T>
T* control(QWidget& ventana, const char* nombre) {
    auto* c = ventana.findChild<T*>(QString::fromLatin1(nombre));
    EXPECT_NE(c, nullptr) << nombre;
    return c;
}

QString consola(QWidget& v) {
    return control<QPlainTextEdit>(v, "txtConsole")->toPlainText();
}

TEST(frmSincronizador, ControlesTitulosYDatosTrasElArranque) {
    prueba::SitioConAcceso sitio;
    prueba::AvisosFalsos avisos;
    Ventana v(opciones(sitio.acceso, "servidor.central:8080"), avisos);
    ASSERT_TRUE(v.cargar());

    EXPECT_EQ(v.objectName(), "frmSincronizador");
    EXPECT_EQ(v.windowTitle(), "Sincronizador V3.0");
    EXPECT_FALSE(v.windowIcon().isNull());
    EXPECT_EQ(v.size(), QSize(ventana::twipsAPixeles(8745), ventana::twipsAPixeles(8130)));

    auto* boton = control<QPushButton>(v, "Command1");
    EXPECT_EQ(boton->text(), "Pausar Reloj");
    EXPECT_EQ(boton->geometry(), ventana::rectTwips(5400, 120, 2535, 495));
    auto* texto = control<QPlainTextEdit>(v, "txtConsole");
    EXPECT_TRUE(texto->isReadOnly());
    EXPECT_EQ(texto->geometry(), ventana::rectTwips(120, 2400, 8175, 5295));
    EXPECT_EQ(control<QLabel>(v, "lblState")->geometry(), ventana::rectTwips(120, 7800, 8415, 255));
    for (const char* nombre : {"pctError", "pctOK", "pctConected", "pctDisconected"}) {
        auto* imagen = control<QLabel>(v, nombre);
        EXPECT_EQ(imagen->size(), ventana::rectTwips(0, 0, 255, 255).size()) << nombre;
        EXPECT_FALSE(imagen->pixmap().isNull()) << nombre;
    }

    EXPECT_EQ(control<QLabel>(v, "lblDatos")->text(),
              QString::fromStdString("servidor.central\nPOST\n/sincronizador/\nBase de datos: " +
                                     sitio.base.ruta() + "\n"));

    // The tray icon came up disconnected, its own tooltip kept.
    EXPECT_TRUE(v.SysTray().agregado());
    EXPECT_EQ(v.SysTray().TooltipText(), "Sincronizador Ombrel");
    EXPECT_EQ(v.SysTray().tooltipMostrado(), "Conectando");
    EXPECT_TRUE(v.nucleo().enMarcha());
    EXPECT_TRUE(avisos.avisos.empty());
}

// Message boxes that note whether the tray icon was already there.
struct AvisosQueMiranLaBandeja : prueba::AvisosFalsos {
    frmSincronizador* ventana = nullptr;
    std::vector<bool> conIcono;
    void mensaje(const QString& texto, Icono icono, const QString& titulo) override {
        conIcono.push_back(ventana != nullptr && ventana->SysTray().agregado());
        AvisosFalsos::mensaje(texto, icono, titulo);
    }
};

QStringList textosDelMenu(frmSincronizador& v) {
    QStringList textos;
    for (QAction* a : v.menuBandeja().actions())
        if (!a->isSeparator()) textos << a->text();
    return textos;
}

TEST(frmSincronizador, SinConfiguracionLaVentanaSubeYElCicloEsperaAlBoton) {
    prueba::SitioConAcceso sitio;
    AvisosQueMiranLaBandeja avisos;
    const std::string acceso = sitio.accesoAusente();
    Ventana v(opciones(acceso, "127.0.0.1:1"), avisos);
    avisos.ventana = &v;
    EXPECT_FALSE(v.cargar());

    ASSERT_EQ(avisos.avisos.size(), 1u);
    EXPECT_EQ(avisos.avisos[0].texto, "No se encuentra archivo de configuracion");
    EXPECT_EQ(avisos.avisos[0].icono, ventana::Avisos::Icono::Ninguno);
    EXPECT_TRUE(consola(v).contains("No se encuentra la base de datos"));
    // The configuration is read before the tray icon is added, which then
    // shows the disconnected state, its own tooltip kept.
    EXPECT_EQ(avisos.conIcono, std::vector<bool>{false});
    EXPECT_TRUE(v.SysTray().agregado());
    EXPECT_EQ(v.SysTray().icono().pixmap(16, 16).toImage(),
              ventana::iconoEstado(EstadoIcono::Desconectado).pixmap(16, 16).toImage());
    EXPECT_EQ(v.SysTray().tooltipMostrado(), "Conectando");
    EXPECT_EQ(v.SysTray().TooltipText(), "Sincronizador Ombrel");
    EXPECT_FALSE(v.nucleo().enMarcha());
    auto* boton = control<QPushButton>(v, "Command1");
    EXPECT_EQ(boton->text(), "Reanudar Reloj");
    // The tray menu says why the cycle does not run.
    EXPECT_EQ(textosDelMenu(v), (QStringList{"No se encuentra la base de datos", "Abrir",
                                             "Reanudar Reloj", "Soporte", "Salir"}));

    // The file is mended; the button starts the cycle.
    std::ofstream(acceso) << sitio.base.ruta() << "\n";
    QTest::mouseClick(boton, Qt::LeftButton);
    EXPECT_TRUE(v.nucleo().enMarcha());
    EXPECT_EQ(boton->text(), "Pausar Reloj");
    EXPECT_TRUE(
        control<QLabel>(v, "lblDatos")->text().contains(QString::fromStdString(sitio.base.ruta())));
}

TEST(frmSincronizador, BaseQueNoAbreSeDiceEnLaConsola) {
    prueba::SitioConAcceso sitio;
    std::ofstream(sitio.base.ruta(), std::ios::trunc) << "esto no es una base de datos";
    prueba::AvisosFalsos avisos;
    Ventana v(opciones(sitio.acceso, "127.0.0.1:1"), avisos);
    EXPECT_FALSE(v.cargar());
    EXPECT_TRUE(consola(v).contains("Error de base de datos")) << consola(v).toStdString();
    EXPECT_TRUE(textosDelMenu(v).front().startsWith("Error de base de datos"));
    EXPECT_FALSE(v.nucleo().enMarcha());
}

TEST(frmSincronizador, ConsolaSigueLaUltimaLineaYSeVaciaEnCadaPaso) {
    prueba::SitioConAcceso sitio;
    prueba::AvisosFalsos avisos;
    Ventana v(opciones(sitio.acceso, "127.0.0.1:1"), avisos);
    v.show();
    auto* texto = control<QPlainTextEdit>(v, "txtConsole");
    for (int i = 0; i < 200; ++i) v.escribir("linea " + std::to_string(i) + "\r\n");
    EXPECT_TRUE(texto->textCursor().atEnd());
    EXPECT_EQ(texto->verticalScrollBar()->value(), texto->verticalScrollBar()->maximum());
    EXPECT_GT(texto->verticalScrollBar()->maximum(), 0);
    // CR LF is one line end.
    EXPECT_FALSE(texto->toPlainText().contains(QLatin1Char('\r')));
    EXPECT_TRUE(texto->toPlainText().startsWith("linea 0\nlinea 1\n"));

    // A huge piece is shown in part, with a note.
    v.limpiar();
    v.escribir(std::string(frmSincronizador::kMaximoPieza + 1000, 'x'));
    EXPECT_LT(texto->toPlainText().size(), frmSincronizador::kMaximoPieza + 100);
    EXPECT_TRUE(texto->toPlainText().contains("1000 caracteres mas no mostrados"));
    // The cut counts characters: an emoji is never split in two.
    v.limpiar();
    std::string emojis = "a";
    for (int i = 0; i < frmSincronizador::kMaximoPieza; ++i) emojis += "\xF0\x9F\x98\x80";
    v.escribir(emojis);
    const QString cortado = texto->toPlainText();
    const qsizetype nota = cortado.indexOf(QStringLiteral("\n... ("));
    ASSERT_GT(nota, 0);
    EXPECT_FALSE(cortado.at(nota - 1).isHighSurrogate());
    EXPECT_TRUE(cortado.contains("1 caracteres mas no mostrados"))
        << cortado.mid(nota).toStdString();

    // The first step empties the console before its own lines.
    ASSERT_TRUE(v.cargar());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return v.nucleo().motor().paso() != sincronizador::Paso::Doctores; }, 5000));
    EXPECT_TRUE(texto->toPlainText().startsWith("Peticion HTTP: "))
        << texto->toPlainText().toStdString();
}

TEST(frmSincronizador, PausarDosVecesVuelveAPausarYElCicloSigue) {
    prueba::SitioConAcceso sitio;
    prueba::AvisosFalsos avisos;
    prueba::PeerGuionado peer;
    Ventana v(opciones(sitio.acceso, peer.direccion()), avisos);
    ASSERT_TRUE(v.cargar());
    auto& motor = v.nucleo().motor();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return motor.paso() != sincronizador::Paso::Doctores; }, 5000));

    auto* boton = control<QPushButton>(v, "Command1");
    QTest::mouseClick(boton, Qt::LeftButton);
    EXPECT_EQ(boton->text(), "Reanudar Reloj");
    // An exchange under way finishes; then no step runs.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !motor.ocupado() && !motor.conectando(); }, 5000));
    const sincronizador::Paso paso = motor.paso();
    const int peticiones = peer.peticiones;
    QTest::qWait(200);
    EXPECT_EQ(motor.paso(), paso);
    EXPECT_EQ(peer.peticiones, peticiones);

    QTest::mouseClick(boton, Qt::LeftButton);
    EXPECT_EQ(boton->text(), "Pausar Reloj");
    EXPECT_TRUE(QTest::qWaitFor([&] { return motor.paso() != paso; }, 5000));
}

TEST(frmSincronizador, EstadosDeLaBandejaEnUnIntercambioYEnUnaConexionRechazada) {
    prueba::SitioConAcceso sitio;
    prueba::AvisosFalsos avisos;
    prueba::PeerGuionado peer;
    ConMotor<VentanaQueAnota> v(opciones(sitio.acceso, peer.direccion()), avisos);
    ASSERT_TRUE(v.cargar());
    ASSERT_TRUE(QTest::qWaitFor([&] { return v.nucleo().motor().pasadas() >= 1; }, 10000));
    ASSERT_GE(v.estados.size(), 3u);
    EXPECT_EQ(v.estados[0], EstadoIcono::Desconectado);
    EXPECT_EQ(v.estados[1], EstadoIcono::Conectado);
    EXPECT_EQ(v.estados[2], EstadoIcono::Satisfactorio);
    EXPECT_EQ(v.SysTray().tooltipMostrado(), "Sincronizacion satisfactoria");
    // The state label ends the wait for the connection showing "connected".
    EXPECT_EQ(control<QLabel>(v, "lblState")->text(), "7");

    prueba::SitioConAcceso otro;
    ConMotor<VentanaQueAnota> rechazada(
        opciones(otro.acceso, "127.0.0.1:" + std::to_string(prueba::puertoCerrado())), avisos);
    ASSERT_TRUE(rechazada.cargar());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return rechazada.estadoIcono() == EstadoIcono::Error; }, 5000));
    EXPECT_EQ(rechazada.SysTray().tooltipMostrado(), "Error de conexion");
    EXPECT_NE(rechazada.todo.find("Error de conexion (10061)"), std::string::npos);
    EXPECT_EQ(
        std::count(rechazada.estados.begin(), rechazada.estados.end(), EstadoIcono::Conectado), 0);
}

TEST(frmSincronizador, ElEstadoDelSitioSeLeeDeLaBaseYDiceCuandoNoPuede) {
    prueba::SitioConAcceso sitio;
    prueba::AvisosFalsos avisos;
    prueba::PeerGuionado peer;
    Ventana v(opciones(sitio.acceso, peer.direccion()), avisos);
    ASSERT_TRUE(v.cargar());
    auto* resumen = control<QLabel>(v, "lblResumen");
    EXPECT_EQ(resumen->geometry(), ventana::rectTwips(120, 120, 5160, 495));
    EXPECT_TRUE(resumen->text().startsWith("Servidor: sin intercambios | Por enviar: "))
        << resumen->text().toStdString();

    // After an exchange with the server the line says how long ago it was.
    ASSERT_TRUE(QTest::qWaitFor([&] { return v.nucleo().motor().pasadas() >= 1; }, 10000));
    v.refrescarResumen();
    EXPECT_TRUE(resumen->text().startsWith("Servidor: hace 0 min | Por enviar: "))
        << resumen->text().toStdString();

    // A database that cannot be read: the line says why, the window stays.
    prueba::SitioConAcceso rota;
    std::ofstream(rota.base.ruta(), std::ios::trunc) << "esto no es una base de datos";
    Ventana otra(opciones(rota.acceso, "127.0.0.1:1"), avisos);
    otra.cargar();
    EXPECT_TRUE(control<QLabel>(otra, "lblResumen")->text().startsWith("Estado no disponible: "))
        << control<QLabel>(otra, "lblResumen")->text().toStdString();
}

TEST(frmSincronizador, ElRegistroRecibeLaConsolaYUnoQueNoSePuedeEscribirNoParaLaVentana) {
    prueba::SitioConAcceso sitio;
    prueba::AvisosFalsos avisos;
    prueba::PeerGuionado peer;
    comun::RelojSistema reloj;
    const std::string ruta =
        (std::filesystem::path(sitio.base.ruta()).parent_path() / "sincronizador.log").string();
    {
        comun::Registro registro(ruta, reloj);
        std::string error;
        ASSERT_TRUE(registro.abrir(error)) << error;
        Ventana v(opciones(sitio.acceso, peer.direccion()), avisos);
        v.setRegistro(registro, error);
        ASSERT_TRUE(v.cargar());
        EXPECT_TRUE(control<QLabel>(v, "lblDatos")
                        ->text()
                        .endsWith(QString::fromStdString("\nRegistro: " + ruta + "\n")));
        ASSERT_TRUE(QTest::qWaitFor([&] { return v.nucleo().motor().pasadas() >= 1; }, 10000));
    }
    std::ifstream archivo(ruta);
    const std::string escrito((std::istreambuf_iterator<char>(archivo)),
                              std::istreambuf_iterator<char>());
    EXPECT_NE(escrito.find("Peticion HTTP: "), std::string::npos) << escrito;
    EXPECT_NE(escrito.find("Conectado, enviando datos..."), std::string::npos) << escrito;

    // The packaged settings may name a file the desktop user cannot write.
    comun::Registro ajeno("/nonexistent/sincronizador/sincronizador.log", reloj);
    std::string error;
    ASSERT_FALSE(ajeno.abrir(error));
    Ventana v(opciones(sitio.acceso, peer.direccion()), avisos);
    v.setRegistro(ajeno, error);
    EXPECT_TRUE(v.cargar());
    EXPECT_TRUE(control<QLabel>(v, "lblDatos")->text().contains("(no se puede escribir: "))
        << control<QLabel>(v, "lblDatos")->text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return v.nucleo().motor().pasadas() >= 1; }, 10000));
}

TEST(frmSincronizador, ClicEnLaBandejaAbreLaVentanaDeMensajes) {
    prueba::SitioConAcceso sitio;
    prueba::AvisosFalsos avisos;
    Ventana v(opciones(sitio.acceso, "127.0.0.1:1", 100000), avisos);
    v.cargar();
    EXPECT_EQ(v.ventanaMensajes(), nullptr);
    v.SysTray().MouseMove(1, ventana::clsSystray::WM_LBUTTONDOWN);
    ASSERT_NE(v.ventanaMensajes(), nullptr);
    EXPECT_TRUE(v.ventanaMensajes()->isVisible());
    // Closing hides it; the next click shows the same window again.
    auto* primera = v.ventanaMensajes();
    primera->close();
    EXPECT_FALSE(primera->isVisible());
    v.SysTray().MouseMove(1, ventana::clsSystray::WM_LBUTTONDOWN);
    EXPECT_EQ(v.ventanaMensajes(), primera);
    EXPECT_TRUE(primera->isVisible());

    // Closing the main window removes the tray icon and ends the program.
    QSignalSpy cerrado(&v, &frmSincronizador::cerrado);
    v.close();
    EXPECT_EQ(cerrado.count(), 1);
    EXPECT_FALSE(v.SysTray().agregado());
}

QAction* accion(frmSincronizador& v, const QString& texto) {
    for (QAction* a : v.menuBandeja().actions())
        if (a->text() == texto) return a;
    ADD_FAILURE() << texto.toStdString();
    return nullptr;
}

TEST(frmSincronizador, MenuDeLaBandejaConElEstadoYSusAcciones) {
    prueba::SitioConAcceso sitio;
    prueba::AvisosFalsos avisos;
    prueba::PeerGuionado peer;
    Ventana v(opciones(sitio.acceso, peer.direccion()), avisos);
    ASSERT_TRUE(v.cargar());
    ASSERT_EQ(v.SysTray().menu(), &v.menuBandeja());
    EXPECT_EQ(textosDelMenu(v), (QStringList{"Ultimo intercambio: ninguno", "Abrir", "Pausar Reloj",
                                             "Soporte", "Salir"}));
    EXPECT_FALSE(v.menuBandeja().actions().front()->isEnabled());

    // The line is read again as the menu opens; pausing there is the
    // button's own action.
    ASSERT_TRUE(QTest::qWaitFor([&] { return v.nucleo().motor().pasadas() >= 1; }, 10000));
    accion(v, "Pausar Reloj")->trigger();
    emit v.menuBandeja().aboutToShow();
    EXPECT_EQ(control<QPushButton>(v, "Command1")->text(), "Reanudar Reloj");
    EXPECT_EQ(textosDelMenu(v).mid(0, 3), (QStringList{"Ultimo intercambio: hace 0 min (en pausa)",
                                                       "Abrir", "Reanudar Reloj"}));

    // The support window from the menu, and from the window's own button.
    accion(v, "Soporte")->trigger();
    ASSERT_NE(v.ventanaMensajes(), nullptr);
    v.ventanaMensajes()->close();
    QTest::mouseClick(control<QPushButton>(v, "cmdSoporte"), Qt::LeftButton);
    EXPECT_TRUE(v.ventanaMensajes()->isVisible());
    accion(v, "Abrir")->trigger();
    EXPECT_TRUE(v.isVisible());
    QSignalSpy cerrado(&v, &frmSincronizador::cerrado);
    accion(v, "Salir")->trigger();
    EXPECT_EQ(cerrado.count(), 1);
}

TEST(frmSincronizador, AvisaAlEscritorioSinServidorUnaVezYAlRestablecerse) {
    prueba::SitioConAcceso sitio;
    prueba::AvisosFalsos avisos;
    Ventana v(opciones(sitio.acceso, "127.0.0.1:" + std::to_string(prueba::puertoCerrado())),
              avisos);
    v.setLimiteSinServidor(1);
    QSignalSpy avisado(&v, &frmSincronizador::notificado);
    ASSERT_TRUE(v.cargar());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            v.refrescarResumen();
            return avisado.count() > 0;
        },
        10000));
    EXPECT_TRUE(avisado[0][0].toString().startsWith("Sin intercambio con el servidor"));
    EXPECT_EQ(v.SysTray().textoGlobo(), avisado[0][0].toString());
    v.refrescarResumen();
    EXPECT_EQ(avisado.count(), 1);

    // The server is reached again, as the engine records it.
    datos::DAO_Conexion otra;
    otra.dataFile(sitio.base.ruta());
    datos::registrarIntercambio(otra, datos::kInterlocutorServidor,
                                v.nucleo().relojSistema().ahora());
    v.refrescarResumen();
    v.refrescarResumen();
    ASSERT_EQ(avisado.count(), 2);
    EXPECT_EQ(avisado[1][0].toString(), "Intercambio con el servidor restablecido");
}

}  // namespace
