// The inbound store: the records the server holds for this site are kept in
// COMUNICACIONES once each, and each table record is acknowledged back. A
// record that cannot be stored is set aside whole in CUARENTENA and
// acknowledged all the same, so that one bad record never holds back the
// records behind it.
#include <cstdint>
#include <optional>
#include <string>

#include "datos/DAO_Conexion.h"
#include "protocolo/Comunicacion.h"
#include "protocolo/Entero.h"

namespace datos {

namespace {

using protocolo::Comunicacion;

// A member with a value is written; one without leaves the column at its
// default.
void asignarTexto(Recordset& rs, const char* columna, const Comunicacion& r, size_t miembro,
                  const std::string& valor) {
    if (r.tieneValor(miembro)) rs.asignar(columna, Variant(valor));
}

// A table code or a record kind: the empty text stores null, anything else
// is the whole number the protocol reader checked.
void asignarCodigo(Recordset& rs, const char* columna, const Comunicacion& r, size_t miembro,
                   const std::string& valor) {
    if (!r.tieneValor(miembro)) return;
    if (valor.empty()) {
        rs.asignar(columna, Variant::Null());
        return;
    }
    rs.asignar(columna, Variant(protocolo::entero32(valor).value()));
}

// Queues the acknowledgement of the record `id` unless it is queued already.
void acusar(DAO_Conexion& dao, Recordset& tabla, const protocolo::Acuse& acuse) {
    auto previo = dao.Query(
        std::string("SELECT ID FROM COMUNICACIONES WHERE origen = ? AND destino = '") +
            protocolo::kDestinoGeneral + "' AND tabla = ? AND servicio = 0 AND campo1 = ?",
        {Variant(acuse.origen), Variant(acuse.tabla), Variant(acuse.entrega)});
    const bool sinAcuse = DAO_Conexion::RsVacio(previo);
    DAO_Conexion::CerrarRs(previo);
    if (!sinAcuse) return;
    const Comunicacion r = acuse.comoComunicacion();
    tabla.AddNew();
    tabla.asignar("Origen", Variant(r.origen));
    tabla.asignar("Destino", Variant(r.destino));
    tabla.asignar("Tabla", Variant(acuse.tabla));
    tabla.asignar("Servicio", Variant(int16_t{0}));
    tabla.asignar("Funcion", Variant(r.funcion));
    tabla.asignar("Campo1", Variant(r.campo(1)));
    tabla.asignar("Enviado", Variant(r.enviado));
    tabla.Update();
}

// Stores one record (once: a record whose id is stored already is not
// written again) and acknowledges it. Throws when a value cannot be stored.
void guardar(DAO_Conexion& dao, Recordset& tabla, const protocolo::Recibido& e) {
    const Comunicacion& r = e.registro;
    auto existente = dao.Query("SELECT ID FROM COMUNICACIONES WHERE CAMPO40 = ?", {Variant(r.id)});
    const bool nuevo = DAO_Conexion::RsVacio(existente);
    DAO_Conexion::CerrarRs(existente);
    if (nuevo) {
        tabla.AddNew();
        asignarCodigo(tabla, "Tabla", r, Comunicacion::kTabla, r.tabla);
        asignarTexto(tabla, "Origen", r, Comunicacion::kOrigen, r.origen);
        asignarTexto(tabla, "Destino", r, Comunicacion::kDestino, r.destino);
        asignarCodigo(tabla, "Servicio", r, Comunicacion::kServicio, r.servicio);
        asignarTexto(tabla, "Funcion", r, Comunicacion::kFuncion, r.funcion);
        tabla.asignar("Enviado", Variant(true));
        for (size_t k = 1; k <= protocolo::kCamposEntregados; ++k) {
            if (r.tieneValor(Comunicacion::miembroCampo(k)))
                tabla.asignar("Campo" + std::to_string(k), Variant(r.campo(k)));
        }
        tabla.asignar("Campo40", Variant(r.campo(protocolo::kCampoIdServidor)));
        tabla.Update();
    }
    if (e.tablaAcuse > 0) acusar(dao, tabla, {r.destino, e.tablaAcuse, r.id});
}

// Keeps a record that cannot be stored: once in CUARENTENA (reported the
// first time only) and acknowledged, in this site's name, when it has an id,
// so that the server stops offering it.
void apartar(DAO_Conexion& dao, Recordset& tabla, const protocolo::Recibido& e,
             const std::string& motivo) {
    dao.asegurarTablasPropias();
    const std::string& id = e.registro.id;
    const std::string texto = e.texto();
    auto previo = dao.Query("SELECT Id FROM CUARENTENA WHERE IdServidor = ? AND Texto = ?",
                            {Variant(id), Variant(texto)});
    const bool nuevo = DAO_Conexion::RsVacio(previo);
    DAO_Conexion::CerrarRs(previo);
    if (nuevo) {
        dao.comando("INSERT INTO CUARENTENA (IdServidor, Motivo, Texto) VALUES (?, ?, ?)",
                    {Variant(id), Variant(motivo), Variant(texto)});
        dao.bitacora().escribir("Registro " + (id.empty() ? std::string("sin id") : id) +
                                " del servidor en cuarentena: " + motivo);
    }
    if (id.empty()) return;
    acusar(dao, tabla, {dao.getSyASys(), e.tablaAcuse, id});
}

}  // namespace

int32_t Entrada::setComunicacion(const Variant& respuesta) {
    return setComunicacion(protocolo::leerEntregas(respuesta));
}

int32_t Entrada::setComunicacion(const std::vector<protocolo::Recibido>& recibidos) {
    GuardaConexion conexion(con_);
    // One commit for the answer; each record has its own savepoint, so a
    // record that fails leaves nothing of itself behind. A failure of the
    // database itself (damaged, full, locked past the wait) is no fault of
    // the record: it ends the answer, nothing of it is kept, and the server
    // offers it again. An engine without savepoints gives each record, and
    // each record set aside, a transaction of its own instead: then what was
    // stored before such a failure stays, acknowledged, and is not stored
    // twice when offered again.
    std::optional<Transaccion> transaccion;
    if (con_.admiteSavepoints()) transaccion.emplace(con_);
    auto tabla = con_.Query("Comunicaciones");
    int32_t cuenta = 0;

    for (const protocolo::Recibido& e : recibidos) {
        std::string motivo = e.rechazo;
        if (motivo.empty()) {
            try {
                Transaccion registro(con_);
                guardar(con_, *tabla, e);
                registro.confirmar();
            } catch (const comun::ErrorTipo& x) {
                motivo = x.what();
            } catch (const ErrorBD& x) {
                if (x.deLaBase()) throw;
                motivo = x.mensaje();
            }
        }
        if (!motivo.empty()) {
            tabla->CancelUpdate();
            std::optional<Transaccion> propia;
            if (!transaccion) propia.emplace(con_);
            apartar(con_, *tabla, e, motivo);
            if (propia) propia->confirmar();
        }
        if (e.objeto) ++cuenta;
    }

    DAO_Conexion::CerrarRs(tabla);
    if (transaccion) transaccion->confirmar();
    return cuenta;
}

}  // namespace datos
