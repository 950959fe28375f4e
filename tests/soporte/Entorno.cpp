#include "soporte/Entorno.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "soporte/PuntoDeVenta.h"

namespace prueba {

namespace {

using prueba::comillas;

std::string leerArchivo(const fs::path& archivo) {
    std::ifstream entrada(archivo, std::ios::binary);
    std::stringstream contenido;
    contenido << entrada.rdbuf();
    return contenido.str();
}

fs::path archivoUnico(const fs::path& carpeta, const std::string& prefijo) {
    static std::atomic<int> contador{0};
    return carpeta / (prefijo + "-" + std::to_string(contador++) + ".log");
}

sockaddr_in loopback(int puerto) {
    sockaddr_in dir{};
    dir.sin_family = AF_INET;
    dir.sin_port = htons(static_cast<uint16_t>(puerto));
    dir.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return dir;
}

int puertoDe(int descriptor) {
    sockaddr_in dir{};
    socklen_t largo = sizeof dir;
    if (getsockname(descriptor, reinterpret_cast<sockaddr*>(&dir), &largo) != 0)
        throw std::system_error(errno, std::generic_category(), "getsockname");
    return ntohs(dir.sin_port);
}

void enviarTodo(int descriptor, const std::string& texto) {
    size_t enviado = 0;
    while (enviado < texto.size()) {
        ssize_t n = send(descriptor, texto.data() + enviado, texto.size() - enviado, MSG_NOSIGNAL);
        if (n <= 0) return;
        enviado += static_cast<size_t>(n);
    }
}

// Reads one HTTP request: the head, then as many body bytes as its
// Content-Length says. Gives up after two quiet seconds.
std::string leerPeticion(int conexion) {
    std::string peticion;
    char bloque[8192];
    while (true) {
        size_t finCabecera = peticion.find("\r\n\r\n");
        if (finCabecera != std::string::npos) {
            size_t largo = 0;
            size_t pos = peticion.find("Content-Length:");
            if (pos != std::string::npos && pos < finCabecera)
                largo = std::stoul(peticion.substr(pos + 15));
            if (peticion.size() >= finCabecera + 4 + largo) return peticion;
        }
        pollfd espera{conexion, POLLIN, 0};
        if (poll(&espera, 1, 2000) <= 0) return peticion;
        ssize_t n = recv(conexion, bloque, sizeof bloque, 0);
        if (n <= 0) return peticion;
        peticion.append(bloque, static_cast<size_t>(n));
    }
}

}  // namespace

fs::path carpetaBinarios() {
    return fs::path(SINC_BIN_DIR);
}

// --- temporary folder ---

CarpetaTemporal::CarpetaTemporal() {
    std::string plantilla = (fs::temp_directory_path() / "sinc-e2e-XXXXXX").string();
    if (!mkdtemp(plantilla.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    ruta_ = plantilla;
}

CarpetaTemporal::~CarpetaTemporal() {
    std::error_code ignorado;
    fs::remove_all(ruta_, ignorado);
}

// --- child processes ---

Proceso::Proceso(const std::vector<std::string>& argumentos, fs::path bitacora)
    : bitacora_(std::move(bitacora)) {
    // Everything the child needs is prepared before the fork: between fork
    // and exec only async-signal-safe calls are made.
    std::vector<char*> argv;
    for (const auto& a : argumentos) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string rutaBitacora = bitacora_.string();
    const pid_t padre = getpid();

    pid_ = fork();
    if (pid_ < 0) throw std::system_error(errno, std::generic_category(), "fork");
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != padre) _exit(127);
        int salida = open(rutaBitacora.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int nulo = open("/dev/null", O_RDONLY);
        if (salida < 0 || nulo < 0) _exit(127);
        dup2(nulo, 0);
        dup2(salida, 1);
        dup2(salida, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
}

Proceso::~Proceso() {
    if (!codigo_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        int estado = 0;
        waitpid(pid_, &estado, 0);
    }
}

void Proceso::recoger(int estado) {
    if (WIFEXITED(estado))
        codigo_ = WEXITSTATUS(estado);
    else if (WIFSIGNALED(estado))
        codigo_ = 128 + WTERMSIG(estado);
    else
        codigo_ = -1;
}

bool Proceso::vivo() {
    if (codigo_) return false;
    int estado = 0;
    if (waitpid(pid_, &estado, WNOHANG) == pid_) {
        recoger(estado);
        return false;
    }
    return true;
}

std::optional<int> Proceso::esperar(std::chrono::milliseconds limite) {
    const auto fin = std::chrono::steady_clock::now() + limite;
    while (vivo()) {
        if (std::chrono::steady_clock::now() >= fin) {
            kill(pid_, SIGKILL);
            int estado = 0;
            waitpid(pid_, &estado, 0);
            recoger(estado);
            return std::nullopt;
        }
        std::this_thread::sleep_for(20ms);
    }
    return codigo_;
}

std::optional<int> Proceso::detener(std::chrono::milliseconds limite) {
    if (vivo()) kill(pid_, SIGTERM);
    return esperar(limite);
}

std::string Proceso::salida() const {
    return leerArchivo(bitacora_);
}

Resultado correr(const std::vector<std::string>& argumentos, std::chrono::milliseconds limite) {
    CarpetaTemporal carpeta;
    Proceso proceso(argumentos, carpeta.ruta() / "salida.log");
    Resultado r;
    r.codigo = proceso.esperar(limite).value_or(-1);
    r.salida = proceso.salida();
    return r;
}

bool esperarTexto(const fs::path& archivo, const std::string& texto,
                  std::chrono::milliseconds limite) {
    const auto fin = std::chrono::steady_clock::now() + limite;
    while (std::chrono::steady_clock::now() < fin) {
        if (leerArchivo(archivo).find(texto) != std::string::npos) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// --- site databases ---

Sitio crearSitio(const fs::path& carpeta, const std::string& cliente, const std::string& sucursal) {
    Sitio sitio;
    sitio.codigo = cliente + sucursal;
    sitio.base = carpeta / ("sitio-" + sitio.codigo + ".db");
    sitio.acceso = carpeta / ("Acceso-" + sitio.codigo);
    Resultado r =
        correr({(carpetaBinarios() / "sincronizador").string(), "crear-base", sitio.base.string(),
                "--cliente", cliente, "--sucursal", sucursal, "--demo"});
    if (r.codigo != 0) throw std::runtime_error("crear-base failed: " + r.salida);
    std::ofstream(sitio.acceso) << sitio.base.string() << "\r\n";
    return sitio;
}

std::vector<std::vector<std::string>> consultar(const Sitio& sitio, const std::string& sql) {
    Resultado r = correr(
        {(carpetaBinarios() / "sincronizador").string(), "ejecutar", sitio.base.string(), sql});
    if (r.codigo != 0)
        throw std::runtime_error("ejecutar failed (" + std::to_string(r.codigo) + ") on " + sql +
                                 ": " + r.salida);
    std::vector<std::vector<std::string>> filas;
    std::istringstream lineas(r.salida);
    std::string linea;
    while (std::getline(lineas, linea)) {
        if (!linea.empty() && linea.back() == '\r') linea.pop_back();
        std::vector<std::string> fila;
        size_t inicio = 0;
        while (true) {
            size_t barra = linea.find('|', inicio);
            fila.push_back(linea.substr(inicio, barra - inicio));
            if (barra == std::string::npos) break;
            inicio = barra + 1;
        }
        filas.push_back(std::move(fila));
    }
    return filas;
}

std::string valor(const Sitio& sitio, const std::string& sql) {
    auto filas = consultar(sitio, sql);
    if (filas.size() != 1 || filas[0].size() != 1)
        throw std::runtime_error("expected one value from " + sql);
    return filas[0][0];
}

long ejecutar(const Sitio& sitio, const std::string& sql) {
    return std::stol(valor(sitio, sql));
}

void escribirProducto(const Sitio& sitio, const std::string& codigo, const std::string& nombre) {
    for (const auto& sql : prueba::sqlProductoNuevo(sitio.codigo, codigo, nombre))
        ejecutar(sitio, sql);
}

void escribirMensaje(const Sitio& sitio, const std::string& texto) {
    for (const auto& sql : prueba::sqlMensajeNuevo(sitio.codigo, texto)) ejecutar(sitio, sql);
}

std::string registroPublicado(int id, int tabla, const std::string& origen,
                              const std::string& destino, const std::vector<std::string>& campos,
                              const std::string& funcion, int servicio) {
    std::string r = "{\"Id\":\"" + std::to_string(id) + "\",\"Servicio\":\"" +
                    std::to_string(servicio) + "\",\"Tabla\":\"" + std::to_string(tabla) +
                    "\",\"Origen\":\"" + origen + "\",\"Destino\":\"" + destino +
                    "\",\"Funcion\":\"" + funcion + "\",\"Enviado\":\"False\"";
    for (size_t k = 0; k < campos.size(); ++k)
        r += ",\"Campo" + std::to_string(k + 1) + "\":\"" + campos[k] + "\"";
    return r + "}";
}

std::string setDataCrudo(const std::string& sitio, const std::vector<std::string>& registros) {
    std::string lista;
    for (const auto& r : registros) lista += (lista.empty() ? "[" : ",") + r;
    const std::string cuerpo = "r=servicio/setData&idSyA=" + sitio + "&dato=" + lista + "]";
    return "POST /sincronizador/ HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
           "Content-Length: " +
           std::to_string(cuerpo.size()) + "\r\n\r\n" + cuerpo;
}

std::string getDataCrudo(const std::string& sitio) {
    const std::string cuerpo = "r=servicio/getData&idSyA=" + sitio;
    return "POST /sincronizador/ HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
           "Content-Length: " +
           std::to_string(cuerpo.size()) + "\r\n\r\n" + cuerpo;
}

// --- the reference server and the synchronizer ---

ServidorReferencia::ServidorReferencia(const fs::path& carpeta, const std::string& base,
                                       const std::vector<std::string>& mas, bool registroAbierto) {
    static std::atomic<int> contador{0};
    const int n = contador++;
    const fs::path bitacora = carpeta / ("servidor-" + std::to_string(n) + ".log");
    base_ = base.empty() ? (carpeta / ("central-" + std::to_string(n) + ".db")).string() : base;
    std::vector<std::string> argumentos{(carpetaBinarios() / "sincronizador-servidor").string(),
                                        "--puerto", "0", "--base", base_};
    if (registroAbierto) argumentos.push_back("--registro-abierto");
    argumentos.insert(argumentos.end(), mas.begin(), mas.end());
    proceso_ = std::make_unique<Proceso>(argumentos, bitacora);
    const std::string listo = "Servidor escuchando en 127.0.0.1:";
    if (!esperarTexto(bitacora, listo, 15s))
        throw std::runtime_error("the reference server did not start: " + proceso_->salida());
    const std::string texto = proceso_->salida();
    puerto_ = std::stoi(texto.substr(texto.find(listo) + listo.size()));
}

Resultado sincronizar(const Sitio& sitio, const std::string& servidor, int ciclos, int intervaloMs,
                      std::chrono::milliseconds limite, const std::vector<std::string>& mas) {
    std::vector<std::string> argumentos{(carpetaBinarios() / "sincronizador").string(),
                                        "--sin-ventana",
                                        "--acceso",
                                        sitio.acceso.string(),
                                        "--servidor",
                                        servidor,
                                        "--socio",
                                        servidor,
                                        "--intervalo",
                                        std::to_string(intervaloMs),
                                        "--ciclos",
                                        std::to_string(ciclos)};
    argumentos.insert(argumentos.end(), mas.begin(), mas.end());
    Proceso proceso(argumentos,
                    archivoUnico(sitio.acceso.parent_path(), "sincronizador-" + sitio.codigo));
    Resultado r;
    r.codigo = proceso.esperar(limite).value_or(-1);
    r.salida = proceso.salida();
    return r;
}

// --- raw loopback ---

int conectar(int puerto, uint32_t origen) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return -1;
    if (origen != INADDR_LOOPBACK) {
        sockaddr_in propia{};
        propia.sin_family = AF_INET;
        propia.sin_addr.s_addr = htonl(origen);
        bind(s, reinterpret_cast<sockaddr*>(&propia), sizeof propia);
    }
    sockaddr_in dir = loopback(puerto);
    if (connect(s, reinterpret_cast<sockaddr*>(&dir), sizeof dir) != 0) {
        close(s);
        return -1;
    }
    return s;
}

std::string leerHastaCierre(int conexion, std::chrono::milliseconds espera) {
    timeval tv{static_cast<time_t>(espera.count() / 1000),
               static_cast<suseconds_t>(espera.count() % 1000 * 1000)};
    setsockopt(conexion, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string respuesta;
    char bloque[65536];
    ssize_t n;
    while ((n = recv(conexion, bloque, sizeof bloque, 0)) > 0)
        respuesta.append(bloque, static_cast<size_t>(n));
    return respuesta;
}

std::string intercambiar(int puerto, const std::string& peticion, std::chrono::milliseconds espera,
                         uint32_t origen) {
    const int s = conectar(puerto, origen);
    if (s < 0) return {};
    enviarTodo(s, peticion);
    std::string respuesta = leerHastaCierre(s, espera);
    close(s);
    return respuesta;
}

int puertoCerrado() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in dir = loopback(0);
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&dir), sizeof dir) != 0)
        throw std::system_error(errno, std::generic_category(), "bind");
    int puerto = puertoDe(s);
    close(s);
    return puerto;
}

// --- scripted peers ---

std::string Peticion::parametro(const std::string& nombre) const {
    const std::string prefijo = nombre + "=";
    size_t pos = 0;
    while (pos <= cuerpo.size()) {
        size_t fin = cuerpo.find('&', pos);
        if (fin == std::string::npos) fin = cuerpo.size();
        if (cuerpo.compare(pos, prefijo.size(), prefijo) == 0)
            return cuerpo.substr(pos + prefijo.size(), fin - pos - prefijo.size());
        // "dato" runs to the end of the body: nothing after it is a parameter.
        if (cuerpo.compare(pos, 5, "dato=") == 0) break;
        pos = fin + 1;
    }
    return {};
}

std::string Peticion::dato() const {
    size_t pos = cuerpo.rfind("&dato=");
    if (pos != std::string::npos) return cuerpo.substr(pos + 6);
    return cuerpo.compare(0, 5, "dato=") == 0 ? cuerpo.substr(5) : std::string();
}

std::string respuestaHttp(int estado, const std::string& cuerpo) {
    const char* razon = estado == 200   ? "OK"
                        : estado == 400 ? "Bad Request"
                        : estado == 413 ? "Payload Too Large"
                        : estado == 500 ? "Internal Server Error"
                                        : "Error";
    return "HTTP/1.0 " + std::to_string(estado) + " " + razon +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(cuerpo.size()) +
           "\r\n\r\n" + cuerpo;
}

PeerGuionado::PeerGuionado(Guion guion) : guion_(std::move(guion)) {
    escucha_ = socket(AF_INET, SOCK_STREAM, 0);
    int si = 1;
    setsockopt(escucha_, SOL_SOCKET, SO_REUSEADDR, &si, sizeof si);
    sockaddr_in dir = loopback(0);
    if (escucha_ < 0 || bind(escucha_, reinterpret_cast<sockaddr*>(&dir), sizeof dir) != 0 ||
        listen(escucha_, 16) != 0)
        throw std::system_error(errno, std::generic_category(), "listen");
    puerto_ = puertoDe(escucha_);
    hilo_ = std::thread([this] { atender(); });
}

PeerGuionado::~PeerGuionado() {
    parar_ = true;
    hilo_.join();
    for (int c : abiertas_) close(c);
    close(escucha_);
}

void PeerGuionado::guion(Guion nuevo) {
    std::lock_guard<std::mutex> cerrojo(mutex_);
    guion_ = std::move(nuevo);
}

void PeerGuionado::atender() {
    while (!parar_) {
        pollfd espera{escucha_, POLLIN, 0};
        if (poll(&espera, 1, 50) <= 0) continue;
        int conexion = accept(escucha_, nullptr, nullptr);
        if (conexion >= 0) responder(conexion);
    }
}

void PeerGuionado::responder(int conexion) {
    const std::string texto = leerPeticion(conexion);
    Peticion peticion;
    const size_t espacio = texto.find(' ');
    if (espacio != std::string::npos)
        peticion.ruta = texto.substr(espacio + 1, texto.find(' ', espacio + 1) - espacio - 1);
    const size_t finCabecera = texto.find("\r\n\r\n");
    if (finCabecera != std::string::npos) peticion.cuerpo = texto.substr(finCabecera + 4);
    // The synchronizer ends its body with a line end that is not part of it.
    if (peticion.cuerpo.size() >= 2 &&
        peticion.cuerpo.compare(peticion.cuerpo.size() - 2, 2, "\r\n") == 0)
        peticion.cuerpo.resize(peticion.cuerpo.size() - 2);
    ++peticiones_;

    Accion accion;
    {
        std::lock_guard<std::mutex> cerrojo(mutex_);
        accion = guion_(peticion);
    }
    enviarTodo(conexion, accion.bytes);
    const std::string relleno(size_t{1} << 16, ' ');
    for (size_t enviado = 0; enviado < accion.relleno;) {
        const size_t parte = std::min(relleno.size(), accion.relleno - enviado);
        ssize_t n = send(conexion, relleno.data(), parte, MSG_NOSIGNAL);
        if (n <= 0) break;  // the client gave up
        enviado += static_cast<size_t>(n);
    }
    switch (accion.fin) {
        case Accion::Fin::Colgar:
            // The client sees neither more bytes nor a close.
            abiertas_.push_back(conexion);
            return;
        case Accion::Fin::Reiniciar: {
            linger sinEspera{1, 0};
            setsockopt(conexion, SOL_SOCKET, SO_LINGER, &sinEspera, sizeof sinEspera);
            close(conexion);
            return;
        }
        case Accion::Fin::Cerrar:
            shutdown(conexion, SHUT_WR);
            close(conexion);
            return;
    }
}

// --- slow line ---

LineaLenta::LineaLenta(int destino, size_t bytesPorSegundo)
    : destino_(destino), bytesPorSegundo_(bytesPorSegundo) {
    escucha_ = socket(AF_INET, SOCK_STREAM, 0);
    int si = 1;
    setsockopt(escucha_, SOL_SOCKET, SO_REUSEADDR, &si, sizeof si);
    // Set before listening, so that the accepted connections take it.
    int pequeno = 16384;
    setsockopt(escucha_, SOL_SOCKET, SO_RCVBUF, &pequeno, sizeof pequeno);
    sockaddr_in dir = loopback(0);
    if (escucha_ < 0 || bind(escucha_, reinterpret_cast<sockaddr*>(&dir), sizeof dir) != 0 ||
        listen(escucha_, 16) != 0)
        throw std::system_error(errno, std::generic_category(), "listen");
    puerto_ = puertoDe(escucha_);
    hilo_ = std::thread([this] { aceptar(); });
}

LineaLenta::~LineaLenta() {
    parar_ = true;
    hilo_.join();
    for (auto& t : conexiones_) t.join();
    close(escucha_);
}

void LineaLenta::aceptar() {
    while (!parar_) {
        pollfd espera{escucha_, POLLIN, 0};
        if (poll(&espera, 1, 50) <= 0) continue;
        int cliente = accept(escucha_, nullptr, nullptr);
        if (cliente < 0) continue;
        std::lock_guard<std::mutex> cerrojo(mutex_);
        conexiones_.emplace_back([this, cliente] { llevar(cliente); });
    }
}

void LineaLenta::llevar(int cliente) {
    int peer = socket(AF_INET, SOCK_STREAM, 0);
    int pequeno = 16384;
    setsockopt(peer, SOL_SOCKET, SO_RCVBUF, &pequeno, sizeof pequeno);
    setsockopt(cliente, SOL_SOCKET, SO_SNDBUF, &pequeno, sizeof pequeno);
    sockaddr_in dir = loopback(destino_);
    if (peer < 0 || connect(peer, reinterpret_cast<sockaddr*>(&dir), sizeof dir) != 0) {
        if (peer >= 0) close(peer);
        close(cliente);
        return;
    }
    struct Sentido {
        int de, a;
        std::atomic<size_t>& cuenta;
        bool abierto = true;
        double credito = 0;
    };
    Sentido sentidos[2] = {{cliente, peer, subidos_}, {peer, cliente, bajados_}};
    // Every 10 ms each way may carry its share of the rate, and never more
    // than 50 ms of it at once: the line has no bursts.
    const double porPaso = static_cast<double>(bytesPorSegundo_) / 100.0;
    const double tope = std::max(1.0, porPaso * 5);
    char bloque[4096];
    bool roto = false;
    while (!parar_ && !roto && (sentidos[0].abierto || sentidos[1].abierto)) {
        std::this_thread::sleep_for(10ms);
        for (Sentido& s : sentidos) {
            if (!s.abierto) continue;
            s.credito = std::min(tope, s.credito + porPaso);
            while (s.abierto && s.credito >= 1) {
                const size_t quiere = std::min(sizeof bloque, static_cast<size_t>(s.credito));
                const ssize_t n = recv(s.de, bloque, quiere, MSG_DONTWAIT);
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
                if (n == 0) {
                    shutdown(s.a, SHUT_WR);
                    s.abierto = false;
                    break;
                }
                if (n < 0) {
                    roto = true;
                    break;
                }
                size_t enviado = 0;
                while (enviado < static_cast<size_t>(n)) {
                    const ssize_t m = send(s.a, bloque + enviado, n - enviado, MSG_NOSIGNAL);
                    if (m <= 0) break;
                    enviado += static_cast<size_t>(m);
                }
                if (enviado < static_cast<size_t>(n)) roto = true;
                s.credito -= static_cast<double>(n);
                s.cuenta += static_cast<size_t>(n);
            }
        }
    }
    if (roto || parar_) {
        // One end went away: the other sees its connection torn down.
        linger sinEspera{1, 0};
        setsockopt(cliente, SOL_SOCKET, SO_LINGER, &sinEspera, sizeof sinEspera);
        setsockopt(peer, SOL_SOCKET, SO_LINGER, &sinEspera, sizeof sinEspera);
    }
    close(peer);
    close(cliente);
}

// --- misbehaving peer ---

PeerDefectuoso::PeerDefectuoso(Falla falla, std::string destino)
    : peer_([falla, destino = std::move(destino)](const Peticion& peticion) {
          return responder(falla, destino, peticion);
      }) {
    if (falla != Falla::NuncaResponde && falla != Falla::CierraAMitad && falla != Falla::Error500)
        throw std::logic_error("PeerDefectuoso does not play " + nombreFalla(falla));
}

Accion PeerDefectuoso::responder(Falla falla, const std::string& destino,
                                 const Peticion& peticion) {
    if (falla == Falla::NuncaResponde) return {{}, 0, Accion::Fin::Colgar};

    // The tempting body acknowledges the first row the request carried and
    // offers one record for the site, so that a client that took it would
    // visibly mark or store something.
    std::string id = "1";
    size_t pos = peticion.cuerpo.find("\"Id\":\"");
    if (pos != std::string::npos) {
        size_t inicio = pos + 6;
        size_t fin = peticion.cuerpo.find('"', inicio);
        if (fin != std::string::npos && fin > inicio)
            id = peticion.cuerpo.substr(inicio, fin - inicio);
    }
    const std::string cuerpo =
        "dato=[{\"valor\":\"" + id + "\"},{\"id\":\"" + kIdTentador +
        "\",\"Tabla\":\"2\",\"Origen\":\"999999999\",\"Destino\":\"" + destino +
        "\",\"Servicio\":\"2\",\"Funcion\":\"A\",\"Campo1\":\"TENTADOR\",\"Campo2\":"
        "\"Producto que no debe existir\"}]\r\n";

    if (falla == Falla::Error500) return {respuestaHttp(500, cuerpo)};
    // Cut inside the second object: the first acknowledgement is complete,
    // the list is not.
    const std::string completa = respuestaHttp(200, cuerpo);
    return {completa.substr(0, completa.find(kIdTentador))};
}

}  // namespace prueba
