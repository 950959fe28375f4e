// What the operator reads of a store and does to it: the queries of
// `estado`, `apartados` and `reenviar`, and the reports they print.
#include "Operador.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unordered_map>

#include "Reserva.h"

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

}  // namespace

std::vector<EstadoSitio> leerEstado(Reserva& reserva, int64_t historiaDesde) {
    return reserva.enTransaccion([historiaDesde](ConexionSQL& c) {
        std::vector<EstadoSitio> filas;
        c.ejecutar(Sentencia::Estado, {}, [&filas](const FilaLeida& f) {
            filas.push_back({std::string(f.texto(0)), std::string(f.texto(1)), f.entero(2),
                             f.entero(3), f.entero(4), f.entero(5), f.entero(6),
                             std::string(f.texto(7)), f.entero(8)});
        });
        if (historiaDesde <= 0) return filas;
        // Both lists are by site within a client; the sites of the second
        // are found among the first by their code.
        std::unordered_map<std::string, EstadoSitio*> porSitio;
        for (auto& e : filas) porSitio[e.sitio] = &e;
        c.ejecutar(Sentencia::Vencidos, {historiaDesde}, [&porSitio](const FilaLeida& f) {
            auto it = porSitio.find(std::string(f.texto(0)));
            if (it != porSitio.end()) it->second->vencidos = f.entero(1);
        });
        return filas;
    });
}

int64_t reenviarDesde(Reserva& reserva, const std::string& sitio, int64_t desde) {
    return reserva.enTransaccion([&](ConexionSQL& c) {
        c.ejecutar(Sentencia::OlvidarRetroceso, {sitio});
        return c.ejecutar(Sentencia::Reenviar, {sitio, std::max<int64_t>(desde, 1)});
    });
}

std::vector<ApartadoGuardado> leerApartados(Reserva& reserva, const std::string& sitio,
                                            int64_t maximo) {
    return reserva.enTransaccion([&](ConexionSQL& c) {
        std::vector<ApartadoGuardado> filas;
        c.ejecutar(Sentencia::Apartados, {sitio, maximo}, [&filas](const FilaLeida& f) {
            filas.push_back(
                {f.entero(0),
                 std::string(f.texto(1)),
                 {std::string(f.texto(2)), std::string(f.texto(3)), std::string(f.texto(4))},
                 f.entero(5)});
        });
        return filas;
    });
}

int64_t segundosDeDias(double dias) {
    return dias > 0 ? std::max<int64_t>(static_cast<int64_t>(dias * 86400.0 + 0.5), 1) : 0;
}

std::string textoFecha(int64_t segundos) {
    if (segundos <= 0) return "nunca";
    std::time_t t = static_cast<std::time_t>(segundos);
    std::tm local{};
    localtime_r(&t, &local);
    char texto[32];
    std::strftime(texto, sizeof texto, "%Y-%m-%d %H:%M:%S", &local);
    return texto;
}

std::optional<int64_t> leerFecha(const std::string& texto) {
    for (const char* formato : {"%Y-%m-%d %H:%M:%S", "%Y-%m-%dT%H:%M:%S", "%Y-%m-%d %H:%M",
                                "%Y-%m-%dT%H:%M", "%Y-%m-%d"}) {
        std::tm local{};
        const char* fin = strptime(texto.c_str(), formato, &local);
        if (!fin || *fin != '\0') continue;
        local.tm_isdst = -1;
        const std::time_t t = std::mktime(&local);
        if (t <= 0) return std::nullopt;
        return static_cast<int64_t>(t);
    }
    return std::nullopt;
}

std::string informeEstado(const std::vector<EstadoSitio>& sitios, int64_t ahora,
                          const std::string& base, int64_t historial) {
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
                      textoFecha(s.ultimaPeticion).c_str(), static_cast<long long>(s.apartados));
        informe += linea;
        pendientes += s.pendientes;
    }
    informe += std::to_string(sitios.size()) + " sitios, " + std::to_string(pendientes) +
               " registros pendientes\n";
    for (const auto& s : sitios) {
        if (s.retroceso == 0) continue;
        informe += "Aviso: el sitio " + s.sitio + " volvio a usar la fila " + s.filaRetroceso +
                   " el " + textoFecha(s.retroceso) + ". Si restauro una copia (anterior a " +
                   textoFecha(s.copiaAntesDe) +
                   "), para que reciba otra vez lo que perdio ejecute:\n"
                   "    sincronizador-servidor reenviar --base " +
                   base + " --sitio " + s.sitio + " --desde \"FECHA DE LA COPIA\"\n";
    }
    for (const auto& s : sitios) {
        if (s.vencidos == 0) continue;
        informe += "Aviso: el sitio " + s.sitio + " tiene " + std::to_string(s.vencidos) +
                   " registros sin recibir de hace mas que el historial (" + duracion(historial) +
                   "), el mas antiguo de hace " + duracion(ahora - s.masAntiguo) +
                   "; se guardan hasta que los reciba\n";
    }
    return informe;
}

std::string informeApartados(const std::vector<ApartadoGuardado>& apartados) {
    std::string informe;
    for (const auto& a : apartados) {
        informe += "#" + std::to_string(a.id) + "  " + a.sitio + "  " + textoFecha(a.recibido) +
                   "  fila " + a.apartado.idOrigen + ": " + a.apartado.motivo + "\n    " +
                   a.apartado.registro + "\n";
    }
    informe += std::to_string(apartados.size()) + " registros apartados\n";
    return informe;
}

}  // namespace servidor
