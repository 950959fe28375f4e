// The site's own settings (table XX0100) and its working date (the control
// row of COMANDAS), as DAO_Conexion reads them inside an open connection.
#include "comun/Texto.h"
#include "datos/DAO_Conexion.h"

namespace datos {

namespace {

// The text of `campo` in the first row of `sql`. A missing row or a null
// value is an error naming the setting: without it the caller cannot go on.
std::string leerAjusteTexto(DAO_Conexion& c, std::string_view sql, std::string_view campo,
                            std::string_view ajuste) {
    auto rs = c.Query(sql);
    if (DAO_Conexion::RsVacio(rs))
        throw ErrorBD("The setting '" + std::string(ajuste) + "' is missing.", std::string(sql));
    Variant v = (*rs)[campo];
    DAO_Conexion::CerrarRs(rs);
    if (v.esNull())
        throw ErrorBD("The setting '" + std::string(ajuste) + "' has no value.", std::string(sql));
    return v.CStr();
}

// A flag setting: true exactly when the first row's value is the text "1";
// a missing row or a null value read as false.
bool leerAjusteBandera(DAO_Conexion& c, std::string_view sql) {
    auto rs = c.Query(sql);
    if (DAO_Conexion::RsVacio(rs)) return false;
    Variant v = (*rs)["clavesys"];
    DAO_Conexion::CerrarRs(rs);
    return !v.esNull() && v.texto() == "1";
}

// Characters [desde, desde + n) of a text, 0-based; short texts give what
// there is (as the runtime's Mid).
std::string tramo(const std::string& s, size_t desde, size_t n = std::string::npos) {
    if (desde >= s.size()) return {};
    return s.substr(desde, n);
}

std::string dosDigitos(int n) {
    std::string r = std::to_string(n);
    return r.size() < 2 ? "0" + r : r;
}

}  // namespace

std::string ParametrosSitio::getFechaSys() {
    const char* sql = "SELECT FECHA FROM COMANDAS WHERE NOMBREPRODUCTO = 'Registro de Control'";
    auto rs = con_.Query(sql);
    if (DAO_Conexion::RsVacio(rs))
        throw ErrorBD("The control row 'Registro de Control' is missing.", sql);
    Variant v = (*rs)["Fecha"];
    DAO_Conexion::CerrarRs(rs);
    if (v.esNull()) throw ErrorBD("The control row 'Registro de Control' has no date.", sql);
    // The date part only, day/month/year: a time of day in the stored value
    // must not run into the year.
    std::string texto;
    if (v.tipo() == comun::TipoVariant::Date) {
        comun::Fecha f = v.CDate();
        texto = dosDigitos(f.dia) + "/" + dosDigitos(f.mes) + "/" + std::to_string(f.anio);
    } else {
        texto = v.CStr();
        comun::Fecha f;
        if (comun::leerFecha(texto, f))
            texto = dosDigitos(f.dia) + "/" + dosDigitos(f.mes) + "/" + std::to_string(f.anio);
    }
    return convertirFecha(texto);
}

std::string ParametrosSitio::getRegimen() {
    return leerAjusteTexto(
        con_, "SELECT DESCRIPCION AS clavesys FROM XX0100 WHERE UCASE(NOMBRE) = 'REGIMEN'",
        "clavesys", "REGIMEN");
}

bool ParametrosSitio::getEsTerminalCliente() {
    return leerAjusteBandera(
        con_, "SELECT DESCRIPCION AS clavesys FROM XX0100 WHERE NOMBRE = 'Terminal Cliente'");
}

bool ParametrosSitio::getEsServidor() {
    return leerAjusteBandera(con_,
                             "SELECT DESCRIPCION AS clavesys FROM XX0100 WHERE NOMBRE = 'Servidor "
                             "Uno Uno' Or NOMBRE = 'Servidor Uno Muchos'");
}

std::string ParametrosSitio::getNombreCliente() {
    return leerAjusteTexto(con_,
                           "SELECT DESCRIPCION AS cliente FROM XX0100 WHERE UCASE(NOMBRE) = "
                           "'Nombre Establecimiento'",
                           "cliente", "Nombre Establecimiento");
}

std::string ParametrosSitio::getIpServidor() {
    return leerAjusteTexto(con_,
                           "SELECT DESCRIPCION AS IpRemota FROM XX0100 WHERE UCASE(NOMBRE) = 'Ip "
                           "Servidor Remoto'",
                           "IpRemota", "Ip Servidor Remoto");
}

std::string ParametrosSitio::getIdentificadorCliente() {
    return leerAjusteTexto(con_,
                           "SELECT DESCRIPCION AS idCliente FROM XX0100 WHERE UCASE(NOMBRE) = "
                           "'IDENTIFICADOR CLIENTE'",
                           "idCliente", "Identificador Cliente");
}

std::string ParametrosSitio::getSyASys() {
    // Read afresh on every call: nothing caches the site code.
    std::string sucursal = leerAjusteTexto(con_,
                                           "SELECT DESCRIPCION AS idSyA FROM XX0100 WHERE "
                                           "UCASE(NOMBRE) = 'Codigo Sucursales y Agencias'",
                                           "idSyA", "Codigo Sucursales y Agencias");
    return getIdentificadorCliente() + sucursal;
}

std::string ParametrosSitio::convertirFecha(std::string_view fecha, bool rev) {
    if (!rev) {
        std::string s = comun::reemplazar(fecha, "/", "");
        return tramo(s, 4) + "-" + tramo(s, 2, 2) + "-" + tramo(s, 0, 2);
    }
    std::string s = comun::reemplazar(fecha, "-", "");
    return tramo(s, 6, 2) + "/" + tramo(s, 4, 2) + "/" + tramo(s, 0, 4);
}

void ParametrosSitio::cargarValoresSitio() {
    con_.sitio().fechaTrabajo = getFechaSys();
    con_.sitio().identificadorCliente = getIdentificadorCliente();
    con_.sitio().regimen = getRegimen();
    con_.sitio().esTerminalCliente = getEsTerminalCliente();
    con_.sitio().esServidor = getEsServidor();
}

}  // namespace datos
