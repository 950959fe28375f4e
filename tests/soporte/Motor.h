// The engine a test opens its site database with. The suites that run on
// both engines are registered twice (tests/CMakeLists.txt, MOTORES): as
// they are, on SQLite directly, and with the prefix "odbc." and
// SINC_PRUEBA_MOTOR=odbc, on the same file through the SQLite ODBC driver
// with the project's SQL functions loaded into it (build/lib/access.so).
#pragma once

#include <cstdlib>
#include <string>

namespace prueba {

inline bool porOdbc() {
    const char* m = std::getenv("SINC_PRUEBA_MOTOR");
    return m && std::string(m) == "odbc";
}

// The data file that opens the SQLite file `ruta` with the engine of this
// run: the path itself, or a DSN-less ODBC connection string to it.
inline std::string origen(const std::string& ruta) {
    if (!porOdbc()) return ruta;
#ifdef SINC_LIB_DIR
    return "ODBC;Driver=SQLite3;Database=" + ruta +
           ";LoadExt=" SINC_LIB_DIR "/access.so;Timeout=5000;";
#else
    return ruta;
#endif
}

}  // namespace prueba
