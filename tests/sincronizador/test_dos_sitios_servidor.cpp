// What the server must get right for two sites to stay in step, in the
// two-site tier: ids near the 64-bit maximum, destinations that are not the
// client's, a server store restored from a backup, a site restored from a
// backup. In each case no record is lost, none is applied twice, and
// nothing is left waiting at the server.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "Operador.h"
#include "soporte/DosSitios.h"

namespace {

using namespace prueba;
namespace fs = std::filesystem;

// A copy of a closed SQLite database, as a backup takes it or puts it back:
// the file and any write-ahead log left beside it.
void copiarBase(const std::string& desde, const std::string& hasta) {
    for (const std::string sufijo : {"", "-wal", "-shm"}) {
        fs::remove(hasta + sufijo);
        if (sufijo != "-shm" && fs::exists(desde + sufijo))
            fs::copy_file(desde + sufijo, hasta + sufijo);
    }
}

class ServidorDeDosSitios : public ::testing::Test {
  protected:
    // Records the server still holds for `sitio`.
    int64_t pendientes(const std::string& sitio) {
        for (const auto& fila : s.central.almacen().estado())
            if (fila.sitio == sitio) return fila.pendientes;
        return 0;
    }
    std::string contar(SitioEnProceso& sitio, const std::string& sql) {
        return sitio.valor("SELECT COUNT(*) FROM " + sql);
    }
    ~ServidorDeDosSitios() override {
        for (const char* sufijo : {"", "-wal"}) fs::remove(copia_ + sufijo);
    }
    DosSitios s;
    // Where a test keeps its backup.
    const std::string copia_ =
        (fs::temp_directory_path() / ("sinc-copia-" + std::to_string(getpid()) + ".db")).string();
};

// With the store's ids near the 64-bit maximum, B gets 19-digit ids,
// applies each record once and acknowledges it; the server stops offering
// them, and a record posted afterwards still arrives.
TEST_F(ServidorDeDosSitios, IdsDeDiecinueveCifrasSeAcusanYLoQueSigueLlega) {
    s.b.pasadas(1);
    s.central.ejecutarEnAlmacen(
        "DELETE FROM sqlite_sequence WHERE name = 'entregas'; "
        "INSERT INTO sqlite_sequence (name, seq) VALUES ('entregas', 9223372036854775000)");
    s.a.escribirProducto("ID19-1", "Pan de bono");
    s.a.escribirMensaje("Mensaje con id largo");
    s.a.pasadas(1);
    s.b.pasadas(3);

    const Filas ids = s.b.consultar("SELECT Campo40 FROM COMUNICACIONES WHERE Destino = '" +
                                    s.b.codigo() + "' ORDER BY Id");
    ASSERT_EQ(ids.size(), 2u);
    for (const auto& fila : ids) EXPECT_EQ(fila[0].size(), 19u) << fila[0];
    EXPECT_EQ(pendientes(s.b.codigo()), 0);

    s.a.escribirProducto("ID19-2", "Almojabana");
    s.a.pasadas(1);
    s.b.pasadas(2);
    EXPECT_EQ(s.filas("SELECT CodigoAB FROM PRODUCTOS WHERE CodigoAB LIKE 'ID19*' ORDER BY 1"),
              (FilasDeAmbos{{{"ID19-1"}, {"ID19-2"}}, {{"ID19-1"}, {"ID19-2"}}}));
    EXPECT_EQ(contar(s.b, "MENSAJE WHERE mensaje = 'Mensaje con id largo'"), "1");
    EXPECT_EQ(
        contar(s.b, "COMUNICACIONES WHERE Funcion <> 'X' AND Destino = '" + s.b.codigo() + "'"),
        "0");
    EXPECT_EQ(pendientes(s.b.codigo()), 0);
}

// A's records to another client's site, to no site, to its bare client
// code and to the general code with a trailing blank leave A's queue (the
// server acknowledges them), reach nobody, and are listed for the operator
// with the reason; the record to B beside them arrives.
TEST_F(ServidorDeDosSitios, DestinosAjenosYExtranosSeApartanYElBuenoLlega) {
    const std::string ajeno = "900600001";
    s.b.pasadas(1);
    s.central.central().atenderSincronizador("r=servicio/getData&idSyA=" + ajeno);
    for (const std::string& destino : {ajeno, std::string(), std::string("900100"),
                                       std::string("000000000000000 "), s.b.codigo()})
        s.a.ejecutar(
            "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, "
            "Campo1, Campo2, Campo3, Campo4) VALUES (2, 14, '" +
            s.a.codigo() + "', '" + destino + "', 'A', False, 'Para [" + destino +
            "]', 'CHAT', 'LOCAL', '1')");
    s.a.pasadas(2);
    s.b.pasadas(2);

    EXPECT_EQ(contar(s.a, "COMUNICACIONES WHERE Enviado = False"), "0") << s.a.consola.todo;
    EXPECT_EQ(s.b.consultar("SELECT mensaje FROM MENSAJE WHERE mensaje LIKE 'Para*'"),
              (Filas{{"Para [" + s.b.codigo() + "]"}}));
    const auto apartados = s.central.almacen().apartados(s.a.codigo(), 10);
    ASSERT_EQ(apartados.size(), 4u);
    EXPECT_NE(apartados[0].apartado.motivo.find(ajeno), std::string::npos);
    EXPECT_NE(apartados[3].apartado.registro.find("000000000000000 "), std::string::npos);
    for (const auto& fila : s.central.almacen().estado()) {
        EXPECT_EQ(fila.pendientes, 0) << fila.sitio;
        if (fila.sitio == s.a.codigo()) {
            EXPECT_EQ(fila.apartados, 4);
        }
    }
}

// The server's store restored from a backup forgets the ids it gave since,
// which B holds; the records posted after the restore must still reach B
// (a store that gave those ids again lost all five).
TEST_F(ServidorDeDosSitios, AlmacenRestauradoDeUnaCopiaNoPierdeLoNuevo) {
    s.a.escribirProducto("RES-1", "Antes de la copia");
    s.a.pasadas(1);
    s.b.pasadas(2);
    s.central.reabrir([&](const std::string& archivo) { copiarBase(archivo, copia_); });
    for (int i = 1; i <= 5; ++i) s.a.escribirMensaje("Despues de la copia " + std::to_string(i));
    s.a.pasadas(1);
    s.b.pasadas(2);
    s.central.reabrir([&](const std::string& archivo) { copiarBase(copia_, archivo); });
    for (int i = 1; i <= 5; ++i) s.a.escribirMensaje("Tras restaurar " + std::to_string(i));
    s.a.pasadas(1);
    s.b.pasadas(2);

    EXPECT_EQ(contar(s.b, "MENSAJE WHERE mensaje LIKE 'Tras restaurar*'"), "5");
    EXPECT_EQ(contar(s.b, "MENSAJE WHERE mensaje LIKE 'Despues de la copia*'"), "5");
    EXPECT_EQ(contar(s.b, "PRODUCTOS WHERE CodigoAB = 'RES-1'"), "1");
    EXPECT_EQ(
        contar(s.b, "COMUNICACIONES WHERE Funcion <> 'X' AND Destino = '" + s.b.codigo() + "'"),
        "0");
    EXPECT_EQ(pendientes(s.b.codigo()), 0);
}

// B restored from a backup lost what it received since. It then posts
// under row ids it used before (its point of sale wrote after the backup),
// which the server reports with the command to run; reenviar from the moment of the backup offers B
// everything again under the same ids, and B applies what it lacked, and nothing twice.
TEST_F(ServidorDeDosSitios, SitioRestauradoRecuperaLoPerdidoConReenviar) {
    s.a.escribirProducto("SRE-1", "Antes de la copia");
    s.a.escribirMensaje("Mensaje antes de la copia");
    s.a.pasadas(1);
    s.b.pasadas(2);
    const int64_t momento = servidor::ahora();
    copiarBase(s.b.base.ruta(), copia_);
    s.b.escribirMensaje("Mensaje de B despues de la copia");
    s.a.escribirProducto("SRE-2", "Despues de la copia");
    s.a.escribirMensaje("Mensaje despues de la copia");
    s.a.pasadas(1);
    s.b.pasadas(2);
    copiarBase(copia_, s.b.base.ruta());
    ASSERT_EQ(contar(s.b, "PRODUCTOS WHERE CodigoAB = 'SRE-2'"), "0");

    s.b.escribirMensaje("Mensaje de B tras restaurar");
    s.b.pasadas(1);
    EXPECT_NE(s.central.bitacora().find("el sitio volvio a usar la fila"), std::string::npos)
        << s.central.bitacora();
    EXPECT_NE(s.central.bitacora().find("reenviar --base BASE --sitio " + s.b.codigo()),
              std::string::npos);
    auto informe = [&] {
        return servidor::informeEstado(s.central.almacen().estado(), servidor::ahora(),
                                       "central.db");
    };
    EXPECT_NE(informe().find("reenviar --base central.db --sitio " + s.b.codigo()),
              std::string::npos)
        << informe();

    EXPECT_GE(s.central.almacen().reenviar(s.b.codigo(), momento), 2);
    s.b.pasadas(2);
    s.a.pasadas(2);
    EXPECT_EQ(s.filas("SELECT CodigoAB FROM PRODUCTOS WHERE CodigoAB LIKE 'SRE*' ORDER BY 1"),
              (FilasDeAmbos{{{"SRE-1"}, {"SRE-2"}}, {{"SRE-1"}, {"SRE-2"}}}));
    EXPECT_EQ(s.b.consultar("SELECT mensaje FROM MENSAJE WHERE origen = 'LOCAL' AND destino = "
                            "'CHAT' ORDER BY 1"),
              (Filas{{"Mensaje antes de la copia"}, {"Mensaje despues de la copia"}}));
    EXPECT_EQ(contar(s.a, "MENSAJE WHERE mensaje = 'Mensaje de B tras restaurar'"), "1");
    EXPECT_EQ(contar(s.a, "MENSAJE WHERE mensaje = 'Mensaje de B despues de la copia'"), "1");
    EXPECT_EQ(pendientes(s.a.codigo()), 0);
    EXPECT_EQ(pendientes(s.b.codigo()), 0);
    EXPECT_EQ(informe().find("reenviar"), std::string::npos) << informe();
}

}  // namespace
