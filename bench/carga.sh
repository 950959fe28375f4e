#!/usr/bin/env bash
# The central server under load (bench/carga.cpp), on each store setup:
# SQLite, PostgreSQL with one server process, PostgreSQL with two. Two
# shapes: many small clients (clients of 5 sites, every site posting a
# record every pass of 3.2 s) and one large chain (one client of 500 sites,
# every site posting every pass, each record going to 499 sites).
#
#   bench/carga.sh [--bin DIR] [--duracion S] [--pequenos "1000 3000"]
#                  [--cadena "500"] [--setups "sqlite pg1 pg2"]
#   bench/carga.sh --humo [--bin DIR]    # a few seconds, checks only
#   bench/carga.sh --techo N [--bin DIR] [--duracion S]
#       PostgreSQL's own limit beside the server's, N times: one server
#       process on PostgreSQL as fast as it goes (3,000 sites in clients of
#       5, a pass of 100 ms), then pgbench running the same statements on
#       the store it left, with as many connections: one statement at a
#       time (bench/carga-pg.sql), and in the server's pipelines
#       (bench/carga-pg-tuberia.sql); prints the three and the ratios.
#
# Each run starts fresh servers on fresh stores; the PostgreSQL cluster is
# a throwaway one (scripts/postgres, flushing to disk like SQLite does).
# Everything runs on this machine: the load generator, the servers and
# PostgreSQL share its cores.
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
bin=$raiz/build/bin
duracion=30
pequenos="1000 3000"
cadena="500"
setups="sqlite pg1 pg2"
humo=0
techo=0
while [ $# -gt 0 ]; do
  case $1 in
    --bin) bin=$2; shift 2 ;;
    --duracion) duracion=$2; shift 2 ;;
    --pequenos) pequenos=$2; shift 2 ;;
    --cadena) cadena=$2; shift 2 ;;
    --setups) setups=$2; shift 2 ;;
    --humo) humo=1; shift ;;
    --techo) techo=$2; shift 2 ;;
    *) echo "carga.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
for programa in carga sincronizador-servidor; do
  [ -x "$bin/$programa" ] || { echo "carga.sh: $bin/$programa is missing (scripts/build)" >&2; exit 1; }
done

dir=$(mktemp -d /tmp/sinc-carga.XXXXXX)
pids=()
terminar() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  pids=()
}
limpiar() {
  terminar
  "$raiz/scripts/postgres" detener "$dir/pg" >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap limpiar EXIT

# Starts a server on $base and adds its host:port to $servidores.
arrancar() {
  local n=${#pids[@]}
  # Every simulated site connects from this one address.
  "$bin/sincronizador-servidor" --puerto 0 --base "$base" --conexiones-por-direccion 0 --registro-abierto \
    >"$dir/servidor-$n.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 200); do
    if grep -q 'Servidor escuchando' "$dir/servidor-$n.log"; then
      servidores+=(--servidor "$(grep -o '127\.0\.0\.1:[0-9]*' "$dir/servidor-$n.log" | head -n 1)")
      return 0
    fi
    kill -0 "${pids[-1]}" 2>/dev/null || break
    sleep 0.05
  done
  echo "carga.sh: the server did not start:" >&2
  cat "$dir/servidor-$n.log" >&2
  return 1
}

# Sets $base to a fresh store for the setup.
uriPg=
base=
basePara() {
  if [ "$1" = sqlite ]; then
    rm -f "$dir/central.db"*
    base=$dir/central.db
  else
    [ -n "$uriPg" ] || uriPg=$("$raiz/scripts/postgres" iniciar "$dir/pg" --durable)
    psql -X -q "$uriPg" -c "DROP SCHEMA IF EXISTS carga CASCADE" -c "CREATE SCHEMA carga" \
      >/dev/null 2>&1
    base="$uriPg?options=-csearch_path%3Dcarga"
  fi
}

# correr SETUP SITIOS POR_CLIENTE [carga options...]
correr() {
  local setup=$1 sitios=$2 porCliente=$3
  shift 3
  servidores=()
  basePara "$setup"
  arrancar
  if [ "$setup" = pg2 ]; then arrancar; fi
  echo "-- $setup"
  local estado=0
  "$bin/carga" "${servidores[@]}" --sitios "$sitios" --por-cliente "$porCliente" "$@" || estado=$?
  terminar
  return $estado
}

if [ "$humo" = 1 ]; then
  correr sqlite 20 5 --pasada-ms 200 --duracion 2 --drenar 10
  correr pg2 20 5 --pasada-ms 200 --duracion 2 --drenar 10
  exit 0
fi

# The server saturated, then pgbench on the same statements: requests a
# second of each (a pgbench transaction is a site's pass: two requests).
if [ "$techo" -gt 0 ]; then
  command -v pgbench >/dev/null || { echo "carga.sh: pgbench is missing (scripts/setup)" >&2; exit 1; }
  razones=()
  razonesTuberia=()
  for i in $(seq "$techo"); do
    echo "== techo $i de $techo: 3000 sitios en clientes de 5, pasada 100 ms"
    estado=0
    correr pg1 3000 5 --pasada-ms 100 --duracion "$duracion" --drenar 30 >"$dir/carga.txt" || estado=$?
    cat "$dir/carga.txt"
    [ "$estado" = 0 ] || { echo "carga.sh: the run lost or duplicated records" >&2; exit 1; }
    servidor=$(sed -n 's/^peticiones: [0-9]* (\([0-9.]*\)\/s).*/\1/p' "$dir/carga.txt")
    # pgbench: each statement on its own, then in the server's pipelines.
    figuras=()
    for guion in carga-pg carga-pg-tuberia; do
      PGOPTIONS="-csearch_path=carga" pgbench -n -M prepared -c 8 -j 2 -T "$duracion" \
        -D clientes=600 -f "$raiz/bench/$guion.sql" "$uriPg" >"$dir/pgbench.txt" 2>&1 ||
        { cat "$dir/pgbench.txt" >&2; exit 1; }
      tps=$(sed -n 's/^tps = \([0-9.]*\).*/\1/p' "$dir/pgbench.txt")
      figuras+=("$(awk -v t="$tps" 'BEGIN { printf "%.1f", 2 * t }')")
    done
    razon=$(awk -v s="$servidor" -v p="${figuras[0]}" 'BEGIN { printf "%.2f", s / p }')
    razonTuberia=$(awk -v s="$servidor" -v p="${figuras[1]}" 'BEGIN { printf "%.2f", s / p }')
    echo "servidor: $servidor peticiones/s; pgbench: ${figuras[0]} peticiones/s (razon $razon)," \
      "en tuberia ${figuras[1]} peticiones/s (razon $razonTuberia)"
    razones+=("$razon")
    razonesTuberia+=("$razonTuberia")
  done
  mediana() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
  echo "razon servidor/pgbench: ${razones[*]}; mediana $(mediana "${razones[@]}")"
  echo "razon servidor/pgbench en tuberia: ${razonesTuberia[*]}; mediana $(mediana "${razonesTuberia[@]}")"
  exit 0
fi

fallos=0
for setup in $setups; do
  for n in $pequenos; do
    echo "== clientes de 5, $n sitios"
    correr "$setup" "$n" 5 --duracion "$duracion" || fallos=$((fallos + 1))
  done
  for n in $cadena; do
    echo "== cadena de $n sitios"
    correr "$setup" "$n" "$n" --duracion "$duracion" || fallos=$((fallos + 1))
  done
done
[ "$fallos" = 0 ] || { echo "carga.sh: $fallos run(s) lost or duplicated records" >&2; exit 1; }
