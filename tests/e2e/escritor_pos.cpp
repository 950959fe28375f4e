// A stand-in for the site's point of sale, for the tests: another program
// writing the site database while the synchronizer runs, the way a busy till
// does. For a given time it writes order lines and stock movements, each
// with the record it queues for the client's other sites, some as single
// statements and some inside a transaction, with the collation loaded from
// the shipped extension. Then it prints what it wrote:
//   comandas=N movimientos=N fallos=N
// and each failure on its own line before that.
//
//   escritor_pos BASE EXTENSION SITIO MILISEGUNDOS
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <random>
#include <string>
#include <thread>

namespace {

constexpr const char* kGeneral = "000000000000000";

class Escritor {
  public:
    Escritor(sqlite3* db, std::string sitio) : db_(db), sitio_(std::move(sitio)) {}

    // One order line and its queued record; false when a statement failed.
    bool comanda(int n, bool enTransaccion) {
        const std::string clave = "POS-C" + std::to_string(n);
        return grupo(enTransaccion,
                     {"INSERT INTO COMANDAS (CodigoAB, idmesa, nombreproducto, cantidad, fecha, "
                      "hora, mesero, estado, concepto, valor, ImprM) VALUES ('2003', '5', '" +
                          clave +
                          "', 1, '2026-12-07', '12:00:00', 'Caja', 'Pendiente', 'Ventas', 3500, "
                          "'C')",
                      cola(6, clave)});
    }

    // One stock movement and its queued record.
    bool movimiento(int n, bool enTransaccion) {
        const std::string clave = "POS-M" + std::to_string(n);
        return grupo(enTransaccion,
                     {"INSERT INTO MovInvHoy (CODIGO, Nombre, medida, Cantidad, Costo, fecha, "
                      "Hora, Concepto, SyA, NUMERORR) VALUES ('1005', 'PAPA', 'Kilo', -1, 2500, "
                      "'2026-12-07', '12:00:00', 'Consumo', '" +
                          sitio_ + "', '" + clave + "')",
                      cola(16, clave)});
    }

    int fallos() const { return fallos_; }

  private:
    // The queued record: its key in Campo1, as a query finds it.
    std::string cola(int tabla, const std::string& clave) const {
        return "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Campo1) "
               "VALUES (2, " +
               std::to_string(tabla) + ", '" + sitio_ + "', '" + kGeneral + "', 'A', '" + clave +
               "')";
    }

    bool grupo(bool enTransaccion, std::initializer_list<std::string> sentencias) {
        if (enTransaccion && !ejecutar("BEGIN IMMEDIATE")) return false;
        for (const std::string& s : sentencias) {
            if (!ejecutar(s)) {
                if (enTransaccion) ejecutar("ROLLBACK");
                return false;
            }
        }
        return !enTransaccion || ejecutar("COMMIT");
    }

    bool ejecutar(const std::string& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return true;
        std::cout << "fallo: " << (error ? error : "?") << " en " << sql.substr(0, 60) << "\n";
        sqlite3_free(error);
        ++fallos_;
        return false;
    }

    sqlite3* db_;
    std::string sitio_;
    int fallos_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: escritor_pos BASE EXTENSION SITIO MILISEGUNDOS\n";
        return 2;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::cerr << "cannot open " << argv[1] << ": " << sqlite3_errmsg(db) << "\n";
        return 1;
    }
    // As any program sharing the file should: wait for a lock rather than
    // fail at once.
    sqlite3_busy_timeout(db, 5000);
    sqlite3_enable_load_extension(db, 1);
    char* error = nullptr;
    if (sqlite3_load_extension(db, argv[2], nullptr, &error) != SQLITE_OK) {
        std::cerr << "cannot load " << argv[2] << ": " << (error ? error : "?") << "\n";
        return 1;
    }

    Escritor escritor(db, argv[3]);
    std::mt19937 azar(7);
    const auto fin =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::stol(argv[4]));
    int comandas = 0, movimientos = 0;
    for (int n = 0; std::chrono::steady_clock::now() < fin; ++n) {
        const bool enTransaccion = n % 2 == 0;
        if (escritor.comanda(n, enTransaccion)) ++comandas;
        if (escritor.movimiento(n, !enTransaccion)) ++movimientos;
        std::this_thread::sleep_for(std::chrono::milliseconds(azar() % 4));
    }
    std::cout << "comandas=" << comandas << " movimientos=" << movimientos
              << " fallos=" << escritor.fallos() << std::endl;
    sqlite3_close(db);
    return escritor.fallos() == 0 ? 0 : 1;
}
