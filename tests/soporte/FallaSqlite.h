// Failures of the database itself on purpose, as a failing disk gives them:
// one chosen statement gets an I/O error from SQLite, with SQLite's own
// code and message ("disk I/O error"), wherever in the code under test it
// runs and on whichever connection that code opened.
//
// It is a VFS of its own, made SQLite's default over the system's one, and
// an automatic extension that watches the statements of every connection
// opened from then on. Armed with a piece of SQL text, it waits for the
// statement whose text holds it, drops the pages that connection keeps in
// memory, and fails the next read or write of a database file (the main
// file or its write-ahead log); disarmed, it only passes calls on.
#pragma once

#include <sqlite3.h>

#include <string>

namespace prueba {

class FallaSqlite {
  public:
    // Installs the VFS and the extension (once per process) and disarms.
    FallaSqlite();
    // Disarms; the VFS stays, passing calls on.
    ~FallaSqlite();
    FallaSqlite(const FallaSqlite&) = delete;
    FallaSqlite& operator=(const FallaSqlite&) = delete;

    // The `vez`-th statement from now whose SQL text holds `fragmento` fails
    // with `codigo` on its first read or write of a database file.
    void fallar(const std::string& fragmento, int vez = 1, int codigo = SQLITE_IOERR_READ);
    // The text of the statement that took the failure; "" while none has.
    std::string fallida() const;
};

}  // namespace prueba
