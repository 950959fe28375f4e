#include "interfaz/Ejecutar.h"

#include <cctype>
#include <exception>
#include <string_view>

#include "datos/DAO_Conexion.h"

namespace interfaz {

namespace {

bool esConsulta(std::string_view sql) {
    size_t i = 0;
    while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
    std::string palabra;
    while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])))
        palabra += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
    return palabra == "SELECT";
}

void imprimirFilas(datos::Recordset& rs, std::ostream& salida) {
    while (!datos::DAO_Conexion::RsVacio(&rs)) {
        for (size_t i = 0; i < rs.numeroCampos(); ++i) {
            if (i) salida << '|';
            salida << rs.valorCampo(i).texto();
        }
        salida << '\n';
        rs.MoveNext();
    }
}

}  // namespace

int ejecutarSql(const std::string& archivo, const std::string& sql, std::ostream& salida,
                std::ostream& errores) {
    datos::DAO_Conexion conexion;
    conexion.dataFile(archivo);
    try {
        conexion.conectar();
        if (esConsulta(sql)) {
            auto rs = conexion.Query(sql);
            imprimirFilas(*rs, salida);
        } else {
            salida << conexion.comando(sql) << '\n';
        }
        conexion.desconectar();
    } catch (const std::exception& e) {
        errores << "ejecutar: " << e.what() << '\n';
        return 1;
    }
    return 0;
}

int listarCuarentena(const std::string& archivo, std::ostream& salida, std::ostream& errores) {
    datos::DAO_Conexion conexion;
    conexion.dataFile(archivo);
    try {
        conexion.conectar();
        auto tabla = conexion.Query(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'CUARENTENA'");
        if (!datos::DAO_Conexion::RsVacio(tabla)) {
            auto rs = conexion.Query(
                "SELECT Id, Fecha, IdServidor, Motivo, Texto FROM CUARENTENA ORDER BY Id");
            imprimirFilas(*rs, salida);
        }
        conexion.desconectar();
    } catch (const std::exception& e) {
        errores << "cuarentena: " << e.what() << '\n';
        return 1;
    }
    return 0;
}

}  // namespace interfaz
