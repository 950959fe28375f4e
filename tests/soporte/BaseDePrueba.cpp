// Real site databases for tests: each holder makes its own temporary folder
// and a fresh database in it with the schema tool.
#include "soporte/BaseDePrueba.h"

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

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

void corromperTabla(const std::string& ruta, const std::string& tabla) {
    // Where the table lives, with every change of the write-ahead log moved
    // into the main file first (the log is what a later open would read).
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(ruta.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + ruta);
    }
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    auto entero = [db](const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        int64_t valor = -1;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            valor = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        return valor;
    };
    const int64_t pagina = entero(
        "SELECT rootpage FROM sqlite_master WHERE type = 'table' AND "
        "name = '" +
        tabla + "' COLLATE NOCASE");
    const int64_t tamano = entero("PRAGMA page_size");
    if (pagina < 2 || tamano <= 0) {
        sqlite3_close(db);
        throw std::runtime_error("no table " + tabla + " in " + ruta);
    }
    // Written through SQLite's own handle of the file: closing a descriptor
    // opened by other means would drop the locks of every connection this
    // process has open on it.
    sqlite3_file* archivo = nullptr;
    int rc = sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &archivo);
    if (rc == SQLITE_OK && archivo && archivo->pMethods) {
        const std::string basura(static_cast<size_t>(tamano), '\xA5');
        rc = archivo->pMethods->xWrite(archivo, basura.data(), static_cast<int>(tamano),
                                       (pagina - 1) * tamano);
    } else if (rc == SQLITE_OK) {
        rc = SQLITE_MISUSE;
    }
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("cannot write " + ruta);
}

}  // namespace prueba
