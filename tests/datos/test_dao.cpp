// The command layer over a real SQLite file: binding, record sets, appends
// and in-place updates, conversions on assignment, errors, and a second
// writer on the same file.
#include <gtest/gtest.h>
#include <sqlite3.h>
#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "datos/DAO_Conexion.h"
#include "soporte/BaseDePrueba.h"
#include "soporte/LineaDeOrdenes.h"
#include "soporte/Motor.h"

using comun::Fecha;
using comun::Variant;
using datos::DAO_Conexion;
using datos::ErrorBD;
using datos::TipoColumna;

namespace {

class ArchivoTemporal {
  public:
    ArchivoTemporal() {
        std::random_device rd;
        carpeta_ = std::filesystem::temp_directory_path() / ("sinc-dao-" + std::to_string(rd()));
        std::filesystem::create_directories(carpeta_);
    }
    ~ArchivoTemporal() {
        std::error_code ec;
        std::filesystem::remove_all(carpeta_, ec);
    }
    std::string ruta(const std::string& nombre) const { return (carpeta_ / nombre).string(); }

  private:
    std::filesystem::path carpeta_;
};

void ejecutar(sqlite3* db, const char* sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
}

class Dao : public ::testing::Test {
  protected:
    void SetUp() override {
        ruta_ = tmp_.ruta("sitio.db");
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(ruta_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                  nullptr),
                  SQLITE_OK);
        ejecutar(db,
                 "CREATE TABLE Prueba (Id INTEGER PRIMARY KEY AUTOINCREMENT, Nombre TEXT(10), "
                 "Notas MEMO, Activo YESNO DEFAULT 0, Fecha DATETIME, Cantidad LONG, "
                 "Corto SHORT, Peso SINGLE, Precio DOUBLE, Costo CURRENCY, "
                 "Estado TEXT(10) DEFAULT 'nuevo');"
                 "INSERT INTO Prueba (Nombre, Activo, Fecha, Cantidad, Corto, Peso, Precio, Costo) "
                 "VALUES ('uno', 1, '2026-12-07', 10, 3, 1.5, 2.25, 100.5), "
                 "('dos', 0, NULL, 20, 4, 2.5, 3.5, 7), ('tres', 0, NULL, 30, 5, 0, 0, 0);");
        sqlite3_close(db);
        c_.dataFile(prueba::origen(ruta_));
        c_.conectar();
    }

    std::string unTexto(const std::string& sql) {
        auto rs = c_.Query(sql);
        return rs->valorCampo(0).texto();
    }

    ArchivoTemporal tmp_;
    std::string ruta_;
    DAO_Conexion c_;
};

TEST(DaoProveedor, EligeSegunLaTerminacionDelArchivo) {
    DAO_Conexion c;
    c.dataFile("C:\\datos\\sitio.accdb");
    EXPECT_EQ(c.proveedor(), "Microsoft.ACE.OLEDB.12.0");
    c.dataFile("SITIO.ACCDB");
    EXPECT_EQ(c.proveedor(), "Microsoft.ACE.OLEDB.12.0");
    c.dataFile("sitio.mdb");
    EXPECT_EQ(c.proveedor(), "Microsoft.Jet.OLEDB.4.0");
    c.dataFile("ccdb");
    EXPECT_EQ(c.proveedor(), "Microsoft.Jet.OLEDB.4.0");
    c.dataFile("");
    EXPECT_EQ(c.proveedor(), "Microsoft.Jet.OLEDB.4.0");
    EXPECT_EQ(c.dataFile(), "");
}

TEST(DaoConectar, ArchivoAusenteOAjenoEsErrorSinCrearNada) {
    ArchivoTemporal tmp;
    DAO_Conexion c;
    const std::string ruta = tmp.ruta("no-existe.db");
    c.dataFile(ruta);
    try {
        c.conectar();
        FAIL() << "conectar sin archivo";
    } catch (const ErrorBD& e) {
        EXPECT_NE(std::string(e.what()).find(ruta), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(ruta));
    EXPECT_FALSE(c.conectado());
    EXPECT_THROW(c.comando("DELETE FROM x"), ErrorBD);

    const std::string ajeno = tmp.ruta("texto.db");
    std::ofstream(ajeno) << "esto no es una base de datos";
    c.dataFile(ajeno);
    EXPECT_THROW(c.conectar(), ErrorBD);
}

// What conectar says about a database this user may not read.
[[maybe_unused]] std::string errorAlConectar(const std::string& ruta) {
    DAO_Conexion c;
    c.dataFile(ruta);
    try {
        c.conectar();
        return "opened";
    } catch (const ErrorBD& e) {
        return e.what();
    }
}

// A database that cannot be read for lack of permission says so, rather than
// "Unrecognized database format". Root reads any file, so as root the check
// runs in a child process that has dropped to an unprivileged user.
TEST(DaoConectar, SinPermisoDeLecturaLoDice) {
#ifdef _WIN32
    GTEST_SKIP() << "a file's read permission is a POSIX mode here; Windows has ACLs";
#else
    prueba::BaseDePrueba base(false);
    ASSERT_EQ(::chmod(base.ruta().c_str(), 0), 0);
    if (::geteuid() != 0) {
        const std::string mensaje = errorAlConectar(base.ruta());
        EXPECT_NE(mensaje.find("Permission denied"), std::string::npos) << mensaje;
        EXPECT_NE(mensaje.find(base.ruta()), std::string::npos) << mensaje;
        return;
    }
    const pid_t hijo = ::fork();
    ASSERT_GE(hijo, 0);
    if (hijo == 0) {
        // nobody/nogroup
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(10);
        const std::string mensaje = errorAlConectar(base.ruta());
        if (mensaje.find("Permission denied") != std::string::npos) ::_exit(0);
        ::_exit(mensaje.find("Unrecognized") != std::string::npos ? 11 : 12);
    }
    int estado = 0;
    ASSERT_EQ(::waitpid(hijo, &estado, 0), hijo);
    ASSERT_TRUE(WIFEXITED(estado));
    EXPECT_EQ(WEXITSTATUS(estado), 0)
        << "10: could not drop privileges, 11: reported as another format, 12: other message";
#endif
}

TEST_F(Dao, ComandoDevuelveFilasAfectadasYEnlazaPorPosicion) {
    EXPECT_EQ(c_.comando("delete from prueba where id = ?", {int32_t{42}}), 0);
    EXPECT_EQ(c_.comando("delete from prueba where id = ?", {int32_t{3}}), 1);
    EXPECT_EQ(c_.comando("UPDATE Prueba SET Cantidad = Cantidad + 1"), 2);
    EXPECT_EQ(c_.comando("SELECT * FROM Prueba"), 0);
    // A statement that writes no rows reports none, not the count left by
    // the last UPDATE.
    EXPECT_EQ(c_.comando("CREATE TABLE Otra (x LONG)"), 0);

    // A Null element gives no parameter: the text goes to the first "?".
    EXPECT_EQ(c_.comando("UPDATE Prueba SET Nombre = ? WHERE Id = ?",
                         {Variant::Null(), "x", Variant(), int16_t{1}}),
              1);
    EXPECT_EQ(unTexto("SELECT Nombre FROM Prueba WHERE Id = 1"), "x");

    // A text binds whole, whatever it holds: no part of it is taken for a
    // name.
    c_.comando("UPDATE Prueba SET Estado = ? WHERE Id = ?", {"codigo::A-15", int16_t{2}});
    EXPECT_EQ(unTexto("SELECT Estado FROM Prueba WHERE Id = 2"), "codigo::A-15");

    // Dates as ISO text, Single and Boolean bound too.
    c_.comando("UPDATE Prueba SET Fecha = ?, Peso = ?, Activo = ? WHERE Id = 2",
               {Variant(Fecha{2026, 1, 31}), Variant(0.75f), Variant(true)});
    auto rs = c_.Query("SELECT Fecha, Peso, Activo FROM Prueba WHERE Id = ?", {int32_t{2}});
    EXPECT_EQ(rs->valorCampo(0), Variant(Fecha{2026, 1, 31}));
    EXPECT_EQ(rs->valorCampo(1), Variant(0.75f));
    EXPECT_EQ(rs->valorCampo(2), Variant(true));

    // Too few values for the placeholders is an error, not a silent NULL.
    EXPECT_THROW(c_.comando("UPDATE Prueba SET Nombre = ? WHERE Id = ?", {"x"}), ErrorBD);
}

TEST_F(Dao, ErrorDelMotorLlevaMensajeYSentencia) {
    const std::string sql = "UPDATE NoHay SET x = 1";
    try {
        c_.comando(sql);
        FAIL();
    } catch (const ErrorBD& e) {
        EXPECT_NE(e.mensaje().find("no such table"), std::string::npos);
        EXPECT_EQ(e.sentencia(), sql);
    }
    EXPECT_THROW(c_.Query("SELECT Nada FROM Prueba"), ErrorBD);
    // Only one statement runs per call: a second one is refused, not run.
    EXPECT_THROW(c_.comando("DELETE FROM Prueba WHERE Id = 1; DELETE FROM Prueba"), ErrorBD);
    EXPECT_EQ(unTexto("SELECT COUNT(*) FROM Prueba"), "3");
}

TEST_F(Dao, RecordsetsCamposTiposYVacios) {
    auto rs = c_.Query("SELECT * FROM Prueba WHERE Id = 1");
    EXPECT_FALSE(DAO_Conexion::RsVacio(rs));
    EXPECT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ((*rs)["nombre"], Variant("uno"));
    EXPECT_EQ((*rs)["NOMBRE"], (*rs)[size_t{1}]);
    EXPECT_EQ(rs->nombreCampo(1), "Nombre");
    EXPECT_EQ((*rs)["Activo"], Variant(true));
    EXPECT_EQ((*rs)["Fecha"], Variant(Fecha{2026, 12, 7}));
    EXPECT_EQ((*rs)["Cantidad"], Variant(int32_t{10}));
    EXPECT_EQ((*rs)["Corto"], Variant(int16_t{3}));
    EXPECT_EQ((*rs)["Peso"], Variant(1.5f));
    EXPECT_EQ((*rs)["Precio"], Variant(2.25));
    EXPECT_EQ((*rs)["Costo"].CDbl(), 100.5);
    EXPECT_TRUE((*rs)["Notas"].esNull());
    const TipoColumna esperados[] = {
        TipoColumna::Contador, TipoColumna::Texto,  TipoColumna::Memo,    TipoColumna::SiNo,
        TipoColumna::Fecha,    TipoColumna::Long,   TipoColumna::Integer, TipoColumna::Single,
        TipoColumna::Double,   TipoColumna::Moneda, TipoColumna::Texto};
    ASSERT_EQ(rs->numeroCampos(), std::size(esperados));
    for (size_t i = 0; i < std::size(esperados); ++i) EXPECT_EQ(rs->tipoCampo(i), esperados[i]);
    EXPECT_THROW((*rs)["NoExiste"], ErrorBD);
    EXPECT_FALSE(rs->tieneCampo("NoExiste"));

    // Expressions: the kind of the value; aliases as written.
    auto ex = c_.Query(
        "SELECT COUNT(*) AS Total, 'a' || 'b' AS Texto, 5000000000 AS Grande, "
        "NULL AS Nada FROM Prueba");
    EXPECT_EQ(ex->nombreCampo(0), "Total");
    EXPECT_EQ(ex->tipoCampo(0), TipoColumna::Otro);
    EXPECT_EQ((*ex)["total"], Variant(int32_t{3}));
    EXPECT_EQ((*ex)["Texto"], Variant("ab"));
    EXPECT_EQ((*ex)["Grande"], Variant(5000000000.0));
    EXPECT_TRUE((*ex)["Nada"].esNull());

    auto vacio = c_.Query("SELECT * FROM Prueba WHERE Id = 99");
    EXPECT_TRUE(vacio->eof());
    EXPECT_TRUE(vacio->bof());
    EXPECT_TRUE(DAO_Conexion::RsVacio(vacio));
    EXPECT_THROW(vacio->valorCampo(0), ErrorBD);

    auto todos = c_.Query("SELECT Nombre FROM Prueba ORDER BY Id");
    int n = 0;
    while (!DAO_Conexion::RsVacio(todos)) {
        ++n;
        todos->MoveNext();
    }
    EXPECT_EQ(n, 3);
    EXPECT_THROW(todos->MoveNext(), ErrorBD);

    todos->Close();
    EXPECT_TRUE(DAO_Conexion::RsVacio(todos));
    EXPECT_THROW(todos->eof(), ErrorBD);
    DAO_Conexion::CerrarRs(todos);
    EXPECT_EQ(todos, nullptr);
    EXPECT_TRUE(DAO_Conexion::RsVacio(todos));
}

TEST_F(Dao, AnadirFilaLeeElContadorYRespetaLosPredeterminados) {
    auto rs = c_.Query("Prueba");
    EXPECT_EQ(rs->RecordCount(), -1);  // opened without reading
    rs->AddNew();
    rs->asignar("nombre", "cuatro");
    rs->asignar("Cantidad", int32_t{40});
    EXPECT_EQ((*rs)["Nombre"], Variant("cuatro"));  // visible before Update
    rs->Update();
    EXPECT_FALSE(DAO_Conexion::RsVacio(rs));
    EXPECT_EQ((*rs)["Id"], Variant(int32_t{4}));
    EXPECT_EQ((*rs)["Estado"], Variant("nuevo"));  // the column default applied
    EXPECT_EQ((*rs)["Activo"], Variant(false));
    rs->AddNew();
    rs->Update();  // nothing assigned: all defaults
    EXPECT_EQ((*rs)["Id"], Variant(int32_t{5}));
    rs->MoveNext();
    EXPECT_TRUE(rs->eof());
    EXPECT_EQ(unTexto("SELECT COUNT(*) FROM Prueba"), "5");

    // A single-table SELECT * reads its rows only when one is asked for: a
    // row written after opening it is among them; one appended through it
    // becomes its current row.
    auto sel = c_.Query("SELECT * FROM Prueba WHERE Cantidad IS NULL OR Cantidad > 0");
    c_.comando("INSERT INTO Prueba (Nombre) VALUES ('tarde')");
    EXPECT_EQ(sel->RecordCount(), 6);
    auto anexo = c_.Query("select * from prueba");
    anexo->AddNew();
    anexo->asignar("Nombre", "siete");
    anexo->Update();
    EXPECT_EQ((*anexo)["Id"], Variant(int32_t{7}));
    anexo->MoveNext();
    EXPECT_TRUE(anexo->eof());

    // A single-table SELECT * with bound values is updatable as the same
    // text without them is, and opened again takes other values; one of an
    // expression is read-only.
    for (const int32_t id : {1, 2}) {
        auto porClave = c_.Query("SELECT * FROM Prueba WHERE Id = ?", {id});
        ASSERT_FALSE(DAO_Conexion::RsVacio(porClave));
        porClave->asignar("Nombre", "it's -- " + std::to_string(id));
        porClave->Update();
    }
    EXPECT_EQ(unTexto("SELECT Nombre FROM Prueba WHERE Id = 1"), "it's -- 1");
    EXPECT_EQ(unTexto("SELECT Nombre FROM Prueba WHERE Id = 2"), "it's -- 2");
    auto ro2 = c_.Query("SELECT Nombre FROM Prueba");
    EXPECT_THROW(ro2->asignar(size_t{0}, "x"), ErrorBD);
}

TEST_F(Dao, TablaEnteraSeRecorreYSeActualizaEnSitio) {
    c_.empezarTransaccion();
    for (int i = 0; i < 600; ++i)
        c_.comando("INSERT INTO Prueba (Nombre, Cantidad) VALUES (?, ?)", {"n", int32_t{i}});
    c_.confirmarTransaccion();

    // Walk a whole table (across pages), changing every row as it goes.
    auto rs = c_.Query("prueba");
    long vistas = 0;
    while (!rs->eof()) {
        rs->asignar("Estado", "visto");
        rs->Update();
        ++vistas;
        rs->MoveNext();
    }
    EXPECT_EQ(vistas, 603);
    EXPECT_EQ(rs->RecordCount(), 603);
    EXPECT_EQ(unTexto("SELECT COUNT(*) FROM Prueba WHERE Estado = 'visto'"), "603");

    // A single-table SELECT * with WHERE and ORDER BY: updatable in place,
    // and its record count known (the apply step relies on both).
    auto sel = c_.Query("SELECT * FROM Prueba WHERE Cantidad < 5 ORDER BY Id DESC");
    EXPECT_TRUE(sel->actualizable());
    EXPECT_EQ(sel->RecordCount(), 5);  // the inserted rows holding 0 to 4
    int cambiadas = 0;
    while (!DAO_Conexion::RsVacio(sel)) {
        sel->asignar("Nombre", "cambiado");  // MoveNext saves a pending edit
        sel->MoveNext();
        ++cambiadas;
    }
    EXPECT_EQ(cambiadas, 5);
    EXPECT_EQ(unTexto("SELECT COUNT(*) FROM Prueba WHERE Nombre = 'cambiado'"), "5");
    EXPECT_EQ(unTexto("SELECT COUNT(*) FROM Prueba WHERE Nombre = 'cambiado' AND Cantidad >= 5"),
              "0");
}

TEST_F(Dao, AsignarConvierteComoElMotorDeAccess) {
    auto rs = c_.Query("SELECT * FROM Prueba WHERE Id = 2");
    rs->asignar("Fecha", "01/01/2001");
    rs->asignar("Cantidad", "7");
    rs->asignar("Precio", " 2.5 ");
    rs->asignar("Nombre", 7.5);
    rs->asignar("Activo", "True");
    EXPECT_THROW(rs->asignar("Corto", "abc"), comun::ErrorTipo);
    EXPECT_THROW(rs->asignar("Fecha", "mañana"), comun::ErrorTipo);
    EXPECT_THROW(rs->asignar("Nombre", "once letras"), ErrorBD);  // TEXT(10)
    EXPECT_THROW(rs->asignar("Id", int32_t{9}), ErrorBD);         // the counter
    rs->Update();
    auto r = c_.Query(
        "SELECT Fecha, Cantidad, Precio, Nombre, Activo, Corto FROM Prueba "
        "WHERE Id = 2");
    EXPECT_EQ(unTexto("SELECT Fecha || '' FROM Prueba WHERE Id = 2"), "2001-01-01");
    EXPECT_EQ((*r)["Cantidad"], Variant(int32_t{7}));
    EXPECT_EQ((*r)["Precio"], Variant(2.5));
    EXPECT_EQ((*r)["Nombre"], Variant("7.5"));
    EXPECT_EQ((*r)["Activo"], Variant(true));
    EXPECT_EQ((*r)["Corto"], Variant(int16_t{4}));  // the refused value left it alone

    // No value keeps what the row holds; only an explicit Null clears it.
    rs->asignar("Cantidad", "");
    rs->asignar("Fecha", Variant::Null());
    rs->asignar("Activo", int32_t{0});
    rs->Update();
    auto r2 = c_.Query("SELECT Cantidad, Fecha, Activo FROM Prueba WHERE Id = 2");
    EXPECT_EQ((*r2)["Cantidad"], Variant(int32_t{7}));
    EXPECT_TRUE((*r2)["Fecha"].esNull());
    EXPECT_EQ((*r2)["Activo"], Variant(false));
    EXPECT_EQ(unTexto("SELECT typeof(Activo) || Activo FROM Prueba WHERE Id = 1"), "integer1");
}

TEST_F(Dao, DesconectarCierraLosRecordsetsAbiertos) {
    auto tabla = c_.Query("Prueba");
    auto sel = c_.Query("SELECT * FROM Prueba");
    c_.desconectar();
    EXPECT_FALSE(c_.conectado());
    EXPECT_TRUE(DAO_Conexion::RsVacio(tabla));
    EXPECT_TRUE(DAO_Conexion::RsVacio(sel));
    EXPECT_THROW(tabla->AddNew(), ErrorBD);
    EXPECT_THROW(c_.Query("Prueba"), ErrorBD);
    DAO_Conexion::CerrarRs(tabla);
    c_.conectar();
    EXPECT_EQ(unTexto("SELECT COUNT(*) FROM Prueba"), "3");
}

TEST_F(Dao, TransaccionesAnidadas) {
    if (!c_.admiteSavepoints()) {
        // One transaction of the connection: an inner rollback undoes the
        // whole of it, and the outer level then refuses to commit.
        c_.empezarTransaccion();
        c_.comando("DELETE FROM Prueba WHERE Id = 1");
        c_.empezarTransaccion();
        c_.comando("DELETE FROM Prueba WHERE Id = 2");
        c_.revertirTransaccion();
        c_.comando("DELETE FROM Prueba WHERE Id = 3");
        EXPECT_THROW(c_.confirmarTransaccion(), ErrorBD);
        EXPECT_EQ(unTexto("SELECT COUNT(*) FROM Prueba"), "3");
        {
            datos::Transaccion t(c_);
            c_.comando("DELETE FROM Prueba");
        }
        EXPECT_EQ(unTexto("SELECT COUNT(*) FROM Prueba"), "3");
        return;
    }
    c_.empezarTransaccion();
    c_.comando("DELETE FROM Prueba WHERE Id = 1");
    c_.empezarTransaccion();
    c_.comando("DELETE FROM Prueba WHERE Id = 2");
    c_.revertirTransaccion();
    c_.confirmarTransaccion();
    EXPECT_EQ(unTexto("SELECT COUNT(*) FROM Prueba"), "2");
    {
        datos::Transaccion t(c_);
        c_.comando("DELETE FROM Prueba");
    }
    EXPECT_EQ(unTexto("SELECT COUNT(*) FROM Prueba"), "2");
    EXPECT_THROW(c_.confirmarTransaccion(), ErrorBD);
}

TEST_F(Dao, OtroEscritorNoHaceFallarElComando) {
    sqlite3* otro = nullptr;
    ASSERT_EQ(sqlite3_open_v2(ruta_.c_str(), &otro, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ejecutar(otro, "BEGIN IMMEDIATE; INSERT INTO Prueba (Nombre) VALUES ('otro');");
    std::thread soltar([otro] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(otro, "COMMIT", nullptr, nullptr, nullptr);
    });
    EXPECT_NO_THROW(c_.comando("INSERT INTO Prueba (Nombre) VALUES ('mio')"));
    soltar.join();
    sqlite3_close(otro);
    EXPECT_EQ(unTexto("SELECT COUNT(*) FROM Prueba"), "5");
}

// What another program reads from the file: `sincronizador ejecutar` in a
// process of its own, as monitoring or the point of sale would open and
// close the file.
std::string desdeOtroProceso(const std::string& ruta, const std::string& sql) {
    const std::string linea = std::string("\"") + SINC_BIN_DIR + "/sincronizador\" ejecutar \"" +
                              ruta + "\" \"" + sql + "\" 2>&1";
    return prueba::salidaDeLinea(linea);
}

// Two connections of this process stay open on the file (the window's
// support window and state line do) while other programs open and close
// it. Opening the second must not drop the locks of the first: another
// program would then take itself for the last one and delete the shared
// write-ahead log, so this process's writes would be seen by nobody else
// and the file would be damaged.
TEST(DaoConectar, OtrosProgramasNoBorranElRegistroDeLasConexionesAbiertas) {
    prueba::BaseDePrueba base(false);
    DAO_Conexion ventana, mensajes;
    ventana.dataFile(base.ruta());
    mensajes.dataFile(base.ruta());
    ventana.conectar();
    mensajes.conectar();
    const std::string cuenta = "SELECT COUNT(*) FROM XX0100 WHERE NOMBRE = 'Prueba'";
    ASSERT_EQ(desdeOtroProceso(base.ruta(), cuenta), "0\n");
    mensajes.comando("INSERT INTO XX0100 (NOMBRE, DESCRIPCION) VALUES ('Prueba', 'mensajes')");
    ventana.comando("INSERT INTO XX0100 (NOMBRE, DESCRIPCION) VALUES ('Prueba', 'ventana')");
    EXPECT_EQ(desdeOtroProceso(base.ruta(), cuenta), "2\n");
    ventana.desconectar();
    mensajes.desconectar();

    // Checked with the collation of the site's indexes, which the data
    // layer registers.
    ventana.conectar();
    auto control = ventana.Query("PRAGMA integrity_check");
    ASSERT_FALSE(DAO_Conexion::RsVacio(control));
    EXPECT_EQ(control->valorCampo(0).texto(), "ok");
    control->Close();
    ventana.desconectar();
    EXPECT_EQ(desdeOtroProceso(base.ruta(), cuenta), "2\n");
}

// A damaged page is an error of the read, never an empty table: read as "no
// rows" it would make every existence check insert a duplicate.
TEST(DaoDanada, LeerUnaTablaDanadaEsUnErrorNoUnaTablaVacia) {
    prueba::BaseDePrueba base;
    prueba::corromperTabla(base.ruta(), "Productos");
    DAO_Conexion c;
    c.dataFile(base.ruta());
    c.conectar();
    for (const char* sql :
         {"Productos", "SELECT * FROM Productos", "SELECT * FROM Productos WHERE CodigoAB = '2001'",
          "SELECT NombreProducto FROM Productos WHERE CodigoAB = '2001'"}) {
        try {
            auto rs = c.Query(sql);
            DAO_Conexion::RsVacio(rs);
            ADD_FAILURE() << "read as a table: " << sql;
        } catch (const ErrorBD& e) {
            EXPECT_NE(std::string(e.what()).find("database disk image is malformed"),
                      std::string::npos)
                << sql << ": " << e.what();
        }
    }
    // The rest of the database still reads.
    auto insumos = c.Query("SELECT * FROM Insumos");
    EXPECT_FALSE(DAO_Conexion::RsVacio(insumos));
}

TEST(DaoValidarSql, DuplicaComillas) {
    EXPECT_EQ(DAO_Conexion::ValidarSql("O'Brien's"), "O''Brien''s");
    EXPECT_EQ(DAO_Conexion::ValidarSql(int32_t{42}), "42");
    EXPECT_EQ(DAO_Conexion::ValidarSql(2.5), "2.5");
    EXPECT_EQ(DAO_Conexion::ValidarSql(Variant::Null()), "");
}

}  // namespace
