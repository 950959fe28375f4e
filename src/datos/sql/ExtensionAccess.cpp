// The collation ACCESS and the Access dialect's SQL functions as a loadable
// SQLite extension, so that other programs (the site's point of sale, the
// sqlite3 shell, scripts) can write a site database whose text columns
// compare with that collation. SQLite derives the entry point from the file
// name: access.so -> sqlite3_access_init.
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

#include <exception>

#include "datos/sql/FuncionesSqlite.h"

extern "C" __attribute__((visibility("default"))) int sqlite3_access_init(
    sqlite3* db, char** error, const sqlite3_api_routines* api) {
    SQLITE_EXTENSION_INIT2(api);
    try {
        datos::sql::registrarFunciones(db);
    } catch (const std::exception& e) {
        if (error != nullptr) *error = sqlite3_mprintf("%s", e.what());
        return SQLITE_ERROR;
    }
    return SQLITE_OK;
}
