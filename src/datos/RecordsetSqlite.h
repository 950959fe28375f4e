// The SQLite driver's record set and the statement handles it shares with
// the connection. Internal to the SQLite driver.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "datos/Controlador.h"
#include "datos/SentenciaSqlite.h"
#include "datos/ValoresSqlite.h"

namespace datos::sqlite {

class RecordsetSqlite;

// Prepares one statement; an error, an empty text or a second statement in
// the text is an ErrorBD naming the original (Access) text.
Sentencia preparar(sqlite3* db, std::string_view texto, std::string_view original);

// What a connection shares with its record sets: the handle, the record
// sets still open, which the connection closes when it goes, and the
// statements of its own SQLite texts (a row's insert, update and read by
// rowid, the transaction levels), each prepared once for the connection.
struct EstadoConexion {
    sqlite3* db = nullptr;
    std::set<RecordsetSqlite*> abiertos;
    // Held shared: a record set keeps the ones it uses even if the map is
    // emptied meanwhile.
    std::unordered_map<std::string, std::shared_ptr<Sentencia>> internas;

    // The statement of that SQLite text, prepared the first time it comes.
    // Each use binds, steps and resets it before another may begin.
    std::shared_ptr<Sentencia> interna(const std::string& texto, std::string_view original);
};

// The columns of a prepared statement; `conRowid` when its first column is
// the hidden rowid, which is not one of them.
std::vector<Columna> columnasDe(sqlite3* db, sqlite3_stmt* st, bool conRowid);

struct Fila {
    int64_t rowid = 0;
    bool cargada = true;  // false: values to be read by rowid when asked
    std::vector<Variant> valores;
};

class RecordsetSqlite : public ControladorRecordset {
  public:
    enum class Modo {
        Instantanea,  // read whole at open
        Diferida,     // read whole when the first row is asked for
        Tabla,        // a whole table walked by pages of rowid
    };

    RecordsetSqlite(std::shared_ptr<EstadoConexion> estado, std::string sentencia, Modo modo)
        : estado_(std::move(estado)), sentencia_(std::move(sentencia)), modo_(modo) {
        estado_->abiertos.insert(this);
    }
    ~RecordsetSqlite() override { Close(); }

    // Takes the columns from a prepared statement; `conRowid` when its first
    // column is the hidden rowid.
    void tomarColumnas(sqlite3_stmt* st, bool conRowid);
    // The same from columns read before from the same statement.
    void ponerColumnas(std::shared_ptr<const std::vector<Columna>> columnas, bool conRowid);

    void hacerActualizable(std::string tabla);

    void ponerSentencia(Sentencia s) { st_ = std::move(s); }

    // Reads every row of the held statement and releases it.
    void leerTodo() const;
    // Reads every row of a statement the connection keeps (and resets).
    void leerTodoDe(sqlite3_stmt* st);

    bool eof() const override;
    bool bof() const override;
    size_t numeroCampos() const override;
    const std::string& nombreCampo(size_t i) const override;
    TipoColumna tipoCampo(size_t i) const override;

    Variant valorCampo(size_t i) const override;

    void MoveNext() override;

    void Close() override;
    // Drops the statements (the connection is going or the set closes).
    void liberar();
    bool abierto() const override { return !cerrado_; }

    long RecordCount() const override;

    void AddNew() override;

    void asignar(size_t i, const Variant& valor) override;

    void Update() override;

    void CancelUpdate() override;

    bool actualizable() const override { return !cerrado_ && actualizable_; }

  private:
    void verificarAbierto() const;

    // Brings the rows in on the first question about them.
    void asegurar() const;

    Fila leerFila(sqlite3_stmt* st) const;

    // Next page of a whole table: the rows after the last rowid seen.
    void cargarPagina();

    void cargarFila(Fila& f) const;

    // INSERT of the assigned columns only, so the table's defaults apply to
    // the others. The new row becomes the current one (read back when asked),
    // and the last: a MoveNext after it reaches the end.
    void insertar();

    // Before the first append, a lazy set that was never read stays unread:
    // its rows are those appended through it.
    void asegurarSinLeer();

    void actualizarActual();

    std::string claveActual() const;

    std::shared_ptr<EstadoConexion> estado_;
    std::string sentencia_;
    Modo modo_;
    // Shared with the connection, which read them once for the statement.
    std::shared_ptr<const std::vector<Columna>> columnas_ =
        std::make_shared<const std::vector<Columna>>();
    bool conRowid_ = false;
    bool actualizable_ = false;
    std::string tabla_;
    bool cerrado_ = false;

    mutable Sentencia st_;
    mutable std::shared_ptr<Sentencia> leerPorRowid_;
    std::shared_ptr<Sentencia> actualizarFila_;
    std::string claveActualizar_;
    std::map<std::string, std::shared_ptr<Sentencia>> inserciones_;

    mutable std::vector<Fila> filas_;
    mutable size_t pos_ = 0;
    mutable bool leido_ = false;
    mutable bool vacio_ = false;
    mutable bool finTabla_ = false;
    mutable long cuenta_ = 0;
    int64_t ultimoRowid_ = std::numeric_limits<int64_t>::min();
    // Rows read per page when a whole table is walked: the first page is
    // small, so asking whether a big table is empty costs what it costs for
    // a small one; later pages grow (see kMaximaPagina).
    static constexpr int kPrimeraPagina = 16;
    int pagina_ = kPrimeraPagina;

    bool nuevo_ = false;
    std::map<size_t, ValorSql> pendientes_;
};

}  // namespace datos::sqlite
