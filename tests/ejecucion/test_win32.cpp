// The Windows runtime's adapters on the real system (under wine here): the
// Winsock socket against loopback peers, the named-mutex single instance,
// the stop request ending the loop, and the headless face put together.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "ejecucion/Salidas.h"
#include "ejecucion/win32/Bucle.h"
#include "ejecucion/win32/Detencion.h"
#include "ejecucion/win32/InstanciaMutex.h"
#include "ejecucion/win32/SinVentanaWin32.h"
#include "ejecucion/win32/SocketWinsock.h"
#include "sincronizador/Motor.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/Falsos.h"
#include "soporte/PeerWinsock.h"

namespace {

using sincronizador::EstadoIcono;
using namespace std::chrono_literals;
using prueba::PeerWinsock;

// A path as the program takes it: UTF-8.
std::string utf8(const std::filesystem::path& ruta) {
    const std::u8string texto = ruta.u8string();
    return {texto.begin(), texto.end()};
}

// The engine with fakes of everything but the Winsock socket, run by the
// loop until a condition holds (or a generous deadline passes).
struct Intercambio {
    prueba::ConsolaFalsa consola;
    prueba::BandejaFalsa bandeja;
    prueba::BaseFalsa base;
    prueba::RelojFijo reloj;
    comun::BitacoraNula bitacora;
    ejecucion::win32::SocketWinsock socket;
    std::unique_ptr<sincronizador::Motor> motor;

    explicit Intercambio(uint16_t puerto, const std::string& host = "127.0.0.1") {
        sincronizador::Configuracion c;
        c.hostServidor = host;
        c.puertoServidor = puerto;
        c.intervaloMs = 20;
        motor = std::make_unique<sincronizador::Motor>(c, base, nullptr, consola, bandeja, socket,
                                                       reloj, bitacora);
        socket.motor(motor.get());
    }
    ~Intercambio() { socket.motor(nullptr); }

    bool esperar(const std::function<bool()>& condicion, std::chrono::seconds plazo = 20s) {
        const auto fin = std::chrono::steady_clock::now() + plazo;
        HANDLE nunca = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        bool visto = false;
        ejecucion::win32::correrBucle(socket, nunca, 20, [&] {
            visto = condicion();
            return !visto && std::chrono::steady_clock::now() < fin;
        });
        ::CloseHandle(nunca);
        return visto;
    }
    bool estadoFinal(EstadoIcono e) const {
        return !bandeja.estados.empty() && bandeja.ultimo() == e;
    }
};

TEST(SocketWinsock, UnaConexionRechazadaDaElNumeroDeWinsock) {
    Intercambio i(prueba::puertoCerradoWinsock());
    i.motor->solicitarDatos();
    ASSERT_TRUE(i.esperar([&] { return i.estadoFinal(EstadoIcono::Error); })) << i.consola.todo;
    EXPECT_NE(i.consola.todo.find("Error de conexion (10061): Connection is forcefully rejected"),
              std::string::npos)
        << i.consola.todo;
    EXPECT_FALSE(i.motor->ocupado());
    EXPECT_EQ(i.socket.estado(), 0);
}

TEST(SocketWinsock, UnaRespuestaEnTrozosSeManejaEnteraAlCerrarElPar) {
    PeerWinsock peer([](SOCKET s) {
        PeerWinsock::escribir(s, "HTTP/1.0 200 OK\r\n");
        std::this_thread::sleep_for(50ms);
        PeerWinsock::escribir(s, "Content-Type: text/html\r\n\r\ndato=[]\r\n");
    });
    Intercambio i(peer.puerto());
    i.motor->solicitarDatos();
    ASSERT_TRUE(i.esperar([&] { return i.estadoFinal(EstadoIcono::Satisfactorio); }))
        << i.consola.todo;
    EXPECT_NE(i.consola.todo.find("Conectado, enviando datos..."), std::string::npos);
    EXPECT_NE(i.consola.todo.find("Respuesta: "), std::string::npos);
    EXPECT_NE(i.consola.todo.find("dato=[]"), std::string::npos);
    EXPECT_EQ(i.base.veces("setComunicacion"), 1);
    EXPECT_FALSE(i.motor->ocupado());
    EXPECT_EQ(peer.peticiones, 1);
}

// Whether this runs under wine rather than on Windows itself.
bool bajoWine() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

TEST(SocketWinsock, UnaConexionRestablecidaPorElParEsUnError) {
    // Windows reports a reset in the close event (WSAECONNRESET); wine
    // reports it as an orderly close, so only Windows itself can run this.
    if (bajoWine()) GTEST_SKIP() << "wine reports a reset by the peer as an orderly close";
    PeerWinsock peer([](SOCKET s) {
        PeerWinsock::escribir(s, "HTTP/1.0 200 OK\r\n\r\ndato=[{\"Id\":");
        // SO_LINGER with no time: the close sends a reset.
        linger l{1, 0};
        ::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    });
    Intercambio i(peer.puerto());
    i.motor->solicitarDatos();
    ASSERT_TRUE(i.esperar([&] { return i.estadoFinal(EstadoIcono::Error); })) << i.consola.todo;
    EXPECT_NE(i.consola.todo.find("Error de conexion (10054)"), std::string::npos)
        << i.consola.todo;
    // The cut answer is not taken for a whole one.
    EXPECT_EQ(i.base.veces("setComunicacion"), 0);
    EXPECT_EQ(i.consola.todo.find("Respuesta: "), std::string::npos);
}

TEST(SocketWinsock, UnNombreQueNoSeResuelveEsUnErrorDeConexion) {
    Intercambio i(80, "nombre-que-no-existe.invalid");
    i.motor->solicitarDatos();
    ASSERT_TRUE(i.esperar([&] { return i.estadoFinal(EstadoIcono::Error); })) << i.consola.todo;
    // Winsock's "host not found" (11001), or "no data" / "try again" where
    // the resolver cannot be reached.
    EXPECT_NE(i.consola.todo.find("Error de conexion (1100"), std::string::npos) << i.consola.todo;
    EXPECT_FALSE(i.motor->ocupado());
}

TEST(InstanciaMutex, UnaPorArchivoDeConfiguracionComoSeEscribaSuRuta) {
    const auto carpeta = std::filesystem::temp_directory_path() / "sinc-mutex-año";
    std::filesystem::create_directories(carpeta);
    const std::string a = utf8(carpeta / "Acceso");
    const std::string b = utf8(carpeta / "Otro");
    using R = ejecucion::win32::InstanciaMutex::Resultado;
    {
        ejecucion::win32::InstanciaMutex primera(a), otra(b);
        ASSERT_EQ(primera.tomar(), R::Tomada) << primera.explicar(R::SinBloqueo);
        EXPECT_EQ(otra.tomar(), R::Tomada);
        // The same file by another spelling: letter case, "/" for "\".
        std::string mayusculas = a;
        for (char& c : mayusculas)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        std::string barras = a;
        for (char& c : barras)
            if (c == '\\') c = '/';
        for (const std::string& ruta : {a, mayusculas, barras}) {
            ejecucion::win32::InstanciaMutex segunda(ruta);
            EXPECT_EQ(segunda.tomar(), R::EnEjecucion) << ruta;
            EXPECT_EQ(segunda.explicar(R::EnEjecucion), "La Aplicación ya esta en ejecución");
        }
    }
    // Released with its holder: a new instance starts.
    ejecucion::win32::InstanciaMutex nueva(a);
    EXPECT_EQ(nueva.tomar(), R::Tomada);
    std::filesystem::remove_all(carpeta);
}

TEST(Detencion, UnaPeticionDeParadaTerminaElBucleEntreDosTicks) {
    auto& detencion = ejecucion::win32::Detencion::proceso();
    detencion.olvidar();
    ejecucion::win32::SocketWinsock socket;
    int ticks = 0;
    std::thread otro([&] {
        std::this_thread::sleep_for(200ms);
        detencion.pedir();
    });
    const auto inicio = std::chrono::steady_clock::now();
    ejecucion::win32::correrBucle(socket, detencion.evento(), 10, [&] {
        ++ticks;
        return std::chrono::steady_clock::now() - inicio < 60s;
    });
    otro.join();
    EXPECT_TRUE(detencion.pedida());
    EXPECT_GT(ticks, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - inicio, 30s);
    // Ctrl+C at the console is the same request.
    detencion.olvidar();
    EXPECT_TRUE(ejecucion::win32::Detencion::alEventoConsola(CTRL_C_EVENT));
    EXPECT_TRUE(detencion.pedida());
    detencion.olvidar();
}

// The headless face put together on a real site in a folder whose name
// the ANSI code page cannot spell ("ñ"): the configuration file and the
// database are found; a second run on the same configuration file is
// refused while the first runs, and a stop request ends the first cleanly.
TEST(SinVentanaWin32, UnaSegundaInstanciaSeRechazaYUnaParadaTerminaLaPrimera) {
    prueba::BaseDePrueba base;
    const auto carpeta = std::filesystem::temp_directory_path() /
                         ("sinc-sede-año-" + std::to_string(::GetCurrentProcessId()));
    std::filesystem::create_directories(carpeta);
    const auto copia = carpeta / "sitio.db";
    std::filesystem::copy_file(base.ruta(), copia,
                               std::filesystem::copy_options::overwrite_existing);
    const auto acceso = carpeta / "Acceso";
    std::ofstream(acceso) << utf8(copia) << "\r\n";
    ejecucion::OpcionesEjecucion opciones;
    opciones.acceso = utf8(acceso);
    opciones.hostServidor = opciones.hostQuiralte = "127.0.0.1";
    opciones.puertoServidor = opciones.puertoQuiralte = prueba::puertoCerradoWinsock();
    opciones.intervaloMs = 20;

    HANDLE detener = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE nunca = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    testing::internal::CaptureStderr();
    int primera = -1;
    std::thread hilo([&] { primera = ejecucion::win32::correrSinVentana(opciones, detener); });
    // The second starts once the first holds the instance (its mutex
    // exists: opened, never made here).
    const std::wstring nombre = ejecucion::win32::nombreDeInstancia(opciones.acceso);
    int segunda = 0;
    for (int intento = 0; intento < 400; ++intento) {
        std::this_thread::sleep_for(50ms);
        if (HANDLE m = ::OpenMutexW(SYNCHRONIZE, FALSE, nombre.c_str())) {
            ::CloseHandle(m);
            segunda = ejecucion::win32::correrSinVentana(opciones, nunca);
            break;
        }
    }
    ::SetEvent(detener);
    hilo.join();
    const std::string errores = testing::internal::GetCapturedStderr();
    EXPECT_EQ(segunda, ejecucion::kSalidaOtraInstancia) << errores;
    EXPECT_NE(errores.find("La Aplicación ya esta en ejecución"), std::string::npos) << errores;
    EXPECT_EQ(primera, 0) << errores;
    EXPECT_EQ(errores.find("No se encuentra"), std::string::npos) << errores;
    ::CloseHandle(detener);
    ::CloseHandle(nunca);
    std::filesystem::remove_all(carpeta);
}

}  // namespace
