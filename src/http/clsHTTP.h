// The program's own HTTP/1.0 codec: collects request parameters, renders the
// whole request as one text, and splits a collected response. It does no
// networking of its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace http {

class clsHTTP {
  public:
    // Stores the text with every "/" written as "%2F" and adds it as the
    // POST parameter "r" in that stored form.
    void comando(std::string_view valor);
    // The stored value with "%2F" turned back into "/".
    std::string comando() const;

    void host(std::string v) { host_ = std::move(v); }
    const std::string& host() const { return host_; }
    // Stored in upper case.
    void metodo(std::string_view v);
    const std::string& metodo() const { return metodo_; }
    void URI(std::string v) { uri_ = std::move(v); }
    const std::string& URI() const { return uri_; }
    void port(int16_t v) { port_ = v; }
    int16_t port() const { return port_; }

    // kind "GET", "POST" or "HEADER", compared without regard to case; any
    // other kind is ignored.
    void addParam(std::string_view clave, std::string_view valor, std::string_view tipo);
    void limpiarParams();
    std::string generarPeticion();

    void convertirRespuesta(std::string_view respuesta);
    int16_t getResponseCode() const;
    std::string getBodyData(std::string_view clave) const;
    std::string getHeaderData(std::string_view clave) const;

    const std::string& lineaEstado() const { return lineaEstado_; }
    const std::string& cabeceraRespuesta() const { return cabeceraRespuesta_; }
    const std::string& cuerpoRespuesta() const { return cuerpoRespuesta_; }
    const std::string& paramsCabecera() const { return paramsCabecera_; }
    const std::string& paramsGet() const { return paramsGet_; }
    const std::string& paramsPost() const { return paramsPost_; }

    // "%" + two upper-case hex digits for every character but letters and
    // digits; a space becomes "%20".
    static std::string codificarURL(std::string_view valor);

  private:
    std::string metodo_, host_, uri_, comando_;
    int16_t port_ = 0;
    std::string paramsCabecera_, paramsGet_, paramsPost_;
    std::string lineaEstado_, cabeceraRespuesta_, cuerpoRespuesta_;
};

}  // namespace http
