// A real site database with an Aplicador over it, and helpers to queue
// inbound records and read the tables back.
#pragma once

#include <map>
#include <stdexcept>
#include <string>

#include <sqlite3.h>

#include "aplicacion/Aplicador.h"
#include "comun/Bitacora.h"
#include "comun/Funciones.h"
#include "datos/DAO_Conexion.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/Motor.h"
#include "soporte/Reloj.h"

namespace prueba {

class EntornoAplicacion {
  public:
    explicit EntornoAplicacion(bool demo = true) : base(demo), aplicador(con, bitacora, reloj) {
        con.dataFile(prueba::origen(base.ruta()));
    }

    // Stores an inbound record addressed to this site (or to `destino`) and
    // returns its Id.
    int32_t recibir(int tabla, const std::string& funcion, const std::map<int, std::string>& campos,
                    const std::string& origen = "900100002", std::string destino = {},
                    int servicio = 2) {
        if (destino.empty()) destino = base.sitio();
        std::string columnas = "Servicio, Tabla, Origen, Destino, Funcion, Enviado";
        std::string valores = std::to_string(servicio) + ", " + std::to_string(tabla) + ", " +
                              texto(origen) + ", " + texto(destino) + ", " + texto(funcion) + ", 1";
        for (auto& [k, v] : campos) {
            columnas += ", Campo" + std::to_string(k);
            valores += ", " + texto(v);
        }
        ejecutar("INSERT INTO COMUNICACIONES (" + columnas + ") VALUES (" + valores + ")");
        return std::stoi(valor("SELECT MAX(Id) AS m FROM COMUNICACIONES"));
    }

    void aplicar() { aplicador.aplicarComunicacion(); }

    // First column of the first row as text ("" when there is no row).
    std::string valor(const std::string& sql) {
        con.conectar();
        auto rs = con.Query(sql);
        std::string t = datos::DAO_Conexion::RsVacio(rs) ? std::string() : (*rs)[size_t{0}].texto();
        rs->Close();
        con.desconectar();
        return t;
    }
    int contar(const std::string& desdeDonde) {
        return std::stoi(valor("SELECT COUNT(*) AS n FROM " + desdeDonde));
    }
    void ejecutar(const std::string& sql) {
        con.conectar();
        con.comando(sql);
        con.desconectar();
    }
    // Straight to the engine, for what the command layer does not take
    // (triggers that inject failures).
    void ejecutarDirecto(const std::string& sql) {
        sqlite3* db = nullptr;
        const int rc = sqlite3_open(base.ruta().c_str(), &db);
        char* error = nullptr;
        const bool bien =
            rc == SQLITE_OK && sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK;
        const std::string mensaje = error ? error : "";
        sqlite3_free(error);
        sqlite3_close(db);
        if (!bien) throw std::runtime_error("sqlite: " + mensaje);
    }
    std::string funcionDe(int32_t id) {
        return valor("SELECT Funcion FROM COMUNICACIONES WHERE Id = " + std::to_string(id));
    }
    bool registroExiste(int32_t id) {
        return contar("COMUNICACIONES WHERE Id = " + std::to_string(id)) == 1;
    }
    bool enBitacora(const std::string& parte) const {
        for (auto& l : bitacora.lineas)
            if (l.find(parte) != std::string::npos) return true;
        return false;
    }

    static std::string texto(const std::string& v) {
        return "'" + datos::DAO_Conexion::ValidarSql(comun::Variant(v)) + "'";
    }

    BaseDePrueba base;
    datos::DAO_Conexion con;
    comun::BitacoraMemoria bitacora;
    RelojFijo reloj;
    aplicacion::Aplicador aplicador;
};

}  // namespace prueba
