-- The synchronizer's own tables, kept beside the site's. Each is created when
-- missing: by the schema tool for a new database, and by the synchronizer
-- itself on a database made by an earlier build (at start, at every apply
-- run and before a record is set aside). Plain SQLite types and no ACCESS
-- collation, so any SQLite tool reads them without the extension.

-- Inbound records that could not be stored in COMUNICACIONES (a value their
-- column cannot hold, a table code that is not a whole number, a member that
-- is an object or an array). Each is kept whole and acknowledged, so the
-- server stops offering it and the records behind it are not held back.
-- Texto: the record as JSON; IdServidor: its server id ("id"); Motivo: why
-- it could not be stored.
CREATE TABLE IF NOT EXISTS CUARENTENA (
    Id INTEGER PRIMARY KEY AUTOINCREMENT,
    Fecha DATETIME DEFAULT (datetime('now', 'localtime')),
    IdServidor LONGTEXT,
    Motivo LONGTEXT,
    Texto LONGTEXT
);
CREATE INDEX IF NOT EXISTS CUARENTENA_IdServidor ON CUARENTENA (IdServidor);

-- Stored inbound records whose last attempt to apply failed. Each is tried
-- again after Espera more apply runs (doubling with every failure), or at
-- the latest ten minutes after its last failure; a record that applies, or
-- leaves the queue, loses its row.
CREATE TABLE IF NOT EXISTS FALLOS_APLICACION (
    IdComunicacion LONG NOT NULL,
    Intentos LONG NOT NULL DEFAULT 0,
    Espera LONG NOT NULL DEFAULT 0,
    Mensaje LONGTEXT,
    PrimerFallo DATETIME,
    UltimoFallo DATETIME
);
CREATE UNIQUE INDEX IF NOT EXISTS FALLOS_APLICACION_Id ON FALLOS_APLICACION (IdComunicacion);
