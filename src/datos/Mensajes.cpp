// The support window's database work: outgoing chat messages, support
// requests, and the list of the newest messages.
#include <string>
#include <vector>

#include "comun/Comunicacion.h"
#include "datos/DAO_Conexion.h"

namespace datos {

namespace {

using comun::kDestinoGeneral;

// Chat messages carry this priority in MENSAJE.
constexpr int kPrioridadChat = -2;
// How many messages the window shows.
constexpr int kMensajesMostrados = 15;

std::string entreComillas(const std::string& texto) {
    return "'" + DAO_Conexion::ValidarSql(Variant(texto)) + "'";
}

}  // namespace

void DAO_Conexion::setMensaje(const std::string& texto) {
    const std::string idSyA = getSyASys();
    // The message and its queued record land together: a message that is
    // shown as sent is also on its way to the server.
    Transaccion transaccion(*this);
    comando("INSERT INTO MENSAJE(mensaje, destino, origen, PRIORIDAD) VALUES (" +
            entreComillas(texto) + ", 'SERVIDOR', 'LOCAL', " + std::to_string(kPrioridadChat) +
            ")");
    comando(
        "INSERT INTO COMUNICACIONES(Servicio, Tabla, Origen, Destino, Funcion, Campo1, Campo2, "
        "Campo3, Campo4) VALUES (2, 14, " +
        entreComillas(idSyA) + ", '" + kDestinoGeneral + "', 'A', " + entreComillas(texto) +
        ", 'CHAT', 'LOCAL', 1)");
    transaccion.confirmar();
}

void DAO_Conexion::setEMailSoporte(const std::string& cliente, const std::string& mensaje,
                                   const std::string& telefono) {
    if (mensaje.empty()) return;
    setComunicacionCampos(20, {cliente, mensaje, getNombreCliente(), telefono});
}

void DAO_Conexion::setComunicacionCampos(int16_t tabla, const std::vector<std::string>& valores) {
    std::string columnas;
    std::string lista;
    for (size_t i = 0; i < valores.size(); ++i) {
        columnas += ", Campo" + std::to_string(i + 1);
        lista += ", " + entreComillas(valores[i]) + " ";
    }
    comando("INSERT INTO COMUNICACIONES(ORIGEN, DESTINO, SERVICIO, TABLA " + columnas +
            ") VALUES (" + entreComillas(getSyASys()) + ", '" + kDestinoGeneral + "', 4, " +
            std::to_string(tabla) + " " + lista + ") ");
}

std::vector<clsMensaje> DAO_Conexion::getListaMensajes() {
    std::vector<clsMensaje> lista;
    auto rs = Query("SELECT TOP " + std::to_string(kMensajesMostrados) +
                    " * FROM MENSAJE WHERE PRIORIDAD = " + std::to_string(kPrioridadChat) +
                    " ORDER by ID DESC ");
    if (!RsVacio(rs)) {
        while (!rs->eof()) {
            clsMensaje m;
            m.setId((*rs)["id"].CLngLng());
            m.setMensaje((*rs)["Mensaje"].texto());
            m.setOrigen((*rs)["Origen"].texto());
            m.setDestino((*rs)["destino"].texto());
            // A missing or unreadable date shows as 1 January 2000.
            const Variant fecha = (*rs)["Fecha"];
            m.setFecha(comun::IsDate(fecha) ? fecha.CDate() : comun::Fecha{2000, 1, 1});
            lista.push_back(std::move(m));
            rs->MoveNext();
        }
    }
    CerrarRs(rs);
    return lista;
}

}  // namespace datos
