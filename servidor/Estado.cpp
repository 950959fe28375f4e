#include <cstdio>
#include <ctime>

#include "Almacen.h"

namespace servidor {

namespace {

std::string duracion(int64_t segundos) {
    if (segundos < 0) segundos = 0;
    if (segundos < 120) return std::to_string(segundos) + " s";
    if (segundos < 7200) return std::to_string(segundos / 60) + " min";
    if (segundos < 172800)
        return std::to_string(segundos / 3600) + " h " + std::to_string(segundos % 3600 / 60) +
               " min";
    return std::to_string(segundos / 86400) + " d " + std::to_string(segundos % 86400 / 3600) +
           " h";
}

std::string fecha(int64_t segundos) {
    if (segundos <= 0) return "nunca";
    std::time_t t = static_cast<std::time_t>(segundos);
    std::tm local{};
    localtime_r(&t, &local);
    char texto[32];
    std::strftime(texto, sizeof texto, "%Y-%m-%d %H:%M:%S", &local);
    return texto;
}

}  // namespace

std::string informeEstado(const std::vector<EstadoSitio>& sitios, int64_t ahora) {
    std::string informe;
    char linea[256];
    std::snprintf(linea, sizeof linea, "%-15s %-20s %10s %14s  %-19s %9s\n", "cliente", "sitio",
                  "pendientes", "mas antiguo", "ultima peticion", "apartados");
    informe += linea;
    int64_t pendientes = 0;
    for (const auto& s : sitios) {
        std::string antiguedad = s.pendientes > 0 ? duracion(ahora - s.masAntiguo) : "-";
        std::snprintf(linea, sizeof linea, "%-15s %-20s %10lld %14s  %-19s %9lld\n",
                      s.cliente.empty() ? "-" : s.cliente.c_str(), s.sitio.c_str(),
                      static_cast<long long>(s.pendientes), antiguedad.c_str(),
                      fecha(s.ultimaPeticion).c_str(), static_cast<long long>(s.apartados));
        informe += linea;
        pendientes += s.pendientes;
    }
    informe += std::to_string(sitios.size()) + " sitios, " + std::to_string(pendientes) +
               " registros pendientes\n";
    return informe;
}

std::string informeApartados(const std::vector<ApartadoGuardado>& apartados) {
    std::string informe;
    for (const auto& a : apartados) {
        informe += "#" + std::to_string(a.id) + "  " + a.sitio + "  " + fecha(a.recibido) +
                   "  fila " + a.apartado.idOrigen + ": " + a.apartado.motivo + "\n    " +
                   a.apartado.registro + "\n";
    }
    informe += std::to_string(apartados.size()) + " registros apartados\n";
    return informe;
}

}  // namespace servidor
