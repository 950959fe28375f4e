#include "Central.h"

#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "Operador.h"
#include "comun/Texto.h"
#include "comun/Variant.h"
#include "json/JSON.h"
#include "protocolo/Comunicacion.h"
#include "protocolo/Entero.h"

namespace servidor {

namespace {

constexpr std::string_view kFinLinea = "\r\n";

Respuesta rechazo(std::string motivo) {
    Respuesta r;
    r.estado = 400;
    r.cuerpo = motivo + "\r\n";
    r.bitacora = "rechazado: " + motivo;
    return r;
}

// A request the server will not serve in the name it gives: 403, with the
// reason in the log.
Respuesta prohibido(const std::string& cuerpo, const std::string& motivo) {
    Respuesta r;
    r.estado = 403;
    r.cuerpo = cuerpo + "\r\n";
    r.bitacora = "rechazado (403): " + motivo;
    return r;
}

// A failure of the server itself (its own database): 500, and the reason in
// the log only.
Respuesta errorInterno(const std::exception& e) {
    Respuesta r;
    r.estado = 500;
    r.cuerpo = "Error interno\r\n";
    r.bitacora = std::string("error interno: ") + e.what();
    return r;
}

// A UTF-8 JSON text in the wire's code page, which the sites read as
// Windows-1252: a character the code page has becomes its byte, any other
// its \u escape (a pair of them beyond U+FFFF), which the sites' parser
// reads back inside a string.
std::string enCodigoDelCable(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto escapar = [](std::string& r, char32_t c) {
        r += "\\u";
        for (int desplazamiento = 12; desplazamiento >= 0; desplazamiento -= 4)
            r += kHex[(c >> desplazamiento) & 0xF];
    };
    std::string r;
    r.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        const size_t inicio = pos;
        const char32_t c = comun::leerCodigo(utf8, pos);
        if (c < 0x80) {
            r += static_cast<char>(c);
            continue;
        }
        const std::string byte = comun::utf8ACp1252(utf8.substr(inicio, pos - inicio));
        if (byte != "?") {
            r += byte;
        } else if (c > 0xFFFF) {
            escapar(r, 0xD800 + ((c - 0x10000) >> 10));
            escapar(r, 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            escapar(r, c);
        }
    }
    return r;
}

Respuesta dato(const std::string& json) {
    Respuesta r;
    r.cuerpo = "dato=" + json + std::string(kFinLinea);
    return r;
}

// A row id of a site: a whole number above zero (the site marks its rows
// sent by the ids echoed back, so nothing else is taken).
bool esIdDeFila(std::string_view texto) {
    const auto id = protocolo::entero64(texto);
    return id && *id > 0;
}

std::string recortar(std::string_view texto) {
    size_t inicio = texto.find_first_not_of(" \t\r\n");
    if (inicio == std::string_view::npos) return {};
    size_t fin = texto.find_last_not_of(" \t\r\n");
    return std::string(texto.substr(inicio, fin - inicio + 1));
}

std::string reemplazarTodo(std::string texto, std::string_view de, std::string_view a) {
    for (size_t pos = texto.find(de); pos != std::string::npos;
         pos = texto.find(de, pos + a.size()))
        texto.replace(pos, de.size(), a);
    return texto;
}

// A text kept on one line: line ends become blanks.
std::string enUnaLinea(std::string texto) {
    for (char& c : texto)
        if (c == '\r' || c == '\n') c = ' ';
    return texto;
}

std::string buscar(const std::vector<std::pair<std::string, std::string>>& pares,
                   std::string_view clave, bool* hallado = nullptr) {
    for (const auto& [k, v] : pares) {
        if (k == clave) {
            if (hallado) *hallado = true;
            return v;
        }
    }
    if (hallado) *hallado = false;
    return {};
}

// "dato" carries JSON and is the last parameter the sites send: its value
// runs to the end of the body, so an unescaped "&" inside the JSON does not
// cut it short.
bool valorHastaElFinal(std::string_view cuerpo, std::string_view clave, std::string& valor) {
    std::string prefijo = std::string(clave) + "=";
    size_t pos = 0;
    while (true) {
        if (cuerpo.substr(pos, prefijo.size()) == prefijo) {
            valor.assign(cuerpo.substr(pos + prefijo.size()));
            return true;
        }
        size_t siguiente = cuerpo.find('&', pos);
        if (siguiente == std::string_view::npos) return false;
        pos = siguiente + 1;
    }
}

// A fingerprint of what a record says: every member but its row id, its
// origin and its sent flag, each preceded by its length so that two
// different records never run together into one text.
std::string huellaDe(const protocolo::Comunicacion& registro) {
    std::string contenido;
    auto agregar = [&](const std::string& valor) {
        contenido += std::to_string(valor.size());
        contenido += ':';
        contenido += valor;
    };
    agregar(registro.servicio);
    agregar(registro.tabla);
    agregar(registro.destino);
    agregar(registro.funcion);
    for (const std::string& c : registro.campos) agregar(c);
    unsigned char resumen[EVP_MAX_MD_SIZE];
    unsigned int largo = 0;
    if (!EVP_Digest(contenido.data(), contenido.size(), resumen, &largo, EVP_sha256(), nullptr))
        throw std::runtime_error("No se pudo calcular la huella de un registro");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < largo; ++i) {
        hex += kHex[resumen[i] >> 4];
        hex += kHex[resumen[i] & 0xF];
    }
    return hex;
}

// The size of a record's answer form with the longest delivery id, as it is
// posted: what it would weigh in an answer of its own.
size_t pesoEnRespuesta(const protocolo::Comunicacion& r, const std::string& sitio) {
    protocolo::Comunicacion e = r;
    e.origen = sitio;
    if (e.destino.size() < kLargoMaximoSitio) e.destino = std::string(kLargoMaximoSitio, '0');
    return protocolo::codificarEntrega(std::numeric_limits<int64_t>::max(), e).size() + 2;
}

std::string demasiadoGrande(size_t bytes, size_t maximo) {
    return "demasiado grande: " + std::to_string(bytes) +
           " bytes en una respuesta, que lleva a lo "
           "mas " +
           std::to_string(maximo);
}

// A record as a JSON object of texts, every member it came with, to keep it
// whole.
std::string comoJSON(const json::Diccionario& registro) {
    json::ObjetoTextos objeto;
    for (size_t i = 0; i < registro.Count(); ++i)
        objeto.agregar(registro.Keys()[i], registro.valorEn(i).texto());
    return objeto.cerrar();
}

}  // namespace

int64_t ahora() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::vector<std::pair<std::string, std::string>> leerFormulario(std::string_view cuerpo) {
    std::vector<std::pair<std::string, std::string>> pares;
    size_t pos = 0;
    while (pos <= cuerpo.size()) {
        size_t fin = cuerpo.find('&', pos);
        if (fin == std::string_view::npos) fin = cuerpo.size();
        std::string_view par = cuerpo.substr(pos, fin - pos);
        if (!par.empty()) {
            size_t igual = par.find('=');
            if (igual == std::string_view::npos)
                pares.emplace_back(std::string(par), std::string());
            else
                pares.emplace_back(std::string(par.substr(0, igual)),
                                   std::string(par.substr(igual + 1)));
        }
        pos = fin + 1;
    }
    return pares;
}

std::string leerDoctores(const std::string& ruta) {
    std::ifstream archivo(ruta, std::ios::binary);
    if (!archivo) throw std::runtime_error("No se pudo leer " + ruta);
    std::stringstream contenido;
    contenido << archivo.rdbuf();
    std::string texto = enUnaLinea(recortar(contenido.str()));
    const json::Analisis analisis = json::parse(texto);
    if (!analisis.correcto() || !analisis.valor.esObjeto() ||
        !analisis.valor.objetoComo<json::Coleccion>())
        throw std::runtime_error(ruta + " no es una lista JSON");
    return enCodigoDelCable(texto);
}

Central::Central(std::unique_ptr<Almacen> almacen, size_t digitosSucursal, std::string doctores)
    : almacen_(std::move(almacen)),
      digitosSucursal_(digitosSucursal),
      doctores_(std::move(doctores)) {}

Central::Central(const std::string& base, size_t digitosSucursal, std::string doctores)
    : Central(abrirAlmacen(base), digitosSucursal, std::move(doctores)) {}

std::string Central::clienteDe(std::string_view sitio) const {
    if (sitio.size() <= digitosSucursal_) return {};
    return std::string(sitio.substr(0, sitio.size() - digitosSucursal_));
}

namespace {

double segundosDesde(std::chrono::steady_clock::time_point inicio) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
}

}  // namespace

Respuesta Central::atenderSincronizador(std::string_view cuerpo, const Credencial& quien) {
    const auto inicio = std::chrono::steady_clock::now();
    TipoPeticion tipo = TipoPeticion::Otra;
    std::string sitio;
    Respuesta r = servirSincronizador(cuerpo, quien, tipo, sitio);
    metricas_.peticion(tipo, r.estado, segundosDesde(inicio), sitio,
                       sitio.empty() ? std::string() : clienteDe(sitio));
    return r;
}

Respuesta Central::servirSincronizador(std::string_view cuerpo, const Credencial& quien,
                                       TipoPeticion& tipo, std::string& sitioVisto) {
    auto pares = leerFormulario(cuerpo);
    bool hayServicio = false;
    std::string servicio = buscar(pares, "r", &hayServicio);
    if (!hayServicio) return rechazo("Falta el parametro r");
    servicio = reemplazarTodo(reemplazarTodo(servicio, "%2F", "/"), "%2f", "/");

    try {
        if (servicio == "servicio/getDoctores") {
            tipo = TipoPeticion::GetDoctores;
            Respuesta r = dato(doctores_);
            r.bitacora = "getDoctores";
            return r;
        }
        if (servicio == "servicio/getEstudios") {
            tipo = TipoPeticion::GetEstudios;
            Respuesta r = dato("[]");
            r.bitacora = "getEstudios";
            return r;
        }
        if (servicio != "servicio/getData" && servicio != "servicio/setData")
            return rechazo("Servicio desconocido: " + enUnaLinea(servicio.substr(0, 80)));
        tipo = servicio == "servicio/getData" ? TipoPeticion::GetData : TipoPeticion::SetData;

        std::string sitio = buscar(pares, "idSyA");
        if (sitio.empty()) return rechazo("Falta idSyA");
        if (sitio.size() <= digitosSucursal_ || sitio.size() > kLargoMaximoSitio ||
            sitio == kDestinoGeneral || sitio.find_first_of("\r\n") != std::string::npos)
            return rechazo("idSyA invalido");
        sitioVisto = sitio;
        if (std::string motivo = motivoDeRechazo(quien, sitio); !motivo.empty())
            return prohibido("Certificado de sitio no valido", motivo);

        if (servicio == "servicio/getData") return getData(sitio);
        std::string valor;
        if (!valorHastaElFinal(cuerpo, "dato", valor)) return rechazo("Falta dato");
        return setData(sitio, valor);
    } catch (const SitioNoRegistrado& e) {
        return prohibido("Sitio no registrado", e.what());
    } catch (const std::exception& e) {
        return errorInterno(e);
    }
}

// Why a record of `sitio` may not go to `destino`; empty when it may: the
// general code, or another site of the poster's own client (a code of the
// client followed by a branch, in printable characters without blanks).
std::string Central::destinoInvalido(const std::string& destino, const std::string& sitio,
                                     const std::string& cliente) const {
    if (destino == kDestinoGeneral) return {};
    const std::string visto = "Destino '" + enUnaLinea(destino.substr(0, 80)) + "'";
    if (destino == sitio) return visto + " es el mismo sitio";
    const bool imprimible =
        std::all_of(destino.begin(), destino.end(), [](char c) { return c > ' ' && c <= '~'; });
    if (destino.size() > kLargoMaximoSitio || !imprimible || clienteDe(destino) != cliente)
        return visto + " no es el general ni un sitio del cliente " + cliente;
    return {};
}

Respuesta Central::setData(const std::string& sitio, std::string_view textoDato) {
    std::string texto = recortar(textoDato);
    comun::Variant raiz;
    std::shared_ptr<json::Coleccion> registros;
    if (texto != "null") {
        json::Analisis analisis = json::parse(texto);
        if (!analisis.correcto()) return rechazo("dato no es JSON valido");
        raiz = std::move(analisis.valor);
        registros = raiz.objetoComo<json::Coleccion>();
        if (!registros) return rechazo("dato no es una lista");
        for (const auto& elemento : registros->elementos())
            if (!elemento.esObjeto() || !elemento.objetoComo<json::Diccionario>())
                return rechazo("dato tiene un elemento que no es un objeto");
    }

    Lote lote;
    lote.sitio = sitio;
    lote.cliente = clienteDe(sitio);
    std::vector<std::string> tomadas;
    int acuses = 0, ignorados = 0, ajenos = 0, destinos = 0, ilegibles = 0, grandes = 0;
    if (registros) {
        for (const auto& elemento : registros->elementos()) {
            const auto& objeto = *elemento.objetoComo<json::Diccionario>();
            protocolo::Comunicacion registro = protocolo::leerSaliente(objeto);
            // The site marks rows sent by the ids echoed back, so only row
            // numbers are stored and echoed.
            registro.id = recortar(registro.id);
            const std::string& id = registro.id;
            if (!esIdDeFila(id)) {
                ++ignorados;
                continue;
            }
            tomadas.push_back(id);
            // A record written in another site's name is not taken: it is
            // kept aside whole for the operator and still acknowledged, so
            // that it does not sit at the head of the site's queue and hold
            // back every later record of that site.
            const std::string origen = recortar(registro.origen);
            if (!origen.empty() && origen != sitio) {
                lote.apartados.push_back(
                    {id, "Origen " + enUnaLinea(origen.substr(0, 80)) + " no es " + sitio,
                     comoJSON(objeto)});
                ++ajenos;
                continue;
            }
            if (protocolo::esAcuse(registro)) {
                // An acknowledgement: Campo1 is the delivery the site stored.
                // One that names no delivery is kept aside for the operator:
                // dropping it unseen would hide a site that cannot end its
                // deliveries.
                if (auto n = protocolo::entregaAcusada(registro)) {
                    lote.acuses.push_back(*n);
                    lote.filasAcuses.push_back(id);
                } else {
                    lote.apartados.push_back(
                        {id,
                         "Acuse de una entrega ilegible: '" +
                             enUnaLinea(recortar(registro.campo(1)).substr(0, 80)) + "'",
                         comoJSON(objeto)});
                    ++ilegibles;
                }
                ++acuses;
                continue;
            }
            // A destination outside the poster's client would reach another
            // client; one that names no site would wait for ever, seen by
            // nobody. Either is kept aside whole.
            if (std::string motivo = destinoInvalido(registro.destino, sitio, lote.cliente);
                !motivo.empty()) {
                lote.apartados.push_back({id, motivo, comoJSON(objeto)});
                ++destinos;
                continue;
            }
            // A record no answer can carry would be offered for ever: it is
            // kept aside at once, and still acknowledged.
            const size_t peso = pesoEnRespuesta(registro, sitio);
            if (peso > limite_.registroMaximo) {
                lote.apartados.push_back(
                    {id, demasiadoGrande(peso, limite_.registroMaximo), comoJSON(objeto)});
                ++grandes;
                continue;
            }
            RegistroEntrante r;
            r.huella = huellaDe(registro);
            r.general = registro.destino == kDestinoGeneral;
            r.registro = std::move(registro);
            lote.registros.push_back(std::move(r));
        }
    }
    ResultadoLote resultado = almacen_->guardarLote(lote, ahora());
    metricas_.publicados(lote.cliente, resultado.nuevos);

    Respuesta r = dato(protocolo::codificarRecibos(tomadas));
    r.bitacora = "setData " + sitio + ": " + std::to_string(resultado.nuevos) + " nuevos, " +
                 std::to_string(resultado.repetidos) + " repetidos, " + std::to_string(acuses) +
                 " acuses";
    if (ajenos > 0)
        r.bitacora += ", " + std::to_string(ajenos) + " en nombre de otro sitio (apartados)";
    if (grandes > 0)
        r.bitacora += ", " + std::to_string(grandes) + " demasiado grandes (apartados)";
    if (destinos > 0)
        r.bitacora += ", " + std::to_string(destinos) + " con destino invalido (apartados)";
    if (ilegibles > 0)
        r.bitacora += ", " + std::to_string(ilegibles) + " acuses ilegibles (apartados)";
    if (ignorados > 0) r.bitacora += ", " + std::to_string(ignorados) + " sin Id valido";
    if (resultado.idsDesde > 0)
        r.bitacora += ", acusa entregas que esta base no dio: sus ids siguen desde " +
                      std::to_string(resultado.idsDesde);
    if (!resultado.filaRepetida.empty())
        r.bitacora += "; aviso: el sitio volvio a usar la fila " + resultado.filaRepetida +
                      ". Si restauro una copia (anterior a " + textoFecha(resultado.copiaAntesDe) +
                      "), para que reciba otra vez lo que perdio ejecute: "
                      "sincronizador-servidor reenviar --base BASE --sitio " +
                      sitio + " --desde \"FECHA DE LA COPIA\"";
    return r;
}

Respuesta Central::getData(const std::string& sitio) {
    const size_t maximo = std::max<size_t>(limite_.filas, 1);
    UltimaRespuesta ultima;
    {
        std::lock_guard<std::mutex> guarda(cerrojoRespuestas_);
        auto [it, nueva] = respuestas_.try_emplace(sitio);
        if (nueva) it->second.filas = maximo;
        ultima = it->second;
    }
    // Whether the last answer was taken shows in the first record owed now:
    // if it is the one the last answer started with, the site acknowledged
    // none of it (the answer was cut, or never reached it, or its
    // acknowledgements did not come back).
    const auto filasPara = [&](const Entrega& primera) {
        if (ultima.cantidad > 0 && primera.id == ultima.primera)
            return std::max<size_t>(ultima.cantidad / 2, 1);
        return ultima.cantidad > 0 ? std::min(maximo, ultima.filas * 2) : ultima.filas;
    };
    size_t filas = ultima.filas;
    const Elegir elegir = [&](Entrega& e, size_t tomadas, size_t bytes, std::string& motivo) {
        e.texto = protocolo::codificarEntrega(e.id, e.registro);
        if (e.texto.size() + 2 > limite_.registroMaximo) {
            motivo = demasiadoGrande(e.texto.size() + 2, limite_.registroMaximo) + " (para " +
                     sitio + ")";
            return Eleccion::Apartar;
        }
        if (tomadas == 0) filas = filasPara(e);
        if (tomadas >= filas) return Eleccion::Parar;
        // "[", the records, a comma between each two, "]".
        if (tomadas > 0 && bytes + tomadas + e.texto.size() + 2 > limite_.bytes)
            return Eleccion::Parar;
        return Eleccion::Entregar;
    };
    const size_t consultadas =
        ultima.cantidad > 0 ? std::min(maximo, ultima.filas * 2) : ultima.filas;
    std::vector<Entrega> entregas =
        almacen_->entregar(sitio, clienteDe(sitio), static_cast<int>(consultadas), ahora(), elegir);

    metricas_.entregados(clienteDe(sitio), static_cast<int64_t>(entregas.size()));
    std::vector<std::string> textos;
    textos.reserve(entregas.size());
    for (const Entrega& e : entregas) textos.push_back(e.texto);
    const std::string lista = json::lista(textos);
    {
        std::lock_guard<std::mutex> guarda(cerrojoRespuestas_);
        UltimaRespuesta& u = respuestas_[sitio];
        u.filas = entregas.empty() ? ultima.filas : filas;
        u.primera = entregas.empty() || !tablaAcusable(entregas.front().registro.tabla)
                        ? 0
                        : entregas.front().id;
        u.cantidad = u.primera == 0 ? 0 : entregas.size();
    }
    Respuesta r = dato(lista);
    r.bitacora = "getData " + sitio + ": " + std::to_string(entregas.size()) + " registros";
    if (filas < maximo) r.bitacora += " (a lo mas " + std::to_string(filas) + " por respuesta)";
    return r;
}

Respuesta Central::atenderQuiralte(std::string_view cuerpo) {
    const auto inicio = std::chrono::steady_clock::now();
    Respuesta r = servirQuiralte(cuerpo);
    metricas_.peticion(TipoPeticion::Socio, r.estado, segundosDesde(inicio));
    return r;
}

Respuesta Central::servirQuiralte(std::string_view cuerpo) {
    auto pares = leerFormulario(cuerpo);
    std::string id = recortar(buscar(pares, "id"));
    if (id.empty()) return rechazo("Falta id");
    id = enUnaLinea(id);
    std::string sucursal = buscar(pares, "sucursal");
    try {
        bool nuevo = almacen_->guardarQuiralte(id, sucursal, std::string(cuerpo), ahora());
        Respuesta r;
        r.cuerpo = "confirmacionEnvio=" + id + std::string(kFinLinea);
        r.bitacora = "socio " + id + (nuevo ? ": guardado" : ": repetido");
        return r;
    } catch (const std::exception& e) {
        return errorInterno(e);
    }
}

}  // namespace servidor
