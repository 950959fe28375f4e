// The one way to the site's database: the connection, the command layer,
// the site parameters, the communications queue, the inbound store and the
// partner queries.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "comun/Bitacora.h"
#include "comun/Comunicacion.h"
#include "comun/Fallo.h"
#include "comun/Funciones.h"
#include "comun/Variant.h"
#include "datos/Mensajes.h"
#include "datos/Recordset.h"

namespace datos {

using comun::Variant;

// Values bound, in order, to the "?" placeholders of an SQL text. An
// element whose text contains "::" binds as a text parameter named by the
// part before it, carrying the part after it.
using ListaParametros = std::vector<Variant>;

// Every failure of the data layer (a database failure, in the engine's
// kinds): the engine's message and the statement.
class ErrorBD : public comun::Fallo {
  public:
    ErrorBD(const std::string& mensaje, std::string sentencia = {}, bool deLaBase = false)
        : comun::Fallo(comun::TipoFallo::BaseDatos,
                       sentencia.empty() ? mensaje : mensaje + " [" + sentencia + "]"),
          mensaje_(mensaje),
          sentencia_(std::move(sentencia)),
          deLaBase_(deLaBase) {}
    const std::string& mensaje() const { return mensaje_; }
    const std::string& sentencia() const { return sentencia_; }
    // The database itself failed (its file cannot be read or written: damaged,
    // full, read-only, held by another program past the wait), not the
    // statement or one of its values. Such a failure hits every record alike,
    // so it is never blamed on the record being written.
    bool deLaBase() const { return deLaBase_; }

  private:
    std::string mensaje_;
    std::string sentencia_;
    bool deLaBase_ = false;
};

// A server reply that cannot be stored as it stands (not the list of records
// it should be): a protocol failure, not the database's. Nothing of it was
// stored or marked.
class ErrorRespuesta : public comun::Fallo {
  public:
    explicit ErrorRespuesta(const std::string& mensaje)
        : comun::Fallo(comun::TipoFallo::Protocolo, mensaje) {}
};

// Process-wide values of the site, loaded once at start-up.
struct ValoresSitio {
    std::string fechaTrabajo;          // yyyy-mm-dd, from getFechaSys
    std::string identificadorCliente;  // leading part of every site code
    std::string regimen;
    bool esTerminalCliente = false;
    bool esServidor = false;
};

class ControladorConexion;  // driver side

class DAO_Conexion {
  public:
    DAO_Conexion();
    ~DAO_Conexion();
    DAO_Conexion(const DAO_Conexion&) = delete;
    DAO_Conexion& operator=(const DAO_Conexion&) = delete;

    // --- connection and command layer ---
    void dataFile(std::string ruta) { dataFile_ = std::move(ruta); }
    const std::string& dataFile() const { return dataFile_; }
    // The provider the Access rules choose for dataFile: "Microsoft.ACE.
    // OLEDB.12.0" when its last five characters, upper-cased, are "ACCDB",
    // otherwise "Microsoft.Jet.OLEDB.4.0".
    std::string proveedor() const;
    // Opens dataFile (replacing an open connection). A missing file is an
    // ErrorBD naming the path; no empty database is created.
    void conectar();
    void desconectar() noexcept;
    bool conectado() const;

    // Runs one statement; returns the number of rows it affected.
    int comando(std::string_view sql, const ListaParametros& parametros = {});
    // Opens a record set over a SELECT or a bare table name.
    std::unique_ptr<Recordset> Query(std::string_view sql, const ListaParametros& parametros = {});
    // True when the record set has no current row, is closed or absent. A
    // failure to read its rows is raised, never taken for emptiness.
    static bool RsVacio(const Recordset* rs);
    static bool RsVacio(const std::unique_ptr<Recordset>& rs) { return RsVacio(rs.get()); }
    // The value's text with every single quote doubled.
    static std::string ValidarSql(const Variant& valor);
    static void CerrarRs(std::unique_ptr<Recordset>& rs);

    // Creates the synchronizer's own tables (CUARENTENA, FALLOS_APLICACION,
    // PEDIDOS_NO_APLICADOS, ...) when the open database lacks them, as one made by an earlier build
    // does; does nothing when they exist.
    void asegurarTablasPropias();

    // Transactions (savepoints, so they nest). Used where a group of writes
    // must land together or not at all.
    void empezarTransaccion();
    void confirmarTransaccion();
    void revertirTransaccion();

    // Where operations report what they do (the debug log).
    void bitacora(comun::Bitacora* b) { bitacora_ = b; }
    // The clock the SQL function now() reads on the connections opened
    // from here on (the machine's when none is set); it must outlive them.
    void reloj(const comun::Reloj* r) { reloj_ = r; }
    comun::Bitacora& bitacora() const;

    // --- site parameters ---
    std::string getFechaSys();
    std::string getRegimen();
    bool getEsTerminalCliente();
    bool getEsServidor();
    std::string getNombreCliente();
    std::string getIpServidor();
    std::string getSyASys();
    // The setting "Identificador Cliente".
    std::string getIdentificadorCliente();
    // dd/mm/yyyy -> yyyy-mm-dd, or with rev yyyy-mm-dd -> dd/mm/yyyy.
    static std::string convertirFecha(std::string_view fecha, bool rev = false);
    // Loads fechaTrabajo, identificadorCliente, regimen, esTerminalCliente
    // and esServidor, in this order (the connection must be open).
    void cargarValoresSitio();
    const ValoresSitio& sitio() const { return sitio_; }
    ValoresSitio& sitio() { return sitio_; }

    // --- communications queue ---
    // The JSON text of the next outbound batch, or "null"; `ids` receives
    // the row ids of the rows it carries (none for "null"). The batch holds
    // the oldest rows that fit `limite`; a row that alone passes
    // limite.registroMaximo can never travel: it is moved to
    // APARTADOS_ENVIO, reported once, and the rows behind it go.
    std::string getComunicacion();
    std::string getComunicacion(std::vector<int64_t>& ids, const comun::LimiteLote& limite = {});
    void encolarRegistro(Recordset& rs, int16_t tabla, const std::string& funcion,
                         const std::string& destino);
    void encolarRegistros(Recordset& rs, int16_t tabla);
    void setComunicacionSucursales(Recordset& rs, int16_t tabla, const std::string& funcion);
    void setSolicitudIPR(int16_t tabla, const std::string& funcion = {},
                         const std::string& destino = {});
    // Marks sent the rows the server's reply to setData lists under "valor",
    // among `enviados`, the ids of the batch just posted. An id the reply
    // lists that is not one of them is reported and left alone: a faulty
    // server must not make the site drop rows that never left.
    void marcarEnviados(const Variant& respuesta, const std::vector<int64_t>& enviados);
    void setMarcaEnviado(int64_t id);
    void eliminarEnviados();

    // --- inbound store ---
    // Stores each record of a getData answer once and acknowledges it. A
    // record that cannot be stored is set aside whole in CUARENTENA,
    // acknowledged and reported once; the others are stored as usual.
    int32_t setComunicacion(const Variant& respuesta);

    // --- partner queries ---
    std::string getDatosQuiralte();
    void MarcarRegistroEnviadoQuiralte(int64_t id);

    // --- doctors import ---
    int32_t setDoctores(const Variant& lista);

    // --- support messaging (the connection must be open) ---
    // Stores an outgoing chat message in MENSAJE and queues it for the
    // client's other sites, in one transaction.
    void setMensaje(const std::string& texto);
    // Queues a support request (table code 20); nothing when `mensaje` is
    // empty.
    void setEMailSoporte(const std::string& cliente, const std::string& mensaje,
                         const std::string& telefono);
    // The newest chat messages, newest first, at most 15.
    std::vector<clsMensaje> getListaMensajes();

  private:
    // Moves the queue row `id`, whose batch text is `texto`, to
    // APARTADOS_ENVIO and reports it.
    void apartarSaliente(int64_t id, const std::string& texto, size_t maximo);
    // Queues one record of service 4 whose Campo1.. are `valores`.
    void setComunicacionCampos(int16_t tabla, const std::vector<std::string>& valores);

    std::string dataFile_;
    std::unique_ptr<ControladorConexion> controlador_;
    ValoresSitio sitio_;
    comun::Bitacora* bitacora_ = nullptr;
    const comun::Reloj* reloj_ = nullptr;
};

// Opens the connection for one piece of work and closes it when the work
// ends, also when an error escapes, so no connection is left open behind a
// failed operation.
class GuardaConexion {
  public:
    explicit GuardaConexion(DAO_Conexion& c) : c_(c) { c_.conectar(); }
    ~GuardaConexion() { c_.desconectar(); }
    GuardaConexion(const GuardaConexion&) = delete;
    GuardaConexion& operator=(const GuardaConexion&) = delete;

  private:
    DAO_Conexion& c_;
};

// Runs a group of writes atomically: rolls back unless confirmed. A
// rollback that fails closes the connection, which discards the open
// transaction, so nothing of the group is ever committed by a later write.
class Transaccion {
  public:
    explicit Transaccion(DAO_Conexion& c) : c_(c) { c_.empezarTransaccion(); }
    ~Transaccion() {
        if (hecha_) return;
        try {
            c_.revertirTransaccion();
        } catch (const std::exception&) {
            c_.desconectar();
        }
    }
    void confirmar() {
        c_.confirmarTransaccion();
        hecha_ = true;
    }
    Transaccion(const Transaccion&) = delete;
    Transaccion& operator=(const Transaccion&) = delete;

  private:
    DAO_Conexion& c_;
    bool hecha_ = false;
};

}  // namespace datos
