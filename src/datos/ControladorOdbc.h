// The ODBC engine of the data layer: a site database reached through an
// ODBC driver (the Access driver on Windows, any ODBC source elsewhere).
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "datos/Controlador.h"

namespace datos {

// Opens the ODBC source the connection string names (DSN-less "Driver=...;"
// or "DSN=...;"). Statements go untranslated to an Access source and through
// the translator to any other. Throws ErrorBD with the driver's message.
std::unique_ptr<ControladorConexion> abrirOdbc(const std::string& cadena);

// Opens an Access file with the driver its kind calls for: the Access
// Database Engine's driver for .accdb, the older Jet driver otherwise, each
// falling back to the other name when it is not installed. When neither is,
// the ErrorBD names both.
std::unique_ptr<ControladorConexion> abrirAccess(const std::string& ruta);

// An Access statement as the Access ODBC driver takes it. The statements
// are written in Jet's own SQL, which the driver reads as it is (TRUE and
// FALSE, #yyyy/mm/dd# dates, TOP n, IsNumeric and Now) but for one thing:
// its LIKE patterns are ODBC's, "%" and "_" (the driver turns them into
// Jet's), where the statements use Jet's "*", "?" and "#". A literal
// pattern after LIKE is converted here, the one place that differs; a "%"
// or "_" meant literally is bracketed, and Jet's own [...] classes pass.
std::string sentenciaParaAccess(std::string_view sql);

// A statement of the SQLite script of the synchronizer's own tables in
// Access's DDL, or "" when it is left out. Access has no IF NOT EXISTS: a
// table is made when `existe` says the database lacks it (it then goes into
// `nuevas`), and its indexes with it. Its counter is COUNTER, the current
// time Now(). It has no triggers either, so what SQLite's keep (the time
// each outbound record was queued) is not kept there: those statements, and
// the fill of the table they keep, are left out.
std::string definicionAccess(const std::string& sentencia, std::set<std::string>& nuevas,
                             const std::function<bool(const std::string&)>& existe);

}  // namespace datos
