// The schema tool: creates a new site database with every table the
// synchronizer reads or writes, the two saved queries and the site settings.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "comun/Funciones.h"

namespace datos {

// A site database that could not be created; the message names the path.
class ErrorEsquema : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Creates the SQLite file ruta for the site cliente + sucursal: the tables
// and views of the schema, the XX0100 settings ("Identificador Cliente",
// "Codigo Sucursales y Agencias", "Nombre Establecimiento", "REGIMEN",
// "Terminal Cliente", "Servidor Uno Uno") and the control row of COMANDAS
// dated today; with demo, also the demo catalogue. The file is left in WAL
// mode.
//
// Throws ErrorEsquema when ruta already exists (it is never touched), when
// cliente or sucursal is empty or holds anything but letters, digits, '-'
// and '_' (the site code is placed inside SQL texts and on the wire), or
// when any step fails; a half-made file is removed.
// Dates written while creating (the control row) and now() in the schema's
// statements read `reloj`.
void crearBaseSitio(const std::string& ruta, const std::string& cliente,
                    const std::string& sucursal, const std::string& nombre, bool demo,
                    const comun::Reloj& reloj = comun::RelojSistema{});

// The embedded SQL texts (plain SQLite; the connection must have the ACCESS
// collation registered before running them).
std::string_view sqlSitio();
// The synchronizer's own tables (quarantine, apply failures), each created
// only when missing, so the text also brings an older database up to date.
std::string_view sqlPropias();
std::string_view sqlDemo();
// The statement corpus (esquema/sentencias.txt): every statement text the
// program issues, one a line, each value the program places into it written
// between braces with a sample value.
std::string_view textoSentencias();

// Today's date by `reloj` as 'yyyy-mm-dd', the form dates are stored in.
std::string fechaHoyIso(const comun::Reloj& reloj = comun::RelojSistema{});

}  // namespace datos
