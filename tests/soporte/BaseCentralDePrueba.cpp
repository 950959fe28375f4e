#include "soporte/BaseCentralDePrueba.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "ConexionSQL.h"

namespace prueba {

namespace fs = std::filesystem;

namespace {

// Statements on the cluster itself (not on a test's schema).
void ejecutarEnCluster(const std::string& uri, const std::string& sql) {
    servidor::conectarPostgres(uri)->ejecutarGuion(sql);
}

}  // namespace

std::string uriPostgres() {
    const char* valor = std::getenv("SINC_POSTGRES");
    std::string texto = valor && *valor ? valor : SINC_POSTGRES_URL;
    if (!texto.empty() && texto.rfind("postgres", 0) != 0) {
        std::ifstream archivo(texto);
        std::getline(archivo, texto);
    }
    if (texto.rfind("postgres", 0) != 0)
        throw std::runtime_error(
            "No hay PostgreSQL de prueba: corra las pruebas con ctest, o inicie uno con "
            "scripts/postgres iniciar CARPETA y ponga SINC_POSTGRES=CARPETA/url");
    return texto;
}

std::string nombreDe(servidor::TipoBase tipo) {
    return tipo == servidor::TipoBase::PostgreSQL ? "postgresql" : "sqlite";
}

BaseCentralDePrueba::BaseCentralDePrueba(servidor::TipoBase tipo) {
    static std::atomic<int> contador{0};
    std::string nombre = "prueba_" + std::to_string(getpid()) + "_" + std::to_string(contador++);
    if (tipo == servidor::TipoBase::PostgreSQL) {
        std::string uri = uriPostgres();
        esquema_ = nombre;
        ejecutarEnCluster(uri, "CREATE SCHEMA " + esquema_);
        base_ = uri + (uri.find('?') == std::string::npos ? "?" : "&") +
                "options=-csearch_path%3D" + esquema_;
    } else {
        base_ = (fs::temp_directory_path() / ("servidor_" + nombre + ".db")).string();
    }
}

void BaseCentralDePrueba::ejecutar(const std::string& sql) const {
    servidor::conectar(base_)->ejecutarGuion(sql);
}

BaseCentralDePrueba::~BaseCentralDePrueba() {
    if (!esquema_.empty()) {
        try {
            ejecutarEnCluster(uriPostgres(), "DROP SCHEMA " + esquema_ + " CASCADE");
        } catch (...) {
        }
        return;
    }
    for (const char* sufijo : {"", "-wal", "-shm"}) fs::remove(base_ + sufijo);
}

}  // namespace prueba
