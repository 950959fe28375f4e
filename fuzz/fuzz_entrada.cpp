// The inbound path on arbitrary answers, on a real site database: the text
// is parsed as the engine parses a getData answer; when it parses, it goes to
// the inbound store (setComunicacion), then the records stored for this site
// are applied (aplicarComunicacion). The same value also goes to the other
// two readers of parsed answers, the doctors import and the marking of sent
// rows. Whatever the answer, the site's settings stay as they were.
//
// The database is made once per process by the schema tool; every input
// starts from a fresh copy of it, so a crash reproduces from its input alone.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "Exigir.h"
#include "aplicacion/Aplicador.h"
#include "comun/Bitacora.h"
#include "datos/DAO_Conexion.h"
#include "datos/Esquema.h"
#include "json/JSON.h"

namespace {

namespace fs = std::filesystem;
using comun::Variant;
using fuzz::exigir;

class Escena {
  public:
    Escena() {
        std::string plantilla = (fs::temp_directory_path() / "fuzz-entrada.XXXXXX").string();
        exigir(mkdtemp(plantilla.data()) != nullptr, "a scratch folder is made");
        carpeta_ = plantilla;
        limpia_ = carpeta_ / "limpia.db";
        base_ = carpeta_ / "sitio.db";
        datos::crearBaseSitio(limpia_.string(), "900100", "001", "Fuzz", true);
        dao_.dataFile(base_.string());
        dao_.bitacora(&bitacora_);
        reiniciar();
        datos::GuardaConexion c(dao_);
        ajustes_ = ajustes();
    }
    ~Escena() {
        std::error_code e;
        fs::remove_all(carpeta_, e);
    }

    // A fresh copy of the clean database, with nothing of the last input.
    void reiniciar() {
        for (const char* sufijo : {"-wal", "-shm"}) fs::remove(base_.string() + sufijo);
        fs::copy_file(limpia_, base_, fs::copy_options::overwrite_existing);
    }

    // The site's settings, as one text.
    std::string ajustes() {
        std::string r;
        auto rs = dao_.Query("SELECT NOMBRE, DESCRIPCION FROM XX0100 ORDER BY NOMBRE");
        while (!datos::DAO_Conexion::RsVacio(rs)) {
            r += (*rs)["NOMBRE"].texto() + "=" + (*rs)["DESCRIPCION"].texto() + "\n";
            rs->MoveNext();
        }
        return r;
    }

    datos::DAO_Conexion& dao() { return dao_; }
    comun::Bitacora& bitacora() { return bitacora_; }
    const std::string& ajustesIniciales() const { return ajustes_; }

  private:
    fs::path carpeta_, limpia_, base_;
    datos::DAO_Conexion dao_;
    comun::BitacoraNula bitacora_;
    std::string ajustes_;
};

// Runs one reader of a parsed answer; the errors it reports are its answer
// to bad input (the engine shows them and goes on).
template <class F>
void leer(F&& f) {
    try {
        f();
    } catch (const std::exception&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t tamano) {
    static Escena escena;
    escena.reiniciar();
    auto& dao = escena.dao();

    const json::Analisis analisis =
        json::parse(std::string_view(reinterpret_cast<const char*>(datos), tamano));
    if (!analisis.correcto()) return 0;  // the engine stops here
    const Variant& respuesta = analisis.valor;

    leer([&] { dao.setComunicacion(respuesta); });
    leer([&] {
        aplicacion::Aplicador aplicador(dao, escena.bitacora());
        aplicador.aplicarComunicacion();
    });
    leer([&] { dao.setDoctores(respuesta); });
    // The reply acknowledges a batch: the oldest half of the unsent rows.
    // Rows outside it stay unsent whatever ids the reply lists.
    std::vector<int64_t> lote, fuera;
    leer([&] {
        datos::GuardaConexion conexion(dao);
        auto rs = dao.Query("SELECT ID FROM COMUNICACIONES WHERE ENVIADO = False ORDER BY ID");
        std::vector<int64_t> ids;
        while (!datos::DAO_Conexion::RsVacio(rs)) {
            ids.push_back((*rs)[size_t{0}].CLngLng());
            rs->MoveNext();
        }
        lote.assign(ids.begin(), ids.begin() + ids.size() / 2);
        fuera.assign(ids.begin() + ids.size() / 2, ids.end());
    });
    leer([&] { dao.marcarEnviados(respuesta, lote); });

    datos::GuardaConexion conexion(dao);
    exigir(escena.ajustes() == escena.ajustesIniciales(), "an answer never changes the settings");
    for (int32_t id : fuera) {
        auto rs = dao.Query("SELECT ENVIADO FROM COMUNICACIONES WHERE ID = " + std::to_string(id));
        exigir(datos::DAO_Conexion::RsVacio(rs) || !(*rs)[size_t{0}].CBool(),
               "a row outside the batch is never marked sent");
    }
    return 0;
}
