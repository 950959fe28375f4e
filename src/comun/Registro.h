// A log file beside the console: every console line written to it with the
// time it was written, the line's own text unchanged after the stamp. The
// file is kept below a size limit: when the next line would pass it, the
// file becomes FILE.1, the earlier FILE.1 becomes FILE.2, and so on up to a
// fixed number of old files; the oldest is dropped.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "comun/Bitacora.h"
#include "comun/Funciones.h"

namespace comun {

class Registro {
  public:
    static constexpr uint64_t kTamanoMaximo = uint64_t{10} * 1024 * 1024;
    static constexpr int kArchivosViejos = 5;

    Registro(std::string ruta, const Reloj& reloj, uint64_t tamanoMaximo = kTamanoMaximo,
             int archivosViejos = kArchivosViejos);
    ~Registro();
    Registro(const Registro&) = delete;
    Registro& operator=(const Registro&) = delete;

    // Opens (appending) the file; false, with the reason in `error`, when
    // it cannot be written.
    bool abrir(std::string& error);

    // Text as the console receives it: pieces that end their lines with LF
    // or CR LF. Each complete line is written with its stamp; an unfinished
    // one waits for its end. A file that stopped being writable (a full
    // disk, its folder removed) loses lines, never the synchronizer's work;
    // it is opened again after a while.
    void escribir(const std::string& texto);
    // Writes an unfinished line as it stands.
    void vaciar();

    const std::string& ruta() const { return ruta_; }

  private:
    void escribirLinea(const std::string& linea);
    void rotar();

    std::string ruta_;
    const Reloj& reloj_;
    uint64_t tamanoMaximo_;
    int archivosViejos_;
    std::FILE* archivo_ = nullptr;
    uint64_t tamano_ = 0;
    uint64_t perdidas_ = 0;
    std::string pendiente_;
};

// The console lines of the apply step, and of anything else that reports
// whole lines, to a Registro.
class BitacoraRegistro : public Bitacora {
  public:
    explicit BitacoraRegistro(Registro& registro) : registro_(registro) {}
    void escribir(const std::string& linea) noexcept override { registro_.escribir(linea + "\n"); }

  private:
    Registro& registro_;
};

}  // namespace comun
