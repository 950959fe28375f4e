#include "datos/RecordsetOdbc.h"

#include "comun/Texto.h"

namespace datos::odbc {

namespace {

using sqlite::kCerrado;
using sqlite::kFilaPerdida;
using sqlite::kNoActualizable;
using sqlite::kNoEscribible;
using sqlite::kSinFila;

bool valorVacio(const Variant& v) {
    return v.esEmpty() || (v.esTexto() && v.comoTexto().empty());
}

// Columns whose schema default stands for "no value" (as the SQLite
// engine has them): an empty value leaves them as they are.
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

Variant variantDe(const ValorOdbc& v, TipoColumna tipo) {
    if (v.esMoneda) return Variant(v.moneda);
    return sqlite::variantDeValor(v.v, tipo);
}

}  // namespace

RecordsetOdbc::RecordsetOdbc(std::shared_ptr<EstadoOdbc> estado, std::string sentencia)
    : estado_(std::move(estado)), sentencia_(std::move(sentencia)) {
    estado_->abiertos.insert(this);
}

void RecordsetOdbc::leerDe(SQLHSTMT st) {
    if (columnas_.empty()) columnas_ = describirColumnas(st, estado_->dialecto, sentencia_);
    SQLRETURN rc;
    while ((rc = SQLFetch(st)) != SQL_NO_DATA) {
        verificar(rc, SQL_HANDLE_STMT, st, sentencia_, estado_->dialecto);
        Fila f;
        f.reserve(columnas_.size());
        for (size_t j = 0; j < columnas_.size(); ++j)
            f.push_back(
                leerValor(st, static_cast<int>(j), columnas_[j], estado_->dialecto, sentencia_));
        filas_.push_back(std::move(f));
    }
    vacio_ = filas_.empty();
    leido_ = true;
}

void RecordsetOdbc::leerAlPedir(std::string texto, bool tabla) {
    // The columns now, from the prepared statement; the rows when asked.
    Manija st(SQL_HANDLE_STMT, estado_->dbc);
    verificar(prepararSql(st.get(), texto, *estado_), SQL_HANDLE_STMT, st.get(), sentencia_,
              estado_->dialecto);
    columnas_ = describirColumnas(st.get(), estado_->dialecto, sentencia_);
    alPedir_ = std::move(texto);
    porTabla_ = tabla;
    leido_ = false;
}

void RecordsetOdbc::hacerActualizable(std::string tabla) {
    tabla_ = std::move(tabla);
    actualizable_ = true;
}

void RecordsetOdbc::verificarAbierto() const {
    if (cerrado_) throw ErrorBD(kCerrado, sentencia_);
}

void RecordsetOdbc::asegurar() const {
    verificarAbierto();
    if (leido_) return;
    Manija st(SQL_HANDLE_STMT, estado_->dbc);
    verificar(ejecutarSql(st.get(), alPedir_, *estado_), SQL_HANDLE_STMT, st.get(), sentencia_,
              estado_->dialecto);
    const_cast<RecordsetOdbc*>(this)->leerDe(st.get());
}

bool RecordsetOdbc::eof() const {
    asegurar();
    return pos_ >= filas_.size();
}

bool RecordsetOdbc::bof() const {
    asegurar();
    return vacio_;
}

size_t RecordsetOdbc::numeroCampos() const {
    verificarAbierto();
    return columnas_.size();
}

const std::string& RecordsetOdbc::nombreCampo(size_t i) const {
    verificarAbierto();
    return columnas_.at(i).c.nombre;
}

TipoColumna RecordsetOdbc::tipoCampo(size_t i) const {
    verificarAbierto();
    return columnas_.at(i).c.tipo;
}

Variant RecordsetOdbc::valorCampo(size_t i) const {
    verificarAbierto();
    if (i >= columnas_.size()) throw std::out_of_range("campo");
    auto p = pendientes_.find(i);
    if (nuevo_)
        return p == pendientes_.end() ? Variant::Null() : variantDe(p->second, columnas_[i].c.tipo);
    if (eof()) throw ErrorBD(kSinFila, sentencia_);
    if (p != pendientes_.end()) return variantDe(p->second, columnas_[i].c.tipo);
    return filas_[pos_][i];
}

void RecordsetOdbc::MoveNext() {
    verificarAbierto();
    if (!pendientes_.empty() || nuevo_) Update();
    if (eof()) throw ErrorBD(kSinFila, sentencia_);
    ++pos_;
}

void RecordsetOdbc::Close() {
    if (!estado_) return;
    cerrado_ = true;
    estado_->abiertos.erase(this);
    estado_.reset();
}

long RecordsetOdbc::RecordCount() const {
    verificarAbierto();
    if (porTabla_ && !leido_) return -1;
    asegurar();
    return static_cast<long>(filas_.size());
}

void RecordsetOdbc::AddNew() {
    verificarAbierto();
    if (!actualizable_) throw ErrorBD(kNoActualizable, sentencia_);
    if (nuevo_ || !pendientes_.empty()) Update();
    nuevo_ = true;
}

void RecordsetOdbc::asignar(size_t i, const Variant& valor) {
    verificarAbierto();
    if (!actualizable_) throw ErrorBD(kNoActualizable, sentencia_);
    if (i >= columnas_.size()) throw std::out_of_range("campo");
    if (!nuevo_ && eof()) throw ErrorBD(kSinFila, sentencia_);
    const sqlite::Columna& c = columnas_[i].c;
    if (c.origen.empty()) throw ErrorBD(kNoEscribible, sentencia_);
    if (valorVacio(valor) && conValorPorDefecto(c.tipo)) {
        pendientes_.erase(i);
        return;
    }
    ValorOdbc v;
    v.tipo = c.tipo;
    if (c.tipo == TipoColumna::Moneda && !valor.esNull() && !valor.esEmpty() &&
        !(valor.esTexto() && valor.comoTexto().empty())) {
        // An amount stays exact all the way to the driver.
        if (valor.esObjeto() || (valor.esTexto() && !comun::IsNumeric(valor)))
            throw comun::ErrorTipo("Type mismatch");
        v.esMoneda = true;
        v.moneda = valor.esTexto() ? monedaDeTexto(valor.comoTexto()) : valor.CCur();
    } else {
        v.v = sqlite::convertirParaColumna(c, valor);
    }
    pendientes_[i] = std::move(v);
}

void RecordsetOdbc::Update() {
    verificarAbierto();
    if (nuevo_) {
        insertar();
    } else if (!pendientes_.empty()) {
        actualizarActual();
    }
}

void RecordsetOdbc::CancelUpdate() {
    verificarAbierto();
    pendientes_.clear();
    nuevo_ = false;
}

SQLLEN RecordsetOdbc::ejecutar(const std::string& texto, const std::vector<ValorOdbc>& valores) {
    Manija st(SQL_HANDLE_STMT, estado_->dbc);
    std::vector<Enlace> enlaces;
    enlaces.reserve(valores.size());
    for (const ValorOdbc& v : valores) enlaces.push_back(enlaceDe(v, estado_->dialecto));
    verificar(prepararSql(st.get(), texto, *estado_), SQL_HANDLE_STMT, st.get(), sentencia_,
              estado_->dialecto);
    enlazar(st.get(), enlaces, sentencia_);
    SQLRETURN rc = SQLExecute(st.get());
    if (rc == SQL_NO_DATA) return 0;
    verificar(rc, SQL_HANDLE_STMT, st.get(), sentencia_, estado_->dialecto);
    SQLLEN n = 0;
    if (!exito(SQLRowCount(st.get(), &n))) n = 0;
    return n;
}

std::vector<size_t> RecordsetOdbc::clave() const {
    if (clave_) return *clave_;
    std::vector<size_t> r;
    for (size_t j = 0; j < columnas_.size(); ++j)
        if (columnas_[j].c.tipo == TipoColumna::Contador) r.push_back(j);
    auto indice = [&](const std::string& nombre) -> std::optional<size_t> {
        for (size_t j = 0; j < columnas_.size(); ++j)
            if (comun::mayusculas(columnas_[j].c.origen) == comun::mayusculas(nombre)) return j;
        return std::nullopt;
    };
    // The primary key (the Access drivers do not report one), else the
    // first unique index.
    auto porCatalogo = [&](bool primaria) {
        std::vector<size_t> k;
        Manija st(SQL_HANDLE_STMT, estado_->dbc);
        Ancho tabla = ancho(tabla_);
        SQLRETURN rc =
            primaria ? SQLPrimaryKeysW(st.get(), nullptr, 0, nullptr, 0, tabla.data(), SQL_NTS)
                     : SQLStatisticsW(st.get(), nullptr, 0, nullptr, 0, tabla.data(), SQL_NTS,
                                      SQL_INDEX_UNIQUE, SQL_QUICK);
        if (!exito(rc)) return k;
        std::string indiceActual;
        const SQLUSMALLINT colNombre = primaria ? 4 : 9;
        while (exito(SQLFetch(st.get()))) {
            SQLWCHAR buf[256] = {};
            SQLLEN ind = 0;
            if (!primaria) {
                SQLGetData(st.get(), 6, SQL_C_WCHAR, buf, sizeof(buf), &ind);
                if (ind == SQL_NULL_DATA) continue;  // the table's own statistics row
                std::string nombreIndice =
                    angosto(buf, static_cast<size_t>(ind) / sizeof(SQLWCHAR));
                if (indiceActual.empty()) indiceActual = nombreIndice;
                if (nombreIndice != indiceActual) break;
            }
            if (!exito(SQLGetData(st.get(), colNombre, SQL_C_WCHAR, buf, sizeof(buf), &ind)) ||
                ind == SQL_NULL_DATA)
                continue;
            auto j = indice(angosto(buf, static_cast<size_t>(ind) / sizeof(SQLWCHAR)));
            if (!j) return std::vector<size_t>{};
            k.push_back(*j);
        }
        return k;
    };
    if (r.empty()) r = porCatalogo(true);
    if (r.empty()) r = porCatalogo(false);
    if (r.empty()) {
        // A table without a key: its row is the one whose values are those
        // read, as ADO finds it, over the columns that compare exactly (no
        // Memo, no binary fraction).
        for (size_t j = 0; j < columnas_.size(); ++j) {
            const TipoColumna t = columnas_[j].c.tipo;
            if (!columnas_[j].c.origen.empty() && t != TipoColumna::Memo &&
                t != TipoColumna::Single && t != TipoColumna::Double && t != TipoColumna::Otro)
                r.push_back(j);
        }
    }
    clave_ = r;
    return r;
}

std::string RecordsetOdbc::condicion(const std::vector<size_t>& k,
                                     const std::vector<Variant>& valores,
                                     std::vector<ValorOdbc>& enlazados) const {
    std::string texto;
    for (size_t n = 0; n < k.size(); ++n) {
        if (n) texto += " AND ";
        const std::string columna = citar(columnas_[k[n]].c.origen, estado_->dialecto);
        const Variant& v = valores[n];
        if (v.tipo() == comun::TipoVariant::Currency) {
            ValorOdbc m;
            m.esMoneda = true;
            m.moneda = v.CCur();
            enlazados.push_back(m);
        } else if (auto p = valorParametro(v)) {
            enlazados.push_back(*p);
        } else {
            texto += columna + " IS NULL";
            continue;
        }
        texto += columna + " = ?";
    }
    return texto;
}

std::optional<RecordsetOdbc::Fila> RecordsetOdbc::releer(const std::vector<size_t>& k,
                                                         const std::vector<Variant>& valores) {
    std::vector<ValorOdbc> enlazados;
    const std::string texto = "SELECT * FROM " + citar(tabla_, estado_->dialecto) + " WHERE " +
                              condicion(k, valores, enlazados);
    std::vector<Enlace> enlaces;
    for (const ValorOdbc& v : enlazados) enlaces.push_back(enlaceDe(v, estado_->dialecto));
    Manija st(SQL_HANDLE_STMT, estado_->dbc);
    verificar(prepararSql(st.get(), texto, *estado_), SQL_HANDLE_STMT, st.get(), sentencia_,
              estado_->dialecto);
    enlazar(st.get(), enlaces, sentencia_);
    verificar(SQLExecute(st.get()), SQL_HANDLE_STMT, st.get(), sentencia_, estado_->dialecto);
    auto leidas = describirColumnas(st.get(), estado_->dialecto, sentencia_);
    SQLRETURN rc = SQLFetch(st.get());
    if (rc == SQL_NO_DATA) return std::nullopt;
    verificar(rc, SQL_HANDLE_STMT, st.get(), sentencia_, estado_->dialecto);
    // The record set's columns are those of the whole table, in its order;
    // each is found here by name.
    Fila f(columnas_.size(), Variant::Null());
    std::vector<Variant> todas;
    for (size_t j = 0; j < leidas.size(); ++j) {
        leidas[j].c.tipo = TipoColumna::Otro;
        for (size_t i = 0; i < columnas_.size(); ++i)
            if (comun::mayusculas(columnas_[i].c.origen) == comun::mayusculas(leidas[j].c.origen))
                leidas[j] = columnas_[i];
        todas.push_back(
            leerValor(st.get(), static_cast<int>(j), leidas[j], estado_->dialecto, sentencia_));
    }
    for (size_t i = 0; i < columnas_.size(); ++i)
        for (size_t j = 0; j < leidas.size(); ++j)
            if (comun::mayusculas(columnas_[i].c.origen) == comun::mayusculas(leidas[j].c.origen))
                f[i] = todas[j];
    return f;
}

void RecordsetOdbc::insertar() {
    std::string texto = "INSERT INTO " + citar(tabla_, estado_->dialecto);
    std::vector<ValorOdbc> valores;
    std::string nombres, marcas;
    for (auto& [i, v] : pendientes_) {
        if (!nombres.empty()) {
            nombres += ", ";
            marcas += ", ";
        }
        nombres += citar(columnas_[i].c.origen, estado_->dialecto);
        marcas += "?";
        valores.push_back(v);
    }
    if (valores.empty()) {
        if (estado_->dialecto == Dialecto::Sqlite) {
            texto += " DEFAULT VALUES";
        } else {
            // Access has no DEFAULT VALUES: one column that is no counter is
            // given Null, the others take their defaults.
            for (const ColumnaOdbc& c : columnas_)
                if (c.c.tipo != TipoColumna::Contador && !c.c.origen.empty()) {
                    texto += " (" + citar(c.c.origen, estado_->dialecto) + ") VALUES (NULL)";
                    break;
                }
        }
    } else {
        texto += " (" + nombres + ") VALUES (" + marcas + ")";
    }
    ejecutar(texto, valores);

    // The new row becomes the current one (and the only one), read back by
    // its counter, which the same connection reports.
    std::vector<size_t> k = clave();
    std::optional<Fila> leida;
    std::vector<Variant> valoresClave;
    bool conValores = true;
    for (size_t j : k) {
        if (columnas_[j].c.tipo == TipoColumna::Contador) {
            Manija st(SQL_HANDLE_STMT, estado_->dbc);
            const char* ultimo = estado_->dialecto == Dialecto::Access
                                     ? "SELECT @@IDENTITY"
                                     : "SELECT last_insert_rowid()";
            verificar(ejecutarSql(st.get(), ultimo, *estado_), SQL_HANDLE_STMT, st.get(),
                      sentencia_, estado_->dialecto);
            verificar(SQLFetch(st.get()), SQL_HANDLE_STMT, st.get(), sentencia_, estado_->dialecto);
            ColumnaOdbc c;
            c.c.tipo = TipoColumna::Contador;
            c.tipoSql = SQL_BIGINT;
            valoresClave.push_back(leerValor(st.get(), 0, c, estado_->dialecto, sentencia_));
        } else {
            auto p = pendientes_.find(j);
            if (p == pendientes_.end()) {
                conValores = false;
                break;
            }
            valoresClave.push_back(variantDe(p->second, columnas_[j].c.tipo));
        }
    }
    if (!k.empty() && conValores) leida = releer(k, valoresClave);
    if (!leida) {
        Fila f(columnas_.size(), Variant::Null());
        for (auto& [i, v] : pendientes_) f[i] = variantDe(v, columnas_[i].c.tipo);
        leida = std::move(f);
    }
    if (!leido_) {
        // Appended before any read: the rows of this set are those appended.
        leido_ = true;
        alPedir_.clear();
    }
    filas_.clear();
    filas_.push_back(std::move(*leida));
    pos_ = 0;
    vacio_ = false;
    pendientes_.clear();
    nuevo_ = false;
}

void RecordsetOdbc::actualizarActual() {
    std::vector<size_t> k = clave();
    if (k.empty()) throw ErrorBD(kNoActualizable, sentencia_);
    Fila& f = filas_[pos_];
    std::string texto = "UPDATE " + citar(tabla_, estado_->dialecto) + " SET ";
    std::vector<ValorOdbc> valores;
    bool primero = true;
    for (auto& [i, v] : pendientes_) {
        if (!primero) texto += ", ";
        primero = false;
        texto += citar(columnas_[i].c.origen, estado_->dialecto) + " = ?";
        valores.push_back(v);
    }
    std::vector<Variant> actual, nuevaClave;
    for (size_t j : k) {
        actual.push_back(f[j]);
        auto p = pendientes_.find(j);
        nuevaClave.push_back(p == pendientes_.end() ? f[j]
                                                    : variantDe(p->second, columnas_[j].c.tipo));
    }
    texto += " WHERE " + condicion(k, actual, valores);
    const SQLLEN cambiadas = ejecutar(texto, valores);
    for (auto& [i, v] : pendientes_) f[i] = variantDe(v, columnas_[i].c.tipo);
    pendientes_.clear();
    if (cambiadas == 0) throw ErrorBD(kFilaPerdida, sentencia_);
    if (auto leida = releer(k, nuevaClave)) f = std::move(*leida);
}

}  // namespace datos::odbc
