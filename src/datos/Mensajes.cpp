// The support window's database work: outgoing chat messages, support
// requests, and the list of the newest messages.
#include <string>
#include <vector>

#include "datos/DAO_Conexion.h"
#include "protocolo/Comunicacion.h"

namespace datos {

namespace {

using protocolo::kDestinoGeneral;

// Chat messages carry this priority in MENSAJE.
constexpr int kPrioridadChat = -2;
// How many messages the window shows.
constexpr int kMensajesMostrados = 15;

}  // namespace

void Mensajes::setMensaje(const std::string& texto) {
    const std::string idSyA = con_.getSyASys();
    // The message and its queued record land together: a message that is
    // shown as sent is also on its way to the server.
    Transaccion transaccion(con_);
    con_.comando(
        "INSERT INTO MENSAJE(mensaje, destino, origen, PRIORIDAD) VALUES (?, 'SERVIDOR', 'LOCAL', "
        "?)",
        {Variant(texto), Variant(kPrioridadChat)});
    con_.comando(
        "INSERT INTO COMUNICACIONES(Servicio, Tabla, Origen, Destino, Funcion, Campo1, Campo2, "
        "Campo3, Campo4) VALUES (2, 14, ?, ?, 'A', ?, 'CHAT', 'LOCAL', 1)",
        {Variant(idSyA), Variant(kDestinoGeneral), Variant(texto)});
    transaccion.confirmar();
}

void Mensajes::setEMailSoporte(const std::string& cliente, const std::string& mensaje,
                               const std::string& telefono) {
    if (mensaje.empty()) return;
    setComunicacionCampos(20, {cliente, mensaje, con_.getNombreCliente(), telefono});
}

void Mensajes::setComunicacionCampos(int16_t tabla, const std::vector<std::string>& valores) {
    std::string columnas;
    std::string marcas;
    ListaParametros parametros{Variant(con_.getSyASys()), Variant(kDestinoGeneral), Variant(tabla)};
    for (size_t i = 0; i < valores.size(); ++i) {
        columnas += ", Campo" + std::to_string(i + 1);
        marcas += ", ?";
        parametros.emplace_back(valores[i]);
    }
    con_.comando("INSERT INTO COMUNICACIONES(ORIGEN, DESTINO, SERVICIO, TABLA " + columnas +
                     ") VALUES (?, ?, 4, ?" + marcas + ") ",
                 parametros);
}

std::vector<clsMensaje> Mensajes::getListaMensajes() {
    std::vector<clsMensaje> lista;
    auto rs = con_.Query("SELECT TOP " + std::to_string(kMensajesMostrados) +
                             " * FROM MENSAJE WHERE PRIORIDAD = ? ORDER by ID DESC ",
                         {Variant(kPrioridadChat)});
    if (!DAO_Conexion::RsVacio(rs)) {
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
    DAO_Conexion::CerrarRs(rs);
    return lista;
}

}  // namespace datos
