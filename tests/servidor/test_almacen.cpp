// The store itself, on each engine: what the operator sees, ids that are
// never given twice, and two stores (as two server processes) working on
// one database at the same time.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "Almacen.h"
#include "comun/Comunicacion.h"
#include "soporte/BaseCentralDePrueba.h"

namespace {

using servidor::Almacen;
using servidor::Entrega;

const std::string kCliente = "900123";
const std::string kA = "900123001", kB = "900123002";
const std::string kGeneral = comun::kDestinoGeneral;

servidor::RegistroEntrante registro(const std::string& id, const std::string& destino,
                                    const std::string& texto, const std::string& tabla = "6") {
    servidor::RegistroEntrante r;
    r.idOrigen = id;
    r.huella = "h" + id + "-" + destino + "-" + texto;
    r.destino = destino;
    r.general = destino == kGeneral;
    r.servicio = "2";
    r.tabla = tabla;
    r.funcion = "A";
    r.campos[0] = texto;
    return r;
}

servidor::Lote lote(const std::string& sitio, std::vector<servidor::RegistroEntrante> registros,
                    std::vector<int64_t> acuses = {}) {
    return {sitio, kCliente, std::move(registros), std::move(acuses), {}, {}};
}

std::vector<int64_t> ids(const std::vector<Entrega>& entregas) {
    std::vector<int64_t> salida;
    for (const auto& e : entregas) salida.push_back(e.id);
    return salida;
}

class AlmacenEnMotor : public ::testing::TestWithParam<std::string> {
  protected:
    std::unique_ptr<Almacen> abrir() { return servidor::abrirAlmacen(base_.base(), 4); }
    prueba::BaseCentralDePrueba base_{GetParam()};
};

TEST_P(AlmacenEnMotor, IdDeEntregaAcusadaNoSeVuelveAUsar) {
    auto almacen = abrir();
    almacen->entregar(kB, kCliente, 10, 100);
    almacen->guardarLote(lote(kA, {registro("1", kB, "uno")}), 100);
    auto primera = almacen->entregar(kB, kCliente, 10, 101);
    ASSERT_EQ(primera.size(), 1u);
    almacen->guardarLote(lote(kB, {}, ids(primera)), 102);
    EXPECT_TRUE(almacen->entregar(kB, kCliente, 10, 103).empty());

    // Reopened, as after a restart: the acknowledged id stays used, or the
    // site would take the next record for one it already has.
    almacen = abrir();
    almacen->guardarLote(lote(kA, {registro("2", kB, "dos")}), 104);
    auto segunda = almacen->entregar(kB, kCliente, 10, 105);
    ASSERT_EQ(segunda.size(), 1u);
    EXPECT_GT(segunda[0].id, primera[0].id);
    EXPECT_EQ(segunda[0].campos[0], "dos");
}

TEST_P(AlmacenEnMotor, EstadoPorClienteYSitio) {
    auto almacen = abrir();
    almacen->entregar(kB, kCliente, 10, 1000);
    auto conApartado = lote(kA, {registro("1", kB, "uno"), registro("2", "555000009", "x")});
    conApartado.apartados.push_back({"3", "Origen 1 no es " + kA, "{}"});
    almacen->guardarLote(conApartado, 1010);
    almacen->guardarLote(lote(kA, {registro("4", kB, "cuatro")}), 1050);
    almacen->entregar("777000001", "777000", 10, 1060);

    auto filas = almacen->estado();
    ASSERT_EQ(filas.size(), 4u);
    // By client, then site; a destination that never asked has no client.
    EXPECT_EQ(filas[0].sitio, "555000009");
    EXPECT_EQ(filas[0].cliente, "");
    EXPECT_EQ(filas[0].pendientes, 1);
    EXPECT_EQ(filas[0].ultimaPeticion, 0);
    EXPECT_EQ(filas[1].sitio, "777000001");
    EXPECT_EQ(filas[1].pendientes, 0);
    EXPECT_EQ(filas[2].sitio, kA);
    EXPECT_EQ(filas[2].apartados, 1);
    EXPECT_EQ(filas[2].ultimaPeticion, 1050);
    EXPECT_EQ(filas[3].sitio, kB);
    EXPECT_EQ(filas[3].pendientes, 2);
    EXPECT_EQ(filas[3].masAntiguo, 1010);
    EXPECT_EQ(filas[3].ultimaPeticion, 1000);

    std::string informe = servidor::informeEstado(filas, 1010 + 3 * 3600 + 120);
    EXPECT_NE(informe.find("3 h 2 min"), std::string::npos) << informe;
    EXPECT_NE(informe.find("nunca"), std::string::npos) << informe;
    EXPECT_NE(informe.find("4 sitios, 3 registros pendientes"), std::string::npos) << informe;

    // The record kept aside is listed whole, by its poster.
    auto apartados = almacen->apartados("", 10);
    ASSERT_EQ(apartados.size(), 1u);
    EXPECT_EQ(apartados[0].sitio, kA);
    EXPECT_EQ(apartados[0].apartado.idOrigen, "3");
    EXPECT_EQ(apartados[0].recibido, 1010);
    EXPECT_EQ(almacen->apartados(kA, 10).size(), 1u);
    EXPECT_TRUE(almacen->apartados(kB, 10).empty());
    const std::string lista = servidor::informeApartados(apartados);
    EXPECT_NE(lista.find(kA + "  "), std::string::npos) << lista;
    EXPECT_NE(lista.find("fila 3: Origen 1 no es " + kA + "\n    {}\n"), std::string::npos)
        << lista;
    EXPECT_NE(lista.find("1 registros apartados"), std::string::npos) << lista;
}

// A store restored from a backup forgets the ids it gave since. The sites
// hold them and take a record under a known id for one they have, so the
// restored store must give ids above every id it ever gave.
TEST_P(AlmacenEnMotor, TrasRestaurarUnaCopiaLosIdsNoSeRepiten) {
    auto almacen = abrir();
    almacen->entregar(kB, kCliente, 10, 100);
    almacen->guardarLote(lote(kA, {registro("1", kB, "antes de la copia")}), 100);
    const auto antes = almacen->entregar(kB, kCliente, 10, 100);
    ASSERT_EQ(antes.size(), 1u);
    almacen->guardarLote(lote(kB, {}, ids(antes)), 101);
    const std::string copia = std::to_string(antes[0].id);

    std::vector<servidor::RegistroEntrante> despues;
    for (int i = 2; i <= 6; ++i) despues.push_back(registro(std::to_string(i), kB, "despues"));
    almacen->guardarLote(lote(kA, despues), 102);
    const auto dadas = almacen->entregar(kB, kCliente, 10, 102);
    ASSERT_EQ(dadas.size(), 5u);
    almacen->guardarLote(lote(kB, {}, ids(dadas)), 103);

    // The restore of a copy taken two seconds ago: what came after it is
    // gone, and the counter is back where it stood then (the last id given
    // before the copy, which a store that follows the clock keeps below the
    // clock of that moment, in microseconds).
    almacen.reset();
    const std::string contador = std::to_string(
        std::min(antes[0].id, std::chrono::duration_cast<std::chrono::microseconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                      .count() -
                                  2000000));
    base_.ejecutar(
        "DELETE FROM entregas WHERE id > " + copia +
        "; DELETE FROM registros WHERE id NOT IN (SELECT registro FROM entregas); " +
        (GetParam() == "sqlite"
             ? "UPDATE sqlite_sequence SET seq = " + contador + " WHERE name = 'entregas'"
             : "SELECT setval(pg_get_serial_sequence('entregas', 'id'), " + contador + ")"));
    almacen = abrir();
    std::vector<servidor::RegistroEntrante> nuevos;
    for (int i = 7; i <= 11; ++i) nuevos.push_back(registro(std::to_string(i), kB, "nuevo"));
    almacen->guardarLote(lote(kA, nuevos), 200);
    const auto tras = almacen->entregar(kB, kCliente, 10, 200);
    ASSERT_EQ(tras.size(), 5u);
    for (const auto& e : tras) {
        EXPECT_GT(e.id, dadas.back().id);
        EXPECT_LT(e.id, int64_t{10000000000000000});  // 16 digits at most, for a long while
    }

    // A site that acknowledges an id the store never gave (its clock went
    // back) moves the counter past it.
    const int64_t ajeno = tras.back().id + 50000000;
    std::vector<int64_t> acuses = ids(tras);
    acuses.push_back(ajeno);
    EXPECT_GT(almacen->guardarLote(lote(kB, {}, acuses), 201).idsDesde, ajeno);
    almacen->guardarLote(lote(kA, {registro("12", kB, "otro")}), 202);
    const auto luego = almacen->entregar(kB, kCliente, 10, 202);
    ASSERT_EQ(luego.size(), 1u);
    EXPECT_GT(luego[0].id, ajeno);
}

// A site that restored a backup lost what it acknowledged since. The store
// keeps what each site acknowledged, with its id, so the operator can offer
// it again from a moment on; the site keeps each id once.
TEST_P(AlmacenEnMotor, ReenviarOfreceDeNuevoLoAcusadoDesdeUnMomento) {
    auto almacen = abrir();
    almacen->entregar(kB, kCliente, 10, 100);
    almacen->guardarLote(lote(kA, {registro("1", kB, "uno"), registro("2", kGeneral, "dos")}), 100);
    const auto primeras = almacen->entregar(kB, kCliente, 10, 100);
    ASSERT_EQ(primeras.size(), 2u);
    almacen->guardarLote(lote(kB, {}, ids(primeras)), 200);
    almacen->guardarLote(lote(kA, {registro("3", kB, "tres")}), 300);
    const auto tercera = almacen->entregar(kB, kCliente, 10, 300);
    ASSERT_EQ(tercera.size(), 1u);
    almacen->guardarLote(lote(kB, {}, ids(tercera)), 400);
    almacen->guardarLote(lote(kA, {registro("4", kB, "cuatro")}), 500);

    EXPECT_EQ(almacen->reenviar(kB, 300), 1);
    auto otraVez = almacen->entregar(kB, kCliente, 10, 600);
    ASSERT_EQ(otraVez.size(), 2u);
    EXPECT_EQ(otraVez[0].id, tercera[0].id);
    EXPECT_EQ(otraVez[0].campos[0], "tres");
    EXPECT_EQ(otraVez[1].campos[0], "cuatro");
    EXPECT_EQ(almacen->reenviar(kB, 100), 2);
    EXPECT_EQ(almacen->entregar(kB, kCliente, 10, 700).size(), 4u);
    EXPECT_EQ(almacen->reenviar(kA, 100), 0);
}

// The sign of a site that restored a backup: a row id it used before, with
// other content. The store notes it once, for estado, until reenviar.
TEST_P(AlmacenEnMotor, FilasQueVuelvenAtrasSeAvisanHastaReenviar) {
    auto almacen = abrir();
    almacen->guardarLote(lote(kA, {registro("7", kB, "x"), registro("8", kB, "y")}), 1000);
    EXPECT_EQ(almacen->guardarLote(lote(kA, {registro("7", kB, "x")}), 1100).filaRepetida, "");
    const auto r =
        almacen->guardarLote(lote(kA, {registro("8", kB, "otra"), registro("7", kB, "z")}), 2000);
    EXPECT_EQ(r.nuevos, 2);
    EXPECT_EQ(r.filaRepetida, "7");
    EXPECT_EQ(r.copiaAntesDe, 1000);

    auto fila = [&] {
        for (const auto& f : almacen->estado())
            if (f.sitio == kA) return f;
        return servidor::EstadoSitio{};
    };
    EXPECT_EQ(fila().retroceso, 2000);
    EXPECT_EQ(fila().filaRetroceso, "7");
    const std::string informe = servidor::informeEstado(almacen->estado(), 2000, "central.db");
    EXPECT_NE(informe.find("sincronizador-servidor reenviar --base central.db --sitio " + kA +
                           " --desde"),
              std::string::npos)
        << informe;
    almacen->reenviar(kA, 1000);
    EXPECT_EQ(fila().retroceso, 0);
    EXPECT_EQ(servidor::informeEstado(almacen->estado(), 2000, "central.db").find("reenviar"),
              std::string::npos);
}

// A store made by the previous version (acknowledged deliveries deleted,
// nothing known of row ids going back) is brought up to date on opening,
// and what it held is still delivered.
TEST_P(AlmacenEnMotor, UnaBaseDeLaVersionAnteriorSeActualizaSinPerderNada) {
    auto almacen = abrir();
    almacen->entregar(kB, kCliente, 10, 100);
    almacen->guardarLote(lote(kA, {registro("1", kB, "de antes")}), 100);
    almacen.reset();
    base_.ejecutar(
        "DROP INDEX entregasPorSitioYAcuse; ALTER TABLE entregas DROP COLUMN acusada; "
        "ALTER TABLE sitios DROP COLUMN retroceso; ALTER TABLE sitios DROP COLUMN filaRetroceso; "
        "ALTER TABLE sitios DROP COLUMN copiaAntesDe; "
        "CREATE INDEX entregasPorSitio ON entregas (sitio, registro); "
        "UPDATE esquema SET version = 2");
    almacen = abrir();
    const auto entregas = almacen->entregar(kB, kCliente, 10, 200);
    ASSERT_EQ(entregas.size(), 1u);
    EXPECT_EQ(entregas[0].campos[0], "de antes");
    almacen->guardarLote(lote(kB, {}, ids(entregas)), 201);
    EXPECT_TRUE(almacen->entregar(kB, kCliente, 10, 202).empty());
    EXPECT_EQ(almacen->reenviar(kB, 201), 1);
}

// Two stores on one database, as two server processes: one posts general
// records while new sites of the same client make their first visits
// through the other. Each new site must end up with every record exactly
// once, whichever came first.
TEST_P(AlmacenEnMotor, SitiosNuevosYRegistrosGeneralesAlMismoTiempo) {
    auto uno = abrir();
    auto otro = abrir();
    constexpr int kLotes = 40, kPorLote = 5, kSitios = 12;
    std::thread publicar([&] {
        for (int l = 0; l < kLotes; ++l) {
            std::vector<servidor::RegistroEntrante> registros;
            for (int i = 0; i < kPorLote; ++i) {
                std::string id = std::to_string(l * kPorLote + i);
                registros.push_back(registro(id, kGeneral, id));
            }
            uno->guardarLote(lote(kA, registros), 1);
        }
    });
    std::vector<std::thread> visitas;
    for (int h = 0; h < 2; ++h)
        visitas.emplace_back([&, h] {
            for (int s = h; s < kSitios; s += 2)
                otro->entregar(kCliente + std::to_string(100 + s), kCliente, 1, 1);
        });
    publicar.join();
    for (auto& v : visitas) v.join();

    for (int s = 0; s < kSitios; ++s) {
        const std::string sitio = kCliente + std::to_string(100 + s);
        std::map<std::string, int> vistos;
        for (int vuelta = 0; vuelta < 100; ++vuelta) {
            auto entregas = otro->entregar(sitio, kCliente, 37, 2);
            if (entregas.empty()) break;
            for (const auto& e : entregas) ++vistos[e.campos[0]];
            otro->guardarLote(lote(sitio, {}, ids(entregas)), 2);
        }
        ASSERT_EQ(vistos.size(), static_cast<size_t>(kLotes * kPorLote)) << sitio;
        for (const auto& [texto, veces] : vistos) ASSERT_EQ(veces, 1) << sitio << " " << texto;
    }
}

// Requests of one site through two stores at the same time: no answer
// holds a record twice, and every record arrives.
TEST_P(AlmacenEnMotor, PeticionesSimultaneasDeUnSitio) {
    auto uno = abrir();
    auto otro = abrir();
    uno->entregar(kB, kCliente, 1, 1);
    std::vector<servidor::RegistroEntrante> registros;
    for (int i = 0; i < 300; ++i) registros.push_back(registro(std::to_string(i), kB, "r"));
    uno->guardarLote(lote(kA, registros), 1);

    std::mutex cerrojo;
    std::set<int64_t> recibidos;
    std::atomic<int> repetidosEnUnaRespuesta{0};
    auto sitio = [&](Almacen& almacen) {
        for (int vuelta = 0; vuelta < 200; ++vuelta) {
            auto entregas = almacen.entregar(kB, kCliente, 25, 2);
            if (entregas.empty()) return;
            auto lista = ids(entregas);
            if (std::set<int64_t>(lista.begin(), lista.end()).size() != lista.size())
                ++repetidosEnUnaRespuesta;
            {
                std::lock_guard<std::mutex> guarda(cerrojo);
                recibidos.insert(lista.begin(), lista.end());
            }
            almacen.guardarLote(lote(kB, {}, lista), 2);
        }
    };
    std::thread a(sitio, std::ref(*uno)), b(sitio, std::ref(*otro));
    a.join();
    b.join();
    EXPECT_EQ(repetidosEnUnaRespuesta, 0);
    EXPECT_EQ(recibidos.size(), 300u);
    EXPECT_TRUE(uno->entregar(kB, kCliente, 10, 3).empty());
}

// Many batches through one store at once (on SQLite they are committed in
// groups): each is stored whole, once, and answered with its own counts.
TEST_P(AlmacenEnMotor, MuchosLotesAlMismoTiempo) {
    auto almacen = abrir();
    almacen->entregar(kB, kCliente, 1, 1);
    std::atomic<int> nuevos{0}, repetidos{0};
    std::vector<std::thread> hilos;
    for (int h = 0; h < 8; ++h)
        hilos.emplace_back([&, h] {
            for (int l = 0; l < 25; ++l) {
                std::vector<servidor::RegistroEntrante> registros;
                for (int i = 0; i < 4; ++i)
                    registros.push_back(registro(std::to_string((h * 25 + l) * 4 + i), kB, "x"));
                // Every batch twice: the second is all repeats.
                for (int vez = 0; vez < 2; ++vez) {
                    auto r = almacen->guardarLote(lote(kA, registros), 1);
                    nuevos += r.nuevos;
                    repetidos += r.repetidos;
                }
            }
        });
    for (auto& h : hilos) h.join();
    EXPECT_EQ(nuevos, 800);
    EXPECT_EQ(repetidos, 800);
    std::set<int64_t> recibidos;
    for (int vuelta = 0; vuelta < 10; ++vuelta) {
        auto entregas = almacen->entregar(kB, kCliente, 500, 2);
        if (entregas.empty()) break;
        for (auto id : ids(entregas)) EXPECT_TRUE(recibidos.insert(id).second);
        almacen->guardarLote(lote(kB, {}, ids(entregas)), 2);
    }
    EXPECT_EQ(recibidos.size(), 800u);
}

INSTANTIATE_TEST_SUITE_P(Motores, AlmacenEnMotor, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

}  // namespace
