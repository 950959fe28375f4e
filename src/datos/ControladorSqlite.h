// The SQLite engine of the data layer: opens a site database file, runs the
// Access-dialect statements through the translator, and hands out record
// sets over the results.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "comun/Funciones.h"
#include "datos/Controlador.h"

namespace datos {

// Opens an existing SQLite file for reading and writing (never creates one),
// with WAL and a busy timeout. Throws ErrorBD with the engine's message.
std::unique_ptr<ControladorConexion> abrirSqlite(const std::string& ruta, int esperaMs = 5000,
                                                 const comun::Reloj* reloj = nullptr);

// Column kind of a declared type ("TEXT(50)", "YESNO", "DATETIME" ...); the
// length of a TEXT(n) goes to `longitud` (0 when unbounded).
TipoColumna tipoDeclarado(std::string_view declarado, int& longitud);

}  // namespace datos
