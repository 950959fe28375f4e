// crearArchivoNuevo on the system the program is built for, without the
// test framework, so that a Windows build of it runs under wine (where the C
// runtime ignores fopen's "x" and truncates an existing file): an existing
// file is refused and kept as it was, a missing one is made. Exit code 0
// when so; otherwise the message says what went wrong.
#include <cerrno>
#include <cstdio>
#include <string>

#include "comun/Archivos.h"

namespace {

std::string leer(const std::string& ruta) {
    std::string texto;
    if (std::FILE* f = std::fopen(ruta.c_str(), "rb")) {
        char trozo[64];
        size_t n;
        while ((n = std::fread(trozo, 1, sizeof trozo, f)) > 0) texto.append(trozo, n);
        std::fclose(f);
    }
    return texto;
}

int fallo(const char* mensaje) {
    std::fprintf(stderr, "archivo_nuevo: %s\n", mensaje);
    return 1;
}

}  // namespace

int main() {
    const std::string existente = "existente.db";
    const std::string nueva = "nueva.db";
    std::remove(nueva.c_str());
    if (std::FILE* f = std::fopen(existente.c_str(), "wb")) {
        std::fputs("una base de datos", f);
        std::fclose(f);
    } else {
        return fallo("cannot write the existing file");
    }
    const int numero = comun::crearArchivoNuevo(existente);
    const std::string despues = leer(existente);
    std::remove(existente.c_str());
    if (numero != EEXIST) return fallo("an existing file was not refused with EEXIST");
    if (despues != "una base de datos") return fallo("an existing file was changed");
    if (comun::crearArchivoNuevo(nueva) != 0) return fallo("a missing file was not created");
    std::FILE* f = std::fopen(nueva.c_str(), "rb");
    if (!f) return fallo("the new file is not there");
    std::fclose(f);
    std::remove(nueva.c_str());
    return 0;
}
