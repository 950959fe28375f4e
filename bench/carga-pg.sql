-- The work of one site's pass on the central server's PostgreSQL store,
-- statement by statement as the server runs it (servidor/Sentencias.cpp,
-- servidor/ConexionPostgres.cpp): a getData (the deliveries owed, read
-- outside any transaction) and a setData (in one transaction: the client's
-- lock, the acknowledgements of what the getData read, one new general
-- record with a delivery for each sibling, the check for row ids used
-- before and its note). pgbench sends each statement and waits for its
-- answer; bench/carga-pg-tuberia.sql sends them in the server's pipelines. Run by
-- bench/carga.sh with pgbench -M prepared on the store the load test left;
-- a transaction of this script is two of the server's requests.
--   -D clientes=N  the load test's clients (sites 9CCCCCBBB, 5 a client)
\set c random(0, :clientes - 1)
\set b random(0, 4)
\set s 900000000 + :c * 1000 + :b
\set cl 900000 + :c
\set fila random(1, 1000000000000)
\set t 1700000000
SELECT e.id, r.tabla, r.origen, r.destino, r.general, r.servicio, r.funcion, r.Campo1, r.Campo2, r.Campo3, r.Campo4, r.Campo5, r.Campo6, r.Campo7, r.Campo8, r.Campo9, r.Campo10, r.Campo11, r.Campo12, r.Campo13, r.Campo14, r.Campo15, r.Campo16, r.Campo17, r.Campo18, r.Campo19, r.Campo20, r.Campo21, r.Campo22, r.Campo23, r.Campo24, r.Campo25, r.Campo26, r.Campo27, r.Campo28, r.Campo29, r.Campo30, r.Campo31, r.Campo32, r.Campo33, r.Campo34, r.Campo35, r.Campo36, r.Campo37, r.Campo38, r.Campo39, r.idOrigen FROM entregas e JOIN registros r ON r.id = e.registro WHERE e.sitio = CAST(:s AS TEXT) AND e.acusada = 0 ORDER BY e.registro LIMIT 500;
BEGIN ISOLATION LEVEL READ COMMITTED;
SELECT 1 FROM clientes WHERE cliente = CAST(:cl AS TEXT) FOR SHARE;
UPDATE entregas SET acusada = :t WHERE sitio = CAST(:s AS TEXT) AND acusada = 0 AND id = ANY(ARRAY(SELECT id FROM entregas WHERE sitio = CAST(:s AS TEXT) AND acusada = 0 ORDER BY registro LIMIT 500));
WITH r AS (INSERT INTO registros (origen, idOrigen, huella, cliente, destino, general, servicio, tabla, funcion, Campo1, Campo2, Campo3, Campo4, Campo5, Campo6, Campo7, Campo8, Campo9, Campo10, Campo11, Campo12, Campo13, Campo14, Campo15, Campo16, Campo17, Campo18, Campo19, Campo20, Campo21, Campo22, Campo23, Campo24, Campo25, Campo26, Campo27, Campo28, Campo29, Campo30, Campo31, Campo32, Campo33, Campo34, Campo35, Campo36, Campo37, Campo38, Campo39, Campo40, recibido) VALUES (CAST(:s AS TEXT), CAST(:fila AS TEXT), md5(CAST(:fila AS TEXT)), CAST(:cl AS TEXT), '000000000000000', 1, '2', '14', 'A', CAST(:s AS TEXT), 'texto', 'texto', 'texto', 'texto', 'texto', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', :t) ON CONFLICT (origen, idOrigen, huella) DO NOTHING RETURNING id), e AS (INSERT INTO entregas (registro, sitio) SELECT r.id, t.codigo FROM r JOIN sitios t ON t.cliente = CAST(:cl AS TEXT) AND t.codigo <> CAST(:s AS TEXT) ON CONFLICT DO NOTHING) SELECT id FROM r \gset
SELECT idOrigen, recibido FROM registros WHERE origen = CAST(:s AS TEXT) AND idOrigen = ANY(ARRAY[CAST(:fila AS TEXT)]) AND NOT id = ANY(ARRAY[CAST(:id AS BIGINT)]) ORDER BY length(idOrigen), idOrigen, recibido LIMIT 1;
UPDATE sitios SET retroceso = CAST(:t AS BIGINT), filaRetroceso = v.idOrigen, copiaAntesDe = v.recibido FROM (SELECT idOrigen, recibido FROM registros WHERE origen = CAST(:s AS TEXT) AND idOrigen = ANY(ARRAY[CAST(:fila AS TEXT)]) AND NOT id = ANY(ARRAY[CAST(:id AS BIGINT)]) ORDER BY length(idOrigen), idOrigen, recibido LIMIT 1) v WHERE codigo = CAST(:s AS TEXT) AND retroceso = 0;
COMMIT;
