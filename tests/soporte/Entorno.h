// The pieces the end-to-end tests are made of: the real programs run as
// child processes, site databases made and read through the program's own
// subcommands, and small peers on loopback (scripted, slow or
// misbehaving).
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "soporte/Falla.h"

namespace prueba {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The folder of the built programs.
fs::path carpetaBinarios();

// A fresh folder under the system's temporary folder, removed with the
// object.
class CarpetaTemporal {
  public:
    CarpetaTemporal();
    ~CarpetaTemporal();
    CarpetaTemporal(const CarpetaTemporal&) = delete;
    CarpetaTemporal& operator=(const CarpetaTemporal&) = delete;
    const fs::path& ruta() const { return ruta_; }

  private:
    fs::path ruta_;
};

struct Resultado {
    // Exit code; 128 + the signal number when a signal ended it; -1 when it
    // did not end in time (it was then killed).
    int codigo = -1;
    std::string salida;
};

// A child process whose standard output and error go to one log file. The
// child dies with the test process, and the destructor kills it if it is
// still running, so no test leaves a process behind.
class Proceso {
  public:
    Proceso(const std::vector<std::string>& argumentos, fs::path bitacora);
    ~Proceso();
    Proceso(const Proceso&) = delete;
    Proceso& operator=(const Proceso&) = delete;

    // Waits for the end within `limite`; nullopt (and the child killed) if
    // it did not end in time.
    std::optional<int> esperar(std::chrono::milliseconds limite);
    // SIGTERM, a bounded wait, then SIGKILL. Returns the exit code.
    std::optional<int> detener(std::chrono::milliseconds limite = 5s);
    bool vivo();
    std::string salida() const;
    pid_t pid() const { return pid_; }

  private:
    void recoger(int estado);
    pid_t pid_ = -1;
    fs::path bitacora_;
    std::optional<int> codigo_;
};

// Runs a program to its end, bounded in time, and returns its output.
Resultado correr(const std::vector<std::string>& argumentos,
                 std::chrono::milliseconds limite = 30s);

// Waits (bounded) until a file contains `texto`.
bool esperarTexto(const fs::path& archivo, const std::string& texto,
                  std::chrono::milliseconds limite);

// One site: its database, its configuration file and its code.
struct Sitio {
    fs::path base;
    fs::path acceso;
    std::string codigo;
};

// Creates a site database with the schema tool and its configuration file.
Sitio crearSitio(const fs::path& carpeta, const std::string& cliente, const std::string& sucursal);

// Runs one statement on a site database through the program's data layer;
// throws std::runtime_error when it fails.
std::vector<std::vector<std::string>> consultar(const Sitio& sitio, const std::string& sql);
// The single value of a query that returns one row of one column.
std::string valor(const Sitio& sitio, const std::string& sql);
// A statement that changes rows; returns the number of affected rows.
long ejecutar(const Sitio& sitio, const std::string& sql);

// What a point of sale writes for a new product: the product row and its
// record queued for the client's other sites.
void escribirProducto(const Sitio& sitio, const std::string& codigo, const std::string& nombre);
// What the support window writes for a chat message: the message row and
// its queued record.
void escribirMensaje(const Sitio& sitio, const std::string& texto);

// A record as a site posts it in a setData batch: its row id, table code,
// origin, destination and payload (Campo1 onwards).
std::string registroPublicado(int id, int tabla, const std::string& origen,
                              const std::string& destino, const std::vector<std::string>& campos,
                              const std::string& funcion = "A", int servicio = 2);
// The raw setData request of `sitio` posting `registros`.
std::string setDataCrudo(const std::string& sitio, const std::vector<std::string>& registros);
// The raw getData request of `sitio`.
std::string getDataCrudo(const std::string& sitio);

// The reference central server on a free loopback port, on a SQLite file
// of its own in `carpeta` or on the store `base` (a PostgreSQL URI), with
// further options in `mas` (for instance its TLS certificate). Unknown
// sites are registered on their first request unless `registroAbierto` is
// false.
class ServidorReferencia {
  public:
    explicit ServidorReferencia(const fs::path& carpeta, const std::string& base = "",
                                const std::vector<std::string>& mas = {},
                                bool registroAbierto = true);
    int puerto() const { return puerto_; }
    // The store it runs on, as its --base.
    const std::string& base() const { return base_; }
    std::string direccion() const { return "127.0.0.1:" + std::to_string(puerto_); }
    std::string salida() const { return proceso_->salida(); }
    // SIGTERM, as an operator stops it; its exit code.
    std::optional<int> detener() { return proceso_->detener(); }

  private:
    std::unique_ptr<Proceso> proceso_;
    int puerto_ = 0;
    std::string base_;
};

// Runs the headless synchronizer of a site against `servidor` (also used
// as the partner) for a number of full passes, with further options `mas`.
Resultado sincronizar(const Sitio& sitio, const std::string& servidor, int ciclos, int intervaloMs,
                      std::chrono::milliseconds limite = 60s,
                      const std::vector<std::string>& mas = {});

// A connection to `puerto` on loopback, from the loopback address `origen`
// (127.0.0.1 unless said, in host order); -1 when it is refused.
int conectar(int puerto, uint32_t origen = 0x7F000001);
// Reads until the peer closes, or until nothing arrives for `espera`.
std::string leerHastaCierre(int conexion, std::chrono::milliseconds espera = 20s);
// Sends one raw request on a fresh loopback connection (from `origen`) and
// reads until the peer closes, or falls silent for `espera`.
std::string intercambiar(int puerto, const std::string& peticion,
                         std::chrono::milliseconds espera = 20s, uint32_t origen = 0x7F000001);

// A port on loopback on which nothing listens.
int puertoCerrado();

// What a scripted peer does with one request: it sends `bytes`, then
// `relleno` filler bytes (an answer past any sane size), then ends the
// connection as `fin` says.
struct Accion {
    enum class Fin {
        Cerrar,     // an orderly close
        Reiniciar,  // a reset: the client sees its connection torn down
        Colgar,     // kept open and silent until the peer is destroyed
    };
    std::string bytes;
    size_t relleno = 0;
    Fin fin = Fin::Cerrar;
};

// A request as a peer received it.
struct Peticion {
    std::string ruta;    // "/sincronizador/" or "/ombrel.php"
    std::string cuerpo;  // the form body, as sent
    // The value of a form parameter before "dato" ("r", "idSyA"); "" when
    // absent.
    std::string parametro(const std::string& nombre) const;
    // The value of "dato", which runs to the end of the body.
    std::string dato() const;
};

// An HTTP/1.0 answer with a length, as the reference server writes one.
std::string respuestaHttp(int estado, const std::string& cuerpo);

// A loopback peer that answers each request as its script says. Requests
// are served one at a time on the peer's own thread; the script can be
// replaced between runs of the synchronizer.
class PeerGuionado {
  public:
    using Guion = std::function<Accion(const Peticion&)>;
    explicit PeerGuionado(Guion guion);
    ~PeerGuionado();
    PeerGuionado(const PeerGuionado&) = delete;
    PeerGuionado& operator=(const PeerGuionado&) = delete;

    void guion(Guion nuevo);
    int puerto() const { return puerto_; }
    std::string direccion() const { return "127.0.0.1:" + std::to_string(puerto_); }
    int peticiones() const { return peticiones_; }

  private:
    void atender();
    void responder(int conexion);

    std::mutex mutex_;
    Guion guion_;
    int escucha_ = -1;
    int puerto_ = 0;
    std::atomic<bool> parar_{false};
    std::atomic<int> peticiones_{0};
    std::vector<int> abiertas_;
    std::thread hilo_;
};

// A slow line in front of a loopback peer: every connection made to the
// line is carried to the peer on port `destino`, each way at most
// `bytesPorSegundo`, in small steady pieces. The line keeps its own buffers
// small and reads only what it may pass on, so each end feels the line's
// speed as it would a real one: the sender's writes wait, the reader's
// bytes trickle in.
class LineaLenta {
  public:
    LineaLenta(int destino, size_t bytesPorSegundo);
    ~LineaLenta();
    LineaLenta(const LineaLenta&) = delete;
    LineaLenta& operator=(const LineaLenta&) = delete;

    std::string direccion() const { return "127.0.0.1:" + std::to_string(puerto_); }
    // Bytes carried towards the peer and back, over every connection.
    size_t subidos() const { return subidos_; }
    size_t bajados() const { return bajados_; }

  private:
    void aceptar();
    void llevar(int cliente);

    int destino_;
    size_t bytesPorSegundo_;
    int escucha_ = -1;
    int puerto_ = 0;
    std::atomic<bool> parar_{false};
    std::atomic<size_t> subidos_{0};
    std::atomic<size_t> bajados_{0};
    std::mutex mutex_;
    std::vector<std::thread> conexiones_;
    std::thread hilo_;
};

// A loopback peer that accepts connections and misbehaves in one way:
// NuncaResponde (reads the request and never answers nor closes),
// CierraAMitad (starts a 200 answer and closes in the middle of its body)
// or Error500 (a body that would change the database if it were taken).
class PeerDefectuoso {
  public:
    // `destino`: the site whose records the tempting bodies address.
    PeerDefectuoso(Falla falla, std::string destino);

    int puerto() const { return peer_.puerto(); }
    std::string direccion() const { return peer_.direccion(); }
    int peticiones() const { return peer_.peticiones(); }

    // The server id of the record that the tempting bodies carry.
    static constexpr const char* kIdTentador = "770077";

  private:
    static Accion responder(Falla falla, const std::string& destino, const Peticion& peticion);
    PeerGuionado peer_;
};

}  // namespace prueba
