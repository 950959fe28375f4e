// The engine's ports: the small interfaces through which the cycle engine
// reaches the console, the tray icon, the TCP socket, the database and the
// local apply step. The faces (window, headless) and the tests implement
// them; the engine itself never touches a platform service.
//
// The console, the tray, the clock and the log cannot fail: their methods
// are noexcept, and an implementation that could fail keeps its failure to
// itself. The database and the socket can fail for real and raise a
// comun::Fallo of their kind, which the engine reports; closing either and
// reading the socket's state cannot fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "comun/Variant.h"
#include "protocolo/Comunicacion.h"

namespace sincronizador {

// The console log. `escribir` receives a piece of text to append exactly as
// given (the engine adds CR LF to every line); `limpiar` empties it.
class Consola {
  public:
    virtual ~Consola() = default;
    virtual void escribir(const std::string& texto) noexcept = 0;
    virtual void limpiar() noexcept = 0;
    // The socket's state number while a connection is being made (the
    // window's state label). Faces without one ignore it.
    virtual void estadoSocket(int /*numero*/) noexcept {}
};

// The state of the last exchange, as the tray icon shows it. The engine
// reports the state only; the face chooses the image and the words.
enum class EstadoIcono {
    Desconectado,   // at start-up, before any exchange
    Conectado,      // a connection is established
    Satisfactorio,  // a response was received and handled
    Error,          // the connection failed or the exchange was abandoned
};

// The tray icon.
class Bandeja {
  public:
    virtual ~Bandeja() = default;
    virtual void mostrar(EstadoIcono estado) noexcept = 0;
};

// A TCP client socket. The adapter reports its events back to the engine
// (Motor::alConectar, alEnviar, alRecibir, alCerrar, alFallar) from the
// event loop; a connection that fails at once may also be reported from
// inside `conectar`, which the engine is ready for. `cerrar` reports
// nothing. Bytes cross this port as they are on the wire.
class Socket {
  public:
    virtual ~Socket() = default;
    // Closes the connection whatever its state; harmless when closed.
    virtual void cerrar() noexcept = 0;
    // Starts connecting and returns at once.
    virtual void conectar(const std::string& host, uint16_t puerto) = 0;
    virtual void enviar(const std::string& bytes) = 0;
    // The platform's number for the socket's state.
    virtual int estado() const noexcept = 0;
};

// The local apply step of the cycle (the real one is aplicacion::Aplicador).
class PasoLocal {
  public:
    virtual ~PasoLocal() = default;
    virtual void aplicarComunicacion() = 0;
};

// The peers the engine exchanges with.
enum class Interlocutor { Servidor, Quiralte };

// What the engine needs of the database. BaseDatosDAO forwards it to a real
// datos::DAO_Conexion; unit tests use a fake.
class BaseDatos {
  public:
    virtual ~BaseDatos() = default;
    // The database path given by the configuration file ("" when missing).
    virtual std::string ruta() const = 0;
    virtual void conectar() = 0;
    virtual void desconectar() noexcept = 0;
    virtual void cargarValoresSitio() = 0;
    // Creates the synchronizer's own tables when the database lacks them.
    virtual void asegurarTablasPropias() = 0;
    virtual std::string getSyASys() = 0;
    // The next outbound batch, within `limite` (empty when nothing waits).
    virtual protocolo::LoteSaliente getComunicacion(const protocolo::LimiteLote& limite) = 0;
    // The next record for the partner; none when nothing waits.
    virtual std::optional<protocolo::Comunicacion> getDatosQuiralte() = 0;
    // Stores the records of a getData answer; returns how many it held.
    virtual int32_t setComunicacion(const std::vector<protocolo::Recibido>& recibidos) = 0;
    // Marks sent what the reply's receipts list among `enviados`, the ids
    // of the batch the reply answers.
    virtual void marcarEnviados(const protocolo::Recibos& recibos,
                                const std::vector<int64_t>& enviados) = 0;
    virtual void MarcarRegistroEnviadoQuiralte(int64_t id) = 0;
    virtual int32_t setDoctores(const comun::Variant& lista) = 0;
    virtual void eliminarEnviados() = 0;
    // Records a successful exchange (an answer with status 200, handled
    // without error), for the site's state. Opens its own connection.
    virtual void registrarIntercambio(Interlocutor /*quien*/, const comun::Fecha& /*cuando*/) {}
};

// Where the two peers are, and the engine's limits.
struct Configuracion {
    std::string hostServidor = "localhost";
    uint16_t puertoServidor = 80;
    std::string hostQuiralte = "localhost";
    uint16_t puertoQuiralte = 80;
    // A response longer than this is abandoned.
    size_t limiteRespuesta = protocolo::kMensajeMaximo;
    // The largest outbound batch. After an exchange that failed once the
    // batch was out, the next carries half its rows (down to one); each
    // exchange that succeeds doubles it again, up to this.
    protocolo::LimiteLote lote;
    // The length of a tick, by which the engine measures the time an
    // exchange has taken.
    int intervaloMs = 800;
    // An exchange is given up after 51 ticks in which nothing moved, or
    // once it has lasted longer than 51 ticks plus what its bytes (the
    // request and the answer so far) earn at this many bytes a second: a
    // slow line that keeps moving is waited for, a trickle is not.
    size_t ritmoMinimo = 2048;
};

}  // namespace sincronizador
