#include "soporte/CentralEnProceso.h"

#include <stdexcept>

#include "ServidorHTTP.h"
#include "json/JSON.h"
#include "protocolo/Comunicacion.h"
#include "soporte/Entorno.h"

namespace prueba {

CentralEnProceso::CentralEnProceso(std::string doctores)
    : doctores_(std::move(doctores)),
      central_(std::make_unique<servidor::Central>(base_.base(), 3, doctores_)) {}

void CentralEnProceso::reabrir(const std::function<void(const std::string&)>& entretanto) {
    central_.reset();
    entretanto(base_.base());
    central_ = std::make_unique<servidor::Central>(base_.base(), 3, doctores_);
}

std::string CentralEnProceso::bitacora() const {
    std::lock_guard<std::mutex> guarda(cerrojo_);
    return bitacora_;
}

std::string CentralEnProceso::atender(const std::string& peticion) {
    const size_t finCabecera = peticion.find("\r\n\r\n");
    const size_t finLinea = peticion.find("\r\n");
    if (finCabecera == std::string::npos || finLinea == std::string::npos)
        return respuestaHttp(400, "");
    // "POST /path HTTP/1.0"
    const std::string linea = peticion.substr(0, finLinea);
    const size_t a = linea.find(' ');
    const size_t b = linea.find(' ', a + 1);
    const std::string ruta = linea.substr(a + 1, b - a - 1);
    // The body is what Content-Length counts; the renderer's trailing CR LF
    // lies beyond it, as the real server reads it.
    std::string cuerpo = peticion.substr(finCabecera + 4);
    const std::string clave = "Content-Length: ";
    const size_t largo = peticion.find(clave);
    if (largo != std::string::npos && largo < finCabecera)
        cuerpo.resize(std::min(cuerpo.size(), std::stoul(peticion.substr(largo + clave.size()))));
    return atender(ruta, cuerpo);
}

std::string CentralEnProceso::atender(const std::string& ruta, const std::string& cuerpo) {
    if (cuerpo.size() > servidor::kCuerpoMaximo)
        return respuestaHttp(413, "Cuerpo demasiado grande\r\n");
    const servidor::Respuesta r = ruta == "/ombrel.php" ? central_->atenderQuiralte(cuerpo)
                                                        : central_->atenderSincronizador(cuerpo);
    {
        std::lock_guard<std::mutex> guarda(cerrojo_);
        bitacora_ += r.bitacora + "\n";
    }
    return respuestaHttp(r.estado, r.cuerpo);
}

std::string CentralEnProceso::cuerpo(const std::string& formulario) {
    return central_->atenderSincronizador(formulario).cuerpo;
}

std::string CentralEnProceso::publicar(const std::string& sitio,
                                       const std::vector<std::string>& registros) {
    std::string lista;
    for (const auto& r : registros) lista += (lista.empty() ? "[" : ",") + r;
    return cuerpo("r=servicio/setData&idSyA=" + sitio + "&dato=" + lista + "]");
}

std::vector<RegistroLeido> leerRegistros(const std::string& json) {
    const json::Analisis analisis = json::parse(json);
    auto coleccion = analisis.valor.objetoComo<json::Coleccion>();
    if (!analisis.errores.empty() || !coleccion)
        throw std::runtime_error("not a JSON list: " + json.substr(0, 200));
    std::vector<RegistroLeido> registros;
    for (const comun::Variant& e : coleccion->elementos()) {
        auto d = e.objetoComo<json::Diccionario>();
        if (!d) throw std::runtime_error("not a JSON object in the list: " + json.substr(0, 200));
        RegistroLeido r;
        for (size_t i = 0; i < d->Count(); ++i) r[d->Keys()[i]] = d->valorEn(i).texto();
        registros.push_back(std::move(r));
    }
    return registros;
}

std::vector<RegistroLeido> CentralEnProceso::pendientes(const std::string& sitio) {
    const std::string texto = cuerpo("r=servicio/getData&idSyA=" + sitio);
    if (texto.rfind("dato=", 0) != 0) throw std::runtime_error("getData: " + texto);
    return leerRegistros(texto.substr(5));
}

std::vector<RegistroLeido> CentralEnProceso::recogerTodo(const std::string& sitio) {
    std::vector<RegistroLeido> todos;
    for (int vuelta = 0; vuelta < 1000; ++vuelta) {
        auto lote = pendientes(sitio);
        if (lote.empty()) break;
        std::vector<std::string> acuses;
        for (const auto& r : lote) {
            long fila = 0;
            {
                std::lock_guard<std::mutex> guarda(cerrojo_);
                fila = ++filaAcuse_;
            }
            acuses.push_back(registroPublicado(static_cast<int>(fila), 1, sitio,
                                               protocolo::kDestinoGeneral, {r.at("id")}, "A", 0));
            todos.push_back(r);
        }
        publicar(sitio, acuses);
    }
    return todos;
}

}  // namespace prueba
