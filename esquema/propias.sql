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

-- Order actions (table code 22) that changed nothing at this site: an order
-- for a product the site does not sell (under the "Comun" regime also one
-- whose tax row is missing), a bill request or a payment note for a
-- telephone nobody has, a cancellation of a line that is not there. Each is
-- marked applied, so it holds nothing back, reported on the console and kept
-- here whole. IdComunicacion: its row in COMUNICACIONES; IdServidor: the
-- server's id of it (Campo40); Origen: the site that sent it; Motivo: why it
-- changed nothing; Texto: the record as JSON, every column.
CREATE TABLE IF NOT EXISTS PEDIDOS_NO_APLICADOS (
    Id INTEGER PRIMARY KEY AUTOINCREMENT,
    Fecha DATETIME DEFAULT (datetime('now', 'localtime')),
    IdComunicacion LONG,
    IdServidor LONGTEXT,
    Origen LONGTEXT,
    Motivo LONGTEXT,
    Texto LONGTEXT
);

-- Outbound records that no batch can carry: their text alone is larger than
-- any message the server takes. Each is moved here whole from
-- COMUNICACIONES (Texto: the record as the batch would have carried it;
-- IdComunicacion: its row id there; Bytes: its size in the batch) and
-- reported once, so that the records queued behind it leave.
CREATE TABLE IF NOT EXISTS APARTADOS_ENVIO (
    Id INTEGER PRIMARY KEY AUTOINCREMENT,
    Fecha DATETIME DEFAULT (datetime('now', 'localtime')),
    IdComunicacion LONG,
    Bytes LONG,
    Motivo LONGTEXT,
    Texto LONGTEXT
);

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

-- The time of the last successful exchange with each peer ('servidor',
-- 'socio'), for `sincronizador estado` and the window's status line.
CREATE TABLE IF NOT EXISTS ESTADO_SINCRONIZADOR (
    Interlocutor TEXT(20) NOT NULL,
    UltimoIntercambio DATETIME
);
CREATE UNIQUE INDEX IF NOT EXISTS ESTADO_SINCRONIZADOR_Interlocutor
    ON ESTADO_SINCRONIZADOR (Interlocutor);

-- When each outbound record still waiting to be sent was queued. Kept by
-- triggers that use SQLite's own functions only, so a record queued by any
-- program (the point of sale, the sqlite3 shell) is timed too; the row goes
-- when its record is marked sent or deleted.
CREATE TABLE IF NOT EXISTS COMUNICACIONES_PENDIENTES (
    Id LONG NOT NULL,
    Encolado DATETIME NOT NULL
);
CREATE UNIQUE INDEX IF NOT EXISTS COMUNICACIONES_PENDIENTES_Id ON COMUNICACIONES_PENDIENTES (Id);
CREATE TRIGGER IF NOT EXISTS COMUNICACIONES_Encolar AFTER INSERT ON COMUNICACIONES
WHEN NEW.Enviado = 0
BEGIN
    INSERT OR REPLACE INTO COMUNICACIONES_PENDIENTES (Id, Encolado)
    VALUES (NEW.Id, datetime('now', 'localtime'));
END;
CREATE TRIGGER IF NOT EXISTS COMUNICACIONES_Enviar AFTER UPDATE OF Enviado ON COMUNICACIONES
WHEN NEW.Enviado <> 0
BEGIN
    DELETE FROM COMUNICACIONES_PENDIENTES WHERE Id = NEW.Id;
END;
CREATE TRIGGER IF NOT EXISTS COMUNICACIONES_Borrar AFTER DELETE ON COMUNICACIONES
BEGIN
    DELETE FROM COMUNICACIONES_PENDIENTES WHERE Id = OLD.Id;
END;
-- Records queued before the triggers existed count from now.
INSERT OR IGNORE INTO COMUNICACIONES_PENDIENTES (Id, Encolado)
SELECT Id, datetime('now', 'localtime') FROM COMUNICACIONES WHERE Enviado = 0;
