# Writes a C++ source that holds the site schema, the synchronizer's own
# tables, the demo catalogue and the statement corpus as raw string
# literals, so the schema tool and `verificar` need no files at run time.
# Called as: cmake -DSITIO=<sitio.sql> -DPROPIAS=<propias.sql> -DDEMO=<demo.sql>
#                  -DSENTENCIAS=<sentencias.txt>
#                  -DSALIDA=<out.cpp> -P incrustar.cmake
file(READ "${SITIO}" textoSitio)
file(READ "${PROPIAS}" textoPropias)
file(READ "${DEMO}" textoDemo)
file(READ "${SENTENCIAS}" textoSentencias)
set(delimitador "esquema")
foreach(texto textoSitio textoPropias textoDemo textoSentencias)
  string(FIND "${${texto}}" ")${delimitador}\"" posicion)
  if(NOT posicion EQUAL -1)
    message(FATAL_ERROR "An SQL file contains the raw string delimiter )${delimitador}\"")
  endif()
endforeach()
set(contenido "// Generated from esquema/sitio.sql, propias.sql, demo.sql and sentencias.txt;
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

std::string_view textoSentencias() {
    static constexpr const char texto[] = R\"${delimitador}(${textoSentencias})${delimitador}\";
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
