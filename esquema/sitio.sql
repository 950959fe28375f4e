-- Site database: every table the synchronizer reads or writes.
--
-- Declared types carry the Access column kinds that the data layer reads
-- back: the counter is INTEGER PRIMARY KEY AUTOINCREMENT; YESNO (0/1),
-- DATETIME (ISO text 'yyyy-mm-dd' or 'yyyy-mm-dd hh:mm:ss'), SHORT, LONG,
-- SINGLE, DOUBLE, CURRENCY, TEXT(n). Text compares as Access compares it
-- (no regard to case or accents) through the collation ACCESS, which the
-- connection registers before it touches these tables.
--
-- Column ORDER is part of the protocol: a communication record built from a
-- row carries column k (from 0) in Campo(k+1), and the receiving site copies
-- Campo(p+1) back into column p. A sending and a receiving site must share
-- these layouts; docs/tablas.md lists them.
--
-- Memo columns are declared LONGTEXT, the Access synonym of MEMO: the data
-- layer reads it as a memo, and SQLite gives it text affinity (a column
-- declared MEMO would get numeric affinity and turn a stored '007' into 7).
-- The payload columns of COMUNICACIONES are memos, so a long inbound value
-- is stored rather than refused, which would stall the queue.

-- Communication records: the outbound queue and the inbound store.
CREATE TABLE COMUNICACIONES (
    Id INTEGER PRIMARY KEY AUTOINCREMENT,
    Servicio LONG DEFAULT 0,
    Tabla LONG,
    Origen TEXT(50) COLLATE ACCESS,
    Destino TEXT(50) COLLATE ACCESS,
    Funcion TEXT(10) COLLATE ACCESS,
    Enviado YESNO NOT NULL DEFAULT 0,
    Campo1 LONGTEXT COLLATE ACCESS,
    Campo2 LONGTEXT COLLATE ACCESS,
    Campo3 LONGTEXT COLLATE ACCESS,
    Campo4 LONGTEXT COLLATE ACCESS,
    Campo5 LONGTEXT COLLATE ACCESS,
    Campo6 LONGTEXT COLLATE ACCESS,
    Campo7 LONGTEXT COLLATE ACCESS,
    Campo8 LONGTEXT COLLATE ACCESS,
    Campo9 LONGTEXT COLLATE ACCESS,
    Campo10 LONGTEXT COLLATE ACCESS,
    Campo11 LONGTEXT COLLATE ACCESS,
    Campo12 LONGTEXT COLLATE ACCESS,
    Campo13 LONGTEXT COLLATE ACCESS,
    Campo14 LONGTEXT COLLATE ACCESS,
    Campo15 LONGTEXT COLLATE ACCESS,
    Campo16 LONGTEXT COLLATE ACCESS,
    Campo17 LONGTEXT COLLATE ACCESS,
    Campo18 LONGTEXT COLLATE ACCESS,
    Campo19 LONGTEXT COLLATE ACCESS,
    Campo20 LONGTEXT COLLATE ACCESS,
    Campo21 LONGTEXT COLLATE ACCESS,
    Campo22 LONGTEXT COLLATE ACCESS,
    Campo23 LONGTEXT COLLATE ACCESS,
    Campo24 LONGTEXT COLLATE ACCESS,
    Campo25 LONGTEXT COLLATE ACCESS,
    Campo26 LONGTEXT COLLATE ACCESS,
    Campo27 LONGTEXT COLLATE ACCESS,
    Campo28 LONGTEXT COLLATE ACCESS,
    Campo29 LONGTEXT COLLATE ACCESS,
    Campo30 LONGTEXT COLLATE ACCESS,
    Campo31 LONGTEXT COLLATE ACCESS,
    Campo32 LONGTEXT COLLATE ACCESS,
    Campo33 LONGTEXT COLLATE ACCESS,
    Campo34 LONGTEXT COLLATE ACCESS,
    Campo35 LONGTEXT COLLATE ACCESS,
    Campo36 LONGTEXT COLLATE ACCESS,
    Campo37 LONGTEXT COLLATE ACCESS,
    Campo38 LONGTEXT COLLATE ACCESS,
    Campo39 LONGTEXT COLLATE ACCESS,
    Campo40 LONGTEXT COLLATE ACCESS
);
CREATE INDEX COMUNICACIONES_Envio ON COMUNICACIONES (Enviado, Servicio, Id);
CREATE INDEX COMUNICACIONES_Destino ON COMUNICACIONES (Destino, Funcion);
CREATE INDEX COMUNICACIONES_Campo40 ON COMUNICACIONES (Campo40);
-- Finds the acknowledgement of an inbound record (Servicio 0, Campo1 = its id).
CREATE INDEX COMUNICACIONES_Acuse ON COMUNICACIONES (Servicio, Campo1);

-- Site settings, one per row: NOMBRE the setting, DESCRIPCION its value.
-- Tax rows are named 'Impuesto' followed by a product's impx; Vr is the
-- rate in percent.
CREATE TABLE XX0100 (
    NOMBRE TEXT(100) COLLATE ACCESS,
    DESCRIPCION TEXT(255) COLLATE ACCESS,
    Vr DOUBLE DEFAULT 0
);
CREATE INDEX XX0100_Nombre ON XX0100 (NOMBRE);

-- Supplies. Codigo is the key; INVENTARIO -1 with an empty name marks an
-- erased supply.
CREATE TABLE Insumos (
    Codigo TEXT(20) COLLATE ACCESS NOT NULL,
    Nombre TEXT(50) COLLATE ACCESS,
    Tipo TEXT(10) COLLATE ACCESS,
    Inventario LONG DEFAULT 0,
    medida TEXT(30) COLLATE ACCESS,
    Costo DOUBLE DEFAULT 0,
    UInvF DATETIME,
    UInvC DOUBLE DEFAULT 0,
    Empaque TEXT(50) COLLATE ACCESS,
    Standar TEXT(50) COLLATE ACCESS,
    Categoria TEXT(50) COLLATE ACCESS,
    Padre TEXT(20) COLLATE ACCESS,
    lProduccion TEXT(50) COLLATE ACCESS,
    CostoEstimado DOUBLE DEFAULT 0,
    "Fecha Costo" DATETIME,
    CANTKAL DOUBLE DEFAULT 0,
    StockMinimo DOUBLE DEFAULT 0
);
CREATE UNIQUE INDEX Insumos_Codigo ON Insumos (Codigo);

-- Saleable products. CodigoAB is the key (and the code of the backing
-- supply); impx names the tax row 'Impuesto' & impx of XX0100.
CREATE TABLE Productos (
    CodigoAB TEXT(20) COLLATE ACCESS NOT NULL,
    NombreProducto TEXT(100) COLLATE ACCESS,
    Categoria TEXT(50) COLLATE ACCESS,
    Negocio TEXT(50) COLLATE ACCESS,
    CodigoBarras TEXT(50) COLLATE ACCESS,
    descripcion LONGTEXT COLLATE ACCESS,
    impx SHORT DEFAULT 0,
    ImpVr CURRENCY DEFAULT 0,
    PrecioUnidad CURRENCY DEFAULT 0,
    Unidad TEXT(30) COLLATE ACCESS,
    Costo CURRENCY DEFAULT 0,
    Bloquear YESNO NOT NULL DEFAULT 0,
    Precio1 CURRENCY DEFAULT 0,
    Precio2 CURRENCY DEFAULT 0,
    Precio3 CURRENCY DEFAULT 0,
    Precio4 CURRENCY DEFAULT 0,
    Precio5 CURRENCY DEFAULT 0,
    Precio6 CURRENCY DEFAULT 0,
    Precio7 CURRENCY DEFAULT 0,
    Precio8 CURRENCY DEFAULT 0,
    Precio9 CURRENCY DEFAULT 0
);
CREATE UNIQUE INDEX Productos_CodigoAB ON Productos (CodigoAB);

-- Recipe lines: which supply, in which quantity, goes into which product.
CREATE TABLE Rzs (
    Consecutivo LONG DEFAULT 0,
    IdProducto TEXT(20) COLLATE ACCESS,
    IdInsumo TEXT(20) COLLATE ACCESS,
    Producto TEXT(100) COLLATE ACCESS,
    Insumo TEXT(100) COLLATE ACCESS,
    Cantidad DOUBLE DEFAULT 0,
    medida TEXT(30) COLLATE ACCESS,
    Tipo TEXT(30) COLLATE ACCESS,
    Costo DOUBLE DEFAULT 0,
    NombreGrupo TEXT(50) COLLATE ACCESS,
    Medidor TEXT(30) COLLATE ACCESS,
    Bmedidor YESNO NOT NULL DEFAULT 0
);
CREATE INDEX Rzs_IdProducto ON Rzs (IdProducto, Tipo);

-- Codes of every supply and product that has a preparation.
CREATE TABLE PREPARACIONES (
    Codigo TEXT(20) COLLATE ACCESS
);
CREATE UNIQUE INDEX PREPARACIONES_Codigo ON PREPARACIONES (Codigo);

-- Stock movements of the current day (MovInvHoy) and stored movements
-- (MovInv); one layout for both. SyA is the site that made the movement.
CREATE TABLE MovInvHoy (
    Id INTEGER PRIMARY KEY AUTOINCREMENT,
    CODIGO TEXT(20) COLLATE ACCESS,
    Nombre TEXT(100) COLLATE ACCESS,
    medida TEXT(30) COLLATE ACCESS,
    Cantidad DOUBLE DEFAULT 0,
    Costo DOUBLE DEFAULT 0,
    fecha DATETIME,
    Hora TEXT(10) COLLATE ACCESS,
    Concepto TEXT(50) COLLATE ACCESS,
    SyA TEXT(20) COLLATE ACCESS,
    Bodega SHORT DEFAULT 0,
    Usuario TEXT(50) COLLATE ACCESS,
    Confirmado YESNO NOT NULL DEFAULT 0,
    Factor SINGLE DEFAULT 0,
    Tercero TEXT(20) COLLATE ACCESS,
    Observaciones LONGTEXT COLLATE ACCESS,
    Lote TEXT(30) COLLATE ACCESS,
    NUMERORR TEXT(20) COLLATE ACCESS,
    Total CURRENCY DEFAULT 0
);
CREATE INDEX MovInvHoy_Documento ON MovInvHoy (fecha, NUMERORR, SyA, CODIGO);
CREATE INDEX MovInvHoy_Codigo ON MovInvHoy (CODIGO);

CREATE TABLE MovInv (
    Id INTEGER PRIMARY KEY AUTOINCREMENT,
    CODIGO TEXT(20) COLLATE ACCESS,
    Nombre TEXT(100) COLLATE ACCESS,
    medida TEXT(30) COLLATE ACCESS,
    Cantidad DOUBLE DEFAULT 0,
    Costo DOUBLE DEFAULT 0,
    fecha DATETIME,
    Hora TEXT(10) COLLATE ACCESS,
    Concepto TEXT(50) COLLATE ACCESS,
    SyA TEXT(20) COLLATE ACCESS,
    Bodega SHORT DEFAULT 0,
    Usuario TEXT(50) COLLATE ACCESS,
    Confirmado YESNO NOT NULL DEFAULT 0,
    Factor SINGLE DEFAULT 0,
    Tercero TEXT(20) COLLATE ACCESS,
    Observaciones LONGTEXT COLLATE ACCESS,
    Lote TEXT(30) COLLATE ACCESS,
    NUMERORR TEXT(20) COLLATE ACCESS,
    Total CURRENCY DEFAULT 0
);
CREATE INDEX MovInv_Documento ON MovInv (fecha, NUMERORR, SyA, CODIGO);
CREATE INDEX MovInv_Codigo ON MovInv (CODIGO);

-- Third parties: customers, suppliers, employees, partners.
CREATE TABLE Terceros (
    IdTercero INTEGER PRIMARY KEY AUTOINCREMENT,
    IdDocumento TEXT(15) COLLATE ACCESS,
    Nombre TEXT(255) COLLATE ACCESS,
    representante TEXT(255) COLLATE ACCESS,
    TipoDocumento TEXT(30) COLLATE ACCESS,
    Persona TEXT(30) COLLATE ACCESS,
    GranContribuyente YESNO NOT NULL DEFAULT 0,
    Autorretenedor YESNO NOT NULL DEFAULT 0,
    regimen TEXT(30) COLLATE ACCESS,
    Direccion TEXT(255) COLLATE ACCESS,
    Ciudad TEXT(50) COLLATE ACCESS,
    Telefono1 TEXT(20) COLLATE ACCESS,
    Telefono2 TEXT(20) COLLATE ACCESS,
    Mail TEXT(100) COLLATE ACCESS,
    Sangre TEXT(10) COLLATE ACCESS,
    Comentarios LONGTEXT COLLATE ACCESS,
    FNacimiento DATETIME,
    FIngreso DATETIME,
    FRetiro DATETIME,
    SyA YESNO NOT NULL DEFAULT 0,
    idCliente TEXT(20) COLLATE ACCESS,
    Proveedor YESNO NOT NULL DEFAULT 0,
    cliente YESNO NOT NULL DEFAULT 0,
    empleado YESNO NOT NULL DEFAULT 0,
    Socio YESNO NOT NULL DEFAULT 0,
    Otro YESNO NOT NULL DEFAULT 0
);
CREATE INDEX Terceros_IdDocumento ON Terceros (IdDocumento);
CREATE INDEX Terceros_Telefono1 ON Terceros (Telefono1);
CREATE INDEX Terceros_idCliente ON Terceros (idCliente);

-- Branches (sites and agencies). The client's own branches carry
-- IDCLIENTE = the client identifier and IDSYA = the branch code; a third
-- party's branches carry TERCERO = its IdDocumento.
CREATE TABLE SucYAgen (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    IDCLIENTE TEXT(20) COLLATE ACCESS,
    Tercero TEXT(20) COLLATE ACCESS,
    IDSYA TEXT(20) COLLATE ACCESS,
    idTercero LONG DEFAULT 0,
    Nombre TEXT(100) COLLATE ACCESS,
    Direccion TEXT(100) COLLATE ACCESS,
    Telefono TEXT(50) COLLATE ACCESS,
    Principal YESNO NOT NULL DEFAULT 0,
    Bodega YESNO NOT NULL DEFAULT 0,
    Domicilios YESNO NOT NULL DEFAULT 0
);
CREATE INDEX SucYAgen_Tercero ON SucYAgen (Tercero, IDSYA);
CREATE INDEX SucYAgen_Cliente ON SucYAgen (IDCLIENTE, IDSYA);

-- Municipalities: CODIGO is the five-digit code that begins a branch IDSYA.
CREATE TABLE PSYAG (
    CODIGO TEXT(10) COLLATE ACCESS,
    NombreMunicipio TEXT(100) COLLATE ACCESS,
    NombreDpto TEXT(100) COLLATE ACCESS
);
CREATE INDEX PSYAG_Codigo ON PSYAG (CODIGO);

-- Point-of-sale users, keyed by the third party.
CREATE TABLE PW (
    idTercero LONG DEFAULT 0,
    IdEmpleado LONG DEFAULT 0,
    Nombre TEXT(100) COLLATE ACCESS,
    pw TEXT(50) COLLATE ACCESS,
    Documento TEXT(20) COLLATE ACCESS,
    Nick TEXT(50) COLLATE ACCESS,
    acceso TEXT(50) COLLATE ACCESS,
    labor TEXT(50) COLLATE ACCESS,
    lugar TEXT(50) COLLATE ACCESS,
    Fecha DATETIME,
    Base DOUBLE DEFAULT 0,
    Cargo TEXT(50) COLLATE ACCESS,
    Turno TEXT(20) COLLATE ACCESS,
    Correo TEXT(100) COLLATE ACCESS,
    Observaciones LONGTEXT COLLATE ACCESS,
    Direccion TEXT(100) COLLATE ACCESS,
    Telefono TEXT(50) COLLATE ACCESS
);
CREATE INDEX PW_idTercero ON PW (idTercero);

-- Order lines. The row whose NOMBREPRODUCTO is 'Registro de Control' holds
-- the site's working date in FECHA. Delivery orders use idmesa 2001..2999.
CREATE TABLE COMANDAS (
    idComanda INTEGER PRIMARY KEY AUTOINCREMENT,
    CodigoAB TEXT(20) COLLATE ACCESS,
    idmesa TEXT(10) COLLATE ACCESS,
    nombreproducto TEXT(100) COLLATE ACCESS,
    cantidad DOUBLE DEFAULT 0,
    fecha DATETIME,
    hora TEXT(10) COLLATE ACCESS,
    mesero TEXT(50) COLLATE ACCESS,
    nick TEXT(50) COLLATE ACCESS,
    estado TEXT(20) COLLATE ACCESS,
    concepto TEXT(30) COLLATE ACCESS,
    ok TEXT(5) COLLATE ACCESS,
    despcoc TEXT(5) COLLATE ACCESS,
    desp TEXT(5) COLLATE ACCESS,
    tdc SHORT DEFAULT 0,
    tdm SHORT DEFAULT 0,
    negocio TEXT(50) COLLATE ACCESS,
    tin TEXT(5) COLLATE ACCESS,
    idproducto SHORT DEFAULT 0,
    valor CURRENCY DEFAULT 0,
    detalle LONGTEXT COLLATE ACCESS,
    imprCoc TEXT(5) COLLATE ACCESS,
    ImprM TEXT(5) COLLATE ACCESS,
    BImp CURRENCY DEFAULT 0,
    Impx TEXT(10) COLLATE ACCESS,
    ImpVr CURRENCY DEFAULT 0,
    idFactura TEXT(20) COLLATE ACCESS,
    Tercero TEXT(20) COLLATE ACCESS,
    Especie TEXT(30) COLLATE ACCESS,
    Detalle1 LONGTEXT COLLATE ACCESS,
    Detalle2 LONGTEXT COLLATE ACCESS
);
CREATE INDEX COMANDAS_Mesa ON COMANDAS (idmesa);
CREATE INDEX COMANDAS_Tercero ON COMANDAS (Tercero, estado);
CREATE INDEX COMANDAS_Producto ON COMANDAS (nombreproducto);

-- Side dishes of an order line.
CREATE TABLE ACOMPANAMIENTOS (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    IDCOMANDA LONG DEFAULT 0,
    NOMBREPRODUCTO TEXT(100) COLLATE ACCESS,
    CODPRODUCTO LONG DEFAULT 0,
    ACOMPANAMIENTO TEXT(100) COLLATE ACCESS,
    CODINSUMO LONG DEFAULT 0,
    CANTIDAD DOUBLE DEFAULT 0,
    COSTO DOUBLE DEFAULT 0
);
CREATE INDEX ACOMPANAMIENTOS_Comanda ON ACOMPANAMIENTOS (IDCOMANDA);

-- Chat messages with the support desk (PRIORIDAD -2) and other notices.
CREATE TABLE MENSAJE (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    mensaje LONGTEXT COLLATE ACCESS,
    destino TEXT(50) COLLATE ACCESS,
    origen TEXT(50) COLLATE ACCESS,
    PRIORIDAD SHORT DEFAULT 0,
    Fecha DATETIME DEFAULT (datetime('now', 'localtime'))
);
CREATE INDEX MENSAJE_Prioridad ON MENSAJE (PRIORIDAD, ID);

-- Sales summary rows.
CREATE TABLE rVent (
    Id INTEGER PRIMARY KEY AUTOINCREMENT,
    Fecha DATETIME,
    SyA TEXT(20) COLLATE ACCESS,
    Factura TEXT(20) COLLATE ACCESS,
    CodigoAB TEXT(20) COLLATE ACCESS,
    NombreProducto TEXT(100) COLLATE ACCESS,
    Cantidad DOUBLE DEFAULT 0,
    Valor CURRENCY DEFAULT 0,
    Impuesto CURRENCY DEFAULT 0,
    Negocio TEXT(50) COLLATE ACCESS,
    Mesero TEXT(50) COLLATE ACCESS
);

-- Accounts payable.
CREATE TABLE CxPg (
    Id INTEGER PRIMARY KEY AUTOINCREMENT,
    Fecha DATETIME,
    Tercero TEXT(20) COLLATE ACCESS,
    Documento TEXT(20) COLLATE ACCESS,
    Concepto TEXT(100) COLLATE ACCESS,
    Valor CURRENCY DEFAULT 0,
    Saldo CURRENCY DEFAULT 0,
    Vence DATETIME,
    SyA TEXT(20) COLLATE ACCESS
);

-- General ledger entries.
CREATE TABLE ConGen (
    Id INTEGER PRIMARY KEY AUTOINCREMENT,
    Fecha DATETIME,
    Cuenta TEXT(20) COLLATE ACCESS,
    Tercero TEXT(20) COLLATE ACCESS,
    Documento TEXT(20) COLLATE ACCESS,
    Detalle LONGTEXT COLLATE ACCESS,
    Debito CURRENCY DEFAULT 0,
    Credito CURRENCY DEFAULT 0,
    SyA TEXT(20) COLLATE ACCESS
);

-- Saved queries. Plain SQLite SQL: views are expanded by the engine, not
-- by the Access-dialect translator.

-- Per supply code: code, name, balance (sum of the stored movements) and
-- the date of its last stored movement.
CREATE VIEW UltimoRegistroInventario AS
SELECT M.CODIGO AS CODIGO,
       (SELECT I.Nombre FROM Insumos AS I WHERE I.Codigo = M.CODIGO) AS NOMBRE,
       SUM(M.Cantidad) AS SALDO,
       MAX(M.fecha) AS U_FECHA
FROM MovInv AS M
WHERE M.CODIGO IS NOT NULL
GROUP BY M.CODIGO;

-- Per supply code: the balance of the stored movements up to the last
-- closing (the latest movement whose Concepto is 'Cierre'). Empty while no
-- closing exists.
CREATE VIEW SaldoInsumosUltimoCierre AS
SELECT M.CODIGO AS CODIGO, SUM(M.Cantidad) AS SALDO
FROM MovInv AS M
WHERE M.CODIGO IS NOT NULL
  AND M.fecha <= (SELECT MAX(C.fecha) FROM MovInv AS C WHERE C.Concepto = 'Cierre')
GROUP BY M.CODIGO;

-- Tax rows that every site starts with: 'Impuesto' & Productos.impx.
INSERT INTO XX0100 (NOMBRE, DESCRIPCION, Vr) VALUES
    ('Impuesto0', 'Exento', 0),
    ('Impuesto1', 'IVA 19%', 19),
    ('Impuesto2', 'Impoconsumo 8%', 8);
