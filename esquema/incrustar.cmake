# Writes a C++ source that holds the site schema, the synchronizer's own
# tables and the demo catalogue as raw string literals, so the schema tool
# needs no files at run time.
# Called as: cmake -DSITIO=<sitio.sql> -DPROPIAS=<propias.sql> -DDEMO=<demo.sql>
#                  -DSALIDA=<out.cpp> -P incrustar.cmake
file(READ "${SITIO}" textoSitio)
file(READ "${PROPIAS}" textoPropias)
file(READ "${DEMO}" textoDemo)
set(delimitador "esquema")
foreach(texto textoSitio textoPropias textoDemo)
  string(FIND "${${texto}}" ")${delimitador}\"" posicion)
  if(NOT posicion EQUAL -1)
    message(FATAL_ERROR "An SQL file contains the raw string delimiter )${delimitador}\"")
  endif()
endforeach()
set(contenido "// Generated from esquema/sitio.sql, esquema/propias.sql and esquema/demo.sql;
// do not edit.
#include \"datos/Esquema.h\"

namespace datos {

std::string_view sqlSitio() {
    static constexpr const char texto[] = R\"${delimitador}(${textoSitio})${delimitador}\";
    return {texto, sizeof texto - 1};
}

std::string_view sqlPropias() {
    static constexpr const char texto[] = R\"${delimitador}(${textoPropias})${delimitador}\";
    return {texto, sizeof texto - 1};
}

std::string_view sqlDemo() {
    static constexpr const char texto[] = R\"${delimitador}(${textoDemo})${delimitador}\";
    return {texto, sizeof texto - 1};
}

}  // namespace datos
")
# Rewrite only on change, so an unchanged schema does not rebuild the library.
if(EXISTS "${SALIDA}")
  file(READ "${SALIDA}" anterior)
  if(anterior STREQUAL contenido)
    return()
  endif()
endif()
file(WRITE "${SALIDA}" "${contenido}")
