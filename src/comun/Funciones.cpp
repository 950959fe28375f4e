#include "comun/Funciones.h"

#include <ctime>
#include <filesystem>

#include <fstream>
#include "comun/Archivos.h"

#include "comun/Texto.h"

namespace comun {

Fecha RelojSistema::ahora() const noexcept {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    Fecha f;
    f.anio = local.tm_year + 1900;
    f.mes = local.tm_mon + 1;
    f.dia = local.tm_mday;
    f.hora = local.tm_hour;
    f.minuto = local.tm_min;
    // A leap second reads as the last second of the minute.
    f.segundo = local.tm_sec > 59 ? 59 : local.tm_sec;
    return f;
}

std::string formatearFecha(const Variant& valor) {
    Fecha f;
    if (valor.tipo() == TipoVariant::Date) {
        f = valor.CDate();
    } else if (!valor.esTexto() || !leerFecha(valor.comoTexto(), f)) {
        return "";
    }
    std::string s = std::to_string(f.anio);
    s.push_back('/');
    s += std::to_string(100 + f.mes).substr(1);
    s.push_back('/');
    s += std::to_string(100 + f.dia).substr(1);
    return s;
}

double minutoDelServicio(const Reloj& reloj) {
    const Fecha f = reloj.ahora();
    int hora = f.hora;
    if (hora < 5) hora += 24;
    return static_cast<double>(hora * 60 + f.minuto);
}

std::string leerConfiguracion(const std::string& ruta,
                              const std::function<void(const std::string&)>& avisar) {
    // A folder of that name opens on some systems but holds no line.
    std::error_code error;
    const bool esCarpeta = std::filesystem::is_directory(rutaDe(ruta), error);
    std::ifstream archivo;
    if (!esCarpeta) archivo.open(ruta, std::ios::binary);
    if (esCarpeta || !archivo) {
        if (avisar) avisar("No se encuentra archivo de configuracion");
        return "";
    }
    std::string linea;
    char c;
    while (archivo.get(c) && c != '\n' && c != '\r') linea.push_back(c);
    // A file saved by a Windows editor may start with a byte-order mark.
    if (linea.rfind("\xEF\xBB\xBF", 0) == 0) linea.erase(0, 3);
    // The file is usually written on the site's machine in its ANSI code
    // page; the program works in UTF-8.
    if (!esUtf8Valido(linea)) linea = cp1252AUtf8(linea);
    return linea;
}

}  // namespace comun
