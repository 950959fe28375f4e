#include "servicios/ServicioInventario.h"

#include "json/JSON.h"
#include "servicios/Valores.h"

namespace servicios {

using datos::DAO_Conexion;

namespace {

// Queue records of the supplies, products and recipes tables.
constexpr const char* kTresTablas = "(tabla = 1 or tabla = 2 or tabla = 3)";

std::string comoJSON(DAO_Conexion& con, const std::string& sql) {
    auto rs = con.Query(sql);
    std::string texto = DAO_Conexion::RsVacio(rs) ? std::string("null") : json::RStoJSON(*rs);
    DAO_Conexion::CerrarRs(rs);
    return texto;
}

}  // namespace

ServicioInventario::ServicioInventario(DAO_Conexion& conexion) : con_(conexion) {}

std::string ServicioInventario::getInusmosProductosRzs() {
    return comoJSON(con_, std::string("SELECT TOP 50 * FROM COMUNICACIONES WHERE DESTINO = '") +
                              kDestinoGeneral + "' AND " + kTresTablas + " AND ENVIADO = FALSE");
}

int32_t ServicioInventario::contar(const std::string& sql) {
    auto rs = con_.Query(sql);
    int32_t n = DAO_Conexion::RsVacio(rs) ? 0 : static_cast<int32_t>(dobleDe(*rs, "Cantidad"));
    DAO_Conexion::CerrarRs(rs);
    return n;
}

int32_t ServicioInventario::getInusmosProductosRzsNum() {
    return contar(std::string("SELECT count(*) as cantidad FROM COMUNICACIONES WHERE DESTINO = '") +
                  kDestinoGeneral + "' AND " + kTresTablas + " AND ENVIADO = FALSE");
}

int32_t ServicioInventario::getInusmosProductosRzsNumAll() {
    return contar(std::string("SELECT count(*) as cantidad FROM COMUNICACIONES WHERE DESTINO = '") +
                  kDestinoGeneral + "' AND " + kTresTablas);
}

std::string ServicioInventario::setInusmosProductosRzs() {
    // The old records go only if the full copy is queued in their place.
    datos::Transaccion transaccion(con_);
    con_.comando("delete from comunicaciones where tabla = 1 or tabla = 2 or tabla = 3");
    for (int16_t tabla : {int16_t{1}, int16_t{2}, int16_t{3}})
        con_.setSolicitudIPR(tabla, "E", kDestinoGeneral);
    const std::pair<int16_t, const char*> tablas[] = {
        {1, "SELECT * FROM INSUMOS"}, {2, "SELECT * FROM PRODUCTOS"}, {3, "SELECT * FROM RZS"}};
    for (const auto& [tabla, sql] : tablas) {
        auto rs = con_.Query(sql);
        con_.encolarRegistros(*rs, tabla);
        DAO_Conexion::CerrarRs(rs);
    }
    transaccion.confirmar();
    return {};
}

bool ServicioInventario::getSolicitudInusmosProductosRzs() {
    auto rs =
        con_.Query(std::string("SELECT * FROM COMUNICACIONES WHERE DESTINO = '") + kDestinoGeneral +
                   "' AND " + kTresTablas + " AND SERVICIO = 1 AND ENVIADO = TRUE");
    const bool hay = !DAO_Conexion::RsVacio(rs);
    DAO_Conexion::CerrarRs(rs);
    return hay;
}

std::string ServicioInventario::setSolicitudInusmosProductosRzs() {
    datos::GuardaConexion conexion(con_);
    {
        // The supplies are emptied only together with the request for them.
        datos::Transaccion transaccion(con_);
        con_.comando("delete from insumos");
        for (int16_t tabla : {int16_t{1}, int16_t{2}, int16_t{3}})
            con_.setSolicitudIPR(tabla, "A", kDestinoGeneral);
        transaccion.confirmar();
    }
    return comoJSON(con_, std::string("SELECT * FROM COMUNICACIONES WHERE DESTINO = '") +
                              kDestinoGeneral + "' AND " + kTresTablas + " AND ENVIADO = FALSE");
}

void ServicioInventario::corregirSaldosInventario() {
    datos::GuardaConexion conexion(con_);
    // A scratch table left behind by a program that stopped half-way would
    // make the first CREATE fail on every later run.
    try {
        con_.comando("DROP TABLE AUX");
    } catch (const datos::ErrorBD&) {
        // None was left.
    }
    datos::Transaccion transaccion(con_);
    con_.comando("CREATE TABLE AUX (CODIGO NUMERIC, NOMBRE TEXT, SALDO NUMERIC, U_FECHA TEXT)");
    con_.comando("INSERT INTO AUX SELECT * FROM UltimoRegistroInventario");
    con_.comando(
        "UPDATE INSUMOS AS I INNER JOIN AUX AS A ON CSTR(A.CODIGO) = I.CODIGO SET I.UINVF = "
        "A.U_FECHA, I.UINVC = A.SALDO");
    con_.comando("DROP TABLE AUX");
    con_.comando("CREATE TABLE AUX (CODIGO NUMERIC, SALDO NUMERIC)");
    con_.comando("UPDATE INSUMOS SET CANTKAL = UINVC");
    con_.comando("INSERT INTO AUX SELECT CODIGO, SALDO FROM SaldoInsumosUltimoCierre");
    con_.comando(
        "UPDATE INSUMOS AS I INNER JOIN AUX AS A ON CSTR(A.CODIGO) = I.CODIGO SET I.CANTKAL = "
        "A.SALDO");
    con_.comando("DROP TABLE AUX");
    transaccion.confirmar();
}

}  // namespace servicios
