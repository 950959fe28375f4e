// The one way to the site's database: the connection and the command layer,
// and through them the site parameters, the communications queue, the
// inbound store, the partner queries, the doctors import and the support
// messages, each a class of its own.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "comun/Bitacora.h"
#include "comun/Fallo.h"
#include "comun/Funciones.h"
#include "comun/Variant.h"
#include "datos/Cola.h"
#include "datos/Doctores.h"
#include "datos/Entrada.h"
#include "datos/Mensajes.h"
#include "datos/ParametrosSitio.h"
#include "datos/Quiralte.h"
#include "datos/Recordset.h"
#include "protocolo/Comunicacion.h"

namespace datos {

using comun::Variant;

// Values bound, in order, to the "?" placeholders of an SQL text. Each binds
// by its kind: a text as text, whole (whatever it holds), a whole number as
// an integer (a Decimal of digits exactly, past 53 bits), a fraction as a
// real, a date as its stored form. A Null or Empty element gives no
// parameter (the next value goes to that "?").
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
using ErrorRespuesta = protocolo::ErrorProtocolo;

// Process-wide values of the site, loaded once at start-up.
struct ValoresSitio {
    std::string fechaTrabajo;          // yyyy-mm-dd, from getFechaSys
    std::string identificadorCliente;  // leading part of every site code
    std::string regimen;
    bool esTerminalCliente = false;
    bool esServidor = false;
};

class ControladorConexion;  // driver side

// Whether a data file names an ODBC source ("ODBC;Driver=...;..." or
// "ODBC;DSN=...") rather than a file.
bool esOrigenOdbc(const std::string& dataFile);
// Whether a path names an Access file (.mdb or .accdb, any case).
bool esArchivoAccess(const std::string& ruta);

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
    // ErrorBD naming the path; no empty database is created. A path ending
    // in .mdb or .accdb opens through the Access ODBC driver; a data file
    // "ODBC;<connection string>" opens that ODBC source; any other path is
    // a SQLite file.

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
    // Whether the open database has a table of that name (any case), asked
    // of its engine's own catalogue.
    bool existeTabla(std::string_view nombre);
    // Whether the open engine nests transactions (savepoints). Without
    // them, work that must keep one failure from undoing the others gives
    // each piece its own transaction instead of one around them all.
    bool admiteSavepoints() const;

    // Where operations report what they do (the debug log).
    void bitacora(comun::Bitacora* b) { bitacora_ = b; }
    // The clock the SQL function now() reads on the connections opened
    // from here on (the machine's when none is set); it must outlive them.
    void reloj(const comun::Reloj* r) { reloj_ = r; }
    comun::Bitacora& bitacora() const;

    // Whether operations have a log to report to (so a report that costs
    // something to write is written only then).
    bool hayBitacora() const { return bitacora_ != nullptr; }

    // The operations on the site's data, each in its class, reached from
    // here as before.
    Cola& cola() { return cola_; }
    Entrada& entrada() { return entrada_; }
    Quiralte& quiralte() { return quiralte_; }
    Doctores& doctores() { return doctores_; }
    Mensajes& mensajes() { return mensajes_; }
    ParametrosSitio& parametros() { return parametros_; }

    // --- site parameters (ParametrosSitio) ---
    std::string getFechaSys() { return parametros_.getFechaSys(); }
    std::string getRegimen() { return parametros_.getRegimen(); }
    bool getEsTerminalCliente() { return parametros_.getEsTerminalCliente(); }
    bool getEsServidor() { return parametros_.getEsServidor(); }
    std::string getNombreCliente() { return parametros_.getNombreCliente(); }
    std::string getIpServidor() { return parametros_.getIpServidor(); }
    std::string getSyASys() { return parametros_.getSyASys(); }
    std::string getIdentificadorCliente() { return parametros_.getIdentificadorCliente(); }
    static std::string convertirFecha(std::string_view fecha, bool rev = false) {
        return ParametrosSitio::convertirFecha(fecha, rev);
    }
    void cargarValoresSitio() { parametros_.cargarValoresSitio(); }
    const ValoresSitio& sitio() const { return sitio_; }
    ValoresSitio& sitio() { return sitio_; }

    // --- communications queue (Cola) ---
    protocolo::LoteSaliente getComunicacion(const protocolo::LimiteLote& limite = {}) {
        return cola_.getComunicacion(limite);
    }
    void encolarRegistro(Recordset& rs, int16_t tabla, const std::string& funcion,
                         const std::string& destino) {
        cola_.encolarRegistro(rs, tabla, funcion, destino);
    }
    void encolarRegistros(Recordset& rs, int16_t tabla) { cola_.encolarRegistros(rs, tabla); }
    void setComunicacionSucursales(Recordset& rs, int16_t tabla, const std::string& funcion) {
        cola_.setComunicacionSucursales(rs, tabla, funcion);
    }
    void setSolicitudIPR(int16_t tabla, const std::string& funcion = {},
                         const std::string& destino = {}) {
        cola_.setSolicitudIPR(tabla, funcion, destino);
    }
    void marcarEnviados(const protocolo::Recibos& recibos, const std::vector<int64_t>& enviados) {
        cola_.marcarEnviados(recibos, enviados);
    }
    void marcarEnviados(const Variant& respuesta, const std::vector<int64_t>& enviados) {
        cola_.marcarEnviados(respuesta, enviados);
    }
    void setMarcaEnviado(int64_t id) { cola_.setMarcaEnviado(id); }
    void eliminarEnviados() { cola_.eliminarEnviados(); }

    // --- inbound store (Entrada) ---
    int32_t setComunicacion(const std::vector<protocolo::Recibido>& recibidos) {
        return entrada_.setComunicacion(recibidos);
    }
    int32_t setComunicacion(const Variant& respuesta) {
        return entrada_.setComunicacion(respuesta);
    }

    // --- partner queries (Quiralte) ---
    std::optional<protocolo::Comunicacion> getDatosQuiralte() {
        return quiralte_.getDatosQuiralte();
    }
    void MarcarRegistroEnviadoQuiralte(int64_t id) { quiralte_.MarcarRegistroEnviadoQuiralte(id); }

    // --- doctors import (Doctores) ---
    int32_t setDoctores(const Variant& lista) { return doctores_.setDoctores(lista); }

    // --- support messaging (Mensajes; the connection must be open) ---
    void setMensaje(const std::string& texto) { mensajes_.setMensaje(texto); }
    void setEMailSoporte(const std::string& cliente, const std::string& mensaje,
                         const std::string& telefono) {
        mensajes_.setEMailSoporte(cliente, mensaje, telefono);
    }
    std::vector<clsMensaje> getListaMensajes() { return mensajes_.getListaMensajes(); }

  private:
    std::string dataFile_;
    std::unique_ptr<ControladorConexion> controlador_;
    ValoresSitio sitio_;
    comun::Bitacora* bitacora_ = nullptr;
    const comun::Reloj* reloj_ = nullptr;
    Cola cola_{*this};
    Entrada entrada_{*this};
    Quiralte quiralte_{*this};
    Doctores doctores_{*this};
    Mensajes mensajes_{*this};
    ParametrosSitio parametros_{*this};
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
