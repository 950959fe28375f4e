// The apply step and its families: products, supplies, recipe lines,
// inventory movements, sites and agencies, sales rows, messages and the
// generic column copy.
#include "aplicacion/Aplicador.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <stdexcept>

#include "aplicacion/AccionesComandas.h"
#include "aplicacion/Usuarios.h"
#include "comun/Funciones.h"
#include "comun/Texto.h"
#include "comun/Variant.h"
#include "json/JSON.h"
#include "protocolo/Comunicacion.h"
#include "protocolo/Entero.h"

namespace aplicacion {

using comun::Variant;
using datos::DAO_Conexion;
using datos::Recordset;
using datos::TipoColumna;

namespace {

// Payload columns of a communication record.
using protocolo::kCamposCarga;

// The longest a record that failed waits for its next attempt.
constexpr double kEsperaMaximaSegundos = 600;

// Records committed together. Each record still has its own savepoint, so a
// failing one is undone alone; the group only spares a disk flush per record
// and keeps the write lock short enough for the site's own application.
constexpr int kRegistrosPorLote = 200;

// A record refused before any write (a malformed value).
class ErrorRegistro : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

bool vacio(const std::string& t) {
    return t.empty();
}
bool vacioRecortado(const std::string& t) {
    return comun::recortar(t).empty();
}

// Yes/No columns take true only for these two texts.
bool aBooleano(const std::string& t) {
    return t == "True" || t == "Verdadero";
}

// A table code or a record kind as stored: a whole number of 32 bits. A
// text, a fraction or a number beyond 32 bits is refused, never rounded or
// cut: that would apply the record to a table it does not name.
int32_t codigoEntero(const Variant& v, const char* nombre) {
    if (v.esNull() || v.esEmpty()) return 0;
    if (const auto n = protocolo::entero32DeValor(v)) return *n;
    throw ErrorRegistro(std::string(nombre) + " no es un numero entero: '" + v.texto() + "'");
}

// A row id as a statement's value: exact past 32 bits (and past 2^53).
Variant valorDeId(int64_t id) {
    return Variant(comun::Decimal{std::to_string(id)});
}

int32_t enteroDe(const Variant& v) {
    if (v.esNull() || v.esEmpty()) return 0;
    if (v.esTexto() && !comun::IsNumeric(v)) return 0;
    return v.CLng();
}

double dobleDe(const Variant& v) {
    if (v.esNull() || v.esEmpty()) return 0;
    if (v.esTexto() && !comun::IsNumeric(v)) return 0;
    return v.CDbl();
}

// A text matched as itself inside a LIKE pattern: the pattern characters
// it holds (* ? # [) are bracketed, so a type that begins with "*" erases
// the lines of that type only, not every line of the product.
std::string literalLike(const std::string& texto) {
    std::string r;
    for (const char c : texto) {
        if (c == '*' || c == '?' || c == '#' || c == '[') {
            r += '[';
            r += c;
            r += ']';
        } else {
            r += c;
        }
    }
    return r;
}

bool mismoNombre(const std::string& a, std::string_view b) {
    return comun::mayusculas(a) == comun::mayusculas(b);
}

const comun::Reloj& relojDelSistema() {
    static const comun::RelojSistema reloj;
    return reloj;
}

// What each table code changes: its target table and the family that
// applies it. A code not listed changes nothing.
enum class Familia {
    Ninguna,  // known, but changes nothing here
    Insumo,
    Producto,
    Receta,  // a complete recipe line; an incomplete one is a generic insert
    RVent,
    Generico,
    SucYAgen,
    Mensaje,
    Movimiento,
    Comandas,
    Usuario,
};

struct CodigoTabla {
    int32_t codigo;
    const char* tabla;
    Familia familia;
};

constexpr CodigoTabla kCodigosTabla[] = {
    {1, "Insumos", Familia::Insumo},     {2, "Productos", Familia::Producto},
    {3, "Rzs", Familia::Receta},         {7, "rVent", Familia::RVent},
    {8, "MovInv", Familia::Generico},    {11, "CxPg", Familia::Generico},
    {12, "Terceros", Familia::Ninguna},  {13, "SucYAgen", Familia::SucYAgen},
    {14, "Mensaje", Familia::Mensaje},   {16, "MovInvHoy", Familia::Movimiento},
    {22, "Comandas", Familia::Comandas}, {24, "ConGen", Familia::Generico},
    {25, "Pw", Familia::Usuario},
};

const CodigoTabla* codigoTabla(int32_t codigo) {
    for (const CodigoTabla& c : kCodigosTabla)
        if (c.codigo == codigo) return &c;
    return nullptr;
}

}  // namespace

const std::string& Entrante::campo(size_t k) const {
    static const std::string nada;
    return k < campos.size() ? campos[k] : nada;
}

Aplicador::Aplicador(DAO_Conexion& conexion, comun::Bitacora& bitacora)
    : Aplicador(conexion, bitacora, relojDelSistema()) {}

Aplicador::Aplicador(DAO_Conexion& conexion, comun::Bitacora& bitacora, const comun::Reloj& reloj)
    : con_(conexion), bitacora_(bitacora), reloj_(reloj) {}

std::string Aplicador::tablaDestino(int32_t tabla) {
    const CodigoTabla* c = codigoTabla(tabla);
    return c ? std::string(c->tabla) : std::string();
}

void Aplicador::aplicarComunicacion() {
    resumen_ = {};
    con_.conectar();
    try {
        const std::string sitio = con_.getSyASys();
        // The working date, the regime and the client are read again at
        // every run (one small query each): a service that runs for days
        // must date its orders with the site's working date of today, not
        // of the day it started.
        con_.cargarValoresSitio();
        const comun::Fecha ahora = reloj_.ahora();
        leerFallos();
        auto sel = con_.Query(
            "SELECT * FROM COMUNICACIONES WHERE FUNCION <> 'X' AND DESTINO = ? AND (Tabla <> 23 "
            "and Tabla <> 27) ORDER BY TABLA, id",
            {Variant(sitio)});

        std::vector<size_t> posCampos(kCamposCarga + 1, 0);
        if (!DAO_Conexion::RsVacio(sel)) {
            for (size_t k = 1; k <= kCamposCarga; ++k)
                posCampos[k] = sel->indiceCampo("Campo" + std::to_string(k));
        }

        // One rule for failures: each record is applied inside its own
        // transaction (a savepoint within the current group) together with
        // its mark. A record that fails, from reading its fields to writing
        // its mark, is rolled back (nothing of it stays), left unmarked, and
        // retried later with a growing interval (FALLOS_APLICACION); the run
        // then goes on with the next record, so one bad record never holds
        // back those behind it. Only a failure of the database itself (it
        // cannot be read or written) ends the run, since it would fail every
        // record alike. A crash mid-run loses only the uncommitted group,
        // writes and marks alike, so those records are simply applied again
        // on the next run.
        std::optional<datos::Transaccion> lote;
        int enLote = 0;
        // Customers (by telephone) with an order action waiting for a retry:
        // their later actions wait behind it, so a bill or a payment note
        // never overtakes the order it belongs to.
        std::set<std::string> clientesEnEspera;
        while (!DAO_Conexion::RsVacio(sel)) {
            Entrante r;
            std::string tablaLeida = (*sel)["Tabla"].texto();
            std::string errorLectura;
            try {
                r.id = (*sel)["Id"].CLngLng();
                leerRegistro(*sel, posCampos, r);
            } catch (const std::exception& e) {
                errorLectura = e.what();
            }
            sel->MoveNext();

            const std::string cliente =
                r.tabla == 22 ? AccionesComandas::telefonoDelCliente(r) : std::string();
            auto fallo = fallos_.find(r.id);
            if (fallo != fallos_.end() && !vencido(fallo->second, ahora)) {
                ++resumen_.enEspera;
                if (!cliente.empty()) clientesEnEspera.insert(cliente);
                continue;
            }
            if (!cliente.empty() && clientesEnEspera.count(cliente)) {
                ++resumen_.enEspera;
                bitacora_.depurar("Comunicacion " + std::to_string(r.id) +
                                  " espera: una accion anterior del cliente " + cliente +
                                  " espera su reintento");
                continue;
            }
            // Without savepoints (the Access engine) each record's own
            // transaction below is the only one: no group around them.
            if (!lote && con_.admiteSavepoints()) lote.emplace(con_);
            try {
                datos::Transaccion t(con_);
                if (!errorLectura.empty()) throw ErrorRegistro(errorLectura);
                sinEfecto_.clear();
                aplicarRegistro(r);
                // An order action that changed nothing is marked all the same,
                // so it holds nothing back, but kept and reported: it is no
                // success.
                if (!sinEfecto_.empty()) guardarPedidoNoAplicado(r, sinEfecto_, ahora);
                marcar(r);
                if (fallo != fallos_.end()) {
                    con_.comando("DELETE FROM FALLOS_APLICACION WHERE IdComunicacion = ?",
                                 {valorDeId(r.id)});
                }
                t.confirmar();
                if (sinEfecto_.empty()) {
                    ++resumen_.aplicados;
                } else {
                    ++resumen_.pedidosNoAplicados;
                    bitacora_.escribir("Pedido " + std::to_string(r.id) +
                                       " no aplicado: " + sinEfecto_);
                }
            } catch (const datos::ErrorBD& e) {
                if (e.deLaBase()) throw;
                registrarFallo(r.id, tablaLeida, e.what(), ahora);
                if (!cliente.empty()) clientesEnEspera.insert(cliente);
            } catch (const std::exception& e) {
                registrarFallo(r.id, tablaLeida, e.what(), ahora);
                if (!cliente.empty()) clientesEnEspera.insert(cliente);
            }
            if (++enLote >= kRegistrosPorLote) {
                cerrarDestinos();
                if (lote) lote->confirmar();
                lote.reset();
                enLote = 0;
            }
        }
        cerrarDestinos();
        if (lote) lote->confirmar();
        if (sel) sel->Close();
    } catch (const std::exception& e) {
        cerrarDestinos();
        bitacora_.escribir(std::string("Aplicacion de comunicaciones interrumpida: ") + e.what());
        con_.desconectar();
        throw;
    }
    con_.desconectar();
    std::string resumen = "Comunicaciones aplicadas: " + std::to_string(resumen_.aplicados) +
                          ", fallidas: " + std::to_string(resumen_.fallidos);
    if (resumen_.enEspera > 0) resumen += ", en espera: " + std::to_string(resumen_.enEspera);
    if (resumen_.pedidosNoAplicados > 0)
        resumen += ", pedidos no aplicados: " + std::to_string(resumen_.pedidosNoAplicados);
    bitacora_.escribir(resumen);
}

// A write that may be refused by the column (a text in a number column, a
// text too long): the column is left unset, the refusal goes to the debug
// log and the copy goes on. A failure of the database itself is not the
// column's and is raised.
void Aplicador::asignarTolerante(Recordset& rs, size_t i, const Variant& valor, const Entrante& r) {
    std::string motivo;
    try {
        rs.asignar(i, valor);
        return;
    } catch (const comun::ErrorTipo& e) {
        motivo = e.what();
    } catch (const datos::ErrorBD& e) {
        if (e.deLaBase()) throw;
        motivo = e.what();
    }
    bitacora_.depurar("Comunicacion " + std::to_string(r.id) + ": columna " +
                      tablaDestino(r.tabla) + "." + rs.nombreCampo(i) + " omitida: " + motivo);
}

void Aplicador::leerRegistro(const Recordset& sel, const std::vector<size_t>& posCampos,
                             Entrante& r) {
    r.servicio = codigoEntero(sel["Servicio"], "Servicio");
    r.tabla = codigoEntero(sel["Tabla"], "Tabla");
    r.funcion = sel["Funcion"].texto();
    r.origen = sel["Origen"].texto();
    r.campos.assign(kCamposCarga + 1, std::string());
    for (size_t k = 1; k <= kCamposCarga; ++k) r.campos[k] = sel.valorCampo(posCampos[k]).texto();
}

void Aplicador::leerFallos() {
    fallos_.clear();
    // A database made by an earlier build gets the table first.
    con_.asegurarTablasPropias();
    auto rs = con_.Query(
        "SELECT IdComunicacion, Intentos, Espera, Mensaje, UltimoFallo FROM FALLOS_APLICACION");
    while (!DAO_Conexion::RsVacio(rs)) {
        EstadoFallo f;
        f.intentos = enteroDe((*rs)["Intentos"]);
        f.espera = enteroDe((*rs)["Espera"]);
        f.mensaje = (*rs)["Mensaje"].texto();
        const Variant ultimo = (*rs)["UltimoFallo"];
        if (!ultimo.esNull()) f.ultimo = ultimo.CDate();
        const Variant idComunicacion = (*rs)["IdComunicacion"];
        fallos_[idComunicacion.esNull() ? 0 : idComunicacion.CLngLng()] = f;
        rs->MoveNext();
    }
    rs->Close();
    if (fallos_.empty()) return;

    // One more run has come for every record that waits; the state of a
    // record that left the queue, or was marked by someone else, goes.
    datos::Transaccion t(con_);
    con_.comando("UPDATE FALLOS_APLICACION SET Espera = Espera - 1 WHERE Espera > 0");
    con_.comando(
        "DELETE FROM FALLOS_APLICACION WHERE NOT EXISTS (SELECT 1 FROM COMUNICACIONES AS C "
        "WHERE C.Id = FALLOS_APLICACION.IdComunicacion AND C.Funcion <> 'X')");
    t.confirmar();
    for (auto& [id, f] : fallos_)
        if (f.espera > 0) --f.espera;
}

bool Aplicador::vencido(const EstadoFallo& f, const comun::Fecha& ahora) {
    if (f.espera <= 0) return true;
    const double segundos = (ahora.serial() - f.ultimo.serial()) * 86400.0;
    // A last failure in the future was stamped before the clock was moved
    // back: due now, or it would wait until the clock passed the stamp.
    return segundos < 0 || segundos >= kEsperaMaximaSegundos - 0.5;
}

void Aplicador::registrarFallo(int64_t id, const std::string& tabla, const std::string& mensaje,
                               const comun::Fecha& ahora) {
    // A target left mid-append must not carry this record's values into the
    // next one.
    cerrarDestinos();
    ++resumen_.fallidos;
    auto it = fallos_.find(id);
    const bool conocido = it != fallos_.end();
    // Reported on its first failure and when its message changes, not on
    // every attempt.
    if (!conocido || it->second.mensaje != mensaje) {
        bitacora_.escribir("Comunicacion " + std::to_string(id) + " (tabla " + tabla +
                           ") no aplicada: " + mensaje);
    }
    EstadoFallo f = conocido ? it->second : EstadoFallo{};
    f.intentos = conocido ? f.intentos + 1 : 1;
    // Runs until the next attempt: 1, 2, 4, 8 ... (the clock caps the wait).
    f.espera = 1 << std::min(f.intentos - 1, 20);
    f.mensaje = mensaje;
    f.ultimo = ahora;
    const datos::ListaParametros valores = {Variant(f.intentos), Variant(f.espera),
                                            Variant(mensaje), Variant(ahora), valorDeId(id)};
    if (conocido) {
        con_.comando(
            "UPDATE FALLOS_APLICACION SET Intentos = ?, Espera = ?, Mensaje = ?, UltimoFallo = ? "
            "WHERE IdComunicacion = ?",
            valores);
    } else {
        con_.comando(
            "INSERT INTO FALLOS_APLICACION (Intentos, Espera, Mensaje, UltimoFallo, PrimerFallo, "
            "IdComunicacion) VALUES (?, ?, ?, ?, ?, ?)",
            {valores[0], valores[1], valores[2], valores[3], Variant(ahora), valores[4]});
    }
    fallos_[id] = f;
}

void Aplicador::guardarPedidoNoAplicado(const Entrante& r, const std::string& motivo,
                                        const comun::Fecha& ahora) {
    // The record as the queue holds it, every column, in the form of the
    // batches exchanged with the server.
    auto fila = con_.Query("SELECT * FROM COMUNICACIONES WHERE Id = ?", {valorDeId(r.id)});
    std::string texto = DAO_Conexion::RsVacio(fila) ? std::string("null") : json::RStoJSON(*fila);
    DAO_Conexion::CerrarRs(fila);
    if (texto.size() >= 2 && texto.front() == '[' && texto.back() == ']')
        texto = texto.substr(1, texto.size() - 2);
    con_.comando(
        "INSERT INTO PEDIDOS_NO_APLICADOS (Fecha, IdComunicacion, IdServidor, Origen, Motivo, "
        "Texto) VALUES (?, ?, ?, ?, ?, ?)",
        {Variant(ahora), valorDeId(r.id), Variant(r.campo(kCamposCarga)), Variant(r.origen),
         Variant(motivo), Variant(texto)});
}

void Aplicador::marcar(const Entrante& r) {
    // Bound, so each text is translated and prepared once a connection.
    if (r.tabla == 0)
        con_.comando("DELETE FROM COMUNICACIONES WHERE ID = ?", {valorDeId(r.id)});
    else
        con_.comando("UPDATE COMUNICACIONES SET FUNCION = 'X' WHERE ID = ?", {valorDeId(r.id)});
}

void Aplicador::aplicarRegistro(const Entrante& r) {
    if (r.servicio == 1) return;  // request records change no table
    const CodigoTabla* codigo = codigoTabla(r.tabla);
    if (!codigo) return;
    switch (codigo->familia) {
        case Familia::Ninguna:
            return;
        case Familia::SucYAgen:
            return aplicarSucYAgen(r);
        case Familia::Producto:
            return aplicarProducto(r);
        case Familia::Insumo:
            return aplicarInsumo(r);
        case Familia::Receta: {
            bool completo = true;
            for (size_t k = 2; k <= 7; ++k) completo = completo && !vacio(r.campo(k));
            if (completo) return aplicarReceta(r);
            return aplicarGenerico(r);
        }
        case Familia::RVent:
            return aplicarRVent(r);
        case Familia::Mensaje:
            return aplicarMensaje(r);
        case Familia::Movimiento:
            return aplicarMovimiento(r);
        case Familia::Comandas:
            sinEfecto_ = AccionesComandas(con_, reloj_).aplicar(r);
            return;
        case Familia::Usuario:
            return aplicarUsuario(con_, r);
        case Familia::Generico:
            return aplicarGenerico(r);
    }
}

Recordset& Aplicador::filaUpsert(bool existe, std::string_view seleccion,
                                 const datos::ListaParametros& clave, const Entrante& r,
                                 std::unique_ptr<Recordset>& propia) {
    if (existe) {
        propia = con_.Query(seleccion, clave);
        return *propia;
    }
    Recordset& rs = abrirDestino(r);
    rs.AddNew();
    return rs;
}

Recordset& Aplicador::abrirDestino(const Entrante& r) {
    // Kept open for the run: reopening a table per record costs more than
    // the append itself.
    auto& rs = destinos_[r.tabla];
    if (!rs) rs = con_.Query(tablaDestino(r.tabla));
    return *rs;
}

void Aplicador::cerrarDestinos() {
    for (auto& [tabla, rs] : destinos_)
        if (rs) rs->Close();
    destinos_.clear();
}

bool Aplicador::hayFilas(std::string_view sql, const datos::ListaParametros& valores) {
    auto rs = con_.Query(sql, valores);
    const bool hay = !DAO_Conexion::RsVacio(rs);
    return hay;
}

// --- lookups and small writers ---

bool Aplicador::existeTerceroPorDocumento(const std::string& documento) {
    return hayFilas("SELECT * FROM Terceros WHERE IDDOCUMENTO = ?", {Variant(documento)});
}

bool Aplicador::existeSucYAgen(const std::string& tercero, const std::string& idSyA) {
    return hayFilas("SELECT * FROM SucYAgen WHERE Tercero = ? AND idSyA = ?",
                    {Variant(tercero), Variant(idSyA)});
}

bool Aplicador::existeInsumo(const std::string& codigo, const std::string&) {
    return hayFilas("SELECT Nombre FROM Insumos WHERE Codigo = ?", {Variant(codigo)});
}

bool Aplicador::existeProducto(const std::string& codigoAB) {
    return hayFilas("SELECT NombreProducto FROM ProductoS WHERE CodigoAB = ?", {Variant(codigoAB)});
}

void Aplicador::setPreparacion(const std::string& codigo) {
    if (hayFilas("SELECT codigo FROM preparaciones WHERE Codigo = ?", {Variant(codigo)})) return;
    // Added through the table, so the code is checked against its column as
    // every other write of the families is: a code too long for it refuses
    // the record instead of being stored past the column's width.
    auto rs = con_.Query("PREPARACIONES");
    rs->AddNew();
    rs->asignar("Codigo", Variant(codigo));
    rs->Update();
    rs->Close();
}

void Aplicador::setCostoUEPS(const std::string& codigo, double costo) {
    // An overflowing division has no cost to write: its text ("Infinity")
    // would be stored as text in the number column.
    if (!std::isfinite(costo))
        throw ErrorRegistro("el costo del insumo '" + codigo + "' no es un numero finito");
    con_.comando("UPDATE INSUMOS SET COSTO = ? WHERE CODIGO = ?",
                 {Variant(comun::textoDouble(costo)), Variant(codigo)});
}

// --- products (2) ---

void Aplicador::aplicarProducto(const Entrante& r) {
    const std::string& codigo = r.campo(1);
    if (vacioRecortado(r.campo(2))) return;
    if (r.funcion == "E") {
        con_.comando("DELETE FROM PRODUCTOS WHERE CODIGOAB = ?", {Variant(codigo)});
        con_.comando("DELETE FROM RZS WHERE IDPRODUCTO = ?", {Variant(codigo)});
        return;
    }
    if (r.funcion != "A") return;

    // The product's rows, found by their key (bound: one text, translated
    // and prepared once a run); none, and the product is added.
    auto rs = con_.Query("SELECT * FROM PRODUCTOS WHERE CodigoAB = ?", {Variant(codigo)});
    if (!DAO_Conexion::RsVacio(rs)) {
        // Tax and unit price go into number columns. The engine would keep a
        // text that is not a number as text there, so such a record is
        // refused before any write, as the statement itself fails in Access.
        for (const size_t k : {size_t{7}, size_t{9}}) {
            if (!comun::IsNumeric(r.campo(k)))
                throw ErrorRegistro("Campo" + std::to_string(k) +
                                    " del producto no es un numero: '" + r.campo(k) + "'");
        }
        // The five columns are written through the product's row, so each
        // value is converted by its column's kind as an insert's are: a tax
        // beyond the 16-bit column, a price beyond the currency range or a
        // name too long refuses the record, instead of storing a value that
        // no later read of the table can take.
        while (!DAO_Conexion::RsVacio(rs)) {
            rs->asignar("NombreProducto", Variant(r.campo(2)));
            rs->asignar("Categoria", Variant(r.campo(3)));
            rs->asignar("Negocio", Variant(r.campo(4)));
            rs->asignar("Impx", Variant(r.campo(7)));
            rs->asignar("PrecioUnidad", Variant(r.campo(9)));
            rs->Update();
            rs->MoveNext();
        }
        rs->Close();
        return;
    }
    rs->Close();

    // A product is backed by a supply of the same code.
    if (!existeInsumo(codigo, {})) {
        auto ins = con_.Query("select * from insumos");
        ins->AddNew();
        ins->asignar("Codigo", Variant(codigo));
        ins->asignar("Nombre",
                     Variant(comun::recortar(comun::mayusculas(comun::izquierda(r.campo(2), 50)))));
        ins->asignar("Tipo", Variant("PEPS"));
        ins->asignar("Inventario", Variant(int32_t{0}));
        ins->asignar("medida", Variant("Unidad"));
        ins->asignar("Costo", Variant(int32_t{0}));
        ins->asignar("UInvF", Variant("01/01/2001"));
        ins->asignar("UInvC", Variant(int32_t{0}));
        ins->asignar("Empaque", Variant("Ninguno"));
        ins->asignar("Standar", Variant("Standar de Calidad"));
        ins->asignar("Categoria", Variant("Producto Terminado"));
        ins->asignar("Padre", Variant(codigo));
        ins->asignar("lProduccion", Variant("Ninguno"));
        ins->asignar("CostoEstimado", Variant(int32_t{0}));
        ins->Update();
        ins->Close();
    }

    Recordset* nuevo = &abrirDestino(r);
    nuevo->AddNew();
    nuevo->asignar("CodigoAB", Variant(codigo));
    nuevo->asignar("NombreProducto", Variant(r.campo(2)));
    nuevo->asignar("Categoria", Variant(r.campo(3)));
    const std::string negocio = comun::recortar(r.campo(4));
    nuevo->asignar("Negocio", Variant(negocio.empty() ? std::string("COCINA") : negocio));
    nuevo->asignar("PrecioUnidad", Variant(r.campo(9)));
    nuevo->asignar("impx", Variant(r.campo(7)));
    nuevo->asignar("impvr", Variant(int32_t{0}));
    nuevo->asignar("Bloquear", Variant(r.campo(12)));
    for (int k = 1; k <= 9; ++k)
        nuevo->asignar("Precio" + std::to_string(k), Variant(r.campo(12 + static_cast<size_t>(k))));
    nuevo->Update();
}

// --- supplies (1) ---

void Aplicador::aplicarInsumo(const Entrante& r) {
    const std::string& codigo = r.campo(1);
    if (vacio(codigo) || vacio(r.campo(2))) return;
    if (r.funcion == "E") {
        // The supply row stays, out of inventory; its product and recipe go.
        con_.comando("UPDATE INSUMOS SET INVENTARIO = -1, NOMBRE = '' WHERE CODIGO = ?",
                     {Variant(codigo)});
        con_.comando("DELETE FROM PRODUCTOS WHERE CODIGOAB = ?", {Variant(codigo)});
        con_.comando("DELETE FROM RZS WHERE IDPRODUCTO = ?", {Variant(codigo)});
        return;
    }
    if (r.funcion != "A") return;

    std::unique_ptr<Recordset> propio;
    Recordset* rs =
        &filaUpsert(existeInsumo(codigo, r.campo(2)), "SELECT * FROM Insumos WHERE Codigo = ?",
                    {Variant(codigo)}, r, propio);
    // Positional copy; the last inventory date and the cost date keep their
    // local values.
    const size_t n = rs->numeroCampos();
    for (size_t p = 0; p < n; ++p) {
        if (rs->tipoCampo(p) == TipoColumna::Contador) continue;
        const std::string& nombre = rs->nombreCampo(p);
        if (mismoNombre(nombre, "UInvF") || mismoNombre(nombre, "Fecha Costo")) continue;
        rs->asignar(p, Variant(comun::recortar(r.campo(p + 1))));
    }
    rs->Update();

    setPreparacion(codigo);
}

// --- recipe lines (3) ---

void Aplicador::aplicarReceta(const Entrante& r) {
    if (r.funcion == "E") {
        con_.comando(
            "DELETE FROM RZS WHERE IDPRODUCTO = ? AND TIPO like ?",
            {Variant(r.campo(2)), Variant(literalLike(comun::izquierda(r.campo(8), 4)) + "*")});
        return;
    }
    setPreparacion(r.campo(2));
    if (!existeInsumo(r.campo(2), r.campo(4)) || !existeInsumo(r.campo(3), r.campo(5))) return;

    Recordset* rs = &abrirDestino(r);
    rs->AddNew();
    rs->asignar("Consecutivo", Variant(int32_t{0}));
    rs->asignar("IdProducto", Variant(r.campo(2)));
    rs->asignar("IdInsumo", Variant(r.campo(3)));
    rs->asignar("Producto", Variant(comun::recortar(r.campo(4))));
    rs->asignar("Insumo", Variant(comun::recortar(r.campo(5))));
    rs->asignar("Cantidad", Variant(r.campo(6)));
    rs->asignar("medida", Variant(vacio(r.campo(7)) ? std::string("Unidad") : r.campo(7)));
    rs->asignar("Tipo", Variant(r.campo(8)));
    rs->asignar("NombreGrupo", Variant(comun::recortar(r.campo(10))));
    rs->asignar("Medidor", Variant(vacio(r.campo(11)) ? std::string("UNIDAD") : r.campo(11)));
    if (!vacio(r.campo(12))) rs->asignar("Bmedidor", Variant(r.campo(12)));
    rs->Update();
}

// --- inventory movements (16) ---

void Aplicador::aplicarMovimiento(const Entrante& r) {
    // A movement stored with its time of day is only found again by the
    // same date and time: the day alone would never match it, and every
    // re-delivery would store the movement once more. The date binds as
    // the date it is, with its time when it has one.
    comun::Fecha fecha;
    if (!comun::leerFecha(r.campo(7), fecha) || !fecha.valida())
        throw ErrorRegistro("la fecha del movimiento no es una fecha: '" + r.campo(7) + "'");

    // Known already, today or among the stored movements?
    const char* condicion = " where fecha = ? AND NUMERORR = ? AND SyA = ? AND CODIGO = ? ";
    const datos::ListaParametros clave = {Variant(fecha), Variant(r.campo(18)), Variant(r.origen),
                                          Variant(r.campo(2))};
    auto dup = con_.Query(
        std::string("select COUNT(*) AS ID from movinvHOY") + condicion +
            "UNION select COUNT(*) AS ID from movinv" + condicion,
        {clave[0], clave[1], clave[2], clave[3], clave[0], clave[1], clave[2], clave[3]});
    double conocidos = 0;
    while (!DAO_Conexion::RsVacio(dup)) {
        conocidos += dobleDe((*dup)["id"]);
        dup->MoveNext();
    }
    dup->Close();
    if (conocidos != 0) return;

    Recordset* rs = &abrirDestino(r);
    rs->AddNew();
    const size_t n = rs->numeroCampos();
    for (size_t p = 0; p < n; ++p) {
        const TipoColumna tipo = rs->tipoCampo(p);
        const std::string& fuente = r.campo(p + 1);
        switch (tipo) {
            case TipoColumna::Contador:
                break;
            case TipoColumna::Fecha:
                // A date text is that date (the duplicate check depends on it).
                if (comun::IsDate(fuente) || comun::IsNumeric(fuente))
                    asignarTolerante(*rs, p, Variant(fuente), r);
                else
                    asignarTolerante(*rs, p, Variant(int32_t{0}), r);
                break;
            case TipoColumna::Integer:
            case TipoColumna::Long:
            case TipoColumna::Single:
                asignarTolerante(
                    *rs, p, comun::IsNumeric(fuente) ? Variant(fuente) : Variant(int32_t{0}), r);
                break;
            default:
                asignarTolerante(*rs, p, Variant(fuente), r);
                break;
        }
    }

    // The mirror for this site: what the sender sent is what this site got.
    const size_t iConcepto = rs->indiceCampo("Concepto");
    const size_t iCantidad = rs->indiceCampo("Cantidad");
    rs->asignar(iConcepto, Variant(r.campo(iConcepto + 1) == "Remision" ? "Recibo" : "Remision"));
    const std::string& cantidadTexto = r.campo(iCantidad + 1);
    if (comun::IsNumeric(cantidadTexto))
        rs->asignar(iCantidad, Variant(0.0 - Variant(cantidadTexto).CDbl()));
    rs->asignar("Confirmado", Variant(false));
    rs->asignar("SyA", Variant(r.origen));
    rs->Update();

    // Unit cost of the supply, from the row as stored. A movement of no
    // quantity has no unit cost and leaves the supply's cost alone.
    const std::string codigo = (*rs)["Codigo"].texto();
    const double costo = dobleDe((*rs)["Costo"]);
    const double cantidad = dobleDe((*rs)["Cantidad"]);
    if (cantidad != 0) {
        const double unitario = costo / cantidad;
        setCostoUEPS(codigo, unitario == 0 ? 0.0 : unitario);  // no "-0"
    }
}

// --- sites and agencies (13) ---

void Aplicador::aplicarSucYAgen(const Entrante& r) {
    if (r.funcion != "A") return;
    std::unique_ptr<Recordset> propio;
    Recordset* rs = &filaUpsert(existeSucYAgen(r.campo(3), r.campo(4)),
                                "SELECT * FROM SucYAgen WHERE TERCERO = ? AND IDSYA = ?",
                                {Variant(r.campo(3)), Variant(r.campo(4))}, r, propio);
    const size_t n = rs->numeroCampos();
    for (size_t p = 0; p < n; ++p) {
        const TipoColumna tipo = rs->tipoCampo(p);
        if (tipo == TipoColumna::SiNo)
            rs->asignar(p, Variant(aBooleano(r.campo(p + 1))));
        else if (tipo != TipoColumna::Contador)
            rs->asignar(p, Variant(r.campo(p + 1)));
    }
    rs->Update();
}

// --- sales rows (7) ---

void Aplicador::aplicarRVent(const Entrante& r) {
    if (r.funcion != "A") return;
    Recordset* rs = &abrirDestino(r);
    rs->AddNew();
    const size_t n = rs->numeroCampos();
    for (size_t p = 0; p < n; ++p) {
        if (rs->tipoCampo(p) == TipoColumna::Contador || vacio(r.campo(p + 1))) continue;
        rs->asignar(p, Variant(r.campo(p + 1)));
    }
    rs->Update();
}

// --- messages (14): column p takes Campo p; column 0 is the counter ---

void Aplicador::aplicarMensaje(const Entrante& r) {
    Recordset* rs = &abrirDestino(r);
    rs->AddNew();
    const size_t n = rs->numeroCampos();
    for (size_t p = 1; p < n; ++p) rs->asignar(p, Variant(r.campo(p)));
    rs->Update();
}

// --- generic insert (8, 11, 24 and incomplete recipe lines) ---

void Aplicador::aplicarGenerico(const Entrante& r) {
    Recordset* rs = &abrirDestino(r);
    rs->AddNew();
    const size_t n = rs->numeroCampos();
    for (size_t p = 0; p < n; ++p) {
        if (rs->tipoCampo(p) == TipoColumna::Contador || vacio(r.campo(p + 1))) continue;
        asignarTolerante(*rs, p, Variant(r.campo(p + 1)), r);
    }
    rs->Update();
}

}  // namespace aplicacion
