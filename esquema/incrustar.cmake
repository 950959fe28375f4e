# Writes a C++ source that holds the site schema and the demo catalogue as
# raw string literals, so the schema tool needs no files at run time.
# Called as: cmake -DSITIO=<sitio.sql> -DDEMO=<demo.sql> -DSALIDA=<out.cpp> -P incrustar.cmake
file(READ "${SITIO}" textoSitio)
file(READ "${DEMO}" textoDemo)
set(delimitador "esquema")
string(FIND "${textoSitio}" ")${delimitador}\"" posicionSitio)
string(FIND "${textoDemo}" ")${delimitador}\"" posicionDemo)
if(NOT posicionSitio EQUAL -1 OR NOT posicionDemo EQUAL -1)
  message(FATAL_ERROR "An SQL file contains the raw string delimiter )${delimitador}\"")
endif()
set(contenido "// Generated from esquema/sitio.sql and esquema/demo.sql; do not edit.
#include \"datos/Esquema.h\"

namespace datos {

std::string_view sqlSitio() {
    static constexpr const char texto[] = R\"${delimitador}(${textoSitio})${delimitador}\";
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
