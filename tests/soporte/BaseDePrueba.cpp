// Real site databases for tests: each holder makes its own temporary folder
// and a fresh database in it with the schema tool.
#include "soporte/BaseDePrueba.h"

#include <atomic>
#include <filesystem>
#include <random>
#include <stdexcept>

#include <unistd.h>

#include "datos/Esquema.h"

namespace prueba {

namespace {

// A folder no other holder (in this process or another) uses.
std::string carpetaNueva() {
    static std::atomic<unsigned> contador{0};
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (int intento = 0; intento < 100; ++intento) {
        auto carpeta = base / ("sinc-" + std::to_string(::getpid()) + "-" +
                               std::to_string(contador++) + "-" + std::to_string(rd()));
        if (std::filesystem::create_directory(carpeta)) return carpeta.string();
    }
    throw std::runtime_error("cannot make a temporary folder for a test database");
}

}  // namespace

BaseDePrueba::BaseDePrueba(bool demo, std::string cliente, std::string sucursal)
    : carpeta_(carpetaNueva()), cliente_(std::move(cliente)), sucursal_(std::move(sucursal)) {
    ruta_ = carpeta_ + "/sitio.db";
    try {
        datos::crearBaseSitio(ruta_, cliente_, sucursal_, "Sitio de prueba " + sitio(), demo);
    } catch (...) {
        std::error_code ec;
        std::filesystem::remove_all(carpeta_, ec);
        throw;
    }
}

BaseDePrueba::~BaseDePrueba() {
    std::error_code ec;
    std::filesystem::remove_all(carpeta_, ec);
}

}  // namespace prueba
