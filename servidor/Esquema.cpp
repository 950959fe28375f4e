#include "Esquema.h"

#include "ConexionSQL.h"

namespace servidor {

namespace {

constexpr int kVersionEsquema = 4;

}  // namespace

void prepararEsquema(ConexionSQL& c) {
    c.comenzar();
    try {
        c.ejecutar(Sentencia::BloquearEsquema, {});
        c.ejecutarGuion(Sentencia::CrearTablas);
        int64_t version = 0;
        c.ejecutar(Sentencia::LeerVersion, {},
                   [&version](const FilaLeida& f) { version = f.entero(0); });
        if (version == 2 || version == 3) {
            if (version == 2) c.ejecutarGuion(Sentencia::DeVersion2);
            c.ejecutarGuion(Sentencia::DeVersion3);
            c.ejecutar(Sentencia::CambiarVersion, {int64_t{kVersionEsquema}});
        } else if (version == 0) {
            int64_t registros = 0;
            c.ejecutar(Sentencia::ContarRegistros, {},
                       [&registros](const FilaLeida& f) { registros = f.entero(0); });
            if (registros > 0)
                throw ErrorBase(
                    "La base tiene registros en un formato anterior del servidor; "
                    "use una base nueva");
            c.ejecutar(Sentencia::AnotarVersion, {int64_t{kVersionEsquema}});
        } else if (version != kVersionEsquema) {
            throw ErrorBase("La base es de otra version del servidor (esquema " +
                            std::to_string(version) + ")");
        }
        c.ejecutarGuion(Sentencia::CrearIndices);
        c.confirmar();
    } catch (...) {
        c.deshacer();
        throw;
    }
}

}  // namespace servidor
