// A command line run through the system's shell, as the tests run the
// programs they check: /bin/sh on Linux, cmd.exe on Windows. cmd.exe /c
// drops the first and the last quote of a line that starts with one, so a
// line whose program path is quoted would lose its quotes there; the whole
// line goes in one more pair of quotes, which cmd.exe takes off again.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace prueba {

inline std::string lineaParaElShell(const std::string& linea) {
#ifdef _WIN32
    return "\"" + linea + "\"";
#else
    return linea;
#endif
}

// The program's exit code, or -1 when it did not end by itself.
inline int correrLinea(const std::string& linea) {
    const int estado = std::system(lineaParaElShell(linea).c_str());
#ifdef _WIN32
    return estado;
#else
    return WIFEXITED(estado) ? WEXITSTATUS(estado) : -1;
#endif
}

// What the line writes on its standard output (text: "\r\n" reads "\n").
inline std::string salidaDeLinea(const std::string& linea) {
    std::string salida;
    if (std::FILE* p = ::popen(lineaParaElShell(linea).c_str(), "r")) {
        char trozo[256];
        size_t n;
        while ((n = std::fread(trozo, 1, sizeof trozo, p)) > 0) salida.append(trozo, n);
        ::pclose(p);
    }
    return salida;
}

}  // namespace prueba
