// The site's own application writes the database while the synchronizer
// runs: neither sees a lock it cannot wait out, and no row of either is
// lost.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "soporte/CentralEnProceso.h"
#include "soporte/Entorno.h"

namespace prueba {
namespace {

const std::string kSitio = "900100001";
const std::string kHermano = "900100002";

// A batch of the sibling's products and messages for the site.
std::vector<std::string> loteDelHermano(int lote, int tamano) {
    std::vector<std::string> registros;
    for (int i = 0; i < tamano; ++i) {
        const int n = lote * tamano + i + 1;
        const std::string clave = "HER-" + std::to_string(n);
        if (n % 2)
            registros.push_back(registroPublicado(n, 2, kHermano, kSitio,
                                                  {clave, "Producto " + clave, "BEBIDAS", "BAR", "",
                                                   "", "1", "0", "5000", "", "0", "", "5000"}));
        else
            registros.push_back(
                registroPublicado(n, 14, kHermano, kSitio, {clave, "CHAT", "LOCAL", "1"}));
    }
    return registros;
}

int numeroEn(const std::string& texto, const std::string& clave) {
    std::smatch m;
    if (!std::regex_search(texto, m, std::regex(clave + "=(\\d+)"))) return -1;
    return std::stoi(m[1]);
}

TEST(SitioConcurrente, ElPuntoDeVentaEscribeMientrasSeSincronizaYNadaSeBloqueaNiSePierde) {
    CarpetaTemporal carpeta;
    CentralEnProceso central;
    const Sitio s = crearSitio(carpeta.ruta(), "900100", "001");
    central.cuerpo("r=servicio/getData&idSyA=" + kHermano);
    PeerGuionado peer(
        [&central](const Peticion& p) { return Accion{central.atender(p.ruta, p.cuerpo)}; });

    // While the till writes, the sibling keeps posting, so that the store
    // and apply steps write too.
    constexpr int kLotes = 12, kTamano = 25;
    std::atomic<bool> parar{false};
    std::thread hermano([&] {
        for (int lote = 0; lote < kLotes && !parar; ++lote) {
            central.publicar(kHermano, loteDelHermano(lote, kTamano));
            std::this_thread::sleep_for(150ms);
        }
    });
    Proceso escritor({(carpetaBinarios() / "escritor_pos").string(), s.base.string(),
                      (fs::path(SINC_LIB_DIR) / "access.so").string(), s.codigo, "2500"},
                     carpeta.ruta() / "escritor.log");
    const Resultado durante = sincronizar(s, peer.direccion(), 12, 50);
    const std::optional<int> finEscritor = escritor.esperar(20s);
    parar = true;
    hermano.join();
    // What was queued last goes out and what arrived last is applied.
    const Resultado despues = sincronizar(s, peer.direccion(), 3, 50);

    ASSERT_EQ(durante.codigo, 0) << durante.salida;
    ASSERT_EQ(despues.codigo, 0) << despues.salida;
    for (const std::string* salida : {&durante.salida, &despues.salida}) {
        EXPECT_EQ(salida->find("locked"), std::string::npos) << *salida;
        EXPECT_EQ(salida->find("busy"), std::string::npos) << *salida;
    }
    const std::string informe = escritor.salida();
    ASSERT_EQ(finEscritor, 0) << informe;
    const int comandas = numeroEn(informe, "comandas");
    const int movimientos = numeroEn(informe, "movimientos");
    ASSERT_GT(comandas, 20) << informe;
    ASSERT_GT(movimientos, 20) << informe;

    // The till's rows are all there, and each queued record reached the
    // server once.
    EXPECT_EQ(valor(s, "SELECT COUNT(*) FROM COMANDAS WHERE nombreproducto LIKE 'POS-C*'"),
              std::to_string(comandas));
    EXPECT_EQ(valor(s, "SELECT COUNT(*) FROM MOVINVHOY WHERE NUMERORR LIKE 'POS-M*'"),
              std::to_string(movimientos));
    EXPECT_EQ(valor(s, "SELECT COUNT(*) FROM COMUNICACIONES WHERE Origen = '" + kSitio +
                           "' AND Enviado = False"),
              "0");
    std::map<std::string, int> recibidos;
    for (const auto& r : central.recogerTodo(kHermano))
        if (r.at("Origen") == kSitio) ++recibidos[r.at("Campo1")];
    int deLaCaja = 0;
    for (const auto& [clave, veces] : recibidos) {
        if (clave.rfind("POS-", 0) != 0) continue;
        ++deLaCaja;
        EXPECT_EQ(veces, 1) << clave;
    }
    EXPECT_EQ(deLaCaja, comandas + movimientos);

    // The sibling's records were each stored and applied once.
    const int enviados = kLotes * kTamano;
    EXPECT_EQ(valor(s, "SELECT COUNT(*) FROM COMUNICACIONES WHERE Destino = '" + kSitio +
                           "' AND Funcion = 'X'"),
              std::to_string(enviados));
    EXPECT_EQ(valor(s, "SELECT COUNT(*) FROM PRODUCTOS WHERE CodigoAB LIKE 'HER-*'"),
              std::to_string(enviados / 2));
    EXPECT_EQ(valor(s, "SELECT COUNT(*) FROM MENSAJE WHERE mensaje LIKE 'HER-*'"),
              std::to_string(enviados / 2));
    EXPECT_TRUE(central.pendientes(kSitio).empty());
}

}  // namespace
}  // namespace prueba
