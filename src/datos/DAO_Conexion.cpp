// The connection and the command layer of DAO_Conexion: opening the site's
// database, running statements, opening record sets, and the small helpers
// every data operation uses.
#include "datos/DAO_Conexion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "comun/Texto.h"
#include "datos/ControladorOdbc.h"
#include "datos/ControladorSqlite.h"
#include "datos/Esquema.h"

namespace datos {

namespace {

constexpr const char* kSinConexion = "Operation is not allowed when the object is closed.";

}  // namespace

bool esOrigenOdbc(const std::string& dataFile) {
    return comun::mayusculas(dataFile.substr(0, 5)) == "ODBC;";
}

bool esArchivoAccess(const std::string& ruta) {
    const std::string m = comun::mayusculas(ruta);
    auto termina = [&](const char* s) {
        const size_t n = std::strlen(s);
        return m.size() >= n && m.compare(m.size() - n, n, s) == 0;
    };
    return termina(".MDB") || termina(".ACCDB");
}

DAO_Conexion::DAO_Conexion() = default;
DAO_Conexion::~DAO_Conexion() = default;

std::string DAO_Conexion::proveedor() const {
    if (dataFile_.size() >= 5 &&
        comun::mayusculas(dataFile_.substr(dataFile_.size() - 5)) == "ACCDB")
        return "Microsoft.ACE.OLEDB.12.0";
    return "Microsoft.Jet.OLEDB.4.0";
}

void DAO_Conexion::conectar() {
    // A new connection replaces the open one; the old one closes first so its
    // record sets become closed rather than dangling.
    controlador_.reset();
    if (dataFile_.empty()) throw ErrorBD("Could not find file '" + dataFile_ + "'.");
    if (esOrigenOdbc(dataFile_)) {
        controlador_ = abrirOdbc(dataFile_.substr(5));
        return;
    }
    // The file is looked at, never opened, before SQLite opens it: on POSIX
    // systems closing any descriptor of a file drops every lock this process
    // holds on it, those of the other connections open on it included (the
    // support window's, the state line's), and another program closing its
    // own connection would then delete the write-ahead log under them.
    // stat and access tell a missing file, a folder this user may not enter
    // or a file it may not read; SQLite's own open tells a file of another
    // format.
    struct stat archivo {};
    if (::stat(dataFile_.c_str(), &archivo) != 0) {
        const int numero = errno;
        if (numero == ENOENT || numero == ENOTDIR)
            throw ErrorBD("Could not find file '" + dataFile_ + "'.");
        throw ErrorBD("Cannot open the database file '" + dataFile_ +
                      "': " + std::strerror(numero) + ".");
    }
    if (!S_ISREG(archivo.st_mode)) throw ErrorBD("Could not find file '" + dataFile_ + "'.");
    if (::access(dataFile_.c_str(), R_OK) != 0) {
        const int numero = errno;
        throw ErrorBD("Cannot open the database file '" + dataFile_ +
                      "': " + std::strerror(numero) + ".");
    }
    // SQLite takes an empty file for a new database and would make one of
    // it: an empty file is no site's database.
    if (esArchivoAccess(dataFile_)) {
        controlador_ = abrirAccess(dataFile_);
        return;
    }
    if (archivo.st_size == 0) throw ErrorBD("Unrecognized database format '" + dataFile_ + "'.");
    controlador_ = abrirSqlite(dataFile_, 5000, reloj_);
}

void DAO_Conexion::desconectar() noexcept {
    controlador_.reset();
}

bool DAO_Conexion::conectado() const {
    return controlador_ != nullptr;
}

int DAO_Conexion::comando(std::string_view sql, const ListaParametros& parametros) {
    if (!controlador_) throw ErrorBD(kSinConexion, std::string(sql));
    return controlador_->comando(sql, parametros);
}

std::unique_ptr<Recordset> DAO_Conexion::Query(std::string_view sql,
                                               const ListaParametros& parametros) {
    if (!controlador_) throw ErrorBD(kSinConexion, std::string(sql));
    return std::make_unique<Recordset>(controlador_->abrir(sql, parametros));
}

bool DAO_Conexion::RsVacio(const Recordset* rs) {
    // Only a closed or absent record set reads as empty. Rows are fetched
    // when first asked for, so a failure to read them (a damaged page, a
    // lock) surfaces here and goes to the caller: taken for "no rows" it
    // would make a lookup insert a duplicate and a run report nothing to do.
    if (!rs || !rs->abierto()) return true;
    return rs->eof() || rs->bof();
}

std::string DAO_Conexion::ValidarSql(const Variant& valor) {
    return comun::reemplazar(valor.texto(), "'", "''");
}

void DAO_Conexion::CerrarRs(std::unique_ptr<Recordset>& rs) {
    if (rs) rs->Close();
    rs.reset();
}

void DAO_Conexion::asegurarTablasPropias() {
    if (!controlador_) throw ErrorBD(kSinConexion);
    controlador_->ejecutarGuion(sqlPropias());
}

void DAO_Conexion::empezarTransaccion() {
    if (!controlador_) throw ErrorBD(kSinConexion);
    controlador_->empezarTransaccion();
}

void DAO_Conexion::confirmarTransaccion() {
    if (!controlador_) throw ErrorBD(kSinConexion);
    controlador_->confirmarTransaccion();
}

void DAO_Conexion::revertirTransaccion() {
    if (!controlador_) throw ErrorBD(kSinConexion);
    controlador_->revertirTransaccion();
}

bool DAO_Conexion::existeTabla(std::string_view nombre) {
    if (!controlador_) throw ErrorBD(kSinConexion);
    return controlador_->existeTabla(nombre);
}

bool DAO_Conexion::admiteSavepoints() const {
    if (!controlador_) throw ErrorBD(kSinConexion);
    return controlador_->admiteSavepoints();
}

comun::Bitacora& DAO_Conexion::bitacora() const {
    static comun::BitacoraNula nula;
    return bitacora_ ? *bitacora_ : nula;
}

}  // namespace datos
