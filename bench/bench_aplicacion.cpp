// The apply step at volume: generic inserts, product updates and remote
// delivery order lines per second, each beside the same records applied by
// a loop of raw prepared statements, and the cost of a run against a small
// and a very large target table.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <time.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "aplicacion/Aplicador.h"
#include "comun/Bitacora.h"
#include "datos/DAO_Conexion.h"
#include "datos/Esquema.h"
#include "datos/sql/FuncionesSqlite.h"
#include "protocolo/Comunicacion.h"

namespace {

using comun::Variant;

constexpr int kRegistros = 10000;
constexpr int kRegistrosEscala = 1000;

// A fresh site database in a temporary folder, removed when it goes.
class BaseBanco {
  public:
    explicit BaseBanco(bool demo = false) {
        std::random_device rd;
        carpeta_ =
            std::filesystem::temp_directory_path() / ("sinc-bench-ap-" + std::to_string(rd()));
        std::filesystem::create_directories(carpeta_);
        ruta_ = (carpeta_ / "sitio.db").string();
        datos::crearBaseSitio(ruta_, "900100", "001", "Banco de pruebas", demo);
        dao.dataFile(ruta_);
    }
    ~BaseBanco() {
        std::error_code ec;
        std::filesystem::remove_all(carpeta_, ec);
    }

    // Queues `n` records of one table code, built by `campos(i)` (the text
    // of the VALUES list after Funcion).
    template <class F>
    void recibir(int n, int tabla, const std::string& columnas, F campos) {
        dao.conectar();
        {
            datos::Transaccion t(dao);
            for (int i = 0; i < n; ++i)
                dao.comando(
                    "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, "
                    "Enviado" +
                    columnas + ") VALUES (2, " + std::to_string(tabla) +
                    ", '900100002', '900100001', 'A', 1" + campos(i) + ")");
            t.confirmar();
        }
        dao.desconectar();
    }
    // Makes every applied record pending again.
    void reabrir() { ejecutar("UPDATE COMUNICACIONES SET Funcion = 'A'"); }
    void ejecutar(const std::string& sql) {
        dao.conectar();
        dao.comando(sql);
        dao.desconectar();
    }

    const std::string& ruta() const { return ruta_; }
    static constexpr const char* kSitio = "900100001";

    datos::DAO_Conexion dao;

  private:
    std::filesystem::path carpeta_;
    std::string ruta_;
};

// --- the reference: the same records applied by prepared statements alone ---
//
// Each workload again, written straight against the SQLite C API: every
// statement prepared once and bound, under the apply step's per-record
// rules (the pending records read whole first, a savepoint per record
// together with its mark, a commit every 200). It writes the rows the apply
// step writes (values converted to the columns' kinds by hand, queued rows
// with SQLite's own texts), so the ratio of the two times is what the data
// layer costs beyond the statements themselves.
class Crudo {
  public:
    explicit Crudo(const std::string& ruta) {
        if (sqlite3_open_v2(ruta.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db_));
        sqlite3_busy_timeout(db_, 5000);
        datos::sql::registrarFunciones(db_);
        ejecutar("PRAGMA journal_mode=WAL");
    }
    ~Crudo() {
        for (auto& [texto, st] : sentencias_) sqlite3_finalize(st);
        sqlite3_close_v2(db_);
    }
    Crudo(const Crudo&) = delete;
    Crudo& operator=(const Crudo&) = delete;

    void ejecutar(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db_));
    }
    // The statement of that text, prepared the first time, reset for use.
    sqlite3_stmt* st(const std::string& sql) {
        auto it = sentencias_.find(sql);
        if (it == sentencias_.end()) {
            sqlite3_stmt* s = nullptr;
            if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
                throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + ": " + sql);
            it = sentencias_.emplace(sql, s).first;
        }
        sqlite3_reset(it->second);
        sqlite3_clear_bindings(it->second);
        return it->second;
    }
    static void texto(sqlite3_stmt* s, int i, const std::string& t) {
        sqlite3_bind_text(s, i, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
    }
    // Runs a statement that returns no rows.
    void correr(sqlite3_stmt* s) {
        if (sqlite3_step(s) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
    }
    bool fila(sqlite3_stmt* s) {
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
        return rc == SQLITE_ROW;
    }
    static std::string columna(sqlite3_stmt* s, int i) {
        const unsigned char* t = sqlite3_column_text(s, i);
        return t ? std::string(reinterpret_cast<const char*>(t),
                               static_cast<size_t>(sqlite3_column_bytes(s, i)))
                 : std::string();
    }
    int64_t ultimoId() const { return sqlite3_last_insert_rowid(db_); }

    struct Pendiente {
        int64_t id = 0;
        std::string origen;
        std::array<std::string, 41> campos;  // campos[k] is Campo k
    };

    // The apply step's loop around `aplicar(registro)`.
    template <class F>
    void aplicarPendientes(const std::string& sitio, F aplicar) {
        std::vector<Pendiente> pendientes;
        sqlite3_stmt* sel =
            st("SELECT * FROM COMUNICACIONES WHERE Funcion <> 'X' AND Destino = ?1 "
               "AND (Tabla <> 23 AND Tabla <> 27) ORDER BY Tabla, Id");
        texto(sel, 1, sitio);
        const int campo1 = 7;  // Id, Servicio, Tabla, Origen, Destino, Funcion, Enviado, Campo1..
        while (fila(sel)) {
            Pendiente p;
            p.id = sqlite3_column_int64(sel, 0);
            p.origen = columna(sel, 3);
            for (int k = 1; k <= 40; ++k) p.campos[k] = columna(sel, campo1 + k - 1);
            pendientes.push_back(std::move(p));
        }
        sqlite3_reset(sel);
        int enLote = 0;
        ejecutar("BEGIN IMMEDIATE");
        for (const Pendiente& p : pendientes) {
            correr(st("SAVEPOINT r"));
            aplicar(p);
            sqlite3_stmt* marca = st("UPDATE COMUNICACIONES SET Funcion = 'X' WHERE Id = ?1");
            sqlite3_bind_int64(marca, 1, p.id);
            correr(marca);
            correr(st("RELEASE r"));
            if (++enLote == 200) {
                ejecutar("COMMIT");
                ejecutar("BEGIN IMMEDIATE");
                enLote = 0;
            }
        }
        ejecutar("COMMIT");
    }

    // Queues the row `fila` stands on, every column as its text, as a
    // record of table `tabla` for `destino`.
    void encolar(sqlite3_stmt* fila, int tabla, const std::string& origen,
                 const std::string& destino) {
        const int n = sqlite3_column_count(fila);
        std::string columnas = "Servicio, Tabla, Origen, Destino, Funcion",
                    marcas = "2, ?1, ?2, ?3, 'A'";
        for (int k = 1; k <= n; ++k) {
            columnas += ", Campo" + std::to_string(k);
            marcas += ", ?" + std::to_string(k + 3);
        }
        sqlite3_stmt* s =
            st("INSERT INTO COMUNICACIONES (" + columnas + ") VALUES (" + marcas + ")");
        sqlite3_bind_int(s, 1, tabla);
        texto(s, 2, origen);
        texto(s, 3, destino);
        for (int k = 0; k < n; ++k) texto(s, k + 4, columna(fila, k));
        correr(s);
    }

  private:
    sqlite3* db_ = nullptr;
    std::unordered_map<std::string, sqlite3_stmt*> sentencias_;
};

// dd/mm/yyyy as the stored yyyy-mm-dd.
std::string fechaIso(const std::string& t) {
    return t.size() == 10 ? t.substr(6, 4) + "-" + t.substr(3, 2) + "-" + t.substr(0, 2) : t;
}

const std::string kColumnasMov = ", Campo2, Campo3, Campo5, Campo6, Campo7, Campo9, Campo18";
std::string camposMov(int i) {
    return ", '" + std::to_string(1000 + i % 50) + "', 'HARINA', '3', '9600', '07/12/2026', " +
           "'Compra', 'FC-" + std::to_string(i) + "'";
}

// The CPU time this thread has used, in seconds: the program's own work
// (the kernel's writes on its behalf included), not the waits for the disk,
// which the two loops share and which would hide what one costs beyond the
// other.
double segundosCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Applies the queue once per iteration, then opens the records again for
// the next one; returns the seconds the runs took (and their CPU seconds in
// `cpu`). With `esperados` > 0 a run that applies another number of records
// is an error.
double aplicarEnCadaIteracion(benchmark::State& state, BaseBanco& base, int esperados,
                              double* cpu = nullptr) {
    comun::BitacoraNula nula;
    aplicacion::Aplicador ap(base.dao, nula);
    double segundos = 0;
    for (auto _ : state) {
        const auto inicio = std::chrono::steady_clock::now();
        const double inicioCpu = segundosCpu();
        ap.aplicarComunicacion();
        if (cpu) *cpu += segundosCpu() - inicioCpu;
        segundos +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
        state.PauseTiming();
        if (esperados > 0 && ap.resumen().aplicados != esperados)
            state.SkipWithError("records not applied");
        base.reabrir();
        state.ResumeTiming();
    }
    return segundos;
}

// The same for the raw loop, which applies a record with `aplicar`; returns
// the CPU seconds the runs took.
template <class F>
double crudoEnCadaIteracion(benchmark::State& state, BaseBanco& base, int esperados, F aplicar) {
    double segundos = 0;
    for (auto _ : state) {
        const double inicio = segundosCpu();
        int aplicados = 0;
        {
            Crudo c(base.ruta());
            c.aplicarPendientes(BaseBanco::kSitio, [&](const Crudo::Pendiente& p) {
                aplicar(c, p);
                ++aplicados;
            });
        }
        segundos += segundosCpu() - inicio;
        state.PauseTiming();
        if (aplicados != esperados) state.SkipWithError("records not applied");
        base.reabrir();
        state.ResumeTiming();
    }
    return segundos;
}

// CPU seconds per run of each workload: the apply step's and the raw loop's.
struct Comparacion {
    double aplicacion = 0;
    double crudo = 0;
};
std::map<std::string, Comparacion> comparaciones;

double porCorrida(benchmark::State& state, double segundos) {
    return segundos /
           static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

// --- generic inserts (code 8 into MovInv) ---

void prepararGenerica(BaseBanco& base) {
    base.recibir(kRegistros, 8, kColumnasMov, camposMov);
}

void BM_InsercionGenerica(benchmark::State& state) {
    BaseBanco base;
    prepararGenerica(base);
    double cpu = 0;
    aplicarEnCadaIteracion(state, base, kRegistros, &cpu);
    comparaciones["generic inserts"].aplicacion = porCorrida(state, cpu);
    state.SetItemsProcessed(state.iterations() * kRegistros);
}
BENCHMARK(BM_InsercionGenerica)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_InsercionGenericaCruda(benchmark::State& state) {
    BaseBanco base;
    prepararGenerica(base);
    const double s =
        crudoEnCadaIteracion(state, base, kRegistros, [](Crudo& c, const Crudo::Pendiente& p) {
            sqlite3_stmt* s = c.st(
                "INSERT INTO MovInv (CODIGO, Nombre, Cantidad, Costo, fecha, Concepto, NUMERORR) "
                "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
            Crudo::texto(s, 1, p.campos[2]);
            Crudo::texto(s, 2, p.campos[3]);
            sqlite3_bind_double(s, 3, std::strtod(p.campos[5].c_str(), nullptr));
            sqlite3_bind_double(s, 4, std::strtod(p.campos[6].c_str(), nullptr));
            Crudo::texto(s, 5, fechaIso(p.campos[7]));
            Crudo::texto(s, 6, p.campos[9]);
            Crudo::texto(s, 7, p.campos[18]);
            c.correr(s);
        });
    comparaciones["generic inserts"].crudo = porCorrida(state, s);
    state.SetItemsProcessed(state.iterations() * kRegistros);
}
BENCHMARK(BM_InsercionGenericaCruda)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// --- product updates (code 2 on existing products) ---

void prepararProductos(BaseBanco& base) {
    base.dao.conectar();
    {
        datos::Transaccion t(base.dao);
        for (int i = 0; i < kRegistros; ++i)
            base.dao.comando("INSERT INTO Productos (CodigoAB, NombreProducto) VALUES ('P" +
                             std::to_string(i) + "', 'Producto')");
        t.confirmar();
    }
    base.dao.desconectar();
    base.recibir(kRegistros, 2, ", Campo1, Campo2, Campo3, Campo4, Campo7, Campo9", [](int i) {
        return ", 'P" + std::to_string(i) + "', 'Producto renovado', 'Varios', 'BAR', '1', '4500'";
    });
}

void BM_ActualizacionProductos(benchmark::State& state) {
    BaseBanco base;
    prepararProductos(base);
    double cpu = 0;
    aplicarEnCadaIteracion(state, base, kRegistros, &cpu);
    comparaciones["product updates"].aplicacion = porCorrida(state, cpu);
    state.SetItemsProcessed(state.iterations() * kRegistros);
}
BENCHMARK(BM_ActualizacionProductos)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_ActualizacionProductosCruda(benchmark::State& state) {
    BaseBanco base;
    prepararProductos(base);
    const double s =
        crudoEnCadaIteracion(state, base, kRegistros, [](Crudo& c, const Crudo::Pendiente& p) {
            sqlite3_stmt* e = c.st("SELECT rowid FROM Productos WHERE CodigoAB = ?1");
            Crudo::texto(e, 1, p.campos[1]);
            if (!c.fila(e)) return;
            const int64_t fila = sqlite3_column_int64(e, 0);
            sqlite3_stmt* u = c.st(
                "UPDATE Productos SET NombreProducto = ?1, Categoria = ?2, Negocio = ?3, impx = "
                "?4, "
                "PrecioUnidad = ?5 WHERE rowid = ?6");
            Crudo::texto(u, 1, p.campos[2]);
            Crudo::texto(u, 2, p.campos[3]);
            Crudo::texto(u, 3, p.campos[4]);
            sqlite3_bind_int(u, 4, std::atoi(p.campos[7].c_str()));
            sqlite3_bind_double(u, 5, std::strtod(p.campos[9].c_str(), nullptr));
            sqlite3_bind_int64(u, 6, fila);
            c.correr(u);
        });
    comparaciones["product updates"].crudo = porCorrida(state, s);
    state.SetItemsProcessed(state.iterations() * kRegistros);
}
BENCHMARK(BM_ActualizacionProductosCruda)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// --- delivery order lines (code 22) ---

constexpr int kPedidos = 2000;
double pedidosPorSegundo = 0;

// Delivery order lines with two side dishes each, as the central ordering
// channel sends them (code 22), for fifty customers who order again and
// again: each one registers or updates the customer, writes the line and
// its side dishes, and queues five records.
void prepararPedidos(BaseBanco& base) {
    base.recibir(kPedidos, 22, ", Campo1, Campo2, Campo3, Campo4, Campo5, Campo6, Campo7, Campo8",
                 [](int i) {
                     const std::string cliente = std::to_string(i % 50);
                     return ", '2001', '2', 'Sin cebolla', 'Cliente " + cliente + "', 'Calle " +
                            cliente + "', '31500000" + cliente + "', '1005', '1006'";
                 });
}

void BM_PedidosConDosAcompanamientos(benchmark::State& state) {
    BaseBanco base(true);
    prepararPedidos(base);
    double cpu = 0;
    const double segundos = aplicarEnCadaIteracion(state, base, kPedidos, &cpu);
    pedidosPorSegundo = static_cast<double>(state.iterations() * kPedidos) / segundos;
    comparaciones["delivery order lines"].aplicacion = porCorrida(state, cpu);
    state.SetItemsProcessed(state.iterations() * kPedidos);
}
BENCHMARK(BM_PedidosConDosAcompanamientos)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// One order line by hand: the product, the customer by telephone (updated,
// or registered) queued for the general destination and the other
// branches, the customer's delivery table, the line and its side dishes,
// each read back by its key and queued.
void pedidoCrudo(Crudo& c, const Crudo::Pendiente& p) {
    const std::string sitio = BaseBanco::kSitio;
    const std::string cliente = "900100";
    sqlite3_stmt* pr = c.st(
        "SELECT NombreProducto, Negocio, PrecioUnidad, impx FROM Productos WHERE CodigoAB = ?1");
    Crudo::texto(pr, 1, p.campos[1]);
    if (!c.fila(pr)) return;
    const std::string nombreProducto = Crudo::columna(pr, 0), negocio = Crudo::columna(pr, 1);
    const double precio = sqlite3_column_double(pr, 2);
    const int impx = sqlite3_column_int(pr, 3);
    const double cantidad = std::strtod(p.campos[2].c_str(), nullptr);

    sqlite3_stmt* t = c.st("SELECT IdTercero FROM Terceros WHERE Telefono1 = ?1");
    Crudo::texto(t, 1, p.campos[6]);
    int64_t tercero = 0;
    if (c.fila(t)) {
        tercero = sqlite3_column_int64(t, 0);
        sqlite3_stmt* u =
            c.st("UPDATE Terceros SET Nombre = ?1, Direccion = ?2 WHERE IdTercero = ?3");
        Crudo::texto(u, 1, p.campos[4]);
        Crudo::texto(u, 2, p.campos[5]);
        sqlite3_bind_int64(u, 3, tercero);
        c.correr(u);
    } else {
        sqlite3_stmt* n = c.st(
            "INSERT INTO Terceros (IdDocumento, Nombre, representante, TipoDocumento, Persona, "
            "regimen, Direccion, Ciudad, Telefono1, Telefono2, Mail, Sangre, Comentarios, "
            "idCliente, FNacimiento, FRetiro, FIngreso) VALUES (?1, ?2, 'No Definido', 'No "
            "Definido', 'No definido', 'No Definido', ?3, 'No Definido', ?1, 'No Definifo', 'No "
            "Definido', '0', 'No Definido', '', '1899-12-30', '1899-12-30', '2026-12-07')");
        Crudo::texto(n, 1, p.campos[6]);
        Crudo::texto(n, 2, p.campos[4]);
        Crudo::texto(n, 3, p.campos[5]);
        c.correr(n);
        tercero = c.ultimoId();
    }
    sqlite3_stmt* ft = c.st("SELECT * FROM Terceros WHERE IdTercero = ?1");
    sqlite3_bind_int64(ft, 1, tercero);
    c.fila(ft);
    c.encolar(ft, 12, sitio, protocolo::kDestinoGeneral);
    sqlite3_stmt* suc = c.st("SELECT IDSYA FROM SUCYAGEN WHERE IDCLIENTE = ?1 AND IDSYA <> ?2");
    Crudo::texto(suc, 1, cliente);
    Crudo::texto(suc, 2, sitio.substr(cliente.size()));
    while (c.fila(suc)) c.encolar(ft, 12, sitio, cliente + Crudo::columna(suc, 0));

    sqlite3_stmt* m =
        c.st("SELECT IDMESA FROM COMANDAS WHERE ESTADO = 'Pendiente' AND TERCERO = ?1");
    Crudo::texto(m, 1, std::to_string(tercero));
    std::string mesa;
    if (c.fila(m)) {
        mesa = Crudo::columna(m, 0);
    } else {
        sqlite3_stmt* mx = c.st(
            "SELECT MAX(CAST(IDMESA AS INTEGER)) FROM COMANDAS WHERE CAST(IDMESA AS INTEGER) > "
            "2000 AND CAST(IDMESA AS INTEGER) < 3000");
        c.fila(mx);
        mesa = std::to_string(
            sqlite3_column_type(mx, 0) == SQLITE_NULL ? 2001 : sqlite3_column_int(mx, 0) + 1);
    }

    const double valor = cantidad * precio;
    sqlite3_stmt* l = c.st(
        "INSERT INTO COMANDAS (CodigoAB, idmesa, nombreproducto, cantidad, fecha, mesero, nick, "
        "estado, concepto, ok, despcoc, desp, tdc, tdm, negocio, tin, idproducto, hora, valor, "
        "detalle, imprCoc, ImprM, BImp, Impx, ImpVr, idFactura, Tercero, Detalle2) VALUES (?1, "
        "?2, ?3, ?4, '2026-12-07', 'Cliente Domicilios', 'Cliente Domicilios', 'Pendiente', "
        "'Ventas', '0', 'Y', 'X', 0, 0, ?5, 'O', 810, '13:30:00', ?6, ?7, ' ', 'C', ?8, ?9, 0, "
        "'0', ?10, '0')");
    Crudo::texto(l, 1, p.campos[1]);
    Crudo::texto(l, 2, mesa);
    Crudo::texto(l, 3, nombreProducto);
    sqlite3_bind_double(l, 4, cantidad);
    Crudo::texto(l, 5, negocio);
    sqlite3_bind_double(l, 6, valor);
    Crudo::texto(l, 7, p.campos[3]);
    sqlite3_bind_double(l, 8, valor);
    Crudo::texto(l, 9, std::to_string(impx));
    Crudo::texto(l, 10, std::to_string(tercero));
    c.correr(l);
    const int64_t idComanda = c.ultimoId();
    sqlite3_stmt* fl = c.st("SELECT * FROM COMANDAS WHERE idComanda = ?1");
    sqlite3_bind_int64(fl, 1, idComanda);
    c.fila(fl);
    c.encolar(fl, 6, sitio, protocolo::kDestinoGeneral);

    sqlite3_stmt* ip = c.st("SELECT Nombre, Costo FROM Insumos WHERE Codigo = ?1");
    Crudo::texto(ip, 1, p.campos[1]);
    c.fila(ip);
    const std::string insumoProducto = Crudo::columna(ip, 0);
    for (size_t k = 7; k <= 39 && !p.campos[k].empty(); ++k) {
        sqlite3_stmt* ia = c.st("SELECT Nombre, Costo FROM Insumos WHERE Codigo = ?1");
        Crudo::texto(ia, 1, p.campos[k]);
        c.fila(ia);
        sqlite3_stmt* a = c.st(
            "INSERT INTO ACOMPANAMIENTOS (IDCOMANDA, NOMBREPRODUCTO, CODPRODUCTO, ACOMPANAMIENTO, "
            "CODINSUMO, CANTIDAD, COSTO) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        sqlite3_bind_int64(a, 1, idComanda);
        Crudo::texto(a, 2, insumoProducto);
        sqlite3_bind_int(a, 3, std::atoi(p.campos[1].c_str()));
        Crudo::texto(a, 4, Crudo::columna(ia, 0));
        sqlite3_bind_int(a, 5, std::atoi(p.campos[k].c_str()));
        sqlite3_bind_double(a, 6, cantidad);
        sqlite3_bind_double(a, 7, sqlite3_column_double(ia, 1));
        c.correr(a);
        sqlite3_stmt* fa = c.st("SELECT * FROM ACOMPANAMIENTOS WHERE ID = ?1");
        sqlite3_bind_int64(fa, 1, c.ultimoId());
        c.fila(fa);
        c.encolar(fa, 10, sitio, protocolo::kDestinoGeneral);
    }
}

void BM_PedidosConDosAcompanamientosCrudos(benchmark::State& state) {
    BaseBanco base(true);
    prepararPedidos(base);
    comparaciones["delivery order lines"].crudo =
        porCorrida(state, crudoEnCadaIteracion(state, base, kPedidos, pedidoCrudo));
    state.SetItemsProcessed(state.iterations() * kPedidos);
}
BENCHMARK(BM_PedidosConDosAcompanamientosCrudos)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// Seconds per run, by the size of the target table.
std::map<int64_t, double> segundosPorTamano;

void BM_TablaDestinoGrande(benchmark::State& state) {
    BaseBanco base;
    // About state.range(0) rows in MovInv: one row, doubled until there.
    base.ejecutar(
        "INSERT INTO MovInv (CODIGO, Nombre, Cantidad, Costo, fecha, Concepto, SyA, NUMERORR) "
        "VALUES ('1001', 'HARINA', 1, 3200, '2026-11-02', 'Compra', '900100001', 'X-1')");
    for (int64_t filas = 1; filas < state.range(0); filas *= 2)
        base.ejecutar(
            "INSERT INTO MovInv (CODIGO, Nombre, Cantidad, Costo, fecha, Concepto, SyA, NUMERORR) "
            "SELECT CODIGO, Nombre, Cantidad, Costo, fecha, Concepto, SyA, NUMERORR FROM MovInv");
    base.recibir(kRegistrosEscala, 8, kColumnasMov, camposMov);
    const double total = aplicarEnCadaIteracion(state, base, 0);
    segundosPorTamano[state.range(0)] = total / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * kRegistrosEscala);
}
BENCHMARK(BM_TablaDestinoGrande)
    ->Arg(10)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (segundosPorTamano.count(10) && segundosPorTamano.count(1000000) &&
        segundosPorTamano[10] > 0)
        std::printf(
            "1,000 records into 1,000,000 rows vs 10 rows: time ratio %.2f (target <= 1.3)\n",
            segundosPorTamano[1000000] / segundosPorTamano[10]);
    if (pedidosPorSegundo > 0)
        std::printf(
            "Remote order lines with two side dishes applied: %.0f per second (target >= 500)\n",
            pedidosPorSegundo);
    for (const auto& [nombre, c] : comparaciones) {
        if (c.aplicacion > 0 && c.crudo > 0)
            std::printf(
                "Apply step vs raw prepared statements, %s: %.2fx (%.0f ms vs %.0f ms a "
                "run; target <= 1.5)\n",
                nombre.c_str(), c.aplicacion / c.crudo, c.aplicacion * 1000, c.crudo * 1000);
    }
    return 0;
}
