// The reference server's protocol logic running inside the test process,
// behind a scripted peer: the tests read and shape what it answers.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "Central.h"
#include "Entorno.h"
#include "ServidorHTTP.h"
#include "json/JSON.h"

namespace e2e {

// The reference server's protocol logic on a store of its own, answering
// the scripted peer's requests as the real server would.
class CentralEnProceso {
  public:
    explicit CentralEnProceso(const fs::path& carpeta)
        : central_((carpeta / "central.db").string(), 3) {}

    // A body over the cap is refused as the real server's HTTP layer
    // refuses it, before the protocol logic sees it.
    Accion atender(const Peticion& p) {
        if (p.cuerpo.size() > servidor::kCuerpoMaximo)
            return {respuestaHttp(413, "Cuerpo demasiado grande\r\n")};
        const servidor::Respuesta r = p.ruta == "/ombrel.php"
                                          ? central_.atenderSocio(p.cuerpo)
                                          : central_.atenderSincronizador(p.cuerpo);
        return {respuestaHttp(r.estado, r.cuerpo)};
    }
    std::string cuerpo(const std::string& peticion) {
        return central_.atenderSincronizador(peticion).cuerpo;
    }
    // `sitio` posts a batch of records (registroPublicado); returns the
    // server's answer.
    std::string publicar(const std::string& sitio, const std::vector<std::string>& registros) {
        std::string lista;
        for (const auto& r : registros) lista += (lista.empty() ? "[" : ",") + r;
        return cuerpo("r=servicio/setData&idSyA=" + sitio + "&dato=" + lista + "]");
    }
    // The records the server holds for `sitio` (offered, not acknowledged).
    std::vector<std::map<std::string, std::string>> pendientes(const std::string& sitio) {
        const std::string texto = cuerpo("r=servicio/getData&idSyA=" + sitio);
        const comun::Variant lista = json::parse(texto.substr(5));
        std::vector<std::map<std::string, std::string>> registros;
        auto coleccion = lista.objetoComo<json::Coleccion>();
        if (!coleccion) throw std::runtime_error("getData: " + texto);
        for (const comun::Variant& e : coleccion->elementos()) {
            auto d = e.objetoComo<json::Diccionario>();
            std::map<std::string, std::string> r;
            for (size_t i = 0; i < d->Count(); ++i) r[d->Keys()[i]] = d->valorEn(i).texto();
            registros.push_back(std::move(r));
        }
        return registros;
    }

    // Every record held for `sitio`, taken and acknowledged as the site
    // would, answer after answer, until none is left.
    std::vector<std::map<std::string, std::string>> recogerTodo(const std::string& sitio) {
        std::vector<std::map<std::string, std::string>> todos;
        for (int vuelta = 0; vuelta < 1000; ++vuelta) {
            auto lote = pendientes(sitio);
            if (lote.empty()) break;
            std::string acuses;
            for (const auto& r : lote) {
                acuses += (acuses.empty() ? "[" : ",") + std::string("{\"Id\":\"") +
                          std::to_string(++filaAcuse_) +
                          "\",\"Servicio\":\"0\",\"Tabla\":\"1\",\"Origen\":\"" + sitio +
                          "\",\"Destino\":\"000000000000000\",\"Funcion\":\"A\",\"Campo1\":\"" +
                          r.at("id") + "\"}";
                todos.push_back(r);
            }
            cuerpo("r=servicio/setData&idSyA=" + sitio + "&dato=" + acuses + "]");
        }
        return todos;
    }

    servidor::Central& central() { return central_; }

  private:
    servidor::Central central_;
    long filaAcuse_ = 0;
};

}  // namespace e2e
