// Where subsystems report what happens: the engine shows it on the console,
// tests collect it.
#pragma once

#include <string>
#include <vector>

namespace comun {

class Bitacora {
  public:
    virtual ~Bitacora() = default;
    virtual void escribir(const std::string& linea) noexcept = 0;
    // A detail for whoever investigates a site, not for the operator (a
    // value a column refused and the copy skipped). Dropped unless the log
    // keeps such lines.
    virtual void depurar(const std::string& /*linea*/) noexcept {}
};

// Discards everything.
class BitacoraNula : public Bitacora {
  public:
    void escribir(const std::string&) noexcept override {}
};

// Keeps every line (tests).
class BitacoraMemoria : public Bitacora {
  public:
    void escribir(const std::string& linea) noexcept override { lineas.push_back(linea); }
    void depurar(const std::string& linea) noexcept override { depuracion.push_back(linea); }
    std::vector<std::string> lineas;
    std::vector<std::string> depuracion;
};

}  // namespace comun
