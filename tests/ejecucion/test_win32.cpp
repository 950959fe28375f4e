// The Windows runtime's adapters on the real system (under wine here): the
// Winsock socket against loopback peers, its TLS session against the
// reference server and against peers that break the handshake, the
// named-mutex single instance, the stop request ending the loop, and the
// headless face put together.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
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

// ------------------------------------------------------------------ TLS

// The TLS peers scripts/pares-tls started for these tests (the reference
// server with a certificate each), in a folder of the host that wine shows
// as drive Z:.
struct ParesTls {
    static std::string ruta(const std::string& archivo) {
        std::string r = std::string("Z:") + SINC_PARES_TLS + "/" + archivo;
        for (char& c : r)
            if (c == '/') c = '\\';
        return r;
    }
    static std::string leer(const std::string& archivo) {
        std::ifstream entrada(ruta(archivo), std::ios::binary);
        std::ostringstream texto;
        texto << entrada.rdbuf();
        return texto.str();
    }
    // The port of a peer: "propio" (signed by the private authority),
    // "ajeno" (an unknown authority's), "otro" (for another name).
    static uint16_t puerto(const std::string& par) {
        const std::string texto = leer(par + ".puerto");
        if (texto.empty()) ADD_FAILURE() << "no TLS peer " << par << ": run through ctest";
        return static_cast<uint16_t>(std::atoi(texto.c_str()));
    }
    static std::string autoridad() { return ruta("autoridad.crt"); }
    // How many requests of a service the peer has answered.
    static int peticiones(const std::string& par, const std::string& servicio) {
        std::istringstream log(leer(par + ".log"));
        int n = 0;
        for (std::string linea; std::getline(log, linea);) n += linea.rfind(servicio + " ", 0) == 0;
        return n;
    }
};

// An exchange with a TLS peer, trusting the private authority or not.
struct IntercambioTls : Intercambio {
    IntercambioTls(uint16_t puerto, bool conAutoridad, const std::string& host = "localhost")
        : Intercambio(puerto, host) {
        socket.destinoTls(host, puerto);
        std::string error;
        if (conAutoridad) {
            EXPECT_TRUE(socket.autoridad(ParesTls::autoridad(), error)) << error;
        }
    }
};

TEST(CanalTls, UnIntercambioConLaAutoridadPropia) {
    IntercambioTls i(ParesTls::puerto("propio"), true);
    i.motor->solicitarDatos();
    ASSERT_TRUE(i.esperar([&] { return i.estadoFinal(EstadoIcono::Satisfactorio); }))
        << i.consola.todo;
    EXPECT_NE(i.consola.todo.find("Conectado, enviando datos..."), std::string::npos);
    EXPECT_NE(i.consola.todo.find(" 200 OK"), std::string::npos) << i.consola.todo;
    EXPECT_NE(i.consola.todo.find("dato="), std::string::npos) << i.consola.todo;
    EXPECT_EQ(i.base.veces("setComunicacion"), 1);
    EXPECT_FALSE(i.motor->ocupado());

    // A request of many TLS records (well over one record's 16 KiB) reaches
    // the peer whole: it answers it.
    const int antes = ParesTls::peticiones("propio", "setData");
    i.motor->enviarDatos("[" + std::string(200 * 1024, ' ') + "]");
    const size_t respuestas = i.bandeja.estados.size();
    ASSERT_TRUE(i.esperar([&] {
        return i.bandeja.estados.size() > respuestas + 1 && !i.motor->ocupado();
    })) << i.consola.todo;
    EXPECT_TRUE(i.estadoFinal(EstadoIcono::Satisfactorio)) << i.consola.todo;
    EXPECT_EQ(ParesTls::peticiones("propio", "setData"), antes + 1);
}

TEST(CanalTls, UnArchivoDeAutoridadSinCertificadoSeRechaza) {
    ejecucion::win32::SocketWinsock socket;
    std::string error;
    EXPECT_FALSE(socket.autoridad(ParesTls::ruta("autoridad.key"), error));
    EXPECT_NE(error.find("no PEM certificate"), std::string::npos) << error;
    EXPECT_FALSE(socket.autoridad(ParesTls::ruta("no-existe.crt"), error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos) << error;
}

// A certificate the program cannot trust: the connection fails with a line
// that says why, and the peer is sent nothing (no request reaches it).
struct CasoCertificado {
    std::string nombre;
    std::string par;
    bool conAutoridad;
    std::string motivo;
};

// Named in the test list by its name alone.
void PrintTo(const CasoCertificado& caso, std::ostream* salida) {
    *salida << caso.nombre;
}

class CertificadoRechazado : public testing::TestWithParam<CasoCertificado> {};

TEST_P(CertificadoRechazado, EsUnaConexionFallidaSinNadaEnviado) {
    const CasoCertificado& caso = GetParam();
    const uint16_t puerto = ParesTls::puerto(caso.par);
    const int antes = ParesTls::peticiones(caso.par, "getData");
    IntercambioTls i(puerto, caso.conAutoridad);
    i.motor->solicitarDatos();
    ASSERT_TRUE(i.esperar([&] { return i.estadoFinal(EstadoIcono::Error); })) << i.consola.todo;
    EXPECT_NE(i.consola.todo.find("Error de conexion (12175): Certificado no valido de localhost:" +
                                  std::to_string(puerto) + ": " + caso.motivo),
              std::string::npos)
        << i.consola.todo;
    EXPECT_EQ(i.consola.todo.find("Conectado, enviando datos"), std::string::npos);
    EXPECT_FALSE(i.motor->ocupado());
    EXPECT_EQ(i.base.veces("setComunicacion"), 0);
    // Had the request gone, the peer would have answered it by now.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(ParesTls::peticiones(caso.par, "getData"), antes);
}

INSTANTIATE_TEST_SUITE_P(
    CanalTls, CertificadoRechazado,
    testing::Values(
        // Without the authority its chain stops short of any trusted one.
        CasoCertificado{"SinLaAutoridadPropia", "propio", false,
                        "the certificate does not chain to a trusted authority"},
        CasoCertificado{"DeOtraAutoridad", "ajeno", true,
                        "the certificate's authority is not trusted"},
        CasoCertificado{"ParaOtroNombre", "otro", true,
                        "the certificate is not for the name localhost"}),
    [](const testing::TestParamInfo<CasoCertificado>& info) { return info.param.nombre; });

// Peers that break the handshake: each is a failed connection, reported at
// once (no wait for the cycle's time-out), and the engine is free again.
struct CasoSaludo {
    std::string nombre;
    std::function<void(SOCKET)> par;
};

void PrintTo(const CasoSaludo& caso, std::ostream* salida) {
    *salida << caso.nombre;
}

class SaludoRoto : public testing::TestWithParam<CasoSaludo> {};

TEST_P(SaludoRoto, EsUnaConexionFallida) {
    PeerWinsock peer(GetParam().par, false);
    IntercambioTls i(peer.puerto(), true, "127.0.0.1");
    const auto inicio = std::chrono::steady_clock::now();
    i.motor->solicitarDatos();
    ASSERT_TRUE(i.esperar([&] { return i.estadoFinal(EstadoIcono::Error); })) << i.consola.todo;
    EXPECT_LT(std::chrono::steady_clock::now() - inicio, 10s);
    EXPECT_NE(i.consola.todo.find("Error de conexion (12175): Fallo el saludo TLS con 127.0.0.1:" +
                                  std::to_string(peer.puerto()) + ": "),
              std::string::npos)
        << i.consola.todo;
    EXPECT_EQ(i.consola.todo.find("Conectado, enviando datos"), std::string::npos);
    EXPECT_FALSE(i.motor->ocupado());
    EXPECT_EQ(i.base.veces("setComunicacion"), 0);
}

// Reads the client's hello (its first piece).
void leerSaludo(SOCKET s) {
    char bufer[4096];
    ::recv(s, bufer, sizeof bufer, 0);
}

INSTANTIATE_TEST_SUITE_P(
    CanalTls, SaludoRoto,
    testing::Values(CasoSaludo{"UnParQueContestaSinTls",
                               [](SOCKET s) {
                                   leerSaludo(s);
                                   PeerWinsock::escribir(
                                       s, "HTTP/1.0 400 Bad Request\r\n\r\nno TLS here\r\n");
                               }},
                    CasoSaludo{"UnParQueCierraTrasElSaludo", [](SOCKET s) { leerSaludo(s); }},
                    CasoSaludo{"UnParQueCierraAMitadDeUnRegistro",
                               [](SOCKET s) {
                                   leerSaludo(s);
                                   // A handshake record's header announcing 80 bytes,
                                   // and only 6 of them.
                                   PeerWinsock::escribir(
                                       s, std::string(
                                              "\x16\x03\x03\x00\x50\x02\x00\x00\x4c\x03\x03", 11));
                               }}),
    [](const testing::TestParamInfo<CasoSaludo>& info) { return info.param.nombre; });

// A peer that takes the hello and then says nothing: the handshake's wait
// ends with the engine's connection time-out, and the socket is closed.
TEST(CanalTls, UnParQueCallaTrasElSaludoAgotaElTiempoDeConexion) {
    PeerWinsock peer(
        [](SOCKET s) {
            leerSaludo(s);
            char bufer[256];
            while (::recv(s, bufer, sizeof bufer, 0) > 0) {
            }
        },
        false);
    IntercambioTls i(peer.puerto(), true, "127.0.0.1");
    i.motor->solicitarDatos();
    // The engine's ticks count the wait.
    ASSERT_TRUE(i.esperar([&] {
        i.motor->tick();
        return i.estadoFinal(EstadoIcono::Error);
    })) << i.consola.todo;
    EXPECT_NE(i.consola.todo.find("Tiempo de conexion agotado"), std::string::npos)
        << i.consola.todo;
    EXPECT_EQ(i.consola.todo.find("Conectado, enviando datos"), std::string::npos);
    EXPECT_FALSE(i.motor->ocupado());
    EXPECT_EQ(i.socket.estado(), 0);
}

// A server that asks for the sites' certificates serves the site that
// presents its own (its key as PKCS#8 or as PKCS#1), and refuses the one
// that presents none.
TEST(CanalTls, UnServidorQuePideCertificadoAtiendeAlSitioConElSuyo) {
    for (const std::string clave : {"sitio.key", "sitio-rsa.key"}) {
        SCOPED_TRACE(clave);
        IntercambioTls i(ParesTls::puerto("sitios"), true);
        std::string error;
        ASSERT_TRUE(
            i.socket.certificadoPropio(ParesTls::ruta("sitio.crt"), ParesTls::ruta(clave), error))
            << error;
        i.motor->solicitarDatos();
        ASSERT_TRUE(i.esperar([&] { return i.estadoFinal(EstadoIcono::Satisfactorio); }))
            << i.consola.todo;
        EXPECT_NE(i.consola.todo.find(" 200 OK"), std::string::npos) << i.consola.todo;
        EXPECT_EQ(i.base.veces("setComunicacion"), 1);
    }
    IntercambioTls sin(ParesTls::puerto("sitios"), true);
    sin.motor->solicitarDatos();
    ASSERT_TRUE(sin.esperar([&] {
        return !sin.motor->ocupado() && sin.bandeja.estados.size() > 1;
    })) << sin.consola.todo;
    EXPECT_NE(sin.consola.todo.find("Certificado de sitio no valido"), std::string::npos)
        << sin.consola.todo;
    EXPECT_EQ(sin.base.veces("setComunicacion"), 0);
}

// Files that cannot serve as the site's certificate are refused when read,
// with the reason.
TEST(CanalTls, UnCertificadoPropioInutilSeRechazaAlLeerlo) {
    struct Caso {
        std::string certificado, clave, motivo;
    };
    for (const Caso& caso : {Caso{"sitio.key", "sitio.key", "no PEM certificate"},
                             Caso{"sitio.crt", "sitio.crt", "no unencrypted PEM private key"},
                             Caso{"sitio.crt", "no-existe.key", "cannot be read"},
                             Caso{"sitio.crt", "ajeno.key", "is not the key of"}}) {
        SCOPED_TRACE(caso.certificado + " " + caso.clave);
        ejecucion::win32::SocketWinsock socket;
        std::string error;
        EXPECT_FALSE(socket.certificadoPropio(ParesTls::ruta(caso.certificado),
                                              ParesTls::ruta(caso.clave), error));
        EXPECT_NE(error.find(caso.motivo), std::string::npos) << error;
    }
}

// The headless face takes the site's certificate, and stops at once, with
// its reason, on files that cannot serve as one.
TEST(SinVentanaWin32, UnCertificadoDeSitioInutilDetieneElPrograma) {
    ejecucion::OpcionesEjecucion opciones;
    opciones.acceso = "Acceso";
    opciones.tlsServidor = true;
    opciones.certificado = ParesTls::ruta("sitio.crt");
    opciones.clave = ParesTls::ruta("ajeno.key");
    HANDLE nunca = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    testing::internal::CaptureStderr();
    const int codigo = ejecucion::win32::correrSinVentana(opciones, nunca);
    const std::string errores = testing::internal::GetCapturedStderr();
    ::CloseHandle(nunca);
    EXPECT_EQ(codigo, ejecucion::kSalidaOpciones);
    EXPECT_NE(errores.find("sincronizador: --certificado: the key of"), std::string::npos)
        << errores;
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
