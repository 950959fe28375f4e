#include "comun/Registro.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "comun/Archivos.h"

namespace comun {

namespace {

// Lines longer than this are cut in the file (a response of many megabytes
// is still a console "line"); the console keeps them whole.
constexpr size_t kLineaMaxima = 1024 * 1024;
// Lines between two attempts to reopen a file that could not be opened.
constexpr uint64_t kReintento = 100;

// "yyyy-mm-dd hh:mm:ss", midnight included.
std::string sello(const Fecha& f) {
    char texto[32];
    std::snprintf(texto, sizeof texto, "%04d-%02d-%02d %02d:%02d:%02d", f.anio % 10000, f.mes % 100,
                  f.dia % 100, f.hora % 100, f.minuto % 100, f.segundo % 100);
    return texto;
}

}  // namespace

Registro::Registro(std::string ruta, const Reloj& reloj, uint64_t tamanoMaximo, int archivosViejos)
    : ruta_(std::move(ruta)),
      reloj_(reloj),
      tamanoMaximo_(tamanoMaximo),
      archivosViejos_(archivosViejos < 0 ? 0 : archivosViejos) {}

Registro::~Registro() {
    vaciar();
    if (archivo_) std::fclose(archivo_);
}

bool Registro::abrir(std::string& error) {
    if (archivo_) std::fclose(archivo_);
    // Binary on every system: in text mode the C runtime of Windows writes
    // each "\n" as "\r\n", and a line's own "\r" would come out doubled.
    archivo_ = std::fopen(ruta_.c_str(), "ab");
    if (!archivo_) {
        error = ruta_ + ": " + std::strerror(errno);
        return false;
    }
    std::error_code ec;
    const auto tamano = std::filesystem::file_size(rutaDe(ruta_), ec);
    tamano_ = ec ? 0 : tamano;
    return true;
}

void Registro::escribir(const std::string& texto) {
    size_t inicio = 0;
    while (inicio < texto.size()) {
        const size_t fin = texto.find('\n', inicio);
        if (fin == std::string::npos) {
            if (pendiente_.size() < kLineaMaxima)
                pendiente_.append(texto, inicio, kLineaMaxima - pendiente_.size());
            return;
        }
        if (pendiente_.size() < kLineaMaxima)
            pendiente_.append(texto, inicio,
                              std::min(fin - inicio, kLineaMaxima - pendiente_.size()));
        if (!pendiente_.empty() && pendiente_.back() == '\r') pendiente_.pop_back();
        escribirLinea(pendiente_);
        pendiente_.clear();
        inicio = fin + 1;
    }
}

void Registro::vaciar() {
    if (pendiente_.empty()) return;
    escribirLinea(pendiente_);
    pendiente_.clear();
}

void Registro::escribirLinea(const std::string& linea) {
    const std::string texto = sello(reloj_.ahora()) + " " + linea + "\n";
    if (tamano_ > 0 && tamano_ + texto.size() > tamanoMaximo_) rotar();
    // A file that could not be reopened (its folder gone, a full disk) is
    // tried again now and then; the lines in between are lost.
    if (!archivo_ && ++perdidas_ % kReintento == 0) archivo_ = std::fopen(ruta_.c_str(), "ab");
    if (!archivo_) return;
    if (std::fwrite(texto.data(), 1, texto.size(), archivo_) == texto.size()) {
        tamano_ += texto.size();
    }
    // Flushed at once: a line is on disk even if the process is killed
    // right after it.
    std::fflush(archivo_);
}

void Registro::rotar() {
    if (archivo_) std::fclose(archivo_);
    archivo_ = nullptr;
    std::error_code ec;
    if (archivosViejos_ == 0) {
        std::filesystem::remove(rutaDe(ruta_), ec);
    } else {
        std::filesystem::remove(rutaDe(ruta_ + "." + std::to_string(archivosViejos_)), ec);
        for (int n = archivosViejos_ - 1; n >= 1; --n)
            std::filesystem::rename(rutaDe(ruta_ + "." + std::to_string(n)),
                                    rutaDe(ruta_ + "." + std::to_string(n + 1)), ec);
        std::filesystem::rename(rutaDe(ruta_), rutaDe(ruta_ + ".1"), ec);
    }
    archivo_ = std::fopen(ruta_.c_str(), "ab");
    tamano_ = 0;
    if (archivo_) {
        const auto tamano = std::filesystem::file_size(rutaDe(ruta_), ec);
        tamano_ = ec ? 0 : tamano;
    }
}

}  // namespace comun
