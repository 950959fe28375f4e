// Placeholder until the schema tool lands: creates the folder only.
#include "BaseDePrueba.h"

#include <filesystem>
#include <random>

namespace prueba {

BaseDePrueba::BaseDePrueba(bool, std::string cliente, std::string sucursal)
    : cliente_(std::move(cliente)), sucursal_(std::move(sucursal)) {
    std::random_device rd;
    carpeta_ = (std::filesystem::temp_directory_path() / ("sinc-" + std::to_string(rd()))).string();
    std::filesystem::create_directories(carpeta_);
    ruta_ = carpeta_ + "/sitio.db";
}

BaseDePrueba::~BaseDePrueba() {
    std::error_code ec;
    std::filesystem::remove_all(carpeta_, ec);
}

}  // namespace prueba
