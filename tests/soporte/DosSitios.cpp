#include "soporte/DosSitios.h"

#include <stdexcept>

#include "soporte/PuntoDeVenta.h"

namespace prueba {

// ---------------------------------------------------------------- socket

void SocketEnProceso::encolar(std::function<void(sincronizador::Motor&)> evento) {
    eventos_.emplace_back(conexion_, std::move(evento));
}

void SocketEnProceso::fallar(Falla falla) {
    if (falla != Falla::Ninguna && falla != Falla::Rechaza && falla != Falla::NuncaResponde &&
        falla != Falla::CierraAMitad)
        throw std::logic_error("SocketEnProceso does not play " + nombreFalla(falla));
    falla_ = falla;
}

void SocketEnProceso::cerrar() noexcept {
    ++conexion_;
    abierto_ = false;
}

void SocketEnProceso::conectar(const std::string&, uint16_t) {
    ++conexion_;
    if (falla_ == Falla::Rechaza) {
        encolar([](sincronizador::Motor& m) { m.alFallar(10061, "Connection refused"); });
        return;
    }
    abierto_ = true;
    encolar([](sincronizador::Motor& m) { m.alConectar(); });
}

void SocketEnProceso::enviar(const std::string& bytes) {
    peticiones.push_back(bytes);
    if (falla_ == Falla::NuncaResponde) return;
    std::string respuesta = central_.atender(bytes);
    if (alterarRespuesta) respuesta = alterarRespuesta(respuesta);
    if (falla_ == Falla::CierraAMitad) respuesta.resize(respuesta.size() / 2);
    encolar([respuesta](sincronizador::Motor& m) { m.alRecibir(respuesta); });
    encolar([](sincronizador::Motor& m) { m.alCerrar(); });
}

void SocketEnProceso::entregar() {
    if (!motor_) return;
    while (!eventos_.empty()) {
        auto [conexion, evento] = std::move(eventos_.front());
        eventos_.pop_front();
        if (conexion == conexion_) evento(*motor_);
    }
}

// ---------------------------------------------------------------- site

SitioEnProceso::SitioEnProceso(CentralEnProceso& central, const std::string& sucursal,
                               const std::string& cliente)
    : base(true, cliente, sucursal),
      socket(central),
      puerto(dao),
      pasoLocal(dao, bitacora, reloj),
      motor(sincronizador::Configuracion{}, puerto, &pasoLocal, consola, bandeja, socket, reloj,
            bitacora),
      codigo_(cliente + sucursal) {
    dao.dataFile(base.ruta());
    dao.bitacora(&bitacora);
    dao.reloj(&reloj);
    socket.motor(&motor);
    if (!motor.iniciar())
        throw std::runtime_error("site " + codigo_ + " does not start: " + consola.texto);
}

void SitioEnProceso::tick() {
    motor.tick();
    socket.entregar();
}

void SitioEnProceso::pasadas(int n) {
    const long meta = motor.pasadas() + n;
    // A pass takes four free ticks; a silent peer holds each exchange for
    // 51 ticks, and a connection that hangs as long.
    for (long i = 0; i < 260L * n && motor.pasadas() < meta; ++i) tick();
    if (motor.pasadas() < meta)
        throw std::runtime_error("site " + codigo_ + " did not complete its passes");
}

Filas SitioEnProceso::consultar(const std::string& sql) {
    Filas filas;
    datos::GuardaConexion guarda(dao);
    auto rs = dao.Query(sql);
    while (!datos::DAO_Conexion::RsVacio(rs)) {
        std::vector<std::string> fila;
        for (size_t i = 0; i < rs->numeroCampos(); ++i) fila.push_back(rs->valorCampo(i).texto());
        filas.push_back(std::move(fila));
        rs->MoveNext();
    }
    if (rs) rs->Close();
    return filas;
}

std::string SitioEnProceso::valor(const std::string& sql) {
    const Filas filas = consultar(sql);
    if (filas.size() != 1 || filas[0].size() != 1)
        throw std::runtime_error("not one value: " + sql);
    return filas[0][0];
}

void SitioEnProceso::ejecutar(const std::string& sql) {
    datos::GuardaConexion guarda(dao);
    dao.comando(sql);
}

void SitioEnProceso::escribirProducto(const std::string& codigo, const std::string& nombre) {
    for (const auto& sql : sqlProductoNuevo(codigo_, codigo, nombre)) ejecutar(sql);
}

void SitioEnProceso::escribirMensaje(const std::string& texto) {
    for (const auto& sql : sqlMensajeNuevo(codigo_, texto)) ejecutar(sql);
}

void SitioEnProceso::escribirPedido(const std::string& destino,
                                    const std::vector<std::string>& campos) {
    std::string columnas, valores;
    for (size_t k = 0; k < campos.size(); ++k) {
        columnas += ", Campo" + std::to_string(k + 1);
        valores += ", " + comillas(campos[k]);
    }
    ejecutar("INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado" +
             columnas + ") VALUES (2, 22, " + comillas(codigo_) + ", " + comillas(destino) +
             ", 'A', False" + valores + ")");
}

// ---------------------------------------------------------------- both

void PrintTo(const FilasDeAmbos& filas, std::ostream* salida) {
    auto escribir = [salida](const char* sitio, const Filas& f) {
        *salida << "\n  " << sitio << ":";
        if (f.empty()) *salida << " (none)";
        for (const auto& fila : f) {
            *salida << "\n    ";
            for (size_t i = 0; i < fila.size(); ++i) *salida << (i ? " | " : "") << fila[i];
        }
    };
    escribir("A", filas.a);
    escribir("B", filas.b);
}

}  // namespace prueba
