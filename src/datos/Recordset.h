// A cursor over the rows of a query or a table, with typed fields, as the
// command layer hands it out.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "comun/Variant.h"
#include "json/JSON.h"

namespace datos {

using comun::Variant;

// Column kinds, from the declared types of the schema. The apply families
// test these instead of ADO's attribute and type numbers.
enum class TipoColumna {
    Contador,  // INTEGER PRIMARY KEY AUTOINCREMENT
    SiNo,      // YESNO
    Fecha,     // DATETIME
    Integer,   // SHORT
    Long,      // LONG
    Single,    // SINGLE
    Double,    // DOUBLE, NUMERIC
    Moneda,    // CURRENCY
    Texto,     // TEXT(n)
    Memo,      // MEMO
    Otro,      // computed columns and anything undeclared
};

class ControladorRecordset;  // driver side

class Recordset : public json::FuenteFilas {
  public:
    explicit Recordset(std::unique_ptr<ControladorRecordset> controlador);
    ~Recordset() override;
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // No current row: past the last one (eof) or before the first (bof). An
    // empty result is both. A closed record set throws ErrorBD.
    bool eof() const override;
    bool bof() const override;
    bool EOF_() const { return eof(); }

    size_t numeroCampos() const override;
    const std::string& nombreCampo(size_t i) const override;
    TipoColumna tipoCampo(size_t i) const;
    // Position of a field by name, without regard to case; throws ErrorBD
    // ("Item cannot be found ...") when there is none.
    size_t indiceCampo(std::string_view nombre) const;
    bool tieneCampo(std::string_view nombre) const;

    // Values of the current row (Null for a null column). Throws ErrorBD
    // when there is no current row.
    Variant valorCampo(size_t i) const override;
    Variant operator[](std::string_view nombre) const { return valorCampo(indiceCampo(nombre)); }
    Variant operator[](size_t i) const { return valorCampo(i); }

    void MoveNext() override;
    void Close();
    bool abierto() const;
    // Rows of a snapshot; -1 for a table opened lazily that was not read.
    long RecordCount() const;

    // Appending: AddNew starts a new row, assignments set its fields (each
    // converted to the column's kind as the Access engine would: a type
    // mismatch raises comun::ErrorTipo and leaves the field unset), Update
    // writes it and makes it the current row, counter included. On a new
    // row an empty value (Empty or the empty text) leaves a number, date or
    // Yes/No column at its schema default instead of Null.
    // Assignments without AddNew change the current row in place (only for
    // record sets that are updatable in place).
    void AddNew();
    void asignar(size_t i, const Variant& valor);
    void asignar(std::string_view nombre, const Variant& valor) {
        asignar(indiceCampo(nombre), valor);
    }
    void Update();
    // Drops the row being added and the assignments not yet written, as if
    // they had never been made.
    void CancelUpdate();
    bool actualizable() const;

  private:
    std::unique_ptr<ControladorRecordset> controlador_;
};

}  // namespace datos
