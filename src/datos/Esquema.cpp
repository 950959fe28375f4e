#include "datos/Esquema.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <utility>
#include <vector>

#include "comun/Archivos.h"
#include "datos/SentenciaSqlite.h"
#include "datos/sql/FuncionesSqlite.h"
#include "protocolo/Comunicacion.h"

namespace datos {

namespace {

// The general destination: no site may carry it as its own code.
using protocolo::kDestinoGeneral;

bool codigoValido(const std::string& codigo) {
    if (codigo.empty()) return false;
    for (unsigned char c : codigo) {
        bool valido = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                      c == '-' || c == '_';
        if (!valido) return false;
    }
    return true;
}

// One open SQLite handle, closed when it goes.
class Base {
  public:
    Base(const std::string& ruta) {
        int rc = sqlite3_open_v2(ruta.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                 nullptr);
        if (rc != SQLITE_OK) {
            std::string mensaje = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            cerrar();
            throw ErrorEsquema("cannot open " + ruta + ": " + mensaje);
        }
        sqlite3_busy_timeout(db_, 5000);
    }
    ~Base() { cerrar(); }
    Base(const Base&) = delete;
    Base& operator=(const Base&) = delete;

    sqlite3* db() const { return db_; }

    void ejecutar(std::string_view sql, const char* paso) {
        std::string texto(sql);
        char* error = nullptr;
        int rc = sqlite3_exec(db_, texto.c_str(), nullptr, nullptr, &error);
        if (rc != SQLITE_OK) {
            std::string mensaje = error ? error : sqlite3_errstr(rc);
            sqlite3_free(error);
            throw ErrorEsquema(std::string(paso) + ": " + mensaje);
        }
    }

    // Runs one statement with text values bound in order to ?1, ?2, ...
    void ejecutar(const char* sql, const std::vector<std::string>& valores, const char* paso) {
        sqlite::Sentencia s;
        int rc = sqlite3_prepare_v2(db_, sql, -1, &s.st, nullptr);
        for (size_t i = 0; i < valores.size() && rc == SQLITE_OK; ++i)
            rc = sqlite3_bind_text(s.st, static_cast<int>(i + 1), valores[i].c_str(),
                                   static_cast<int>(valores[i].size()), SQLITE_TRANSIENT);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(s.st);
            if (rc == SQLITE_DONE || rc == SQLITE_ROW) rc = SQLITE_OK;
        }
        if (rc != SQLITE_OK) throw ErrorEsquema(std::string(paso) + ": " + sqlite3_errmsg(db_));
    }

    // The first column of the first row of sql, as text.
    std::string texto(const char* sql) {
        sqlite::Sentencia s;
        if (sqlite3_prepare_v2(db_, sql, -1, &s.st, nullptr) != SQLITE_OK ||
            sqlite3_step(s.st) != SQLITE_ROW)
            return {};
        const unsigned char* t = sqlite3_column_text(s.st, 0);
        return t ? reinterpret_cast<const char*>(t) : std::string();
    }

    void cerrar() {
        if (db_) sqlite3_close_v2(db_);
        db_ = nullptr;
    }

  private:
    sqlite3* db_ = nullptr;
};

// Claims the path: creates the empty file only when nothing stands there, so
// an existing database is never opened, let alone changed.
void reservarArchivo(const std::string& ruta) {
    const int numero = comun::crearArchivoNuevo(ruta);
    if (numero == EEXIST) throw ErrorEsquema("the file already exists: " + ruta);
    if (numero != 0) throw ErrorEsquema("cannot create " + ruta + ": " + std::strerror(numero));
}

void borrarArchivos(const std::string& ruta) {
    std::error_code ec;
    for (const char* sufijo : {"", "-wal", "-shm", "-journal"})
        std::filesystem::remove(ruta + sufijo, ec);
}

void llenarBase(Base& base, const std::string& cliente, const std::string& sucursal,
                const std::string& nombre, bool demo, const comun::Reloj& reloj) {
    datos::sql::registrarFunciones(base.db(), &reloj);
    base.ejecutar("BEGIN", "begin");
    base.ejecutar(sqlSitio(), "schema");
    base.ejecutar(sqlPropias(), "schema");

    const char* ajuste = "INSERT INTO XX0100 (NOMBRE, DESCRIPCION) VALUES (?1, ?2)";
    const std::pair<const char*, std::string> ajustes[] = {
        {"Identificador Cliente", cliente}, {"Codigo Sucursales y Agencias", sucursal},
        {"Nombre Establecimiento", nombre}, {"REGIMEN", "Simplificado"},
        {"Terminal Cliente", "0"},          {"Servidor Uno Uno", "0"},
    };
    for (const auto& [clave, valor] : ajustes) base.ejecutar(ajuste, {clave, valor}, "settings");

    base.ejecutar(
        "INSERT INTO COMANDAS (nombreproducto, fecha, cantidad, valor) "
        "VALUES ('Registro de Control', ?1, 0, 0)",
        {fechaHoyIso(reloj)}, "control row");

    if (demo) {
        base.ejecutar("CREATE TEMP TABLE ParametrosDemo (cliente TEXT, sucursal TEXT, nombre TEXT)",
                      "demo");
        base.ejecutar("INSERT INTO temp.ParametrosDemo VALUES (?1, ?2, ?3)",
                      {cliente, sucursal, nombre}, "demo");
        base.ejecutar(sqlDemo(), "demo");
        base.ejecutar("DROP TABLE temp.ParametrosDemo", "demo");
    }
    base.ejecutar("COMMIT", "commit");

    // The site's own application writes to the same file at any time.
    std::string modo = base.texto("PRAGMA journal_mode=WAL");
    if (modo != "wal") throw ErrorEsquema("cannot set WAL mode (journal mode is " + modo + ")");
}

}  // namespace

std::string fechaHoyIso(const comun::Reloj& reloj) {
    comun::Fecha hoy = reloj.ahora();
    hoy.hora = hoy.minuto = hoy.segundo = 0;
    return hoy.iso();
}

void crearBaseSitio(const std::string& ruta, const std::string& cliente,
                    const std::string& sucursal, const std::string& nombre, bool demo,
                    const comun::Reloj& reloj) {
    if (ruta.empty()) throw ErrorEsquema("no database file given");
    if (!codigoValido(cliente))
        throw ErrorEsquema("invalid client identifier '" + cliente +
                           "': use letters, digits, '-' or '_'");
    if (!codigoValido(sucursal))
        throw ErrorEsquema("invalid branch code '" + sucursal +
                           "': use letters, digits, '-' or '_'");
    if (cliente + sucursal == kDestinoGeneral)
        throw ErrorEsquema("the site code " + cliente + sucursal + " is the general destination");

    const std::string nombreSitio = nombre.empty() ? "Sitio " + cliente + sucursal : nombre;

    reservarArchivo(ruta);
    try {
        Base base(ruta);
        llenarBase(base, cliente, sucursal, nombreSitio, demo, reloj);
        base.cerrar();
    } catch (const ErrorEsquema& e) {
        borrarArchivos(ruta);
        throw ErrorEsquema("cannot create " + ruta + ": " + e.what());
    } catch (const std::exception& e) {
        borrarArchivos(ruta);
        throw ErrorEsquema("cannot create " + ruta + ": " + e.what());
    }
}

}  // namespace datos
