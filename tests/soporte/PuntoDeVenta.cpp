#include "soporte/PuntoDeVenta.h"

#include "protocolo/Comunicacion.h"

namespace prueba {

std::string comillas(const std::string& texto) {
    std::string r = "'";
    for (char c : texto) {
        if (c == '\'') r += '\'';
        r += c;
    }
    return r + "'";
}

std::vector<std::string> sqlProductoNuevo(const std::string& origen, const std::string& codigo,
                                          const std::string& nombre) {
    const std::string general = comillas(protocolo::kDestinoGeneral);
    return {
        "INSERT INTO PRODUCTOS (CodigoAB, NombreProducto, Categoria, Negocio, impx, "
        "PrecioUnidad, Precio1) VALUES (" +
            comillas(codigo) + ", " + comillas(nombre) + ", 'BEBIDAS', 'BAR', 1, 12500, 12500)",
        // As the point of sale queues it: every column of the row as text,
        // yes/no columns empty.
        "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, "
        "Campo1, Campo2, Campo3, Campo4, Campo7, Campo8, Campo9, Campo11, Campo13) VALUES (2, 2, " +
            comillas(origen) + ", " + general + ", 'A', False, " + comillas(codigo) + ", " +
            comillas(nombre) + ", 'BEBIDAS', 'BAR', '1', '0', '12500', '0', '12500')",
    };
}

std::vector<std::string> sqlMensajeNuevo(const std::string& origen, const std::string& texto) {
    const std::string general = comillas(protocolo::kDestinoGeneral);
    return {
        "INSERT INTO MENSAJE (mensaje, destino, origen, PRIORIDAD) VALUES (" + comillas(texto) +
            ", 'SERVIDOR', 'LOCAL', -2)",
        "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, "
        "Campo1, Campo2, Campo3, Campo4) VALUES (2, 14, " +
            comillas(origen) + ", " + general + ", 'A', False, " + comillas(texto) +
            ", 'CHAT', 'LOCAL', '1')",
    };
}

}  // namespace prueba
