// The one owner of a prepared SQLite statement in the site's data layer:
// the driver, its record sets and the schema tool all hold statements
// through it. Internal to the data layer.
#pragma once

#include <sqlite3.h>

namespace datos::sqlite {

// Owns a prepared statement; finalizes it when it goes.
struct Sentencia {
    sqlite3_stmt* st = nullptr;
    Sentencia() = default;
    explicit Sentencia(sqlite3_stmt* s) : st(s) {}
    Sentencia(Sentencia&& o) noexcept : st(o.st) { o.st = nullptr; }
    Sentencia& operator=(Sentencia&& o) noexcept {
        if (this != &o) {
            liberar();
            st = o.st;
            o.st = nullptr;
        }
        return *this;
    }
    ~Sentencia() { liberar(); }
    void liberar() {
        if (st) sqlite3_finalize(st);
        st = nullptr;
    }
};

// Resets a statement when a use of it ends, so it holds no read lock.
struct Reinicio {
    sqlite3_stmt* st;
    ~Reinicio() {
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
    }
};

}  // namespace datos::sqlite
