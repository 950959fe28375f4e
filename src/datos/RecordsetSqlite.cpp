#include "datos/RecordsetSqlite.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "datos/ControladorSqlite.h"
#include "datos/DAO_Conexion.h"

namespace datos::sqlite {

namespace {

// Rows read per page when a whole table is walked: the first page is small,
// so asking whether a big table is empty costs what it costs for a small
// one; later pages grow to the larger size.
constexpr int kMaximaPagina = 512;

// Statements of the connection's own texts kept before it empties the map.
constexpr size_t kMaxInternas = 256;

// Empty, or the empty text: no value at all.
bool valorVacio(const Variant& v) {
    return v.esEmpty() || (v.esTexto() && v.comoTexto().empty());
}

// Columns whose schema default (0, false, the default date) stands for "no
// value"; text keeps the empty text.
bool conValorPorDefecto(TipoColumna tipo) {
    switch (tipo) {
        case TipoColumna::SiNo:
        case TipoColumna::Fecha:
        case TipoColumna::Integer:
        case TipoColumna::Long:
        case TipoColumna::Single:
        case TipoColumna::Double:
        case TipoColumna::Moneda:
            return true;
        default:
            return false;
    }
}

// Whether the rest of a prepared text holds anything but blanks and ";".
bool restoVacio(const char* resto) {
    if (!resto) return true;
    for (; *resto; ++resto) {
        if (!std::isspace(static_cast<unsigned char>(*resto)) && *resto != ';') return false;
    }
    return true;
}

}  // namespace

Sentencia preparar(sqlite3* db, std::string_view texto, std::string_view original) {
    sqlite3_stmt* st = nullptr;
    const char* resto = nullptr;
    int rc = sqlite3_prepare_v2(db, texto.data(), static_cast<int>(texto.size()), &st, &resto);
    Sentencia s(st);
    if (rc != SQLITE_OK) throw errorDelMotor(db, std::string(original));
    if (!st) throw ErrorBD("Empty statement.", std::string(original));
    if (!restoVacio(resto))
        throw ErrorBD("Only one statement can run at a time.", std::string(original));
    return s;
}

std::shared_ptr<Sentencia> EstadoConexion::interna(const std::string& texto,
                                                   std::string_view original) {
    auto it = internas.find(texto);
    if (it != internas.end()) return it->second;
    auto s = std::make_shared<Sentencia>(preparar(db, texto, original));
    // Bounded like the connection's own cache; a record set keeps what it holds.
    if (internas.size() >= kMaxInternas) internas.clear();
    internas.emplace(texto, s);
    return s;
}

std::vector<Columna> columnasDe(sqlite3* db, sqlite3_stmt* st, bool conRowid) {
    std::vector<Columna> columnas;
    const int n = sqlite3_column_count(st);
    for (int j = conRowid ? 1 : 0; j < n; ++j) {
        Columna c;
        const char* nombre = sqlite3_column_name(st, j);
        c.nombre = nombre ? nombre : "";
        const char* tabla = sqlite3_column_table_name(st, j);
        const char* origen = sqlite3_column_origin_name(st, j);
        if (tabla && origen) {
            c.origen = origen;
            const char* decl = nullptr;
            const char* coll = nullptr;
            int noNulo = 0, clave = 0, autoinc = 0;
            if (sqlite3_table_column_metadata(db, sqlite3_column_database_name(st, j), tabla,
                                              origen, &decl, &coll, &noNulo, &clave,
                                              &autoinc) == SQLITE_OK) {
                c.tipo = tipoDeclarado(decl ? decl : "", c.longitud);
                if (autoinc || (clave && decl && mayus(decl) == "INTEGER"))
                    c.tipo = TipoColumna::Contador;
            }
        } else {
            const char* decl = sqlite3_column_decltype(st, j);
            if (decl) c.tipo = tipoDeclarado(decl, c.longitud);
        }
        columnas.push_back(std::move(c));
    }
    return columnas;
}

void RecordsetSqlite::tomarColumnas(sqlite3_stmt* st, bool conRowid) {
    conRowid_ = conRowid;
    columnas_ = std::make_shared<const std::vector<Columna>>(columnasDe(estado_->db, st, conRowid));
}

void RecordsetSqlite::ponerColumnas(std::shared_ptr<const std::vector<Columna>> columnas,
                                    bool conRowid) {
    conRowid_ = conRowid;
    columnas_ = std::move(columnas);
}

void RecordsetSqlite::hacerActualizable(std::string tabla) {
    tabla_ = std::move(tabla);
    actualizable_ = true;
}

void RecordsetSqlite::leerTodo() const {
    if (!st_.st) return;
    sqlite3_stmt* st = st_.st;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) filas_.push_back(leerFila(st));
    std::optional<ErrorBD> error;
    if (rc != SQLITE_DONE) error = errorDelMotor(estado_->db, sentencia_);
    const_cast<RecordsetSqlite*>(this)->st_.liberar();
    cuenta_ = static_cast<long>(filas_.size());
    vacio_ = filas_.empty();
    leido_ = true;
    if (error) throw *error;
}

void RecordsetSqlite::leerTodoDe(sqlite3_stmt* st) {
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) filas_.push_back(leerFila(st));
    cuenta_ = static_cast<long>(filas_.size());
    vacio_ = filas_.empty();
    leido_ = true;
    if (rc != SQLITE_DONE) throw errorDelMotor(estado_->db, sentencia_);
}

bool RecordsetSqlite::eof() const {
    asegurar();
    return pos_ >= filas_.size();
}

bool RecordsetSqlite::bof() const {
    asegurar();
    return vacio_;
}

size_t RecordsetSqlite::numeroCampos() const {
    verificarAbierto();
    return columnas_->size();
}

const std::string& RecordsetSqlite::nombreCampo(size_t i) const {
    verificarAbierto();
    return columnas_->at(i).nombre;
}

TipoColumna RecordsetSqlite::tipoCampo(size_t i) const {
    verificarAbierto();
    return columnas_->at(i).tipo;
}

Variant RecordsetSqlite::valorCampo(size_t i) const {
    verificarAbierto();
    if (i >= columnas_->size()) throw std::out_of_range("campo");
    if (nuevo_) {
        auto p = pendientes_.find(i);
        return p == pendientes_.end() ? Variant::Null()
                                      : variantDeValor(p->second, (*columnas_)[i].tipo);
    }
    if (eof()) throw ErrorBD(kSinFila, sentencia_);
    auto p = pendientes_.find(i);
    if (p != pendientes_.end()) return variantDeValor(p->second, (*columnas_)[i].tipo);
    const Fila& f = filas_[pos_];
    if (!f.cargada) cargarFila(const_cast<Fila&>(f));
    return f.valores[i];
}

void RecordsetSqlite::MoveNext() {
    verificarAbierto();
    if (!pendientes_.empty() || nuevo_) Update();
    if (eof()) throw ErrorBD(kSinFila, sentencia_);
    ++pos_;
    if (modo_ == Modo::Tabla && pos_ >= filas_.size() && !finTabla_) cargarPagina();
}

void RecordsetSqlite::Close() {
    if (!estado_) return;
    liberar();
    estado_->abiertos.erase(this);
    estado_.reset();
}

void RecordsetSqlite::liberar() {
    st_.liberar();
    leerPorRowid_.reset();
    actualizarFila_.reset();
    inserciones_.clear();
    cerrado_ = true;
}

long RecordsetSqlite::RecordCount() const {
    verificarAbierto();
    if (modo_ == Modo::Tabla) return finTabla_ ? cuenta_ : -1;
    asegurar();
    return cuenta_;
}

void RecordsetSqlite::AddNew() {
    verificarAbierto();
    if (!actualizable_) throw ErrorBD(kNoActualizable, sentencia_);
    if (nuevo_ || !pendientes_.empty()) Update();
    nuevo_ = true;
}

void RecordsetSqlite::asignar(size_t i, const Variant& valor) {
    verificarAbierto();
    if (!actualizable_) throw ErrorBD(kNoActualizable, sentencia_);
    if (i >= columnas_->size()) throw std::out_of_range("campo");
    if (!nuevo_ && eof()) throw ErrorBD(kSinFila, sentencia_);
    if ((*columnas_)[i].origen.empty()) throw ErrorBD(kNoEscribible, sentencia_);
    if (valorVacio(valor) && conValorPorDefecto((*columnas_)[i].tipo)) {
        // The site's own application reads these rows: a Null price,
        // quantity or date breaks it. No value leaves a new row's column at
        // its default and an existing row's column as it stands.
        pendientes_.erase(i);
        return;
    }
    pendientes_[i] = convertirParaColumna((*columnas_)[i], valor);
}

void RecordsetSqlite::Update() {
    verificarAbierto();
    if (nuevo_) {
        insertar();
    } else if (!pendientes_.empty()) {
        actualizarActual();
    }
}

void RecordsetSqlite::CancelUpdate() {
    verificarAbierto();
    pendientes_.clear();
    nuevo_ = false;
}

void RecordsetSqlite::verificarAbierto() const {
    if (cerrado_) throw ErrorBD(kCerrado, sentencia_);
}

void RecordsetSqlite::asegurar() const {
    verificarAbierto();
    if (leido_) return;
    if (modo_ == Modo::Tabla) {
        const_cast<RecordsetSqlite*>(this)->cargarPagina();
        vacio_ = filas_.empty();
        leido_ = true;
    } else {
        leerTodo();
    }
}

Fila RecordsetSqlite::leerFila(sqlite3_stmt* st) const {
    Fila f;
    int base = conRowid_ ? 1 : 0;
    if (conRowid_) f.rowid = sqlite3_column_int64(st, 0);
    f.valores.reserve(columnas_->size());
    for (size_t j = 0; j < columnas_->size(); ++j)
        f.valores.push_back(leerValor(st, static_cast<int>(j) + base, (*columnas_)[j].tipo));
    return f;
}

void RecordsetSqlite::cargarPagina() {
    sqlite3_stmt* st = st_.st;
    Reinicio r{st};
    sqlite3_bind_int64(st, 1, ultimoRowid_);
    sqlite3_bind_int(st, 2, pagina_);
    filas_.clear();
    pos_ = 0;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) filas_.push_back(leerFila(st));
    if (rc != SQLITE_DONE) throw errorDelMotor(estado_->db, sentencia_);
    if (!filas_.empty()) ultimoRowid_ = filas_.back().rowid;
    cuenta_ += static_cast<long>(filas_.size());
    finTabla_ = filas_.size() < static_cast<size_t>(pagina_);
    pagina_ = std::min(pagina_ * 2, kMaximaPagina);
}

void RecordsetSqlite::cargarFila(Fila& f) const {
    if (!leerPorRowid_)
        leerPorRowid_ =
            estado_->interna("SELECT * FROM " + citar(tabla_) + " WHERE _rowid_ = ?", sentencia_);
    sqlite3_stmt* st = leerPorRowid_->st;
    Reinicio r{st};
    sqlite3_bind_int64(st, 1, f.rowid);
    int rc = sqlite3_step(st);
    f.valores.assign(columnas_->size(), Variant::Null());
    if (rc == SQLITE_ROW) {
        for (size_t j = 0; j < columnas_->size(); ++j)
            f.valores[j] = leerValor(st, static_cast<int>(j), (*columnas_)[j].tipo);
    } else if (rc != SQLITE_DONE) {
        throw errorDelMotor(estado_->db, sentencia_);
    }
    f.cargada = true;
}

void RecordsetSqlite::insertar() {
    std::string clave;
    for (auto& [i, v] : pendientes_) clave += std::to_string(i) + ",";
    auto it = inserciones_.find(clave);
    if (it == inserciones_.end()) {
        std::string texto = "INSERT INTO " + citar(tabla_);
        if (pendientes_.empty()) {
            texto += " DEFAULT VALUES";
        } else {
            std::string nombres, marcas;
            for (auto& [i, v] : pendientes_) {
                if (!nombres.empty()) {
                    nombres += ", ";
                    marcas += ", ";
                }
                nombres += citar((*columnas_)[i].origen);
                marcas += "?";
            }
            texto += " (" + nombres + ") VALUES (" + marcas + ")";
        }
        it = inserciones_.emplace(clave, estado_->interna(texto, sentencia_)).first;
    }
    sqlite3_stmt* st = it->second->st;
    {
        Reinicio r{st};
        int k = 0;
        for (auto& [i, v] : pendientes_) enlazarValor(st, ++k, v);
        if (sqlite3_step(st) != SQLITE_DONE) throw errorDelMotor(estado_->db, sentencia_);
    }
    Fila f;
    f.rowid = sqlite3_last_insert_rowid(estado_->db);
    f.cargada = false;
    asegurarSinLeer();
    filas_.clear();
    filas_.push_back(std::move(f));
    pos_ = 0;
    vacio_ = false;
    ++cuenta_;
    if (modo_ == Modo::Tabla) ultimoRowid_ = std::max(ultimoRowid_, filas_.back().rowid);
    pendientes_.clear();
    nuevo_ = false;
}

void RecordsetSqlite::asegurarSinLeer() {
    if (leido_) return;
    st_.liberar();
    leido_ = true;
    finTabla_ = true;
    cuenta_ = 0;
}

void RecordsetSqlite::actualizarActual() {
    if (!actualizarFila_ || claveActualizar_ != claveActual()) {
        std::string texto = "UPDATE " + citar(tabla_) + " SET ";
        bool primero = true;
        for (auto& [i, v] : pendientes_) {
            if (!primero) texto += ", ";
            primero = false;
            texto += citar((*columnas_)[i].origen) + " = ?";
        }
        texto += " WHERE _rowid_ = ?";
        actualizarFila_ = estado_->interna(texto, sentencia_);
        claveActualizar_ = claveActual();
    }
    sqlite3_stmt* st = actualizarFila_->st;
    Fila& f = filas_[pos_];
    {
        Reinicio r{st};
        int k = 0;
        for (auto& [i, v] : pendientes_) enlazarValor(st, ++k, v);
        sqlite3_bind_int64(st, ++k, f.rowid);
        if (sqlite3_step(st) != SQLITE_DONE) throw errorDelMotor(estado_->db, sentencia_);
    }
    pendientes_.clear();
    if (sqlite3_changes(estado_->db) == 0) throw ErrorBD(kFilaPerdida, sentencia_);
    f.cargada = false;
}

std::string RecordsetSqlite::claveActual() const {
    std::string clave;
    for (auto& [i, v] : pendientes_) clave += std::to_string(i) + ",";
    return clave;
}

}  // namespace datos::sqlite
