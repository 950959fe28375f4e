#include "http/clsHTTP.h"

#include <cctype>
#include <limits>

namespace http {

namespace {

constexpr std::string_view kCRLF = "\r\n";

std::string reemplazar(std::string_view texto, std::string_view de, std::string_view a) {
    std::string salida;
    salida.reserve(texto.size());
    size_t pos = 0;
    while (true) {
        size_t encontrado = texto.find(de, pos);
        if (encontrado == std::string_view::npos) break;
        salida.append(texto.substr(pos, encontrado - pos));
        salida.append(a);
        pos = encontrado + de.size();
    }
    salida.append(texto.substr(pos));
    return salida;
}

bool igualSinMayusculas(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The value that follows a key in a block of text: it starts `salto`
// characters after the end of the key and ends before the first CR LF found
// from the value's second character on.
std::string valorTrasClave(const std::string& bloque, std::string_view clave, size_t salto) {
    size_t pos = bloque.find(clave);
    if (pos == std::string::npos) return {};
    size_t inicio = pos + clave.size() + salto;
    if (inicio >= bloque.size()) return {};
    size_t fin = bloque.find(kCRLF, inicio + 1);
    if (fin == std::string::npos) fin = bloque.size();
    return bloque.substr(inicio, fin - inicio);
}

// The status code between the first and the second space of a status line;
// 0 when there are not two spaces or the code is not a plain number that fits.
int16_t codigoDeEstado(std::string_view linea) {
    size_t primero = linea.find(' ');
    if (primero == std::string_view::npos) return 0;
    size_t segundo = linea.find(' ', primero + 1);
    if (segundo == std::string_view::npos) return 0;
    std::string_view codigo = linea.substr(primero + 1, segundo - primero - 1);
    if (codigo.empty()) return 0;
    long valor = 0;
    for (char c : codigo) {
        if (c < '0' || c > '9') return 0;
        valor = valor * 10 + (c - '0');
        if (valor > std::numeric_limits<int16_t>::max()) return 0;
    }
    return static_cast<int16_t>(valor);
}

}  // namespace

void clsHTTP::comando(std::string_view valor) {
    comando_ = reemplazar(valor, "/", "%2F");
    addParam("r", comando_, "POST");
}

std::string clsHTTP::comando() const {
    return reemplazar(comando_, "%2F", "/");
}

void clsHTTP::metodo(std::string_view v) {
    metodo_.assign(v);
    for (char& c : metodo_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

void clsHTTP::addParam(std::string_view clave, std::string_view valor, std::string_view tipo) {
    if (igualSinMayusculas(tipo, "GET")) {
        if (!paramsGet_.empty()) paramsGet_ += '&';
        paramsGet_.append(clave);
        paramsGet_ += '=';
        paramsGet_ += codificarURL(valor);
    } else if (igualSinMayusculas(tipo, "POST")) {
        if (!paramsPost_.empty()) paramsPost_ += '&';
        paramsPost_.append(clave);
        paramsPost_ += '=';
        paramsPost_.append(valor);
    } else if (igualSinMayusculas(tipo, "HEADER")) {
        if (!paramsCabecera_.empty()) paramsCabecera_ += kCRLF;
        paramsCabecera_.append(clave);
        paramsCabecera_ += ": ";
        paramsCabecera_.append(valor);
    }
}

void clsHTTP::limpiarParams() {
    paramsCabecera_.clear();
    paramsGet_.clear();
    paramsPost_.clear();
}

std::string clsHTTP::generarPeticion() {
    addParam("Host", host_, "HEADER");
    const bool esPost = metodo_ == "POST";
    if (esPost) {
        addParam("Content-Type", "application/x-www-form-urlencoded", "HEADER");
        addParam("Content-Length", std::to_string(paramsPost_.size()), "HEADER");
    }
    std::string peticion;
    peticion.reserve(metodo_.size() + uri_.size() + paramsGet_.size() + paramsCabecera_.size() +
                     (esPost ? paramsPost_.size() : 0) + 32);
    peticion += metodo_;
    peticion += ' ';
    peticion += uri_;
    if (!paramsGet_.empty()) {
        peticion += '?';
        peticion += paramsGet_;
    }
    peticion += " HTTP/1.0";
    peticion += kCRLF;
    peticion += paramsCabecera_;
    peticion += kCRLF;
    peticion += kCRLF;
    if (esPost) peticion += paramsPost_;
    peticion += kCRLF;
    return peticion;
}

void clsHTTP::convertirRespuesta(std::string_view respuesta) {
    lineaEstado_.clear();
    cabeceraRespuesta_.clear();
    cuerpoRespuesta_.clear();
    // A response that cannot be split reads as no response at all: code 0,
    // empty header block and body, so the caller takes its non-200 path.
    size_t p1 = respuesta.find(kCRLF);
    if (p1 == std::string_view::npos) return;
    size_t p2 = respuesta.find("\r\n\r\n");
    if (p2 == std::string_view::npos || p2 == p1) return;
    std::string_view estado = respuesta.substr(0, p1);
    if (codigoDeEstado(estado) == 0) return;
    lineaEstado_.assign(estado);
    cabeceraRespuesta_.assign(respuesta.substr(p1 + 2, p2 - p1 - 2));
    cuerpoRespuesta_.assign(respuesta.substr(p2 + 4));
}

int16_t clsHTTP::getResponseCode() const {
    return codigoDeEstado(lineaEstado_);
}

std::string clsHTTP::getBodyData(std::string_view clave) const {
    int16_t codigo = getResponseCode();
    if (codigo != 200) return "Error HTTP: " + std::to_string(codigo);
    return valorTrasClave(cuerpoRespuesta_, clave, 1);
}

std::string clsHTTP::getHeaderData(std::string_view clave) const {
    return valorTrasClave(cabeceraRespuesta_, clave, 2);
}

std::string clsHTTP::codificarURL(std::string_view valor) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string salida;
    salida.reserve(valor.size() * 3);
    for (char c : valor) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')) {
            salida += c;
        } else {
            salida += '%';
            salida += kHex[u >> 4];
            salida += kHex[u & 0x0F];
        }
    }
    return salida;
}

}  // namespace http
