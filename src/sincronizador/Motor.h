// The synchronizer's cycle engine: the timer-driven cycle of steps, the
// request builders, the socket events and the handling of the responses.
// A plain single-threaded class driven by calls: the face calls tick() on
// every timer tick and forwards the socket's events; everything the engine
// does goes out through its ports.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comun/Bitacora.h"
#include "comun/Funciones.h"
#include "http/clsHTTP.h"
#include "sincronizador/Puertos.h"

namespace sincronizador {

// The steps of the cycle. Doctores runs once, on the first free tick; then
// GetData, SetData, Quiralte (the partner push) and Local (apply the stored
// records, remove the sent ones) repeat in this order.
enum class Paso { Doctores, GetData, SetData, Quiralte, Local };

class Motor {
  public:
    // Busy ticks after which an exchange (or a connection attempt) is
    // given up: the 51st such tick releases it.
    static constexpr int16_t maxTicksOcupado = 50;
    // Reported when a connection attempt is given up (the Winsock number
    // for a connection that timed out).
    static constexpr int errorTiempoAgotado = 10060;

    // pasoLocal may be null: the local step then only removes sent rows.
    Motor(Configuracion configuracion, BaseDatos& base, PasoLocal* pasoLocal, Consola& consola,
          Bandeja& bandeja, Socket& socket, const comun::Reloj& reloj, comun::Bitacora& bitacora);

    // Start-up: loads the site values and shows the disconnected icon.
    // False (with the reason on the console) when the cycle must not run.
    bool iniciar();

    // One timer tick.
    void tick();
    // Pausing stops new steps; an exchange under way still completes
    // through its socket events. The face keeps calling tick() while paused,
    // so that a hung connection or exchange is still released.
    void pausar() { pausado_ = true; }
    void reanudar() { pausado_ = false; }
    bool pausado() const { return pausado_; }

    // Socket events. `bytes` are as received (Windows-1252). alEnviar: the
    // socket handed more of the request to the network (a sign that the
    // exchange is moving; sockets that cannot tell need not call it).
    void alConectar();
    void alEnviar();
    void alRecibir(std::string_view bytes);
    void alCerrar();
    void alFallar(int numero, const std::string& descripcion);

    // Request builders (the cycle calls the first four).
    void solicitarDoctores();
    void solicitarDatos();
    void enviarDatos(const std::string& texto);
    void enviarDatosQuiralte();
    void solicitarEstudios();

    // Handles a complete response (UTF-8), routed by the step that sent the
    // request. A failure of the database operation it calls is thrown;
    // alCerrar traps and reports it. True when the answer had status 200 and
    // was taken (the exchange succeeded).
    bool procesarRespuesta(const std::string& texto);
    // Every line end made CR LF.
    static std::string normalizarSaltos(std::string_view texto);

    // The connection data shown by the window: server host, method, URI and
    // the database path, each line ended by CR LF.
    std::string datosConexion() const;

    // The step the next free tick performs.
    Paso paso() const { return paso_; }
    bool ocupado() const { return ocupado_; }
    bool conectando() const { return conectando_; }
    bool errorConexion() const { return errorConexion_; }
    // Completed passes of the four steps (getData, setData, partner, local).
    long pasadas() const { return pasadas_; }
    // getData and setData exchanges whose answer (status 200) was handled
    // in full: the measure of whether the site is in step with the server.
    long intercambiosServidor() const { return intercambiosServidor_; }
    // The rows the next outbound batch may carry.
    size_t filasPorLote() const { return filasPorLote_; }

    // The console shows at most this much of a request or an answer.
    static constexpr size_t kConsolaMaxima = size_t{64} * 1024;
    // A text as the console shows it: whole when within kConsolaMaxima,
    // otherwise its beginning and how many bytes were left out.
    static std::string paraConsola(std::string_view texto);

  private:
    void escribirConsola(const std::string& linea);
    void ejecutarPaso();
    void limpiarEnviados();
    // Runs one piece of database work; a failure goes to the console and
    // the log, the database is closed, and false is returned.
    template <class F>
    bool protegido(F&& trabajo);
    bool libre() const { return !ocupado_ && !conectando_; }
    void addParam(http::clsHTTP& objeto, std::string_view clave, std::string_view valorUtf8);
    // `paso`: the step the request belongs to, kept to route its response
    // (none for a request the cycle does not send).
    void conectarYEnviar(http::clsHTTP& objeto, const std::string& host, uint16_t puerto,
                         std::optional<Paso> paso);
    void falloConexion(int numero, const std::string& descripcion);
    void abandonarRespuesta();
    void abandonarIntercambio();
    // How an exchange whose request was out ended, for the next batch's
    // size: taken; cut on the way (the line gave out: a time-out, a
    // broken connection, an answer shorter than it said, or the server's
    // 408, 413 or 503); or refused for a reason of its own (a status 500,
    // an answer that is not the list it should be), which says nothing of
    // the line.
    enum class FinDeLote { Tomado, Cortado, Rechazado };
    // Ends the outbound batch under way, if any: a batch cut on the way
    // halves the next one, one taken doubles it.
    void terminarLote(FinDeLote fin);
    // Ticks the exchange under way may last, by the bytes it has moved.
    long ticksPermitidos() const;

    Configuracion configuracion_;
    BaseDatos& base_;
    PasoLocal* pasoLocal_;
    Consola& consola_;
    Bandeja& bandeja_;
    Socket& socket_;
    const comun::Reloj& reloj_;
    comun::Bitacora& bitacora_;

    http::clsHTTP peticion_;
    http::clsHTTP peticionQuiralte_;

    Paso paso_ = Paso::Doctores;
    // The step whose request is out (or whose response is arriving).
    std::optional<Paso> pasoEnviado_;
    // The tray state of the last failure `protegido` trapped.
    EstadoIcono iconoFallo_ = EstadoIcono::Error;
    bool ocupado_ = false;
    bool errorConexion_ = false;
    int16_t ticksOcupado_ = 0;
    bool pausado_ = false;
    long pasadas_ = 0;
    long intercambiosServidor_ = 0;

    // A connection has been started and neither established nor failed.
    bool conectando_ = false;
    int16_t ticksConectando_ = 0;
    // The connection of the current exchange is established.
    bool conectado_ = false;
    // The request waiting for the connection (Windows-1252 bytes).
    std::string pendiente_;
    // The response collected so far (Windows-1252 bytes).
    std::string respuesta_;
    // Row ids of the batch the last setData request carries: its reply may
    // mark only these.
    std::vector<int64_t> idsLote_;
    // Rows the next batch may carry; the batch under way and its rows.
    size_t filasPorLote_;
    bool loteEnCurso_ = false;
    size_t filasEnviadas_ = 0;
    // Ticks the established exchange has lasted, and the bytes it moved.
    long ticksIntercambio_ = 0;
    size_t bytesIntercambio_ = 0;
};

}  // namespace sincronizador
