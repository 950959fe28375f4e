// The ODBC engine's record set: the rows of a result read whole (a table
// opened by name when first asked for), and the appends and in-place
// updates of the table behind it, by the table's key. Internal to the ODBC
// engine.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "datos/Controlador.h"
#include "datos/Odbc.h"

namespace datos::odbc {

class RecordsetOdbc : public ControladorRecordset {
  public:
    RecordsetOdbc(std::shared_ptr<EstadoOdbc> estado, std::string sentencia);
    ~RecordsetOdbc() override { Close(); }

    // Takes the columns and every row of the result on `st`.
    void leerDe(SQLHSTMT st);
    // Reads `texto` (a SELECT without parameters, in the source's SQL) when
    // the rows are first asked for.
    // asked for; `tabla`: a whole table, whose count is unknown till then.
    void leerAlPedir(std::string texto, bool tabla);
    // Appends and in-place updates go to `tabla`.
    void hacerActualizable(std::string tabla);

    bool eof() const override;
    bool bof() const override;
    size_t numeroCampos() const override;
    const std::string& nombreCampo(size_t i) const override;
    TipoColumna tipoCampo(size_t i) const override;
    Variant valorCampo(size_t i) const override;
    void MoveNext() override;
    void Close() override;
    bool abierto() const override { return !cerrado_; }
    long RecordCount() const override;
    void AddNew() override;
    void asignar(size_t i, const Variant& valor) override;
    void Update() override;
    void CancelUpdate() override;
    bool actualizable() const override { return actualizable_; }

    // The connection closed: no more reads through it.
    void liberar() { cerrado_ = true; }

  private:
    using Fila = std::vector<Variant>;
    void verificarAbierto() const;
    void asegurar() const;
    void insertar();
    void actualizarActual();
    // The key of the table: the counter, the primary key, a unique index or
    // else every column that compares exactly, by their positions here.
    std::vector<size_t> clave() const;
    // The WHERE condition that finds the row whose key columns `k` hold
    // `valores` (Null as IS NULL); the values to bind go to `enlazados`.
    std::string condicion(const std::vector<size_t>& k, const std::vector<Variant>& valores,
                          std::vector<ValorOdbc>& enlazados) const;
    // The row of the table whose key columns hold `valores`, or nullopt.
    std::optional<Fila> releer(const std::vector<size_t>& clave,
                               const std::vector<Variant>& valores);
    // Runs `texto` with `valores` bound; the rows it changed.
    SQLLEN ejecutar(const std::string& texto, const std::vector<ValorOdbc>& valores);

    std::shared_ptr<EstadoOdbc> estado_;
    std::string sentencia_;
    std::vector<ColumnaOdbc> columnas_;
    mutable std::vector<Fila> filas_;
    mutable size_t pos_ = 0;
    mutable bool leido_ = true;
    mutable bool vacio_ = false;
    std::string alPedir_;
    bool porTabla_ = false;
    bool actualizable_ = false;
    std::string tabla_;
    bool cerrado_ = false;
    mutable std::optional<std::vector<size_t>> clave_;
    bool nuevo_ = false;
    std::map<size_t, ValorOdbc> pendientes_;
};

}  // namespace datos::odbc
