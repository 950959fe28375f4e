#!/usr/bin/env bash
# The store's size at steady state: the load test (bench/carga.cpp) against
# one server on a SQLite store with a short history, and every few seconds
# the records and deliveries the store holds and the size of its files. With
# the history applied they stop growing once the history is full.
#
#   bench/historial.sh [--bin DIR] [--duracion S] [--historial S] [--sitios N]
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
bin=$raiz/build/bin
duracion=240
historial=60
sitios=500
cada=20
while [ $# -gt 0 ]; do
  case $1 in
    --bin) bin=$2; shift 2 ;;
    --duracion) duracion=$2; shift 2 ;;
    --historial) historial=$2; shift 2 ;;
    --sitios) sitios=$2; shift 2 ;;
    *) echo "historial.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
for programa in carga sincronizador-servidor; do
  [ -x "$bin/$programa" ] || { echo "historial.sh: $bin/$programa is missing (scripts/build)" >&2; exit 1; }
done
command -v sqlite3 >/dev/null || { echo "historial.sh: needs sqlite3 (scripts/setup)" >&2; exit 1; }

dir=$(mktemp -d /tmp/sinc-historial.XXXXXX)
pids=()
limpiar() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$dir"
}
trap limpiar EXIT

base=$dir/central.db
dias=$(awk -v s="$historial" 'BEGIN { printf "%.8f", s / 86400 }')
"$bin/sincronizador-servidor" --puerto 0 --base "$base" --conexiones-por-direccion 0 \
  --registro-abierto --historial "$dias" >"$dir/servidor.log" 2>&1 &
pids+=($!)
servidor=
for _ in $(seq 200); do
  servidor=$(grep -o '127\.0\.0\.1:[0-9]*' "$dir/servidor.log" | head -n 1 || true)
  [ -n "$servidor" ] && break
  sleep 0.05
done
[ -n "$servidor" ] || { echo "historial.sh: the server did not start" >&2; cat "$dir/servidor.log" >&2; exit 1; }

echo "== $sitios sites in clients of 5, history ${historial} s, ${duracion} s posting"
"$bin/carga" --servidor "$servidor" --sitios "$sitios" --por-cliente 5 --duracion "$duracion" \
  >"$dir/carga.log" 2>&1 &
carga=$!
pids+=($carga)
printf '%6s %10s %10s %12s\n' "s" "records" "deliveries" "file KiB"
inicio=$SECONDS
while kill -0 "$carga" 2>/dev/null; do
  sleep "$cada"
  cuenta=$(sqlite3 -readonly "$base" "PRAGMA busy_timeout=5000" \
    "SELECT (SELECT count(*) FROM registros) || ' ' || (SELECT count(*) FROM entregas)" 2>/dev/null \
    | tail -n 1 || echo "? ?")
  kib=$(du -ck "$base"* | tail -n 1 | cut -f1)
  printf '%6d %10s %10s %12s\n' $((SECONDS - inicio)) ${cuenta% *} ${cuenta#* } "$kib"
done
wait "$carga" || { cat "$dir/carga.log"; exit 1; }
cat "$dir/carga.log"
