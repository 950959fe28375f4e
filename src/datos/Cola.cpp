// The communications queue: the outbound batch, the enqueue builders, the
// marking of acknowledged rows and the removal of sent rows.
#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "comun/Texto.h"
#include "datos/DAO_Conexion.h"
#include "datos/FilaCola.h"
#include "protocolo/Comunicacion.h"

namespace datos {

namespace {

using protocolo::kDestinoGeneral;

}  // namespace

protocolo::Comunicacion leerFilaCola(const Recordset& rs, const std::vector<size_t>& posiciones) {
    protocolo::Comunicacion r;
    auto texto = [&](size_t pos, size_t miembro, std::string& destino) {
        const Variant v = rs.valorCampo(pos);
        if (v.esNull()) r.sinValor.set(miembro);
        destino = v.texto();
    };
    r.id = rs.valorCampo(posiciones[0]).texto();
    texto(posiciones[1], protocolo::Comunicacion::kServicio, r.servicio);
    texto(posiciones[2], protocolo::Comunicacion::kTabla, r.tabla);
    texto(posiciones[3], protocolo::Comunicacion::kOrigen, r.origen);
    texto(posiciones[4], protocolo::Comunicacion::kDestino, r.destino);
    texto(posiciones[5], protocolo::Comunicacion::kFuncion, r.funcion);
    const Variant enviado = rs.valorCampo(posiciones[6]);
    r.enviado = !enviado.esNull() && enviado.CBool();
    for (size_t k = 1; k <= protocolo::kCamposCarga; ++k)
        texto(posiciones[6 + k], protocolo::Comunicacion::miembroCampo(k), r.campo(k));
    return r;
}

std::vector<size_t> posicionesCola(const Recordset& rs) {
    std::vector<size_t> p;
    for (const char* nombre :
         {"Id", "Servicio", "Tabla", "Origen", "Destino", "Funcion", "Enviado"})
        p.push_back(rs.indiceCampo(nombre));
    for (size_t k = 1; k <= protocolo::kCamposCarga; ++k)
        p.push_back(rs.indiceCampo("Campo" + std::to_string(k)));
    return p;
}

namespace {

constexpr const char* kMarcaEnviado = "UPDATE COMUNICACIONES SET ENVIADO = TRUE WHERE ID = ?";

// A row id as a statement's value: exact past 32 bits.
Variant valorDeId(int64_t id) {
    return Variant(comun::Decimal{std::to_string(id)});
}

// Ids listed in a report: the first few, then the count.
constexpr size_t kIdsEnInforme = 10;

}  // namespace

protocolo::LoteSaliente Cola::getComunicacion(const protocolo::LimiteLote& limite) {
    const Variant sitio(con_.getSyASys());
    // The translator moves the final ORDER BY into each TOP arm, so each arm
    // takes the oldest unsent rows (first in, first out).
    const char* sql =
        "SELECT top 200  * "
        "FROM COMUNICACIONES "
        "WHERE ENVIADO = False AND ISNUMERIC(TABLA) and Destino <> ? AND SERVICIO <> 4 "
        "UNION "
        "SELECT top 1  * "
        "FROM COMUNICACIONES "
        "WHERE ENVIADO = False AND ISNUMERIC(TABLA) and Destino <> ? AND SERVICIO = 4 "
        "ORDER BY SERVICIO, ID";
    const size_t maximoFilas = std::max<size_t>(limite.filas, 1);
    // The rows in queue order, as long as the next fits the limit, measured
    // by the text the batch gives each row. A row that could never travel
    // is set aside and the queue read again, so it holds back nothing
    // behind it.
    while (true) {
        protocolo::LoteSaliente lote;
        auto rs = con_.Query(sql, {sitio, sitio});
        if (DAO_Conexion::RsVacio(rs)) {
            DAO_Conexion::CerrarRs(rs);
            return lote;
        }
        const std::vector<size_t> posiciones = posicionesCola(*rs);
        size_t bytes = 1;  // "["
        std::optional<std::pair<int64_t, std::string>> apartado;
        while (!DAO_Conexion::RsVacio(rs) && lote.ids.size() < maximoFilas) {
            const int64_t id = rs->valorCampo(posiciones[0]).CLngLng();
            protocolo::Comunicacion registro = leerFilaCola(*rs, posiciones);
            std::string fila = protocolo::codificarSaliente(registro);
            if (fila.size() + 2 > limite.registroMaximo) {
                apartado.emplace(id, std::move(fila));
                break;
            }
            const size_t separador = lote.vacio() ? 0 : protocolo::kSeparadorSalientes.size();
            if (!lote.vacio() && bytes + separador + fila.size() + 1 > limite.bytes) break;
            bytes += separador + fila.size();
            lote.ids.push_back(id);
            lote.registros.push_back(std::move(registro));
            rs->MoveNext();
        }
        DAO_Conexion::CerrarRs(rs);
        if (apartado) apartarSaliente(apartado->first, apartado->second, limite.registroMaximo);
        if (!lote.vacio()) return lote;
    }
}

void Cola::apartarSaliente(int64_t id, const std::string& texto, size_t maximo) {
    const std::string motivo = "ocupa " + std::to_string(texto.size() + 2) +
                               " bytes en un lote y un lote lleva a lo mas " +
                               std::to_string(maximo);
    con_.asegurarTablasPropias();
    Transaccion t(con_);
    con_.comando(
        "INSERT INTO APARTADOS_ENVIO (IdComunicacion, Bytes, Motivo, Texto) VALUES (?, ?, ?, ?)",
        {valorDeId(id), valorDeId(static_cast<int64_t>(texto.size() + 2)), Variant(motivo),
         Variant(texto)});
    // Gone from the queue, or the batch would meet it again.
    if (con_.comando("DELETE FROM COMUNICACIONES WHERE ID = ?", {valorDeId(id)}) != 1)
        throw ErrorBD("The queue row " + std::to_string(id) + " could not be set aside");
    t.confirmar();
    con_.bitacora().escribir("Registro " + std::to_string(id) + " de la cola apartado: " + motivo);
}

void Cola::encolarRegistro(Recordset& rs, int16_t tabla, const std::string& funcion,
                           const std::string& destino) {
    if (destino.empty() || DAO_Conexion::RsVacio(&rs)) return;
    const size_t n = rs.numeroCampos();
    if (n > protocolo::kCamposCarga) {
        throw ErrorBD("A row of " + std::to_string(n) +
                      " columns cannot be queued: a communication record holds at most " +
                      std::to_string(protocolo::kCamposCarga) + " payload columns");
    }

    std::string columnas = "Servicio, Tabla, Origen, Destino, Funcion ";
    for (size_t k = 1; k <= n; ++k) columnas += ", Campo" + std::to_string(k);

    // The texts are bound whole: the statement is one text per table code and row width, read
    // and prepared once however many rows are queued.
    const std::string origen = con_.getSyASys();
    std::string marcas = "2, " + std::to_string(tabla) + ", ?, ?, ?";
    ListaParametros parametros{Variant(origen), Variant(destino), Variant(funcion)};
    parametros.reserve(n + 3);
    for (size_t i = 0; i < n; ++i) {
        const Variant v = rs.valorCampo(i);
        // Yes/no columns travel as empty text, as do null and empty values.
        const bool vacio = rs.tipoCampo(i) == TipoColumna::SiNo || v.esNull() || v.texto().empty();
        marcas += ", ?";
        parametros.emplace_back(vacio ? std::string() : v.texto());
    }

    if (con_.hayBitacora()) {
        // The log shows the statement with its values in place.
        std::string valores =
            "2, " + std::to_string(tabla) + ", '" + DAO_Conexion::ValidarSql(origen) + "', '" +
            DAO_Conexion::ValidarSql(destino) + "', '" + DAO_Conexion::ValidarSql(funcion) + "'";
        for (size_t i = 3; i < parametros.size(); ++i) {
            valores += ",'" + DAO_Conexion::ValidarSql(parametros[i]) + "'";
        }
        con_.bitacora().escribir("INSERT INTO comunicaciones (" + columnas + ") VALUES (" +
                                 valores + ") ");
    }
    con_.comando("INSERT INTO comunicaciones (" + columnas + ") VALUES (" + marcas + ") ",
                 parametros);
}

void Cola::encolarRegistros(Recordset& rs, int16_t tabla) {
    while (!DAO_Conexion::RsVacio(&rs)) {
        encolarRegistro(rs, tabla, "A", kDestinoGeneral);
        rs.MoveNext();
    }
}

void Cola::setComunicacionSucursales(Recordset& rs, int16_t tabla, const std::string& funcion) {
    std::string cliente = con_.sitio().identificadorCliente;
    if (cliente.empty()) cliente = con_.getIdentificadorCliente();
    const std::string sitioPropio = con_.getSyASys();
    const std::string sucursal = sitioPropio.substr(std::min(cliente.size(), sitioPropio.size()));

    encolarRegistro(rs, tabla, funcion, kDestinoGeneral);

    auto sucursales = con_.Query("SELECT IDSYA FROM SUCYAGEN WHERE IDCLIENTE = ? AND IDSYA <> ?",
                                 {Variant(cliente), Variant(sucursal)});
    while (!DAO_Conexion::RsVacio(sucursales)) {
        encolarRegistro(rs, tabla, funcion, cliente + (*sucursales)["IDSYA"].texto());
        sucursales->MoveNext();
    }
    DAO_Conexion::CerrarRs(sucursales);
}

void Cola::setSolicitudIPR(int16_t tabla, const std::string& funcion, const std::string& destino) {
    if (destino.empty()) return;
    const std::string sitioPropio = con_.getSyASys();
    auto rs = con_.Query("Comunicaciones");
    rs->AddNew();
    rs->asignar("Servicio", Variant(int16_t{1}));
    rs->asignar("Tabla", Variant(tabla));
    rs->asignar("Origen", Variant(sitioPropio));
    rs->asignar("Destino", Variant(destino));
    rs->asignar("Funcion", Variant(funcion));
    if (funcion != "A") rs->asignar("Campo1", Variant(sitioPropio));
    rs->Update();
    DAO_Conexion::CerrarRs(rs);
}

void Cola::marcarEnviados(const Variant& respuesta, const std::vector<int64_t>& enviados) {
    // The whole reply is read before anything is marked.
    marcarEnviados(protocolo::leerRecibos(respuesta), enviados);
}

void Cola::marcarEnviados(const protocolo::Recibos& recibos, const std::vector<int64_t>& enviados) {
    std::vector<int64_t> lote(enviados);
    std::sort(lote.begin(), lote.end());
    std::vector<int64_t> ajenos;

    GuardaConexion conexion(con_);
    // Never pasted into SQL: such a row stays unsent and is offered again.
    for (const std::string& texto : recibos.ilegibles)
        con_.bitacora().escribir("marcarEnviados: \"valor\" is not a row id, skipped: " + texto);
    for (const int64_t id : recibos.filas) {
        if (!std::binary_search(lote.begin(), lote.end(), id)) {
            ajenos.push_back(id);
            continue;
        }
        con_.comando(kMarcaEnviado, {valorDeId(id)});
    }

    if (!ajenos.empty()) {
        std::string lista;
        for (size_t i = 0; i < ajenos.size() && i < kIdsEnInforme; ++i)
            lista += (i ? ", " : "") + std::to_string(ajenos[i]);
        if (ajenos.size() > kIdsEnInforme) lista += ", ...";
        con_.bitacora().escribir("marcarEnviados: " + std::to_string(ajenos.size()) +
                                 " ids listed by the server were not in the batch just sent; not "
                                 "marked: " +
                                 lista);
    }
}

void Cola::setMarcaEnviado(int64_t id) {
    con_.comando(kMarcaEnviado, {valorDeId(id)});
}

void Cola::eliminarEnviados() {
    con_.comando(
        "DELETE FROM COMUNICACIONES WHERE ENVIADO = TRUE AND Destino <> ? AND (DESTINO <> '0' AND "
        "ORIGEN <> '0')",
        {Variant(con_.getSyASys())});
}

}  // namespace datos
