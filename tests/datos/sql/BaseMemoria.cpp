#include "BaseMemoria.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "datos/sql/FuncionesSqlite.h"

namespace prueba {

namespace {

// Tables with the columns the statements of the system read and write; text
// columns compare with the collation ACCESS, as in the site schema.
std::string esquema() {
    std::string campos;
    for (int k = 1; k <= 40; ++k) campos += ", Campo" + std::to_string(k) + " TEXT COLLATE ACCESS";
    return "CREATE TABLE XX0100 (NOMBRE TEXT(50) COLLATE ACCESS, DESCRIPCION TEXT(255) COLLATE "
           "ACCESS);"
           "CREATE TABLE COMUNICACIONES (Id INTEGER PRIMARY KEY AUTOINCREMENT, Servicio LONG, "
           "Tabla LONG, Origen TEXT COLLATE ACCESS, Destino TEXT COLLATE ACCESS, Funcion TEXT "
           "COLLATE ACCESS, Enviado YESNO DEFAULT 0" +
           campos +
           ");"
           "CREATE TABLE COMANDAS (IDCOMANDA INTEGER PRIMARY KEY AUTOINCREMENT, CodigoAB TEXT "
           "COLLATE ACCESS, IDMESA TEXT COLLATE ACCESS, NOMBREPRODUCTO TEXT COLLATE ACCESS, "
           "CANTIDAD DOUBLE, FECHA DATETIME, HORA TEXT, MESERO TEXT, NICK TEXT, ESTADO TEXT "
           "COLLATE ACCESS, CONCEPTO TEXT, OK TEXT, DESPCOC TEXT, DESP TEXT, TDC SHORT, TDM SHORT, "
           "NEGOCIO TEXT, TIN TEXT, IDPRODUCTO SHORT, VALOR DOUBLE, DETALLE MEMO, DETALLE1 TEXT, "
           "DETALLE2 TEXT, IMPRCOC TEXT, IMPRM TEXT, BIMP CURRENCY, IMPX TEXT, IMPVR CURRENCY, "
           "IDFACTURA TEXT, TERCERO TEXT COLLATE ACCESS);"
           "CREATE TABLE SUCYAGEN (IDCLIENTE TEXT COLLATE ACCESS, IDSYA TEXT COLLATE ACCESS, "
           "TERCERO TEXT COLLATE ACCESS, NOMBRE TEXT, DIRECCION TEXT, TELEFONO TEXT);"
           "CREATE TABLE PSYAG (CODIGO TEXT COLLATE ACCESS, NOMBREMUNICIPIO TEXT, NOMBREDPTO TEXT);"
           "CREATE TABLE TERCEROS (IDTERCERO INTEGER PRIMARY KEY AUTOINCREMENT, IDDOCUMENTO TEXT "
           "COLLATE ACCESS, NOMBRE TEXT COLLATE ACCESS, IDCLIENTE TEXT COLLATE ACCESS, TELEFONO1 "
           "TEXT COLLATE ACCESS, TELEFONO2 TEXT, PROVEEDOR YESNO, CLIENTE YESNO, REPRESENTANTE "
           "TEXT, TIPODOCUMENTO TEXT, PERSONA TEXT, REGIMEN TEXT, DIRECCION TEXT, MAIL TEXT, "
           "SANGRE "
           "TEXT, COMENTARIOS MEMO, FNACIMIENTO DATETIME, FINGRESO DATETIME, FRETIRO DATETIME, "
           "CIUDAD TEXT, SYA YESNO);"
           "CREATE TABLE PRODUCTOS (CodigoAB TEXT COLLATE ACCESS, NombreProducto TEXT COLLATE "
           "ACCESS, Categoria TEXT, Negocio TEXT, PrecioUnidad CURRENCY, impx TEXT, impvr "
           "CURRENCY, "
           "Bloquear YESNO);"
           "CREATE TABLE INSUMOS (Codigo TEXT COLLATE ACCESS, Nombre TEXT COLLATE ACCESS, "
           "Inventario DOUBLE, Costo DOUBLE, UInvF DATETIME, UInvC DOUBLE, CANTKAL DOUBLE);"
           "CREATE TABLE RZS (Consecutivo LONG, IdProducto TEXT COLLATE ACCESS, IdInsumo TEXT, "
           "Tipo TEXT COLLATE ACCESS);"
           "CREATE TABLE PREPARACIONES (Codigo TEXT COLLATE ACCESS);"
           "CREATE TABLE MOVINVHOY (fecha DATETIME, NUMERORR TEXT COLLATE ACCESS, SyA TEXT COLLATE "
           "ACCESS, CODIGO TEXT COLLATE ACCESS, Concepto TEXT, Cantidad SINGLE, Costo DOUBLE);"
           "CREATE TABLE MOVINV (fecha DATETIME, NUMERORR TEXT COLLATE ACCESS, SyA TEXT COLLATE "
           "ACCESS, CODIGO TEXT COLLATE ACCESS, Concepto TEXT, Cantidad SINGLE, Costo DOUBLE);"
           "CREATE TABLE PW (idTercero LONG, pw TEXT, Nombre TEXT);"
           "CREATE TABLE ACOMPANAMIENTOS (ID INTEGER PRIMARY KEY AUTOINCREMENT, IDCOMANDA LONG, "
           "NOMBREPRODUCTO TEXT, CODPRODUCTO LONG, ACOMPANAMIENTO TEXT, CODINSUMO LONG, CANTIDAD "
           "DOUBLE, COSTO DOUBLE);"
           "CREATE TABLE MENSAJE (ID INTEGER PRIMARY KEY AUTOINCREMENT, mensaje MEMO COLLATE "
           "ACCESS, destino TEXT, origen TEXT, PRIORIDAD SHORT);"
           "CREATE VIEW UltimoRegistroInventario AS SELECT CAST(Codigo AS INTEGER) AS CODIGO, "
           "Nombre AS NOMBRE, Inventario AS SALDO, '2026-12-01' AS U_FECHA FROM INSUMOS;"
           "CREATE VIEW SaldoInsumosUltimoCierre AS SELECT CAST(Codigo AS INTEGER) AS CODIGO, "
           "Costo AS SALDO FROM INSUMOS WHERE Costo > 0;";
}

}  // namespace

BaseMemoria::BaseMemoria() {
    if (sqlite3_open(":memory:", &db_) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
    datos::sql::registrarFunciones(db_);
    sqlite(esquema());
}

BaseMemoria::~BaseMemoria() {
    sqlite3_close(db_);
}

void BaseMemoria::sqlite(const std::string& sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
    const std::string mensaje = error ? error : "";
    sqlite3_free(error);
    ASSERT_EQ(rc, SQLITE_OK) << mensaje << "\n" << sql;
}

std::vector<std::vector<std::string>> BaseMemoria::ejecutar(
    const std::string& sqlAccess, const std::vector<std::string>& parametros) {
    const std::string sql = datos::sql::traducir(sqlAccess, this);
    sqlite3_stmt* st = nullptr;
    const char* resto = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, &resto) != SQLITE_OK)
        throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in: " + sql);
    if (resto && *resto) {
        sqlite3_finalize(st);
        throw std::runtime_error("text after the statement: " + sql);
    }
    for (size_t k = 0; k < parametros.size(); ++k)
        sqlite3_bind_text(st, static_cast<int>(k + 1), parametros[k].c_str(), -1, SQLITE_TRANSIENT);
    std::vector<std::vector<std::string>> filas;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        std::vector<std::string> fila;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
            fila.push_back(t ? t : "NULL");
        }
        filas.push_back(std::move(fila));
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in: " + sql);
    return filas;
}

std::string BaseMemoria::valor(const std::string& sqlAccess,
                               const std::vector<std::string>& parametros) {
    const auto filas = ejecutar(sqlAccess, parametros);
    if (filas.size() != 1 || filas[0].size() != 1)
        throw std::runtime_error("not a single value: " + sqlAccess);
    return filas[0][0];
}

bool BaseMemoria::esColumnaFecha(std::string_view tabla, std::string_view columna) const {
    const std::string sql = "SELECT type FROM pragma_table_info(?1) WHERE name = ?2 COLLATE NOCASE";
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
    sqlite3_bind_text(st, 1, tabla.data(), static_cast<int>(tabla.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, columna.data(), static_cast<int>(columna.size()), SQLITE_TRANSIENT);
    bool fecha = false;
    if (sqlite3_step(st) == SQLITE_ROW)
        fecha =
            std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) == "DATETIME";
    sqlite3_finalize(st);
    return fecha;
}

std::vector<std::string> BaseMemoria::columnas(std::string_view tabla) const {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db_, "SELECT name FROM pragma_table_info(?1)", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, tabla.data(), static_cast<int>(tabla.size()), SQLITE_TRANSIENT);
    std::vector<std::string> r;
    while (sqlite3_step(st) == SQLITE_ROW)
        r.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    return r;
}

}  // namespace prueba
