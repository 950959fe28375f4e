// The driver side of the data layer: what DAO_Conexion and Recordset need of
// a database engine (its driver). The SQLite driver (ControladorSqlite) is the
// embedded one; the ODBC driver (ControladorOdbc) reaches any ODBC source,
// an Access file among them.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "comun/Variant.h"
#include "datos/Recordset.h"

namespace datos {

class ControladorRecordset {
  public:
    virtual ~ControladorRecordset() = default;

    virtual bool eof() const = 0;
    virtual bool bof() const = 0;
    virtual size_t numeroCampos() const = 0;
    virtual const std::string& nombreCampo(size_t i) const = 0;
    virtual TipoColumna tipoCampo(size_t i) const = 0;
    virtual comun::Variant valorCampo(size_t i) const = 0;
    virtual void MoveNext() = 0;
    virtual void Close() = 0;
    virtual bool abierto() const = 0;
    virtual long RecordCount() const = 0;
    virtual void AddNew() = 0;
    virtual void asignar(size_t i, const comun::Variant& valor) = 0;
    virtual void Update() = 0;
    virtual void CancelUpdate() = 0;
    virtual bool actualizable() const = 0;
};

class ControladorConexion {
  public:
    virtual ~ControladorConexion() = default;

    virtual int comando(std::string_view sql, const std::vector<comun::Variant>& parametros) = 0;
    virtual std::unique_ptr<ControladorRecordset> abrir(
        std::string_view sql, const std::vector<comun::Variant>& parametros) = 0;
    // Runs statements written in the engine's own SQL, not in the Access
    // dialect (the definitions of the tables that are the synchronizer's own).
    virtual void ejecutarGuion(std::string_view guion) = 0;
    // Whether the open database has a table of that name (any case).
    virtual bool existeTabla(std::string_view nombre) = 0;
    virtual void empezarTransaccion() = 0;
    virtual void confirmarTransaccion() = 0;
    virtual void revertirTransaccion() = 0;
    // Whether an inner transaction can be rolled back alone (savepoints);
    // without them only the connection's whole transaction can.
    virtual bool admiteSavepoints() const { return true; }
};

}  // namespace datos
