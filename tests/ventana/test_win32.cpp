// The Win32 window face on real windows (under wine here), a real site
// database and loopback peers over Winsock, driven as a user's clicks and
// the shell's messages would: FindWindow, SendMessage, the controls' own
// messages. Message boxes are answered by the test.
#include <gtest/gtest.h>
#include <winsock2.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comun/Variant.h"
#include "datos/DAO_Conexion.h"
#include "ejecucion/Salidas.h"
#include "ejecucion/win32/InstanciaMutex.h"
#include "sincronizador/Motor.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/PeerWinsock.h"
#include "ventana/Geometria.h"
#include "ventana/win32/Avisos.h"
#include "ventana/win32/ConVentana.h"
#include "ventana/win32/frmMsg.h"
#include "ventana/win32/frmSincronizador.h"
#include "ventana/win32/modForm.h"

namespace {

using namespace std::chrono_literals;
using comun::Variant;
using sincronizador::EstadoIcono;
using ventana::win32::frmMsg;
using ventana::win32::frmSincronizador;
using ventana::win32::textoDe;

// Message boxes answered at once by the test; each one is recorded.
struct AvisosFalsos : ventana::win32::Avisos {
    std::vector<std::pair<std::string, Icono>> avisos;
    void mensaje(const std::string& texto, Icono icono, const std::string&) override {
        avisos.emplace_back(texto, icono);
    }
    bool dijo(const std::string& texto, Icono icono) const {
        for (const auto& a : avisos)
            if (a.first == texto && a.second == icono) return true;
        return false;
    }
};

// A real site database and the configuration file that names it.
struct Sitio {
    prueba::BaseDePrueba base;
    std::string acceso;
    datos::DAO_Conexion otra;
    Sitio() {
        acceso = (std::filesystem::path(base.ruta()).parent_path() / "Acceso").string();
        std::ofstream(acceso) << base.ruta() << "\r\n";
        otra.dataFile(base.ruta());
        otra.conectar();
    }
    // What the apply step writes when a message arrives from the support
    // desk, through another connection.
    void llega(const std::string& texto) {
        otra.comando(
            "INSERT INTO MENSAJE (mensaje, destino, origen, PRIORIDAD) VALUES (?, "
            "'LOCAL', 'SOPORTE', -2)",
            {Variant(texto)});
    }
    int contar(const std::string& desdeDonde) {
        auto rs = otra.Query("SELECT COUNT(*) AS n FROM " + desdeDonde);
        return (*rs)["n"].CLng();
    }
};

ejecucion::OpcionesEjecucion opciones(const std::string& acceso, const std::string& host,
                                      uint16_t puerto) {
    ejecucion::OpcionesEjecucion o;
    o.acceso = acceso;
    o.hostServidor = o.hostQuiralte = host;
    o.puertoServidor = o.puertoQuiralte = puerto;
    o.intervaloMs = 20;
    return o;
}

// The window, with every console line of the run kept, also those a later
// step has emptied away.
struct VentanaQueAnota : frmSincronizador {
    using frmSincronizador::frmSincronizador;
    void escribir(const std::string& texto) noexcept override {
        todo += texto;
        frmSincronizador::escribir(texto);
    }
    std::string todo;
};

// The face as the program puts it together: the window, then its engine.
struct Cara {
    AvisosFalsos avisos;
    VentanaQueAnota ventana{avisos};
    ventana::win32::MotorDeVentana motor;
    explicit Cara(const ejecucion::OpcionesEjecucion& o) : motor(o, ventana) {
        ventana.conectar(&motor);
    }
    HWND control(frmSincronizador::Control id) const { return ventana.control(id); }
    std::string texto(frmSincronizador::Control id) const { return textoDe(control(id)); }
    // Runs the face's message loop until `condicion` holds or a generous
    // deadline passes.
    bool esperar(const std::function<bool()>& condicion, std::chrono::seconds plazo = 20s) {
        const auto fin = std::chrono::steady_clock::now() + plazo;
        ventana::win32::correrVentana(ventana, nullptr, [&] {
            return !condicion() && std::chrono::steady_clock::now() < fin;
        });
        return condicion();
    }
};

// A control's place in its window's client area, in pixels.
RECT lugar(HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

RECT twips(HWND ventana, int x, int y, int ancho, int alto) {
    auto px = [&](int t) { return ventana::win32::twipsAPixeles(t, ventana); };
    return {px(x), px(y), px(x) + px(ancho), px(y) + px(alto)};
}

bool igual(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool encima(HWND ventana) {
    return (::GetWindowLongW(ventana, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

std::vector<std::string> itemsDelMenu(HMENU menu) {
    std::vector<std::string> items;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        wchar_t texto[256] = {};
        ::GetMenuStringW(menu, static_cast<UINT>(i), texto, 256, MF_BYPOSITION);
        items.push_back(ventana::win32::utf8(texto));
    }
    return items;
}

TEST(VentanaWin32, ControlesTitulosYDatosTrasElArranque) {
    Sitio sitio;
    Cara cara(opciones(sitio.acceso, "servidor.central", 8080));
    ASSERT_TRUE(cara.ventana.cargar());
    HWND v = cara.ventana.hwnd();

    EXPECT_EQ(::FindWindowW(frmSincronizador::kClase, L"Sincronizador V3.0"), v);
    // The run at another scale says which (scripts/test-windows).
    if (const char* ppp = std::getenv("SINC_PPP_ESPERADOS")) {
        EXPECT_EQ(ventana::win32::puntosPorPulgada(v), std::atof(ppp));
    }
    RECT cliente{};
    ::GetClientRect(v, &cliente);
    EXPECT_TRUE(igual(cliente, twips(v, 0, 0, 8745, 8130)));
    EXPECT_NE(::SendMessageW(v, WM_GETICON, ICON_SMALL, 0), 0);

    EXPECT_EQ(cara.texto(frmSincronizador::Command1), "Pausar Reloj");
    EXPECT_TRUE(
        igual(lugar(cara.control(frmSincronizador::Command1)), twips(v, 5400, 120, 2535, 495)));
    HWND consola = cara.control(frmSincronizador::txtConsole);
    EXPECT_TRUE(igual(lugar(consola), twips(v, 120, 2400, 8175, 5295)));
    const LONG estilo = ::GetWindowLongW(consola, GWL_STYLE);
    EXPECT_TRUE(estilo & ES_READONLY);
    EXPECT_TRUE(estilo & ES_MULTILINE);
    EXPECT_TRUE(estilo & WS_VSCROLL);
    EXPECT_TRUE(
        igual(lugar(cara.control(frmSincronizador::lblState)), twips(v, 120, 7800, 8415, 255)));
    for (auto id : {frmSincronizador::pctError, frmSincronizador::pctOK,
                    frmSincronizador::pctConected, frmSincronizador::pctDisconected}) {
        const RECT r = lugar(cara.control(id));
        EXPECT_EQ(r.right - r.left, ventana::win32::twipsAPixeles(255, v)) << id;
        EXPECT_NE(::SendMessageW(cara.control(id), STM_GETICON, 0, 0), 0) << id;
    }
    EXPECT_EQ(cara.texto(frmSincronizador::lblDatos),
              "servidor.central\r\nPOST\r\n/sincronizador/\r\nBase de datos: " + sitio.base.ruta() +
                  "\r\n");
    EXPECT_NE(cara.texto(frmSincronizador::lblResumen).find("Servidor: "), std::string::npos);

    // The tray icon came up disconnected, its own tooltip kept.
    auto& bandeja = cara.ventana.SysTray();
    EXPECT_TRUE(bandeja.agregado());
    EXPECT_EQ(bandeja.TooltipText(), "Sincronizador Ombrel");
    EXPECT_EQ(bandeja.tooltipMostrado(), "Conectando");
    EXPECT_NE(bandeja.imagen(), nullptr);
    EXPECT_TRUE(cara.avisos.avisos.empty());
}

TEST(VentanaWin32, SinArchivoDeConfiguracionLoDiceYElBotonArrancaDespues) {
    Sitio sitio;
    const std::string ausente = sitio.acceso + "-no-existe";
    Cara cara(opciones(ausente, "127.0.0.1", prueba::puertoCerradoWinsock()));
    EXPECT_FALSE(cara.ventana.cargar());
    EXPECT_TRUE(
        cara.avisos.dijo("No se encuentra archivo de configuracion", AvisosFalsos::Icono::Ninguno));
    EXPECT_NE(cara.texto(frmSincronizador::txtConsole).find("No se encuentra la base de datos"),
              std::string::npos);
    EXPECT_EQ(cara.texto(frmSincronizador::Command1), "Reanudar Reloj");
    EXPECT_TRUE(cara.ventana.SysTray().agregado());
    HMENU menu = cara.ventana.crearMenu();
    EXPECT_EQ(itemsDelMenu(menu)[0], "No se encuentra la base de datos");
    ::DestroyMenu(menu);

    // The file mended, the button starts the cycle.
    std::filesystem::copy_file(sitio.acceso, ausente);
    ::SendMessageW(cara.control(frmSincronizador::Command1), BM_CLICK, 0, 0);
    EXPECT_EQ(cara.texto(frmSincronizador::Command1), "Pausar Reloj");
    EXPECT_TRUE(cara.esperar([&] { return cara.ventana.estadoIcono() == EstadoIcono::Error; }));
}

TEST(VentanaWin32, OtraInstanciaDelMismoArchivoSeAvisaYTermina) {
    Sitio sitio;
    ejecucion::win32::InstanciaMutex primera(sitio.acceso);
    ASSERT_EQ(primera.tomar(), ejecucion::win32::InstanciaMutex::Resultado::Tomada);
    AvisosFalsos avisos;
    EXPECT_EQ(ventana::win32::ejecutarConVentana(opciones(sitio.acceso, "127.0.0.1", 1), avisos),
              ejecucion::kSalidaOtraInstancia);
    EXPECT_TRUE(
        avisos.dijo("La Aplicación ya esta en ejecución", AvisosFalsos::Icono::Exclamacion));
}

// A TLS file the window cannot use is said in a box before the window
// comes up, and the face ends as the headless one does.
TEST(VentanaWin32, UnaAutoridadQueNoSePuedeLeerSeAvisaYTermina) {
    Sitio sitio;
    auto o = opciones(sitio.acceso, "localhost", 1);
    o.tlsServidor = true;
    o.autoridad = sitio.acceso + ".no-existe.pem";
    AvisosFalsos avisos;
    EXPECT_EQ(ventana::win32::ejecutarConVentana(o, avisos), ejecucion::kSalidaOpciones);
    ASSERT_EQ(avisos.avisos.size(), 1u);
    EXPECT_EQ(avisos.avisos[0].first.rfind("--ca: ", 0), 0u) << avisos.avisos[0].first;
    EXPECT_EQ(::FindWindowW(frmSincronizador::kClase, nullptr), nullptr);
}

TEST(VentanaWin32, PausarDosVecesVuelveAPausarReloj) {
    Sitio sitio;
    Cara cara(opciones(sitio.acceso, "127.0.0.1", prueba::puertoCerradoWinsock()));
    ASSERT_TRUE(cara.ventana.cargar());
    auto& motor = *cara.motor.sitio->motor;
    HWND boton = cara.control(frmSincronizador::Command1);
    ::SendMessageW(boton, BM_CLICK, 0, 0);
    EXPECT_EQ(cara.texto(frmSincronizador::Command1), "Reanudar Reloj");
    EXPECT_TRUE(motor.pausado());
    HMENU menu = cara.ventana.crearMenu();
    EXPECT_EQ(itemsDelMenu(menu)[3], "Reanudar Reloj");
    EXPECT_NE(itemsDelMenu(menu)[0].find("(en pausa)"), std::string::npos);
    ::DestroyMenu(menu);
    // The tray menu's item does the same as the button.
    ::SendMessageW(cara.ventana.hwnd(), WM_COMMAND, frmSincronizador::menuPausa, 0);
    EXPECT_EQ(cara.texto(frmSincronizador::Command1), "Pausar Reloj");
    EXPECT_FALSE(motor.pausado());
}

TEST(VentanaWin32, UnServidorSinContactoSeAvisaEnUnGloboNoEnUnaCaja) {
    Sitio sitio;
    Cara cara(opciones(sitio.acceso, "127.0.0.1", prueba::puertoCerradoWinsock()));
    cara.ventana.setLimiteSinServidor(0);
    std::vector<std::string> avisos;
    cara.ventana.notificado = [&](const std::string& texto) { avisos.push_back(texto); };
    ASSERT_TRUE(cara.ventana.cargar());
    // Past the limit the next reading of the site's state tells it, once.
    cara.esperar([] { return false; }, std::chrono::seconds(2));
    cara.ventana.refrescarResumen();
    cara.ventana.refrescarResumen();
    ASSERT_EQ(avisos.size(), 1u);
    EXPECT_EQ(avisos[0].rfind("Sin intercambio con el servidor desde el inicio", 0), 0u)
        << avisos[0];
    EXPECT_EQ(cara.ventana.SysTray().textoGlobo(), avisos[0]);
    EXPECT_EQ(cara.ventana.SysTray().tituloGlobo(), "Sincronizador");
    EXPECT_TRUE(cara.avisos.avisos.empty());
}

struct Desenlace {
    bool servidor;  // a loopback server answers; else the port is closed
    EstadoIcono estado;
    const char* tooltip;
    const char* enConsola;
};

class IntercambioWin32 : public ::testing::TestWithParam<Desenlace> {};

TEST_P(IntercambioWin32, LaBandejaYLaConsolaSiguenAlIntercambio) {
    const Desenlace d = GetParam();
    Sitio sitio;
    prueba::PeerWinsock servidor([](SOCKET s) {
        prueba::PeerWinsock::escribir(
            s, "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\ndato=[]\r\n");
    });
    Cara cara(opciones(sitio.acceso, "127.0.0.1",
                       d.servidor ? servidor.puerto() : prueba::puertoCerradoWinsock()));
    ASSERT_TRUE(cara.ventana.cargar());
    HICON inicial = cara.ventana.SysTray().imagen();
    ASSERT_TRUE(cara.esperar([&] { return cara.ventana.estadoIcono() == d.estado; }))
        << cara.texto(frmSincronizador::txtConsole);
    EXPECT_EQ(cara.ventana.SysTray().tooltipMostrado(), d.tooltip);
    EXPECT_NE(cara.ventana.SysTray().imagen(), inicial);
    EXPECT_NE(cara.ventana.todo.find(d.enConsola), std::string::npos) << cara.ventana.todo;
    // The newest line is in view: the caret at the end of the console.
    HWND consola = cara.control(frmSincronizador::txtConsole);
    DWORD fin = 0;
    ::SendMessageW(consola, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&fin));
    EXPECT_EQ(fin, static_cast<DWORD>(::GetWindowTextLengthW(consola)));
}

INSTANTIATE_TEST_SUITE_P(Desenlaces, IntercambioWin32,
                         ::testing::Values(Desenlace{true, EstadoIcono::Satisfactorio,
                                                     "Sincronizacion satisfactoria", "dato=[]"},
                                           Desenlace{false, EstadoIcono::Error, "Error de conexion",
                                                     "Error de conexion (10061)"}));

TEST(VentanaWin32, LaConsolaNoCreceSinLimite) {
    Sitio sitio;
    Cara cara(opciones(sitio.acceso, "127.0.0.1", 1));
    const std::string linea(1000, 'x');
    for (int i = 0; i < 1200; ++i) cara.ventana.escribir(std::to_string(i) + linea + "\r\n");
    const std::string texto = cara.texto(frmSincronizador::txtConsole);
    EXPECT_LE(texto.size(), static_cast<size_t>(frmSincronizador::kMaximoConsola));
    EXPECT_NE(texto.find("1199" + linea + "\r\n"), std::string::npos);
    EXPECT_EQ(texto.find("\r\n0xxx"), std::string::npos);
}

TEST(VentanaWin32, ClicEnLaBandejaAbreElSoporteEnLaEsquinaSinFoco) {
    Sitio sitio;
    Cara cara(opciones(sitio.acceso, "127.0.0.1", 1));
    ASSERT_TRUE(cara.ventana.cargar());
    HWND v = cara.ventana.hwnd();
    ::ShowWindow(v, SW_SHOW);
    ::SetForegroundWindow(v);
    // A mouse move over the window is no click on the icon, whatever its
    // coordinates read as.
    ::SendMessageW(v, WM_MOUSEMOVE, 0, WM_LBUTTONDOWN);
    EXPECT_EQ(cara.ventana.ventanaMensajes(), nullptr);

    ::SendMessageW(v, ventana::win32::clsSystray::kMensaje, ventana::win32::clsSystray::kId,
                   WM_LBUTTONDOWN);
    frmMsg* soporte = cara.ventana.ventanaMensajes();
    ASSERT_NE(soporte, nullptr);
    HWND m = soporte->hwnd();
    EXPECT_TRUE(::IsWindowVisible(m));
    EXPECT_TRUE(encima(m));
    EXPECT_NE(::GetForegroundWindow(), m);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(m, MONITOR_DEFAULTTOPRIMARY), &monitor);
    RECT r{};
    ::GetWindowRect(m, &r);
    EXPECT_EQ(r.bottom, monitor.rcWork.bottom);
    EXPECT_EQ(r.right, monitor.rcWork.right - ventana::win32::twipsAPixeles(200, m));

    // The menu's last item ends the program: the icon goes.
    EXPECT_EQ(itemsDelMenu(cara.ventana.crearMenu()),
              (std::vector<std::string>{itemsDelMenu(cara.ventana.crearMenu())[0], "", "Abrir",
                                        "Pausar Reloj", "Soporte", "", "Salir"}));
    bool cerrado = false;
    cara.ventana.cerrado = [&] { cerrado = true; };
    ::SendMessageW(v, WM_COMMAND, frmSincronizador::menuSalir, 0);
    EXPECT_TRUE(cara.esperar([&] { return cerrado; }));
    EXPECT_FALSE(cara.ventana.SysTray().agregado());
    EXPECT_FALSE(::IsWindowVisible(m));
}

// The support window on its own, as the main window makes it.
struct Soporte {
    Sitio sitio;
    AvisosFalsos avisos;
    frmMsg ventana{std::make_unique<ejecucion::Mensajeria>(sitio.acceso), avisos};
    HWND control(frmMsg::Control id) const { return ventana.control(id); }
    std::string fila(int i) const {
        HWND rejilla = control(frmMsg::msgListaMensajes);
        std::wstring t(static_cast<size_t>(::SendMessageW(rejilla, LB_GETTEXTLEN, i, 0)) + 1, 0);
        t.resize(static_cast<size_t>(
            ::SendMessageW(rejilla, LB_GETTEXT, i, reinterpret_cast<LPARAM>(t.data()))));
        return ventana::win32::utf8(t);
    }
    int filas() const {
        return static_cast<int>(
            ::SendMessageW(control(frmMsg::msgListaMensajes), LB_GETCOUNT, 0, 0));
    }
    // Runs the messages (the chat's timer among them) until `condicion`.
    bool esperar(const std::function<bool()>& condicion, std::chrono::seconds plazo = 10s) {
        const auto fin = std::chrono::steady_clock::now() + plazo;
        while (!condicion() && std::chrono::steady_clock::now() < fin) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            MSG m;
            while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&m);
        }
        return condicion();
    }
};

class RejillaWin32 : public ::testing::TestWithParam<int> {};

TEST_P(RejillaWin32, MuestraLosQuinceMasNuevosTresFilasCadaUnoYBajaAlFinal) {
    const int mensajes = GetParam();
    Soporte s;
    for (int i = 1; i <= mensajes; ++i) s.sitio.llega("mensaje " + std::to_string(i));
    s.ventana.cargar();
    ::ShowWindow(s.ventana.hwnd(), SW_HIDE);
    s.ventana.refrescarMensajes();
    const int mostrados = std::min(mensajes, 15);
    ASSERT_EQ(s.filas(), 3 * mostrados);
    EXPECT_EQ(s.ventana.reconstrucciones(), mensajes > 0 ? 1 : 0);
    // Nothing to show leaves a hidden window hidden; a message brings it.
    EXPECT_EQ(::IsWindowVisible(s.ventana.hwnd()) != FALSE, mensajes > 0);
    if (mensajes == 0) return;
    EXPECT_EQ(s.fila(0).rfind("SOPORTE  ", 0), 0u) << s.fila(0);
    EXPECT_EQ(s.fila(1), "mensaje " + std::to_string(mensajes - mostrados + 1));
    EXPECT_EQ(s.fila(2), std::string(126, '-'));
    EXPECT_EQ(s.fila(3 * mostrados - 2), "mensaje " + std::to_string(mensajes));
    HWND rejilla = s.control(frmMsg::msgListaMensajes);
    EXPECT_GE(::SendMessageW(rejilla, LB_GETITEMHEIGHT, 1, 0),
              ventana::win32::twipsAPixeles(frmMsg::kAltoTexto, rejilla));
    // Scrolled to the end: the last row is in view.
    RECT cliente{}, ultima{};
    ::GetClientRect(rejilla, &cliente);
    ::SendMessageW(rejilla, LB_GETITEMRECT, static_cast<WPARAM>(s.filas() - 1),
                   reinterpret_cast<LPARAM>(&ultima));
    EXPECT_GT(ultima.bottom, cliente.top);
    EXPECT_LE(ultima.top, cliente.bottom);
}

INSTANTIATE_TEST_SUITE_P(Mensajes, RejillaWin32, ::testing::Values(0, 1, 20));

TEST(SoporteWin32, MensajeNuevoTraeLaVentanaSinQuitarElFoco) {
    Soporte s;
    s.sitio.llega("primero");
    s.ventana.cargar();
    s.ventana.refrescarMensajes();
    ::ShowWindow(s.ventana.hwnd(), SW_HIDE);
    // Someone types in another window.
    HWND otra = ::CreateWindowExW(0, L"EDIT", L"otra", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                                  200, nullptr, nullptr, nullptr, nullptr);
    ::SetForegroundWindow(otra);
    ::SetFocus(otra);
    ASSERT_TRUE(s.esperar([&] { return ::GetForegroundWindow() == otra; }));

    // Nothing new: no rebuild, the window stays hidden.
    s.esperar([] { return false; }, std::chrono::seconds(1));
    EXPECT_EQ(s.ventana.reconstrucciones(), 1);
    EXPECT_FALSE(::IsWindowVisible(s.ventana.hwnd()));

    s.sitio.llega("segundo");
    ASSERT_TRUE(s.esperar([&] { return ::IsWindowVisible(s.ventana.hwnd()) != FALSE; }));
    EXPECT_EQ(s.ventana.reconstrucciones(), 2);
    EXPECT_EQ(s.fila(s.filas() - 2), "segundo");
    EXPECT_TRUE(encima(s.ventana.hwnd()));
    EXPECT_EQ(::GetForegroundWindow(), otra);
    EXPECT_EQ(::GetFocus(), otra);

    // Going to the chat box puts it back among the other windows.
    ::SendMessageW(s.ventana.hwnd(), WM_COMMAND, MAKEWPARAM(frmMsg::txtMensaje, EN_SETFOCUS),
                   reinterpret_cast<LPARAM>(s.control(frmMsg::txtMensaje)));
    EXPECT_FALSE(encima(s.ventana.hwnd()));
    EXPECT_TRUE(::IsWindowVisible(s.ventana.hwnd()));
    ::DestroyWindow(otra);
}

TEST(SoporteWin32, PestanasEnviarConBotonYConEnterYLaSolicitud) {
    Soporte s;
    s.ventana.cargar();
    EXPECT_EQ(textoDe(s.ventana.hwnd()), "sincronizador Ombrel v. 3.0.0");
    HWND tabs = s.control(frmMsg::tabMensajes);
    ASSERT_EQ(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    for (int i = 0; i < 2; ++i) {
        wchar_t texto[64] = {};
        TCITEMW p{};
        p.mask = TCIF_TEXT;
        p.pszText = texto;
        p.cchTextMax = 64;
        ::SendMessageW(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&p));
        EXPECT_EQ(ventana::win32::utf8(texto), i == 0 ? "Mensajeria " : "Soporte Tecnico");
    }
    EXPECT_EQ(textoDe(s.control(frmMsg::cmdEnviar)), "Enviar");

    // An empty text sends nothing; one by the button, one by Enter.
    HWND caja = s.control(frmMsg::txtMensaje);
    ::SendMessageW(s.control(frmMsg::cmdEnviar), BM_CLICK, 0, 0);
    EXPECT_EQ(s.sitio.contar("MENSAJE"), 0);
    ::SetWindowTextW(caja, L"hola, soporte");
    ::SendMessageW(s.control(frmMsg::cmdEnviar), BM_CLICK, 0, 0);
    ::SetWindowTextW(caja, L"¿siguen ahí?");
    ::SendMessageW(caja, WM_CHAR, L'\r', 0);
    EXPECT_EQ(s.sitio.contar("MENSAJE WHERE origen = 'LOCAL' AND destino = 'SERVIDOR'"), 2);
    EXPECT_EQ(s.sitio.contar("COMUNICACIONES WHERE Tabla = 14"), 2);
    EXPECT_EQ(textoDe(caja), "");
    EXPECT_EQ(s.fila(s.filas() - 2), "¿siguen ahí?");

    // The support tab: an empty request is refused, a filled one queued.
    s.ventana.mostrarPestana(1);
    EXPECT_TRUE(::IsWindowVisible(s.control(frmMsg::txtMensajeSoporte)));
    EXPECT_FALSE(::IsWindowVisible(caja));
    EXPECT_EQ(textoDe(s.control(frmMsg::lblDuda)), "* Duda o comentario (Obligatorio)");
    ::SendMessageW(s.control(frmMsg::cmdEnviarSoporte), BM_CLICK, 0, 0);
    EXPECT_TRUE(s.avisos.dijo("Debes escribir un mensaje", AvisosFalsos::Icono::Exclamacion));
    ::SetWindowTextW(s.control(frmMsg::txtNombre), L"Ana");
    ::SetWindowTextW(s.control(frmMsg::txtMensajeSoporte), L"No imprime la factura");
    ::SetWindowTextW(s.control(frmMsg::txtTelefono), L"3001234567");
    ::SendMessageW(s.control(frmMsg::cmdEnviarSoporte), BM_CLICK, 0, 0);
    EXPECT_TRUE(s.avisos.dijo("Tu mensaje ha sido enviado", AvisosFalsos::Icono::Informacion));
    EXPECT_EQ(s.sitio.contar("COMUNICACIONES WHERE Servicio = 4 AND Tabla = 20 AND Campo1 = 'Ana' "
                             "AND Campo2 = 'No imprime la factura' AND Campo4 = '3001234567'"),
              1);
    EXPECT_EQ(textoDe(s.control(frmMsg::txtMensajeSoporte)), "");
}

}  // namespace
