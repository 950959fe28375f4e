// The apply step: turns the inbound communication records addressed to this
// site into changes of the site's own tables, one family per table code, and
// marks each record applied.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "comun/Bitacora.h"
#include "comun/Funciones.h"
#include "datos/DAO_Conexion.h"

namespace aplicacion {

// One inbound record as the families read it: the frame columns and the
// payload texts (a null payload column reads as the empty text).
struct Entrante {
    int64_t id = 0;
    int32_t servicio = 0;
    int32_t tabla = 0;
    std::string funcion;
    std::string origen;
    std::vector<std::string> campos;  // campos[k] is Campo k; campos[0] unused

    // Campo k, or the empty text beyond the last payload column.
    const std::string& campo(size_t k) const;
};

// What one run did.
struct ResumenAplicacion {
    int aplicados = 0;  // family ran (or nothing to do) and the record was marked
    int fallidos = 0;   // rolled back, left unmarked, retried later
    int enEspera = 0;   // failed before, not due for another attempt in this run
    // Order actions that changed nothing (an unknown product, a telephone
    // nobody has, ...): marked, reported and kept in PEDIDOS_NO_APLICADOS.
    int pedidosNoAplicados = 0;
};

class Aplicador {
  public:
    // The clock gives the time of day of the order lines the order actions
    // write (the machine's clock when none is given).
    Aplicador(datos::DAO_Conexion& conexion, comun::Bitacora& bitacora);
    Aplicador(datos::DAO_Conexion& conexion, comun::Bitacora& bitacora, const comun::Reloj& reloj);

    // Applies every pending record of this site; opens and closes the
    // connection itself. A failure to connect or to read the selection is
    // reported and raised to the caller.
    void aplicarComunicacion();
    const ResumenAplicacion& resumen() const { return resumen_; }

    // The target table of a table code; "" for codes that change nothing.
    static std::string tablaDestino(int32_t tabla);

    // Lookups and small writers (the connection must be open).
    bool existeTerceroPorDocumento(const std::string& documento);
    bool existeSucYAgen(const std::string& tercero, const std::string& idSyA);
    bool existeInsumo(const std::string& codigo, const std::string& nombre = {});
    bool existeProducto(const std::string& codigoAB);
    void setPreparacion(const std::string& codigo);
    void setCostoUEPS(const std::string& codigo, double costo);

  private:
    // A record whose last attempt failed (a row of FALLOS_APLICACION).
    struct EstadoFallo {
        int32_t intentos = 0;
        int32_t espera = 0;  // runs to go before the next attempt
        std::string mensaje;
        comun::Fecha ultimo;
    };

    void leerRegistro(const datos::Recordset& sel, const std::vector<size_t>& posCampos,
                      Entrante& r);
    // Loads FALLOS_APLICACION and counts this run for every waiting record.
    void leerFallos();
    // Whether a record that failed is due for another attempt: its runs to
    // wait have gone, ten minutes have passed since its last failure, or
    // that failure is stamped in the future (the clock was moved back).
    static bool vencido(const EstadoFallo& f, const comun::Fecha& ahora);
    // Keeps the failure of a record (rolled back already) and reports it
    // when it is new or its message changed.
    void registrarFallo(int64_t id, const std::string& tabla, const std::string& mensaje,
                        const comun::Fecha& ahora);
    void aplicarRegistro(const Entrante& r);
    void marcar(const Entrante& r);
    // Keeps an order action that changed nothing, whole, with why.
    void guardarPedidoNoAplicado(const Entrante& r, const std::string& motivo,
                                 const comun::Fecha& ahora);

    void aplicarProducto(const Entrante& r);
    void aplicarInsumo(const Entrante& r);
    void aplicarReceta(const Entrante& r);
    void aplicarMovimiento(const Entrante& r);
    void aplicarSucYAgen(const Entrante& r);
    void aplicarRVent(const Entrante& r);
    void aplicarMensaje(const Entrante& r);
    void aplicarGenerico(const Entrante& r);

    // The target table of the record's code, opened whole for appending and
    // kept for the rest of the run.
    datos::Recordset& abrirDestino(const Entrante& r);
    // The row an upsert writes: the first row of `seleccion` with its `clave`
    // bound when the key exists (kept alive in `propia`), else a new row of
    // the target table.
    datos::Recordset& filaUpsert(bool existe, std::string_view seleccion,
                                 const datos::ListaParametros& clave, const Entrante& r,
                                 std::unique_ptr<datos::Recordset>& propia);
    void cerrarDestinos();
    // Writes one column of an append, skipping a value the column refuses
    // (reported to the debug log with the table, column and reason).
    void asignarTolerante(datos::Recordset& rs, size_t i, const comun::Variant& valor,
                          const Entrante& r);
    bool hayFilas(std::string_view sql, const datos::ListaParametros& valores = {});

    datos::DAO_Conexion& con_;
    comun::Bitacora& bitacora_;
    const comun::Reloj& reloj_;
    ResumenAplicacion resumen_;
    std::map<int32_t, std::unique_ptr<datos::Recordset>> destinos_;
    std::unordered_map<int64_t, EstadoFallo> fallos_;
    // Why the order action just applied changed nothing ("" when it did).
    std::string sinEfecto_;
};

}  // namespace aplicacion
