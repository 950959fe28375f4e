// Fakes of the engine's ports: they record what the engine does.
#pragma once

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "comun/Fallo.h"
#include "comun/Funciones.h"
#include "sincronizador/Puertos.h"
#include "soporte/Reloj.h"

namespace prueba {

using sincronizador::EstadoIcono;

// `texto` is what the console shows now (cleared with it); `todo` keeps
// every line of the run.
struct ConsolaFalsa : sincronizador::Consola {
    std::string texto;
    std::string todo;
    int limpiezas = 0;
    void escribir(const std::string& t) noexcept override {
        texto += t;
        todo += t;
    }
    void limpiar() noexcept override {
        texto.clear();
        ++limpiezas;
    }
};

struct BandejaFalsa : sincronizador::Bandeja {
    std::vector<EstadoIcono> estados;
    void mostrar(EstadoIcono estado) noexcept override { estados.push_back(estado); }
    EstadoIcono ultimo() const { return estados.back(); }
};

struct SocketFalso : sincronizador::Socket {
    std::vector<std::string> enviados;
    std::vector<std::pair<std::string, uint16_t>> conexiones;
    int cierres = 0;
    void cerrar() noexcept override { ++cierres; }
    void conectar(const std::string& host, uint16_t puerto) override {
        conexiones.emplace_back(host, puerto);
    }
    // When set, the next send is refused as a connection failure.
    bool rechazarEnvio = false;
    void enviar(const std::string& bytes) override {
        if (rechazarEnvio) {
            rechazarEnvio = false;
            throw comun::Fallo(comun::TipoFallo::Conexion, "socket cerrado");
        }
        enviados.push_back(bytes);
    }
    int estado() const noexcept override { return 6; }
};

// A database that answers from fields and records every call. `fallarEn`
// names one operation that fails once, as a database failure.
struct BaseFalsa : sincronizador::BaseDatos {
    std::string rutaBase = "sitio.db";
    std::string sitio = "900100001";
    protocolo::LoteSaliente lote;  // what getComunicacion gives
    std::vector<std::vector<int64_t>> lotesMarcados;
    std::vector<protocolo::LimiteLote> limitesPedidos;  // one per getComunicacion
    size_t filasEnCola = 0;
    std::optional<protocolo::Comunicacion> datosQuiralte;
    std::string fallarEn;
    bool abierta = false;
    std::vector<std::string> llamadas;
    std::vector<comun::Variant> recibidos;                   // doctors lists
    std::vector<std::vector<protocolo::Recibido>> entregas;  // per setComunicacion
    std::vector<protocolo::Recibos> recibos;                 // per marcarEnviados
    std::vector<int64_t> confirmados;

    void registrar(const std::string& operacion) {
        llamadas.push_back(operacion);
        if (!fallarEn.empty() && operacion == fallarEn) {
            fallarEn.clear();
            throw comun::Fallo(comun::TipoFallo::BaseDatos,
                               "database is locked [" + operacion + "]");
        }
    }
    int veces(const std::string& operacion) const {
        int n = 0;
        for (const auto& l : llamadas) n += l == operacion;
        return n;
    }

    std::string ruta() const override { return rutaBase; }
    void conectar() override {
        registrar("conectar");
        abierta = true;
    }
    // Closing cannot fail: recorded, never made to fail.
    void desconectar() noexcept override {
        abierta = false;
        llamadas.push_back("desconectar");
    }
    void cargarValoresSitio() override { registrar("cargarValoresSitio"); }
    void asegurarTablasPropias() override { registrar("asegurarTablasPropias"); }
    std::string getSyASys() override {
        registrar("getSyASys");
        return sitio;
    }
    protocolo::LoteSaliente getComunicacion(const protocolo::LimiteLote& limite) override {
        registrar("getComunicacion");
        limitesPedidos.push_back(limite);
        // A queue of `filasEnCola` rows: the batch carries as many as the
        // limit lets.
        if (filasEnCola == 0) return lote;
        protocolo::LoteSaliente parte;
        for (size_t i = 1; i <= std::min(filasEnCola, limite.filas); ++i) {
            parte.ids.push_back(static_cast<int64_t>(i));
            parte.registros.emplace_back().id = std::to_string(i);
        }
        return parte;
    }
    std::optional<protocolo::Comunicacion> getDatosQuiralte() override {
        registrar("getDatosQuiralte");
        return datosQuiralte;
    }
    int32_t setComunicacion(const std::vector<protocolo::Recibido>& r) override {
        registrar("setComunicacion");
        entregas.push_back(r);
        return 0;
    }
    void marcarEnviados(const protocolo::Recibos& r,
                        const std::vector<int64_t>& enviados) override {
        registrar("marcarEnviados");
        recibos.push_back(r);
        lotesMarcados.push_back(enviados);
    }
    void MarcarRegistroEnviadoQuiralte(int64_t id) override {
        registrar("MarcarRegistroEnviadoQuiralte");
        confirmados.push_back(id);
    }
    int32_t setDoctores(const comun::Variant& lista) override {
        registrar("setDoctores");
        recibidos.push_back(lista);
        return 0;
    }
    void eliminarEnviados() override { registrar("eliminarEnviados"); }
    std::vector<std::pair<sincronizador::Interlocutor, comun::Fecha>> intercambios;
    void registrarIntercambio(sincronizador::Interlocutor quien,
                              const comun::Fecha& cuando) override {
        registrar("registrarIntercambio");
        intercambios.emplace_back(quien, cuando);
    }
};

struct PasoLocalFalso : sincronizador::PasoLocal {
    int llamadas = 0;
    bool fallar = false;
    void aplicarComunicacion() override {
        ++llamadas;
        if (fallar) throw std::runtime_error("registro rechazado");
    }
};

}  // namespace prueba
