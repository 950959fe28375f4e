#include "soporte/FallaSqlite.h"

#include <cstring>
#include <mutex>
#include <stdexcept>

namespace prueba {

namespace {

// What the armed failure waits for, and what it did. The tests drive
// SQLite from one thread at a time; the mutex only keeps the state whole.
struct Estado {
    std::mutex cerrojo;
    std::string fragmento;
    int vez = 0;
    int codigo = SQLITE_IOERR_READ;
    bool pendiente = false;  // the next read or write fails
    std::string enCurso;     // the statement that armed it
    std::string fallida;     // the statement that took it
};

Estado& estado() {
    static Estado e;
    return e;
}

sqlite3_vfs* sistema = nullptr;  // the VFS passed on to

// A file of the system's VFS behind ours.
struct Archivo {
    sqlite3_file base;
    sqlite3_file* real;
    bool vigilado;  // a database file: the main one or its log
};

sqlite3_file* real(sqlite3_file* f) {
    return reinterpret_cast<Archivo*>(f)->real;
}

// The code of the armed failure when this call is the one to take it.
int fallo(sqlite3_file* f, bool lectura) {
    if (!reinterpret_cast<Archivo*>(f)->vigilado) return SQLITE_OK;
    Estado& e = estado();
    std::lock_guard<std::mutex> g(e.cerrojo);
    if (!e.pendiente) return SQLITE_OK;
    e.pendiente = false;
    e.fallida = e.enCurso;
    if ((e.codigo & 0xff) == SQLITE_IOERR) return lectura ? SQLITE_IOERR_READ : SQLITE_IOERR_WRITE;
    return e.codigo;
}

int cerrar(sqlite3_file* f) {
    const int rc = real(f)->pMethods->xClose(real(f));
    sqlite3_free(real(f));
    return rc;
}
int leer(sqlite3_file* f, void* destino, int n, sqlite3_int64 desde) {
    if (const int rc = fallo(f, true)) return rc;
    return real(f)->pMethods->xRead(real(f), destino, n, desde);
}
int escribir(sqlite3_file* f, const void* origen, int n, sqlite3_int64 desde) {
    if (const int rc = fallo(f, false)) return rc;
    return real(f)->pMethods->xWrite(real(f), origen, n, desde);
}
int truncar(sqlite3_file* f, sqlite3_int64 n) {
    return real(f)->pMethods->xTruncate(real(f), n);
}
int sincronizar(sqlite3_file* f, int banderas) {
    return real(f)->pMethods->xSync(real(f), banderas);
}
int tamano(sqlite3_file* f, sqlite3_int64* n) {
    return real(f)->pMethods->xFileSize(real(f), n);
}
int bloquear(sqlite3_file* f, int nivel) {
    return real(f)->pMethods->xLock(real(f), nivel);
}
int desbloquear(sqlite3_file* f, int nivel) {
    return real(f)->pMethods->xUnlock(real(f), nivel);
}
int reservado(sqlite3_file* f, int* r) {
    return real(f)->pMethods->xCheckReservedLock(real(f), r);
}
int control(sqlite3_file* f, int op, void* arg) {
    return real(f)->pMethods->xFileControl(real(f), op, arg);
}
int sector(sqlite3_file* f) {
    return real(f)->pMethods->xSectorSize(real(f));
}
int caracteristicas(sqlite3_file* f) {
    return real(f)->pMethods->xDeviceCharacteristics(real(f));
}
int memoriaCompartida(sqlite3_file* f, int region, int tam, int extender, void volatile** p) {
    return real(f)->pMethods->xShmMap(real(f), region, tam, extender, p);
}
int bloquearCompartida(sqlite3_file* f, int desde, int n, int banderas) {
    return real(f)->pMethods->xShmLock(real(f), desde, n, banderas);
}
void barrera(sqlite3_file* f) {
    real(f)->pMethods->xShmBarrier(real(f));
}
int soltarCompartida(sqlite3_file* f, int borrar) {
    return real(f)->pMethods->xShmUnmap(real(f), borrar);
}
int traer(sqlite3_file* f, sqlite3_int64 desde, int n, void** p) {
    return real(f)->pMethods->xFetch(real(f), desde, n, p);
}
int soltar(sqlite3_file* f, sqlite3_int64 desde, void* p) {
    return real(f)->pMethods->xUnfetch(real(f), desde, p);
}

const sqlite3_io_methods kMetodos = {
    3,
    cerrar,
    leer,
    escribir,
    truncar,
    sincronizar,
    tamano,
    bloquear,
    desbloquear,
    reservado,
    control,
    sector,
    caracteristicas,
    memoriaCompartida,
    bloquearCompartida,
    barrera,
    soltarCompartida,
    traer,
    soltar,
};

int abrir(sqlite3_vfs*, sqlite3_filename nombre, sqlite3_file* f, int banderas, int* salida) {
    Archivo* a = reinterpret_cast<Archivo*>(f);
    a->base.pMethods = nullptr;
    a->real = static_cast<sqlite3_file*>(sqlite3_malloc(sistema->szOsFile));
    if (!a->real) return SQLITE_NOMEM;
    std::memset(a->real, 0, static_cast<size_t>(sistema->szOsFile));
    const int rc = sistema->xOpen(sistema, nombre, a->real, banderas, salida);
    if (rc != SQLITE_OK || !a->real->pMethods) {
        // The system's VFS may leave methods to close with.
        if (a->real->pMethods) a->real->pMethods->xClose(a->real);
        sqlite3_free(a->real);
        a->real = nullptr;
        return rc != SQLITE_OK ? rc : SQLITE_CANTOPEN;
    }
    a->vigilado = (banderas & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_WAL)) != 0;
    a->base.pMethods = &kMetodos;
    return SQLITE_OK;
}

// Everything else of the VFS is the system's.
int borrar(sqlite3_vfs*, const char* n, int s) {
    return sistema->xDelete(sistema, n, s);
}
int acceso(sqlite3_vfs*, const char* n, int b, int* r) {
    return sistema->xAccess(sistema, n, b, r);
}
int nombreCompleto(sqlite3_vfs*, const char* n, int t, char* s) {
    return sistema->xFullPathname(sistema, n, t, s);
}
void* abrirBiblioteca(sqlite3_vfs*, const char* n) {
    return sistema->xDlOpen(sistema, n);
}
void errorBiblioteca(sqlite3_vfs*, int n, char* s) {
    sistema->xDlError(sistema, n, s);
}
void (*simbolo(sqlite3_vfs*, void* b, const char* n))(void) {
    return sistema->xDlSym(sistema, b, n);
}
void cerrarBiblioteca(sqlite3_vfs*, void* b) {
    sistema->xDlClose(sistema, b);
}
int azar(sqlite3_vfs*, int n, char* s) {
    return sistema->xRandomness(sistema, n, s);
}
int dormir(sqlite3_vfs*, int us) {
    return sistema->xSleep(sistema, us);
}
int hora(sqlite3_vfs*, double* t) {
    return sistema->xCurrentTime(sistema, t);
}
int ultimoError(sqlite3_vfs*, int n, char* s) {
    return sistema->xGetLastError ? sistema->xGetLastError(sistema, n, s) : 0;
}
int horaEntera(sqlite3_vfs*, sqlite3_int64* t) {
    return sistema->xCurrentTimeInt64(sistema, t);
}

// A statement begins (the whole statement, not a trigger's part of it): when
// it is the one waited for, the connection's cached pages go, so that the
// statement reads the file, and its first read or write fails.
int alComenzar(unsigned tipo, void*, void* p, void* x) {
    if (tipo != SQLITE_TRACE_STMT) return 0;
    const char* texto = static_cast<const char*>(x);
    if (texto && std::strncmp(texto, "--", 2) == 0) return 0;
    auto* sentencia = static_cast<sqlite3_stmt*>(p);
    const char* sql = sqlite3_sql(sentencia);
    if (!sql) return 0;
    Estado& e = estado();
    {
        std::lock_guard<std::mutex> g(e.cerrojo);
        if (e.vez <= 0 || e.fragmento.empty() || !std::strstr(sql, e.fragmento.c_str())) return 0;
        if (--e.vez > 0) return 0;
        e.pendiente = true;
        e.enCurso = sql;
    }
    sqlite3_db_release_memory(sqlite3_db_handle(sentencia));
    return 0;
}

int alAbrirConexion(sqlite3* db, const char**, const sqlite3_api_routines*) {
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, alComenzar, nullptr);
    return SQLITE_OK;
}

void instalar() {
    static std::once_flag una;
    std::call_once(una, [] {
        sistema = sqlite3_vfs_find(nullptr);
        if (!sistema) throw std::runtime_error("SQLite has no default VFS");
        static sqlite3_vfs propio{};
        propio.iVersion = 2;
        propio.szOsFile = static_cast<int>(sizeof(Archivo));
        propio.mxPathname = sistema->mxPathname;
        propio.zName = "falla-a-proposito";
        propio.xOpen = abrir;
        propio.xDelete = borrar;
        propio.xAccess = acceso;
        propio.xFullPathname = nombreCompleto;
        propio.xDlOpen = abrirBiblioteca;
        propio.xDlError = errorBiblioteca;
        propio.xDlSym = simbolo;
        propio.xDlClose = cerrarBiblioteca;
        propio.xRandomness = azar;
        propio.xSleep = dormir;
        propio.xCurrentTime = hora;
        propio.xGetLastError = ultimoError;
        propio.xCurrentTimeInt64 = horaEntera;
        if (sqlite3_vfs_register(&propio, 1) != SQLITE_OK ||
            sqlite3_auto_extension(reinterpret_cast<void (*)(void)>(alAbrirConexion)) != SQLITE_OK)
            throw std::runtime_error("cannot install the failing VFS");
    });
}

void desarmar() {
    Estado& e = estado();
    std::lock_guard<std::mutex> g(e.cerrojo);
    e.fragmento.clear();
    e.vez = 0;
    e.pendiente = false;
    e.enCurso.clear();
    e.fallida.clear();
}

}  // namespace

FallaSqlite::FallaSqlite() {
    instalar();
    desarmar();
}

FallaSqlite::~FallaSqlite() {
    desarmar();
}

void FallaSqlite::fallar(const std::string& fragmento, int vez, int codigo) {
    Estado& e = estado();
    std::lock_guard<std::mutex> g(e.cerrojo);
    e.fragmento = fragmento;
    e.vez = vez;
    e.codigo = codigo;
    e.pendiente = false;
    e.fallida.clear();
}

std::string FallaSqlite::fallida() const {
    Estado& e = estado();
    std::lock_guard<std::mutex> g(e.cerrojo);
    return e.fallida;
}

}  // namespace prueba
