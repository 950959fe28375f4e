#include "datos/Estado.h"

#include "datos/DAO_Conexion.h"

namespace datos {

namespace {

bool existeTabla(DAO_Conexion& c, const char* tabla) {
    return c.existeTabla(tabla);
}

long contar(DAO_Conexion& c, const std::string& sql, const ListaParametros& parametros) {
    auto rs = c.Query(sql, parametros);
    return DAO_Conexion::RsVacio(rs) ? 0 : (*rs)["n"].CLng();
}

std::optional<comun::Fecha> fecha(const Variant& valor) {
    if (valor.esNull() || valor.esEmpty()) return std::nullopt;
    try {
        return valor.CDate();
    } catch (const comun::ErrorTipo&) {
        return std::nullopt;
    }
}

}  // namespace

void registrarIntercambio(DAO_Conexion& conexion, const std::string& interlocutor,
                          const comun::Fecha& cuando) {
    GuardaConexion guarda(conexion);
    const ListaParametros parametros{Variant(cuando.iso()), Variant(interlocutor)};
    if (conexion.comando("UPDATE ESTADO_SINCRONIZADOR SET UltimoIntercambio = ? WHERE "
                         "Interlocutor = ?",
                         parametros) == 0) {
        conexion.comando(
            "INSERT INTO ESTADO_SINCRONIZADOR (UltimoIntercambio, Interlocutor) VALUES (?, ?)",
            parametros);
    }
}

EstadoSitio leerEstadoSitio(DAO_Conexion& conexion) {
    GuardaConexion guarda(conexion);
    EstadoSitio estado;
    estado.sitio = conexion.getSyASys();
    const Variant sitio(estado.sitio);

    if (existeTabla(conexion, "ESTADO_SINCRONIZADOR")) {
        auto rs =
            conexion.Query("SELECT Interlocutor, UltimoIntercambio FROM ESTADO_SINCRONIZADOR");
        while (!DAO_Conexion::RsVacio(rs)) {
            const std::string quien = (*rs)["Interlocutor"].texto();
            if (quien == kInterlocutorServidor)
                estado.ultimoServidor = fecha((*rs)["UltimoIntercambio"]);
            if (quien == kInterlocutorQuiralte)
                estado.ultimoQuiralte = fecha((*rs)["UltimoIntercambio"]);
            rs->MoveNext();
        }
    }

    // Outbound: what getComunicacion offers the server, also rows it never
    // sends (a table code that is not a number), which wait for ever.
    estado.pendientesEnvio = contar(
        conexion, "SELECT COUNT(*) AS n FROM COMUNICACIONES WHERE Enviado = False AND Destino <> ?",
        {sitio});
    if (estado.pendientesEnvio > 0 && existeTabla(conexion, "COMUNICACIONES_PENDIENTES")) {
        auto rs = conexion.Query(
            "SELECT MIN(P.Encolado) AS encolado FROM COMUNICACIONES_PENDIENTES AS P INNER JOIN "
            "COMUNICACIONES AS C ON C.Id = P.Id WHERE C.Enviado = False AND C.Destino <> ?",
            {sitio});
        if (!DAO_Conexion::RsVacio(rs)) estado.encoladoMasAntiguo = fecha((*rs)["encolado"]);
    }

    estado.pendientesAplicar = contar(
        conexion, "SELECT COUNT(*) AS n FROM COMUNICACIONES WHERE Destino = ? AND Funcion <> 'X'",
        {sitio});
    if (estado.pendientesAplicar > 0 && existeTabla(conexion, "FALLOS_APLICACION"))
        estado.fallidos = contar(conexion,
                                 "SELECT COUNT(*) AS n FROM FALLOS_APLICACION AS F INNER JOIN "
                                 "COMUNICACIONES AS C ON C.Id = F.IdComunicacion WHERE "
                                 "C.Destino = ? AND C.Funcion <> 'X'",
                                 {sitio});
    if (existeTabla(conexion, "CUARENTENA"))
        estado.cuarentena = contar(conexion, "SELECT COUNT(*) AS n FROM CUARENTENA", {});
    if (existeTabla(conexion, "PEDIDOS_NO_APLICADOS"))
        estado.pedidosNoAplicados =
            contar(conexion, "SELECT COUNT(*) AS n FROM PEDIDOS_NO_APLICADOS", {});
    if (existeTabla(conexion, "APARTADOS_ENVIO"))
        estado.apartadosEnvio = contar(conexion, "SELECT COUNT(*) AS n FROM APARTADOS_ENVIO", {});
    return estado;
}

}  // namespace datos
