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
while [ $# -gt 0 ]; do
  case $1 in
    --bin) bin=$2; shift 2 ;;
    --duracion) duracion=$2; shift 2 ;;
    --pequenos) pequenos=$2; shift 2 ;;
    --cadena) cadena=$2; shift 2 ;;
    --setups) setups=$2; shift 2 ;;
    --humo) humo=1; shift ;;
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
  "$bin/sincronizador-servidor" --puerto 0 --base "$base" --conexiones-por-direccion 0 \
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
