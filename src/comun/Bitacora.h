// Where subsystems report what happens: the engine shows it on the console,
// tests collect it.
#pragma once

#include <string>
#include <vector>

namespace comun {

class Bitacora {
  public:
    virtual ~Bitacora() = default;
    virtual void escribir(const std::string& linea) = 0;
};

// Discards everything.
class BitacoraNula : public Bitacora {
  public:
    void escribir(const std::string&) override {}
};

// Keeps every line (tests).
class BitacoraMemoria : public Bitacora {
  public:
    void escribir(const std::string& linea) override { lineas.push_back(linea); }
    std::vector<std::string> lineas;
};

}  // namespace comun
