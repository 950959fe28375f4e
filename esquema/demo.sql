-- Demo catalogue: a small pizzeria with two branches.
--
-- Runs after sitio.sql. The schema tool fills the one-row table
-- temp.ParametrosDemo (cliente, sucursal, nombre) first, so the client's own
-- rows carry the identity of the site being created.

-- Supplies; the last three back the finished products of the same code.
INSERT INTO Insumos (Codigo, Nombre, Tipo, Inventario, medida, Costo, UInvF, UInvC, Empaque,
                     Standar, Categoria, Padre, lProduccion, CostoEstimado, "Fecha Costo", CANTKAL)
VALUES
    ('1001', 'HARINA DE TRIGO', 'PEPS', 0, 'Kilo', 3200, '2026-11-30', 40, 'Bulto',
     'Standar de Calidad', 'Materia Prima', '1001', 'Ninguno', 3200, '2026-11-30', 40),
    ('1002', 'QUESO MOZZARELLA', 'PEPS', 0, 'Kilo', 18000, '2026-11-30', 12, 'Bolsa',
     'Standar de Calidad', 'Materia Prima', '1002', 'Ninguno', 18000, '2026-11-30', 12),
    ('1003', 'SALSA DE TOMATE', 'PEPS', 0, 'Litro', 6500, '2026-11-30', 8, 'Galon',
     'Standar de Calidad', 'Materia Prima', '1003', 'Ninguno', 6500, '2026-11-30', 8),
    ('1004', 'JAMON', 'PEPS', 0, 'Kilo', 22000, '2026-11-30', 6, 'Bolsa',
     'Standar de Calidad', 'Materia Prima', '1004', 'Ninguno', 22000, '2026-11-30', 6),
    ('1005', 'PAPA', 'PEPS', 0, 'Kilo', 2500, '2026-11-30', 30, 'Bulto',
     'Standar de Calidad', 'Materia Prima', '1005', 'Ninguno', 2500, '2026-11-30', 30),
    ('1006', 'GASEOSA 350 ML', 'PEPS', 0, 'Unidad', 1800, '2026-11-30', 48, 'Caja',
     'Standar de Calidad', 'Materia Prima', '1006', 'Ninguno', 1800, '2026-11-30', 48),
    ('2001', 'PIZZA HAWAIANA', 'PEPS', 0, 'Unidad', 0, '2001-01-01', 0, 'Ninguno',
     'Standar de Calidad', 'Producto Terminado', '2001', 'Ninguno', 0, NULL, 0),
    ('2002', 'PAPAS A LA FRANCESA', 'PEPS', 0, 'Unidad', 0, '2001-01-01', 0, 'Ninguno',
     'Standar de Calidad', 'Producto Terminado', '2002', 'Ninguno', 0, NULL, 0),
    ('2003', 'GASEOSA', 'PEPS', 0, 'Unidad', 0, '2001-01-01', 0, 'Ninguno',
     'Standar de Calidad', 'Producto Terminado', '2003', 'Ninguno', 0, NULL, 0);

INSERT INTO Productos (CodigoAB, NombreProducto, Categoria, Negocio, CodigoBarras, descripcion,
                       impx, ImpVr, PrecioUnidad, Unidad, Costo, Bloquear,
                       Precio1, Precio2, Precio3, Precio4, Precio5, Precio6, Precio7, Precio8,
                       Precio9)
VALUES
    ('2001', 'Pizza Hawaiana', 'Pizzas', 'COCINA', '7701234000011', 'Pizza mediana de jamón y piña',
     1, 3992, 25000, 'Unidad', 9800, 0,
     25000, 24000, 23000, 25000, 25000, 22000, 25000, 26000, 27000),
    ('2002', 'Papas a la francesa', 'Acompañantes', 'COCINA', '7701234000028', 'Porción de 300 g',
     2, 593, 8000, 'Unidad', 900, 0,
     8000, 7500, 7000, 8000, 8000, 7000, 8000, 8500, 9000),
    ('2003', 'Gaseosa', 'Bebidas', 'BAR', '7701234000035', 'Botella de 350 ml',
     1, 559, 3500, 'Unidad', 1800, 0,
     3500, 3500, 3500, 3500, 3500, 3000, 3500, 4000, 4000);

INSERT INTO Rzs (Consecutivo, IdProducto, IdInsumo, Producto, Insumo, Cantidad, medida, Tipo,
                 Costo, NombreGrupo, Medidor, Bmedidor)
VALUES
    (1, '2001', '1001', 'PIZZA HAWAIANA', 'HARINA DE TRIGO', 0.25, 'Kilo', 'Receta', 800, 'Masa', 'UNIDAD', 0),
    (2, '2001', '1002', 'PIZZA HAWAIANA', 'QUESO MOZZARELLA', 0.2, 'Kilo', 'Receta', 3600, 'Cubierta', 'UNIDAD', 0),
    (3, '2001', '1003', 'PIZZA HAWAIANA', 'SALSA DE TOMATE', 0.1, 'Litro', 'Receta', 650, 'Cubierta', 'UNIDAD', 0),
    (4, '2001', '1004', 'PIZZA HAWAIANA', 'JAMON', 0.1, 'Kilo', 'Receta', 2200, 'Cubierta', 'UNIDAD', 0),
    (5, '2002', '1005', 'PAPAS A LA FRANCESA', 'PAPA', 0.3, 'Kilo', 'Receta', 750, 'Base', 'UNIDAD', 0),
    (6, '2003', '1006', 'GASEOSA', 'GASEOSA 350 ML', 1, 'Unidad', 'Receta', 1800, 'Base', 'UNIDAD', 0);

INSERT INTO PREPARACIONES (Codigo) VALUES ('2001'), ('2002'), ('2003');

-- Stored movements: purchases, then a closing on the last day of November.
INSERT INTO MovInv (CODIGO, Nombre, medida, Cantidad, Costo, fecha, Hora, Concepto, SyA, Bodega,
                    Usuario, Confirmado, Factor, Tercero, Observaciones, Lote, NUMERORR, Total)
SELECT '1001', 'HARINA DE TRIGO', 'Kilo', 50, 3200, '2026-11-02', '08:15:00', 'Compra',
       cliente || sucursal, 1, 'MARIA', 1, 1, '800200300', '', 'L-1101', 'C-0001', 160000
FROM temp.ParametrosDemo
UNION ALL
SELECT '1002', 'QUESO MOZZARELLA', 'Kilo', 15, 18000, '2026-11-02', '08:20:00', 'Compra',
       cliente || sucursal, 1, 'MARIA', 1, 1, '800200300', '', 'L-1102', 'C-0001', 270000
FROM temp.ParametrosDemo
UNION ALL
SELECT '1001', 'HARINA DE TRIGO', 'Kilo', -10, 3200, '2026-11-20', '21:00:00', 'Consumo',
       cliente || sucursal, 1, 'MARIA', 1, 1, '', '', '', 'P-0042', -32000
FROM temp.ParametrosDemo
UNION ALL
SELECT '1002', 'QUESO MOZZARELLA', 'Kilo', -3, 18000, '2026-11-30', '22:00:00', 'Cierre',
       cliente || sucursal, 1, 'MARIA', 1, 1, '', 'Ajuste de cierre', '', 'K-0011', -54000
FROM temp.ParametrosDemo
UNION ALL
SELECT '1005', 'PAPA', 'Kilo', 30, 2500, '2026-12-03', '09:00:00', 'Compra',
       cliente || sucursal, 1, 'MARIA', 1, 1, '800200300', '', '', 'C-0002', 75000
FROM temp.ParametrosDemo;

-- Third parties: the client itself, the final consumer, a cashier, a
-- supplier with branches and a doctor.
INSERT INTO Terceros (IdDocumento, Nombre, representante, TipoDocumento, Persona, regimen,
                      Direccion, Ciudad, Telefono1, Telefono2, Mail, Sangre, Comentarios,
                      FNacimiento, FIngreso, FRetiro, SyA, idCliente, Proveedor, cliente,
                      empleado, Socio, Otro)
SELECT cliente, upper(nombre), 'No Definido', 'Nit/CC', 'Juridica', 'Comun',
       'CALLE 10 # 43-12 ', 'Medellín', '6044440000', 'No Definido', 'gerencia@pizzeria.example',
       '0', 'Cliente del sistema', NULL, '2020-01-01', NULL, 1, cliente, 0, 0, 0, 1, 0
FROM temp.ParametrosDemo;

INSERT INTO Terceros (IdDocumento, Nombre, representante, TipoDocumento, Persona, regimen,
                      Direccion, Ciudad, Telefono1, Telefono2, Mail, Sangre, Comentarios,
                      FNacimiento, FIngreso, FRetiro, SyA, idCliente, Proveedor, cliente,
                      empleado, Socio, Otro)
VALUES
    ('222222222222', 'CONSUMIDOR FINAL', 'No Definido', 'Nit/CC', 'Natural', 'Simplificado',
     'No Definido', 'No Definido', '0000000', 'No Definido', 'No Definido', '0', 'No Definido',
     NULL, '2020-01-01', NULL, 0, '', 0, 1, 0, 0, 0),
    ('43123456', 'MARIA GOMEZ', 'No Definido', 'Cedula', 'Natural', 'Simplificado',
     'CARRERA 70 # 30-05 ', 'Medellín', '3001234567', 'No Definido', 'maria@correo.example', 'O+',
     'Cajera', '1990-04-12', '2024-02-01', NULL, 0, '', 0, 1, 1, 0, 0),
    ('800200300', 'DISTRIBUIDORA ANDINA SAS', 'Jorge Restrepo', 'Nit/CC', 'Juridica', 'Comun',
     'AUTOPISTA SUR # 50-20 ', 'Itagüí', '6043720000', '6043720001', 'ventas@andina.example', '0',
     'Proveedor de harinas y lácteos', NULL, '2021-06-01', NULL, 1, '', 1, 0, 0, 0, 0),
    ('71234567', 'CARLOS RIOS', 'No Definido', 'Nit/CC', 'No definido', 'Simplificado',
     'No Definido', 'No Definido', 'No Definido', 'No Definido', 'No Definido', '0', 'No Definido',
     NULL, '2025-03-10', NULL, 0, '15', 1, 0, 0, 0, 0);

-- Users of the point of sale.
INSERT INTO PW (idTercero, IdEmpleado, Nombre, pw, Documento, Nick, acceso, labor, lugar, Fecha,
                Base, Cargo, Turno, Correo, Observaciones, Direccion, Telefono)
SELECT IdTercero, 1, 'MARIA GOMEZ', '1234', '43123456', 'maria', 'Cajero', 'Caja',
       'Sede Principal', '2024-02-01', 100000, 'Cajera', 'Tarde', 'maria@correo.example', '',
       'CARRERA 70 # 30-05', '3001234567'
FROM Terceros WHERE IdDocumento = '43123456';

-- The client's branches: 001 and 002, and this site's own branch when it is
-- a third one. Two sites made from this catalogue list each other.
INSERT INTO SucYAgen (IDCLIENTE, Tercero, IDSYA, idTercero, Nombre, Direccion, Telefono,
                      Principal, Bodega, Domicilios)
SELECT P.cliente, P.cliente, '001',
       (SELECT T.IdTercero FROM Terceros AS T WHERE T.IdDocumento = P.cliente),
       'Sede Principal', 'CALLE 10 # 43-12', '6044440000', 1, 1, 1
FROM temp.ParametrosDemo AS P
UNION ALL
SELECT P.cliente, P.cliente, '002',
       (SELECT T.IdTercero FROM Terceros AS T WHERE T.IdDocumento = P.cliente),
       'Sede Norte', 'CARRERA 65 # 98-40', '6044441111', 0, 0, 1
FROM temp.ParametrosDemo AS P
UNION ALL
SELECT P.cliente, P.cliente, P.sucursal,
       (SELECT T.IdTercero FROM Terceros AS T WHERE T.IdDocumento = P.cliente),
       P.nombre, 'No Definido', 'No Definido', 0, 0, 0
FROM temp.ParametrosDemo AS P
WHERE P.sucursal NOT IN ('001', '002');

-- Branches of the supplier; their IDSYA begins with the municipality code.
INSERT INTO SucYAgen (IDCLIENTE, Tercero, IDSYA, idTercero, Nombre, Direccion, Telefono,
                      Principal, Bodega, Domicilios)
SELECT '800200300', '800200300', '05360-01', IdTercero, 'Andina Itagüí',
       'AUTOPISTA SUR # 50-20', '6043720000', 1, 1, 0
FROM Terceros WHERE IdDocumento = '800200300'
UNION ALL
SELECT '800200300', '800200300', '11001-01', IdTercero, 'Andina Bogotá',
       'CALLE 13 # 68-10', '6014120000', 0, 1, 0
FROM Terceros WHERE IdDocumento = '800200300';

-- Municipalities.
INSERT INTO PSYAG (CODIGO, NombreMunicipio, NombreDpto) VALUES
    ('05001', 'Medellín', 'Antioquia'),
    ('05360', 'Itagüí', 'Antioquia'),
    ('11001', 'Bogotá D.C.', 'Bogotá D.C.'),
    ('76001', 'Cali', 'Valle del Cauca'),
    ('08001', 'Barranquilla', 'Atlántico');
