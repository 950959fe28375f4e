// The tray icon object and the window functions, on real widgets.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QWidget>
#include <QWindow>

#include "ventana/Iconos.h"
#include "ventana/clsSystray.h"
#include "ventana/modForm.h"

namespace {

using ventana::clsSystray;

TEST(Twips, SiguenLosPuntosPorPulgadaDeLaPantalla) {
    const double ppp = QGuiApplication::primaryScreen()->logicalDotsPerInch();
    EXPECT_EQ(ventana::twipsAPixeles(1440), qRound(ppp));
    EXPECT_EQ(ventana::twipsAPixeles(14400), qRound(10 * ppp));
    EXPECT_EQ(ventana::pixelesATwips(ventana::twipsAPixeles(7200)), 7200);
}

TEST(MostrarEnEsquina, VentanaMinimizadaVuelveNormalALaEsquinaYVisible) {
    QWidget ventana;
    ventana.showMinimized();
    ventana::mostrarEnEsquina(ventana, 4500, 3000);

    EXPECT_TRUE(ventana.isVisible());
    EXPECT_FALSE(ventana.isMinimized());
    EXPECT_EQ(ventana.size(), QSize(ventana::twipsAPixeles(4500), ventana::twipsAPixeles(3000)));
    const QRect area = ventana.screen()->availableGeometry();
    const QRect marco = ventana.frameGeometry();
    EXPECT_EQ(marco.bottom(), area.bottom());
    EXPECT_EQ(marco.right(), area.right() - ventana::twipsAPixeles(200));
}

TEST(SiempreEncima, MuestraSinActivarYSeQuita) {
    QWidget ventana;
    ventana::siempreEncima(ventana, true);
    EXPECT_TRUE(ventana.isVisible());
    EXPECT_TRUE(ventana.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(ventana.testAttribute(Qt::WA_ShowWithoutActivating));

    ventana::siempreEncima(ventana, false);
    EXPECT_TRUE(ventana.isVisible());
    EXPECT_FALSE(ventana.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // The native window was told too, without hiding the widget.
    ASSERT_NE(ventana.windowHandle(), nullptr);
    EXPECT_FALSE(ventana.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST(Iconos, ProgramaYCuatroEstadosA16Y32) {
    using sincronizador::EstadoIcono;
    std::vector<QIcon> iconos = {ventana::iconoPrograma()};
    for (auto e : {EstadoIcono::Desconectado, EstadoIcono::Conectado, EstadoIcono::Satisfactorio,
                   EstadoIcono::Error})
        iconos.push_back(ventana::iconoEstado(e));
    std::vector<qint64> claves;
    for (const QIcon& icono : iconos) {
        ASSERT_FALSE(icono.isNull());
        for (int lado : {16, 32}) {
            const QImage imagen = icono.pixmap(lado, lado).toImage();
            EXPECT_EQ(imagen.size(), QSize(lado, lado));
            // Drawn, with a transparent outside corner.
            EXPECT_EQ(qAlpha(imagen.pixel(0, 0)), 0);
            EXPECT_EQ(qAlpha(imagen.pixel(lado / 2, lado / 2)), 255);
        }
        claves.push_back(icono.pixmap(16, 16).toImage().pixel(8, 4));
    }
    // Five different pictures.
    std::sort(claves.begin(), claves.end());
    EXPECT_EQ(std::unique(claves.begin(), claves.end()), claves.end());
}

TEST(clsSystray, TooltipDeInitSetIconYRecorte) {
    QWidget ventana;
    ventana.setWindowIcon(ventana::iconoPrograma());
    clsSystray bandeja;
    // Init always answers false; whether a tray shows the icon is no
    // failure of the program.
    EXPECT_FALSE(bandeja.Init(&ventana, QStringLiteral("Sincronizador Ombrel")));
    EXPECT_TRUE(bandeja.agregado());
    EXPECT_FALSE(bandeja.icono().isNull());
    EXPECT_EQ(bandeja.tooltipMostrado(), QStringLiteral("Sincronizador Ombrel"));

    bandeja.SetIcon(ventana::iconoEstado(sincronizador::EstadoIcono::Conectado),
                    QStringLiteral("Conectado"));
    EXPECT_EQ(bandeja.tooltipMostrado(), QStringLiteral("Conectado"));
    EXPECT_EQ(bandeja.TooltipText(), QStringLiteral("Sincronizador Ombrel"));

    const QString largo = QString(120, QLatin1Char('a')) + QStringLiteral("0123456789");
    bandeja.TooltipText(largo);
    EXPECT_EQ(bandeja.tooltipMostrado(), largo.left(127));
    EXPECT_EQ(bandeja.TooltipText(), largo);
    // A cut never leaves half a character behind.
    bandeja.SetIcon(QIcon(), QString(126, QLatin1Char('b')) + QString::fromUtf8("😀"));
    EXPECT_EQ(bandeja.tooltipMostrado(), QString(126, QLatin1Char('b')));

    bandeja.ShowBalloonTip(QString(300, QLatin1Char('g')), clsSystray::Informacion,
                           QString(80, QLatin1Char('t')));
    EXPECT_EQ(bandeja.textoGlobo().size(), 255);
    EXPECT_EQ(bandeja.tituloGlobo().size(), 63);

    // Removing twice, then the object's end, is harmless.
    bandeja.delIcon();
    bandeja.delIcon();
    EXPECT_FALSE(bandeja.agregado());
}

TEST(clsSystray, MensajesDelRatonSonEventos) {
    clsSystray bandeja;
    QSignalSpy globo(&bandeja, &clsSystray::BalloonClicked);
    QSignalSpy izquierdo(&bandeja, &clsSystray::LeftClick);
    QSignalSpy derecho(&bandeja, &clsSystray::RightClick);
    QSignalSpy doble(&bandeja, &clsSystray::DoubleClick);

    bandeja.MouseMove(1, clsSystray::WM_LBUTTONDOWN);
    bandeja.MouseMove(1, clsSystray::WM_LBUTTONUP);
    bandeja.MouseMove(2, clsSystray::WM_RBUTTONUP);
    bandeja.MouseMove(1, clsSystray::WM_LBUTTONDBLCLK);
    bandeja.MouseMove(0, 512);  // a plain move raises nothing
    EXPECT_EQ(globo.count(), 1);
    EXPECT_EQ(izquierdo.count(), 1);
    EXPECT_EQ(derecho.count(), 1);
    EXPECT_EQ(doble.count(), 1);
}

TEST(clsSystray, DrawIconConColorTransparente) {
    // 40 x 40, magenta background, a green square in the middle.
    QPixmap dibujo(40, 40);
    dibujo.fill(QColor(255, 0, 255));
    {
        QPainter p(&dibujo);
        p.fillRect(8, 8, 16, 16, QColor(0, 128, 0));
    }
    clsSystray bandeja;
    bandeja.SetIcon(QIcon(), QStringLiteral("sin cambio"));

    // Magenta as the picture's owner gives it: 0x00BBGGRR.
    ASSERT_TRUE(bandeja.DrawIcon(dibujo, 0xFF00FF));
    QImage imagen = bandeja.icono().pixmap(32, 32).toImage();
    EXPECT_EQ(imagen.size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(imagen.pixel(2, 2)), 0);
    EXPECT_EQ(imagen.pixel(12, 12), qRgb(0, 128, 0));
    EXPECT_EQ(bandeja.tooltipMostrado(), QStringLiteral("sin cambio"));

    // A negative colour: the whole picture, opaque.
    ASSERT_TRUE(bandeja.DrawIcon(dibujo, -1));
    imagen = bandeja.icono().pixmap(40, 40).toImage();
    EXPECT_EQ(imagen.pixel(2, 2), qRgb(255, 0, 255));

    // An empty picture changes nothing.
    const qint64 antes = bandeja.icono().cacheKey();
    EXPECT_FALSE(bandeja.DrawIcon(QPixmap()));
    EXPECT_EQ(bandeja.icono().cacheKey(), antes);
}

}  // namespace
