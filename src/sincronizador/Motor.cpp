#include "sincronizador/Motor.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <exception>
#include <stdexcept>
#include <utility>

#include "comun/Fallo.h"
#include "comun/Texto.h"
#include "json/JSON.h"
#include "protocolo/Comunicacion.h"

namespace sincronizador {

namespace {

constexpr std::string_view kCrLf = "\r\n";

// The partner's parameter names and the members of the record they come
// from: 0 is the record's id, k > 0 is Campo k.
constexpr std::array<std::pair<std::string_view, size_t>, 14> kCamposQuiralte{{
    {"id", 0},
    {"cedula", 1},
    {"nombre", 2},
    {"apellido", 3},
    {"sucursal", 4},
    {"telefono", 5},
    {"direccion", 6},
    {"year", 7},
    {"mes", 8},
    {"dia", 9},
    {"email", 10},
    {"id_doctores", 11},
    {"factura", 12},
    {"valor", 13},
}};
// Studies travel as "estudio" k, taken from Campo (k + 14).
constexpr size_t kEstudios = 21;
constexpr size_t kPrimerCampoEstudio = 14;

// A value of the partner record as the partner has always received it,
// once the record went through the queue's JSON form and back: without
// backslashes, each apostrophe a blank, a byte that starts no UTF-8
// character read as the character of that number.
std::string comoLoRecibeQuiralte(std::string_view valor) {
    std::string r;
    r.reserve(valor.size());
    for (size_t i = 0; i < valor.size();) {
        const char32_t c = comun::leerCodigo(valor, i);
        if (c == U'\\') continue;
        comun::escribirCodigo(r, c == U'\'' ? U' ' : c);
    }
    return r;
}

// The partner confirms a record with its number in the plain form only:
// optional spaces, an optional sign, digits, an optional decimal part,
// optional spaces. Any other text (an exponent such as "1e2", a tab, a bare
// point) is not taken as a record number.
bool esNumeroLlano(std::string_view t) {
    size_t i = 0;
    const size_t n = t.size();
    auto digitos = [&] {
        const size_t inicio = i;
        while (i < n && t[i] >= '0' && t[i] <= '9') ++i;
        return i - inicio;
    };
    while (i < n && t[i] == ' ') ++i;
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    if (digitos() == 0) return false;
    if (i < n && t[i] == '.') {
        ++i;
        if (digitos() == 0) return false;
    }
    while (i < n && t[i] == ' ') ++i;
    return i == n;
}

// How a failure shows, decided by its kind alone: the console line and the
// tray state. The tray has one failure state, whose words the face chooses.
struct SalidaDeFallo {
    std::string linea;
    EstadoIcono icono;
};

SalidaDeFallo salidaDeFallo(comun::TipoFallo tipo, const std::string& mensaje) {
    switch (tipo) {
        case comun::TipoFallo::BaseDatos:
            return {"Error de base de datos: " + mensaje, EstadoIcono::Error};
        case comun::TipoFallo::Protocolo:
            return {"Respuesta no valida: " + mensaje, EstadoIcono::Error};
        case comun::TipoFallo::Conexion:
            return {"Error de conexion: " + mensaje, EstadoIcono::Error};
    }
    return {"Error: " + mensaje, EstadoIcono::Error};
}

// Whether a response ended before its end: its head is not complete, or its
// body is shorter than its Content-Length says.
bool respuestaCortada(std::string_view crudo) {
    const size_t finCabecera = crudo.find("\r\n\r\n");
    if (finCabecera == std::string_view::npos) return true;
    size_t linea = crudo.find("\r\n");
    while (linea < finCabecera) {
        const size_t inicio = linea + 2;
        linea = crudo.find("\r\n", inicio);
        const std::string_view cabecera = crudo.substr(inicio, linea - inicio);
        constexpr std::string_view kLargo = "content-length:";
        if (cabecera.size() <= kLargo.size()) continue;
        bool igual = true;
        for (size_t i = 0; i < kLargo.size() && igual; ++i)
            igual = std::tolower(static_cast<unsigned char>(cabecera[i])) == kLargo[i];
        if (!igual) continue;
        size_t largo = 0;
        const std::string_view valor = cabecera.substr(kLargo.size());
        const size_t digito = valor.find_first_not_of(' ');
        if (digito == std::string_view::npos) return false;
        const auto [fin, error] =
            std::from_chars(valor.data() + digito, valor.data() + valor.size(), largo);
        (void)fin;
        return error == std::errc() && crudo.size() - finCabecera - 4 < largo;
    }
    return false;
}

// The step after `paso`: after the local step the cycle starts again with
// getData (the doctors list is fetched once).
Paso siguiente(Paso paso) {
    switch (paso) {
        case Paso::Doctores:
            return Paso::GetData;
        case Paso::GetData:
            return Paso::SetData;
        case Paso::SetData:
            return Paso::Quiralte;
        case Paso::Quiralte:
            return Paso::Local;
        case Paso::Local:
            return Paso::GetData;
    }
    return Paso::GetData;
}

}  // namespace

Motor::Motor(Configuracion configuracion, BaseDatos& base, PasoLocal* pasoLocal, Consola& consola,
             Bandeja& bandeja, Socket& socket, const comun::Reloj& reloj, comun::Bitacora& bitacora)
    : configuracion_(std::move(configuracion)),
      base_(base),
      pasoLocal_(pasoLocal),
      consola_(consola),
      bandeja_(bandeja),
      socket_(socket),
      reloj_(reloj),
      bitacora_(bitacora),
      filasPorLote_(std::max<size_t>(configuracion_.lote.filas, 1)) {
    peticion_.metodo("POST");
    peticion_.host(configuracion_.hostServidor);
    peticion_.URI("/sincronizador/");
    peticion_.port(static_cast<int16_t>(configuracion_.puertoServidor));
    peticionQuiralte_.metodo("POST");
    peticionQuiralte_.host(configuracion_.hostQuiralte);
    peticionQuiralte_.URI("/ombrel.php");
    peticionQuiralte_.port(static_cast<int16_t>(configuracion_.puertoQuiralte));
}

void Motor::escribirConsola(const std::string& linea) {
    consola_.escribir(linea + std::string(kCrLf));
}

template <class F>
bool Motor::protegido(F&& trabajo) {
    std::string mensaje;
    try {
        trabajo();
        return true;
    } catch (const comun::Fallo& e) {
        const SalidaDeFallo salida = salidaDeFallo(e.tipo(), e.what());
        mensaje = salida.linea;
        iconoFallo_ = salida.icono;
    } catch (const std::exception& e) {
        mensaje = std::string("Error: ") + e.what();
        iconoFallo_ = EstadoIcono::Error;
    } catch (...) {
        mensaje = "Error desconocido";
        iconoFallo_ = EstadoIcono::Error;
    }
    base_.desconectar();
    escribirConsola(mensaje);
    bitacora_.escribir(reloj_.ahora().iso() + " " + mensaje);
    return false;
}

bool Motor::iniciar() {
    bool correcto = false;
    if (base_.ruta().empty()) {
        escribirConsola("No se encuentra la base de datos");
    } else {
        correcto = protegido([&] {
            base_.conectar();
            base_.cargarValoresSitio();
            // A database made by an earlier build gets the tables where
            // records that cannot be stored or applied are kept.
            base_.asegurarTablasPropias();
            base_.desconectar();
        });
    }
    bandeja_.mostrar(EstadoIcono::Desconectado);
    return correcto;
}

std::string Motor::datosConexion() const {
    std::string texto;
    texto += peticion_.host() + std::string(kCrLf);
    texto += peticion_.metodo() + std::string(kCrLf);
    texto += peticion_.URI() + std::string(kCrLf);
    texto += "Base de datos: " + base_.ruta() + std::string(kCrLf);
    return texto;
}

// ---------------------------------------------------------------- cycle

void Motor::tick() {
    if (conectando_) {
        // The builder's wait for the connection: nothing runs, but an
        // attempt that neither succeeds nor fails is given up in the end.
        consola_.estadoSocket(socket_.estado());
        if (++ticksConectando_ > maxTicksOcupado) {
            falloConexion(errorTiempoAgotado, "Tiempo de conexion agotado");
        }
        return;
    }
    if (ocupado_) {
        // Silence, or a rate below the minimum, ends the exchange; a slow
        // line that keeps moving does not.
        ++ticksIntercambio_;
        if (++ticksOcupado_ > maxTicksOcupado || ticksIntercambio_ > ticksPermitidos()) {
            ticksOcupado_ = 0;
            ocupado_ = false;
            abandonarIntercambio();
        }
        return;
    }
    if (pausado_) return;
    // Every step traps its own failures (protegido), so nothing escapes to
    // the face's timer.
    consola_.limpiar();
    ticksOcupado_ = 0;
    ejecutarPaso();
}

void Motor::ejecutarPaso() {
    switch (paso_) {
        case Paso::Doctores:
            solicitarDoctores();
            break;
        case Paso::GetData:
            solicitarDatos();
            break;
        case Paso::SetData:
            enviarDatos({});
            break;
        case Paso::Quiralte:
            enviarDatosQuiralte();
            break;
        case Paso::Local:
            if (pasoLocal_ != nullptr) protegido([&] { pasoLocal_->aplicarComunicacion(); });
            protegido([&] { limpiarEnviados(); });
            ++pasadas_;
            break;
    }
    // The step moves on once its builder has returned, whether the request
    // went out, failed to connect or was not needed.
    paso_ = siguiente(paso_);
}

void Motor::limpiarEnviados() {
    base_.conectar();
    base_.eliminarEnviados();
    base_.desconectar();
}

// ---------------------------------------------------------------- builders

void Motor::addParam(http::clsHTTP& objeto, std::string_view clave, std::string_view valorUtf8) {
    // The wire is Windows-1252: values are encoded before the codec counts
    // the body, so Content-Length counts the bytes actually sent.
    objeto.addParam(clave, comun::utf8ACp1252(valorUtf8), "POST");
}

void Motor::solicitarDoctores() {
    if (!libre()) return;
    escribirConsola("Peticion HTTP: \r\n--");
    protegido([&] {
        base_.conectar();
        peticion_.limpiarParams();
        addParam(peticion_, "r", "servicio/getDoctores");
        base_.desconectar();
        conectarYEnviar(peticion_, configuracion_.hostServidor, configuracion_.puertoServidor,
                        Paso::Doctores);
    });
}

void Motor::solicitarDatos() {
    if (!libre()) return;
    escribirConsola("Peticion HTTP: \r\n--");
    protegido([&] {
        base_.conectar();
        peticion_.limpiarParams();
        addParam(peticion_, "r", "servicio/getData");
        addParam(peticion_, "idSyA", base_.getSyASys());
        base_.desconectar();
        conectarYEnviar(peticion_, configuracion_.hostServidor, configuracion_.puertoServidor,
                        Paso::GetData);
    });
}

void Motor::enviarDatos(const std::string& texto) {
    if (!libre()) return;
    escribirConsola("Peticion HTTP: \r\n--");
    protegido([&] {
        base_.conectar();
        peticion_.limpiarParams();
        addParam(peticion_, "r", "servicio/setData");
        addParam(peticion_, "idSyA", base_.getSyASys());
        // A text given by the caller carries no rows of the queue.
        idsLote_.clear();
        protocolo::LimiteLote limite = configuracion_.lote;
        limite.filas = filasPorLote_;
        std::string dato = texto;
        if (dato.empty()) {
            const protocolo::LoteSaliente lote = base_.getComunicacion(limite);
            idsLote_ = lote.ids;
            dato = protocolo::codificar(lote);
        }
        addParam(peticion_, "dato", dato);
        base_.desconectar();
        loteEnCurso_ = true;
        filasEnviadas_ = idsLote_.size();
        conectarYEnviar(peticion_, configuracion_.hostServidor, configuracion_.puertoServidor,
                        Paso::SetData);
    });
}

void Motor::enviarDatosQuiralte() {
    if (!libre()) return;
    escribirConsola("Peticion HTTP: \r\n--");
    protegido([&] {
        base_.conectar();
        peticionQuiralte_.limpiarParams();
        const std::optional<protocolo::Comunicacion> registro = base_.getDatosQuiralte();
        if (!registro) {
            base_.desconectar();
            conectado_ = false;
            socket_.cerrar();
            ocupado_ = false;
            return;
        }
        for (const auto& [parametro, k] : kCamposQuiralte) {
            addParam(peticionQuiralte_, parametro,
                     comoLoRecibeQuiralte(k == 0 ? registro->id : registro->campo(k)));
        }
        // The suffix follows the column, so an empty study leaves a gap.
        for (size_t k = 0; k < kEstudios; ++k) {
            const std::string valor =
                comoLoRecibeQuiralte(registro->campo(k + kPrimerCampoEstudio));
            if (!valor.empty()) addParam(peticionQuiralte_, "estudio" + std::to_string(k), valor);
        }
        base_.desconectar();
        conectarYEnviar(peticionQuiralte_, configuracion_.hostQuiralte,
                        configuracion_.puertoQuiralte, Paso::Quiralte);
    });
}

void Motor::solicitarEstudios() {
    if (!libre()) return;
    escribirConsola("Peticion HTTP: \r\n--");
    protegido([&] {
        base_.conectar();
        peticion_.limpiarParams();
        addParam(peticion_, "r", "servicio/getEstudios");
        base_.desconectar();
        conectarYEnviar(peticion_, configuracion_.hostServidor, configuracion_.puertoServidor,
                        std::nullopt);
    });
}

void Motor::conectarYEnviar(http::clsHTTP& objeto, const std::string& host, uint16_t puerto,
                            std::optional<Paso> paso) {
    std::string texto = objeto.generarPeticion();
    // The wire's code page has one byte a character: the part shown is cut
    // before it is converted.
    if (texto.size() > kConsolaMaxima) {
        escribirConsola(comun::cp1252AUtf8(std::string_view(texto).substr(0, kConsolaMaxima)) +
                        "\r\n[... " + std::to_string(texto.size() - kConsolaMaxima) +
                        " bytes mas sin mostrar]--");
    } else {
        escribirConsola(comun::cp1252AUtf8(texto) + "--");
    }
    escribirConsola("Conectandose al servidor...");
    // A response left over from an earlier exchange (a peer that never
    // closed) belongs to no request any more.
    conectado_ = false;
    if (paso != Paso::SetData) loteEnCurso_ = false;
    std::string().swap(respuesta_);
    socket_.cerrar();
    pendiente_ = std::move(texto);
    pasoEnviado_ = paso;
    conectando_ = true;
    ticksConectando_ = 0;
    errorConexion_ = false;
    socket_.conectar(host, puerto);
    consola_.estadoSocket(socket_.estado());
}

// ---------------------------------------------------------------- socket events

void Motor::falloConexion(int numero, const std::string& descripcion) {
    // The batch never left: its size says nothing of the line.
    loteEnCurso_ = false;
    conectando_ = false;
    pendiente_.clear();
    ocupado_ = false;
    errorConexion_ = true;
    escribirConsola("Error de conexion (" + std::to_string(numero) + "): " + descripcion);
    bandeja_.mostrar(EstadoIcono::Error);
    socket_.cerrar();
    consola_.estadoSocket(socket_.estado());
}

void Motor::alConectar() {
    if (!conectando_) return;
    conectando_ = false;
    conectado_ = true;
    ocupado_ = true;
    errorConexion_ = false;
    ticksOcupado_ = 0;
    // The wait for the connection ends showing the socket's state
    // (connected).
    consola_.estadoSocket(socket_.estado());
    ticksIntercambio_ = 0;
    bytesIntercambio_ = pendiente_.size();
    bandeja_.mostrar(EstadoIcono::Conectado);
    escribirConsola("Conectado, enviando datos...");
    std::string texto = std::move(pendiente_);
    pendiente_.clear();
    // A send the socket refuses ends the exchange as a failure of its kind
    // at once, instead of leaving it busy until the time-out.
    if (!protegido([&] { socket_.enviar(texto); })) {
        conectado_ = false;
        ocupado_ = false;
        errorConexion_ = true;
        bandeja_.mostrar(iconoFallo_);
        socket_.cerrar();
        terminarLote(FinDeLote::Cortado);
    }
}

void Motor::alEnviar() {
    if (conectado_) ticksOcupado_ = 0;
}

void Motor::alRecibir(std::string_view bytes) {
    if (!conectado_) return;
    if (bytes.size() > configuracion_.limiteRespuesta - respuesta_.size()) {
        abandonarRespuesta();
        return;
    }
    respuesta_.append(bytes);
    bytesIntercambio_ += bytes.size();
    ticksOcupado_ = 0;
}

long Motor::ticksPermitidos() const {
    const double porTick = static_cast<double>(std::max<size_t>(configuracion_.ritmoMinimo, 1)) *
                           std::max(configuracion_.intervaloMs, 1) / 1000.0;
    return maxTicksOcupado + static_cast<long>(static_cast<double>(bytesIntercambio_) / porTick);
}

void Motor::terminarLote(FinDeLote fin) {
    if (!loteEnCurso_) return;
    loteEnCurso_ = false;
    const size_t maximo = std::max<size_t>(configuracion_.lote.filas, 1);
    if (fin == FinDeLote::Tomado) {
        if (filasEnviadas_ > 0) filasPorLote_ = std::min(maximo, filasPorLote_ * 2);
        return;
    }
    // An empty batch, or one of a single record, cannot be made smaller.
    if (fin == FinDeLote::Rechazado || filasEnviadas_ <= 1) return;
    filasPorLote_ = std::max<size_t>(filasEnviadas_ / 2, 1);
    escribirConsola("Proximo lote: a lo mas " + std::to_string(filasPorLote_) +
                    " registros (el de " + std::to_string(filasEnviadas_) + " no se completo)");
}

void Motor::abandonarRespuesta() {
    conectado_ = false;
    ocupado_ = false;
    errorConexion_ = true;
    std::string().swap(respuesta_);
    const std::string mensaje = "Respuesta demasiado grande (mas de " +
                                std::to_string(configuracion_.limiteRespuesta) +
                                " bytes), intercambio abandonado";
    escribirConsola(mensaje);
    bitacora_.escribir(reloj_.ahora().iso() + " " + mensaje);
    bandeja_.mostrar(EstadoIcono::Error);
    socket_.cerrar();
    // The answer, not the batch, was too large.
    terminarLote(FinDeLote::Rechazado);
}

void Motor::abandonarIntercambio() {
    // A peer that never closes ends as a failed exchange: its connection is
    // dropped, so a late answer is not routed to a later step.
    conectado_ = false;
    errorConexion_ = true;
    std::string().swap(respuesta_);
    escribirConsola("Tiempo de respuesta agotado, intercambio abandonado");
    bandeja_.mostrar(EstadoIcono::Error);
    socket_.cerrar();
    terminarLote(FinDeLote::Cortado);
}

void Motor::alCerrar() {
    if (conectando_) {
        falloConexion(0, "Conexion cerrada antes de establecerse");
        return;
    }
    if (!conectado_) return;
    conectado_ = false;
    std::string recibido;
    recibido.swap(respuesta_);
    bool bien = false;
    FinDeLote fin = FinDeLote::Cortado;
    if (!recibido.empty()) {
        bool correcta = false;
        const bool manejada =
            protegido([&] { correcta = procesarRespuesta(comun::cp1252AUtf8(recibido)); });
        bandeja_.mostrar(manejada ? EstadoIcono::Satisfactorio : iconoFallo_);
        bien = manejada && correcta;
        if (bien) {
            const Interlocutor quien =
                pasoEnviado_ == Paso::Quiralte ? Interlocutor::Quiralte : Interlocutor::Servidor;
            protegido([&] { base_.registrarIntercambio(quien, reloj_.ahora()); });
        }
        const int codigo = peticion_.getResponseCode();
        if (bien)
            fin = FinDeLote::Tomado;
        else if (!respuestaCortada(recibido) && codigo != 408 && codigo != 413 && codigo != 503)
            fin = FinDeLote::Rechazado;
    }
    terminarLote(fin);
    ocupado_ = false;
    errorConexion_ = false;
    socket_.cerrar();
}

void Motor::alFallar(int numero, const std::string& descripcion) {
    if (conectando_) {
        falloConexion(numero, descripcion);
        return;
    }
    errorConexion_ = true;
    // After the request was sent the exchange stays busy until the peer
    // closes or the busy time-out releases it.
    if (conectado_) ocupado_ = true;
    escribirConsola("Error de conexion (" + std::to_string(numero) + "): " + descripcion);
    bandeja_.mostrar(EstadoIcono::Error);
}

// ---------------------------------------------------------------- responses

bool Motor::procesarRespuesta(const std::string& texto) {
    peticion_.convertirRespuesta(texto);
    escribirConsola("Respuesta: ");
    escribirConsola("--");
    escribirConsola(normalizarSaltos(paraConsola(texto)) + std::string(kCrLf) + "--");
    const bool socio = pasoEnviado_ == Paso::Quiralte;
    const std::string valor = peticion_.getBodyData(socio ? "confirmacionEnvio" : "dato");
    if (peticion_.getResponseCode() != 200) {
        escribirConsola("Ninguna accion realizada");
        return false;
    }
    if (socio && esNumeroLlano(valor)) {
        base_.MarcarRegistroEnviadoQuiralte(comun::Variant(valor).CLngLng());
        return true;
    }
    const json::Analisis analisis = json::parse(valor);
    if (!analisis.correcto()) {
        escribirConsola(analisis.errores);
        return false;
    }
    const comun::Variant& dato = analisis.valor;
    if (!pasoEnviado_) return true;
    switch (*pasoEnviado_) {
        case Paso::Doctores:
            base_.setDoctores(dato);
            break;
        case Paso::GetData:
            base_.setComunicacion(protocolo::leerEntregas(dato));
            ++intercambiosServidor_;
            break;
        case Paso::SetData: {
            // The reply answers the batch just posted, once.
            const std::vector<int64_t> enviados = std::move(idsLote_);
            idsLote_.clear();
            base_.marcarEnviados(protocolo::leerRecibos(dato), enviados);
            ++intercambiosServidor_;
            break;
        }
        case Paso::Quiralte:
        case Paso::Local:
            break;
    }
    return true;
}

std::string Motor::paraConsola(std::string_view texto) {
    if (texto.size() <= kConsolaMaxima) return std::string(texto);
    // Cut where a character begins.
    size_t corte = kConsolaMaxima;
    while (corte > 0 && (static_cast<unsigned char>(texto[corte]) & 0xC0) == 0x80) --corte;
    return std::string(texto.substr(0, corte)) + "\r\n[... " +
           std::to_string(texto.size() - corte) + " bytes mas sin mostrar]";
}

std::string Motor::normalizarSaltos(std::string_view texto) {
    std::string salida;
    salida.reserve(texto.size() + texto.size() / 16);
    for (size_t i = 0; i < texto.size(); ++i) {
        const char c = texto[i];
        if (c == '\r') {
            salida += "\r\n";
            if (i + 1 < texto.size() && texto[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            salida += "\r\n";
        } else {
            salida += c;
        }
    }
    return salida;
}

}  // namespace sincronizador
