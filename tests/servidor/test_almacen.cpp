// The store itself, on each kind of database: what the operator sees, ids that are
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
#include "Central.h"
#include "ConexionSQL.h"
#include "Operador.h"
#include "protocolo/Comunicacion.h"
#include "soporte/BaseCentralDePrueba.h"

namespace {

using servidor::Almacen;
using servidor::Entrega;

const std::string kCliente = "900123";
const std::string kA = "900123001", kB = "900123002";
const std::string kGeneral = protocolo::kDestinoGeneral;

servidor::RegistroEntrante registro(const std::string& id, const std::string& destino,
                                    const std::string& texto, const std::string& tabla = "6") {
    servidor::RegistroEntrante r;
    r.registro.id = id;
    r.huella = "h" + id + "-" + destino + "-" + texto;
    r.registro.destino = destino;
    r.general = destino == kGeneral;
    r.registro.servicio = "2";
    r.registro.tabla = tabla;
    r.registro.funcion = "A";
    r.registro.campo(1) = texto;
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

using servidor::TipoBase;

class AlmacenEnBase : public ::testing::TestWithParam<TipoBase> {
  protected:
    std::unique_ptr<Almacen> abrir() { return servidor::abrirAlmacen(base_.base(), 4); }
    prueba::BaseCentralDePrueba base_{GetParam()};
};

TEST_P(AlmacenEnBase, IdDeEntregaAcusadaNoSeVuelveAUsar) {
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
    EXPECT_EQ(segunda[0].registro.campo(1), "dos");
}

TEST_P(AlmacenEnBase, EstadoPorClienteYSitio) {
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
TEST_P(AlmacenEnBase, TrasRestaurarUnaCopiaLosIdsNoSeRepiten) {
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
        (GetParam() == TipoBase::SQLite
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
TEST_P(AlmacenEnBase, ReenviarOfreceDeNuevoLoAcusadoDesdeUnMomento) {
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
    EXPECT_EQ(otraVez[0].registro.campo(1), "tres");
    EXPECT_EQ(otraVez[1].registro.campo(1), "cuatro");
    EXPECT_EQ(almacen->reenviar(kB, 100), 2);
    EXPECT_EQ(almacen->entregar(kB, kCliente, 10, 700).size(), 4u);
    EXPECT_EQ(almacen->reenviar(kA, 100), 0);
}

// The sign of a site that restored a backup: a row id it used before, with
// other content. The store notes it once, for estado, until reenviar.
TEST_P(AlmacenEnBase, FilasQueVuelvenAtrasSeAvisanHastaReenviar) {
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

    // The row ids travel to the database as one list: whatever they hold,
    // the list keeps them apart and whole.
    const std::string rara = "9\",\\}{'\t";
    almacen->guardarLote(lote(kB, {registro(rara, kA, "x"), registro("9", kA, "y")}), 3000);
    EXPECT_EQ(almacen->guardarLote(lote(kB, {registro(rara, kA, "otra")}), 3100).filaRepetida,
              rara);
}

// A store made by an earlier version is brought up to date on opening,
// and what it held is still delivered. Layout 2 deleted acknowledged
// deliveries and knew nothing of row ids going back; layout 3 had no
// register, so every site it knew stays registered: an upgrade shuts no
// site out when the register is closed.
TEST_P(AlmacenEnBase, UnaBaseDeUnaVersionAnteriorSeActualizaSinPerderNada) {
    for (const int version : {2, 3}) {
        SCOPED_TRACE("layout " + std::to_string(version));
        prueba::BaseCentralDePrueba base(GetParam());
        auto almacen = servidor::abrirAlmacen(base.base(), 4);
        almacen->entregar(kB, kCliente, 10, 100);
        almacen->guardarLote(lote(kA, {registro("1", kB, "de antes")}), 100);
        almacen.reset();
        std::string anterior =
            "ALTER TABLE esquema DROP COLUMN cambiosSitios; "
            "ALTER TABLE sitios DROP COLUMN alta; ALTER TABLE sitios DROP COLUMN porOperador; "
            "UPDATE esquema SET version = 3; ";
        if (version == 2)
            anterior +=
                "DROP INDEX entregasPorSitioYAcuse; ALTER TABLE entregas DROP COLUMN acusada; "
                "ALTER TABLE sitios DROP COLUMN retroceso; "
                "ALTER TABLE sitios DROP COLUMN filaRetroceso; "
                "ALTER TABLE sitios DROP COLUMN copiaAntesDe; "
                "CREATE INDEX entregasPorSitio ON entregas (sitio, registro); "
                "UPDATE esquema SET version = 2";
        base.ejecutar(anterior);
        almacen = servidor::abrirAlmacen(base.base(), 4);
        almacen->registroAbierto(false);
        const auto entregas = almacen->entregar(kB, kCliente, 10, 200);
        ASSERT_EQ(entregas.size(), 1u);
        EXPECT_EQ(entregas[0].registro.campo(1), "de antes");
        almacen->guardarLote(lote(kB, {}, ids(entregas)), 201);
        EXPECT_TRUE(almacen->entregar(kB, kCliente, 10, 202).empty());
        EXPECT_EQ(almacen->reenviar(kB, 201), 1);
        const auto sitios = almacen->sitios("");
        ASSERT_EQ(sitios.size(), 2u);
        EXPECT_EQ(sitios[0].sitio, kA);
        EXPECT_EQ(sitios[0].alta, 100);
        EXPECT_FALSE(sitios[0].porOperador);
        EXPECT_THROW(almacen->entregar("900123003", kCliente, 10, 203),
                     servidor::SitioNoRegistrado);
    }
}

// With the register closed, a site the operator did not register changes
// nothing: its batch is not stored, it is owed nothing, it is not made
// known. Registered, it is served and owed the general records posted
// before; taken off, it is refused again and what waits for it is kept
// for when it comes back.
TEST_P(AlmacenEnBase, ElRegistroCerradoSoloAtiendeALosSitiosRegistrados) {
    auto almacen = abrir();
    almacen->registroAbierto(false);
    EXPECT_THROW(almacen->guardarLote(lote(kA, {registro("1", kGeneral, "intruso")}), 10),
                 servidor::SitioNoRegistrado);
    EXPECT_THROW(almacen->entregar(kB, kCliente, 10, 10), servidor::SitioNoRegistrado);
    EXPECT_TRUE(almacen->estado().empty());
    EXPECT_TRUE(almacen->sitios("").empty());

    EXPECT_TRUE(almacen->agregarSitio(kA, kCliente, 20));
    EXPECT_FALSE(almacen->agregarSitio(kA, kCliente, 21));
    almacen->guardarLote(lote(kA, {registro("1", kGeneral, "antes de B")}), 30);
    EXPECT_TRUE(almacen->agregarSitio(kB, kCliente, 40));
    auto entregas = almacen->entregar(kB, kCliente, 10, 50);
    ASSERT_EQ(entregas.size(), 1u);
    EXPECT_EQ(entregas[0].registro.campo(1), "antes de B");

    almacen->guardarLote(lote(kA, {registro("2", kB, "mientras B esta fuera")}), 60);
    EXPECT_FALSE(almacen->quitarSitio(kB, "900999"));
    EXPECT_TRUE(almacen->quitarSitio(kB, kCliente));
    EXPECT_FALSE(almacen->quitarSitio(kB, kCliente));
    EXPECT_THROW(almacen->entregar(kB, kCliente, 10, 70), servidor::SitioNoRegistrado);
    EXPECT_THROW(almacen->guardarLote(lote(kB, {}, ids(entregas)), 70),
                 servidor::SitioNoRegistrado);
    // A general record posted meanwhile is not made for it...
    almacen->guardarLote(lote(kA, {registro("3", kGeneral, "general sin B")}), 80);
    const auto sitios = almacen->sitios(kCliente);
    ASSERT_EQ(sitios.size(), 1u);
    EXPECT_EQ(sitios[0].sitio, kA);
    EXPECT_TRUE(sitios[0].porOperador);
    EXPECT_EQ(sitios[0].alta, 20);
    EXPECT_EQ(sitios[0].ultimaPeticion, 80);
    EXPECT_TRUE(almacen->sitios("900999").empty());

    // ...but reaches it, with everything that waited, once it is back; what
    // it had received is not offered again.
    EXPECT_TRUE(almacen->agregarSitio(kB, kCliente, 90));
    std::vector<std::string> textos;
    for (const auto& e : almacen->entregar(kB, kCliente, 10, 100))
        textos.push_back(e.registro.campo(1));
    EXPECT_EQ(textos,
              (std::vector<std::string>{"antes de B", "mientras B esta fuera", "general sin B"}));
}

// The operator's command runs in a process of its own, and several server
// processes may share a PostgreSQL store: a site taken off the register
// through one store is refused by another within a couple of seconds,
// though that one had it in memory.
TEST_P(AlmacenEnBase, QuitarUnSitioLlegaAOtroProcesoDelAlmacen) {
    auto servidorEnMarcha = abrir();
    servidorEnMarcha->registroAbierto(false);
    abrir()->agregarSitio(kB, kCliente, 1);
    servidorEnMarcha->entregar(kB, kCliente, 10, 2);
    ASSERT_TRUE(abrir()->quitarSitio(kB, kCliente));
    const auto hasta = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool rechazado = false;
    while (!rechazado && std::chrono::steady_clock::now() < hasta) {
        try {
            servidorEnMarcha->entregar(kB, kCliente, 10, 3);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } catch (const servidor::SitioNoRegistrado&) {
            rechazado = true;
        }
    }
    EXPECT_TRUE(rechazado);
}

// Two stores on one database, as two server processes: one posts general
// records while new sites of the same client make their first visits
// through the other. Each new site must end up with every record exactly
// once, whichever came first.
TEST_P(AlmacenEnBase, SitiosNuevosYRegistrosGeneralesAlMismoTiempo) {
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
            for (const auto& e : entregas) ++vistos[e.registro.campo(1)];
            otro->guardarLote(lote(sitio, {}, ids(entregas)), 2);
        }
        ASSERT_EQ(vistos.size(), static_cast<size_t>(kLotes * kPorLote)) << sitio;
        for (const auto& [texto, veces] : vistos) ASSERT_EQ(veces, 1) << sitio << " " << texto;
    }
}

// Requests of one site through two stores at the same time: no answer
// holds a record twice, and every record arrives.
TEST_P(AlmacenEnBase, PeticionesSimultaneasDeUnSitio) {
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
TEST_P(AlmacenEnBase, MuchosLotesAlMismoTiempo) {
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

// Statements that refuse a record whose Campo1 is "falla" and a record
// kept aside for the reason "falla", as a full disk or a broken constraint
// would.
std::string fallas(TipoBase tipo) {
    if (tipo == TipoBase::SQLite)
        return "CREATE TRIGGER fallaRegistro BEFORE INSERT ON registros WHEN NEW.Campo1 = 'falla' "
               "BEGIN SELECT RAISE(ABORT, 'falla de prueba'); END;"
               "CREATE TRIGGER fallaApartado BEFORE INSERT ON rechazados WHEN NEW.motivo = 'falla' "
               "BEGIN SELECT RAISE(ABORT, 'falla de prueba'); END;";
    return "CREATE FUNCTION falla() RETURNS trigger LANGUAGE plpgsql AS "
           "$$ BEGIN RAISE EXCEPTION 'falla de prueba'; END $$;"
           "CREATE TRIGGER fallaRegistro BEFORE INSERT ON registros FOR EACH ROW "
           "WHEN (NEW.Campo1 = 'falla') EXECUTE FUNCTION falla();"
           "CREATE TRIGGER fallaApartado BEFORE INSERT ON rechazados FOR EACH ROW "
           "WHEN (NEW.motivo = 'falla') EXECUTE FUNCTION falla();";
}

// A batch that fails part way, in one of its first statements or in its
// last, stores nothing, and the store's one connection then answers the
// next requests with their own rows (statements sent together leave no
// answer unread behind them).
TEST_P(AlmacenEnBase, UnLoteQueFallaNoGuardaNadaYLaConexionSigue) {
    auto almacen = servidor::abrirAlmacen(base_.base(), 1);
    base_.ejecutar(fallas(GetParam()));
    almacen->entregar(kB, kCliente, 1, 1);
    almacen->guardarLote(lote(kA, {registro("1", kB, "antes")}), 1);
    const auto antes = almacen->entregar(kB, kCliente, 10, 1);
    ASSERT_EQ(antes.size(), 1u);

    servidor::Lote enUnRegistro =
        lote(kB, {registro("7", kGeneral, "uno"), registro("8", kA, "falla")}, ids(antes));
    servidor::Lote alFinal = lote(kB, {registro("7", kGeneral, "uno")}, ids(antes));
    alFinal.apartados.push_back({"9", "falla", "{}"});
    for (const servidor::Lote& malo : {enUnRegistro, alFinal}) {
        EXPECT_THROW(almacen->guardarLote(malo, 2), servidor::ErrorBase);
        EXPECT_TRUE(almacen->entregar(kA, kCliente, 10, 2).empty());
        EXPECT_EQ(ids(almacen->entregar(kB, kCliente, 10, 2)), ids(antes));
        EXPECT_TRUE(almacen->apartados("", 10).empty());
    }

    const auto r = almacen->guardarLote(lote(kB, {registro("7", kGeneral, "uno")}, ids(antes)), 3);
    EXPECT_EQ(r.nuevos, 1);
    EXPECT_EQ(r.repetidos, 0);
    EXPECT_TRUE(almacen->entregar(kB, kCliente, 10, 3).empty());
    const auto llegados = almacen->entregar(kA, kCliente, 10, 3);
    ASSERT_EQ(llegados.size(), 1u);
    EXPECT_EQ(llegados[0].registro.campo(1), "uno");
}

// The visits of many sites are written together (on PostgreSQL in several
// pipelines of one transaction), every one of them.
TEST_P(AlmacenEnBase, LasVisitasDeMuchosSitiosSeAnotanTodas) {
    auto almacen = abrir();
    constexpr int kSitios = 700;
    for (int64_t vez : {1, 1000})
        for (int i = 0; i < kSitios; ++i)
            almacen->entregar(kCliente + std::to_string(100 + i), kCliente, 1, vez + i);
    const auto estado = almacen->estado();
    ASSERT_EQ(estado.size(), static_cast<size_t>(kSitios));
    for (const auto& e : estado)
        EXPECT_EQ(e.ultimaPeticion, 1000 + std::stoi(e.sitio.substr(kCliente.size())) - 100)
            << e.sitio;
}

// The history: a record every addressed site acknowledged goes once it is
// older than the history, in pieces, stepping over the records still owed;
// a record some site never took stays, however old, and estado says so; a
// site that joins later gets the general records still kept; the
// partner's pushes are forgotten the same way.
TEST_P(AlmacenEnBase, LoAcusadoSeOlvidaTrasElHistorialYLoPendienteSeQueda) {
    const std::string kC = "900123003", kD = "900123004";
    auto almacen = abrir();
    almacen->entregar(kB, kCliente, 10, 100);
    almacen->entregar(kC, kCliente, 10, 100);
    // More than one piece of the pass, with a record owed to C among them.
    std::vector<servidor::RegistroEntrante> viejos;
    for (int i = 1; i <= 2100; ++i)
        viejos.push_back(i == 1500 ? registro("1500", kGeneral, "para todos")
                                   : registro(std::to_string(i), kB, "viejo"));
    almacen->guardarLote(lote(kA, viejos), 100);
    almacen->guardarLote(lote(kA, {registro("3000", kGeneral, "reciente")}), 500);
    almacen->guardarQuiralte("q1", "001", "p", 100);
    for (int vuelta = 0; vuelta < 10; ++vuelta) {
        auto entregas = almacen->entregar(kB, kCliente, 500, 501);
        if (entregas.empty()) break;
        almacen->guardarLote(lote(kB, {}, ids(entregas)), 502);
    }

    EXPECT_EQ(almacen->olvidar(400), 2099);
    EXPECT_EQ(almacen->olvidar(400), 0);
    EXPECT_TRUE(almacen->guardarQuiralte("q1", "001", "p", 600));

    auto filas = almacen->estado(400);
    ASSERT_EQ(filas.size(), 3u);
    EXPECT_EQ(filas[2].sitio, kC);
    EXPECT_EQ(filas[2].pendientes, 2);
    EXPECT_EQ(filas[2].vencidos, 1);
    EXPECT_EQ(filas[2].masAntiguo, 100);
    EXPECT_EQ(filas[1].vencidos, 0);
    const std::string informe = servidor::informeEstado(filas, 100 + 3 * 86400, "b", 300);
    EXPECT_NE(informe.find("Aviso: el sitio 900123003 tiene 1 registros sin recibir de hace mas "
                           "que el historial (5 min), el mas antiguo de hace 3 d 0 h"),
              std::string::npos)
        << informe;
    EXPECT_EQ(servidor::informeEstado(almacen->estado(), 1000).find("historial"),
              std::string::npos);

    // C takes what it was owed; then the old general record goes too, and
    // a site that joins now gets only what the history keeps.
    auto deC = almacen->entregar(kC, kCliente, 10, 700);
    ASSERT_EQ(deC.size(), 2u);
    almacen->guardarLote(lote(kC, {}, ids(deC)), 701);
    EXPECT_EQ(almacen->olvidar(400), 1);
    almacen->agregarSitio(kD, kCliente, 800);
    auto deD = almacen->entregar(kD, kCliente, 10, 800);
    ASSERT_EQ(deD.size(), 1u);
    EXPECT_EQ(deD[0].registro.campo(1), "reciente");
    // A delivery id is still never given twice.
    EXPECT_GT(deD[0].id, deC[1].id);
    // What B acknowledged before the history is gone for good; within it, kept.
    EXPECT_EQ(almacen->reenviar(kB, 1), 1);
}

// The server's own pass does the same every few seconds, on the clock.
TEST_P(AlmacenEnBase, ElServidorOlvidaPorSuCuentaCadaPocosSegundos) {
    auto almacen = abrir();
    almacen->guardarQuiralte("q1", "001", "p", 100);
    almacen->historial(3600);
    const auto hasta = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool olvidado = false;
    while (!olvidado && std::chrono::steady_clock::now() < hasta) {
        olvidado = almacen->guardarQuiralte("q1", "001", "p", servidor::ahora());
        if (!olvidado) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_TRUE(olvidado);
}

// A site registered while the history's pass is removing an old general
// record of its client is registered all the same, owed only what is kept:
// on PostgreSQL the registration read the record before the pass committed
// and its delivery then broke the foreign key (a 500 for the new site).
TEST(AlmacenPostgres, UnSitioNuevoNoTropiezaConElOlvidoDeUnRegistroGeneral) {
    prueba::BaseCentralDePrueba base(TipoBase::PostgreSQL);
    auto almacen = servidor::abrirAlmacen(base.base(), 2);
    almacen->entregar(kB, kCliente, 10, 100);
    almacen->guardarLote(lote(kA, {registro("1", kGeneral, "viejo")}), 100);
    almacen->guardarLote(lote(kB, {}, ids(almacen->entregar(kB, kCliente, 10, 101))), 102);

    // The pass's work, held open until the registration waits on it.
    auto olvido = servidor::conectar(base.base());
    olvido->ejecutarGuion("BEGIN; DELETE FROM entregas; DELETE FROM registros");
    std::atomic<bool> alta{false};
    std::string error;
    std::thread registro([&] {
        try {
            alta = almacen->agregarSitio("900123004", kCliente, 200);
        } catch (const std::exception& e) {
            error = e.what();
        }
    });
    servidor::conectar(base.base())
        ->ejecutarGuion(
            "DO $$ DECLARE hasta timestamptz := clock_timestamp() + interval '60 s'; BEGIN "
            "WHILE NOT EXISTS (SELECT 1 FROM pg_stat_activity WHERE wait_event_type = 'Lock' "
            "AND datname = current_database()) LOOP "
            "IF clock_timestamp() > hasta THEN RAISE EXCEPTION 'la alta no espero'; END IF; "
            "PERFORM pg_sleep(0.01); END LOOP; END $$");
    olvido->ejecutarGuion("COMMIT");
    registro.join();

    EXPECT_EQ(error, "");
    EXPECT_TRUE(alta);
    EXPECT_TRUE(almacen->entregar("900123004", kCliente, 10, 201).empty());
}

INSTANTIATE_TEST_SUITE_P(Bases, AlmacenEnBase,
                         ::testing::Values(TipoBase::SQLite, TipoBase::PostgreSQL),
                         [](const auto& info) { return prueba::nombreDe(info.param); });

}  // namespace
