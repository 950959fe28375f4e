#!/usr/bin/env bash
# End-to-end figures of the synchronizer's cycle, all on loopback:
#
#  1. latency of a record written at site A until site B has applied it,
#     through the reference server, at the default 800 ms tick and at 50 ms;
#  2. resident memory of a headless synchronizer over 1,000 passes with
#     records flowing both ways.
#
#   bench/ciclo.sh              run with the programs in build/bin
#   bench/ciclo.sh --bin DIR    run with the programs in DIR
set -euo pipefail

raiz=$(cd "$(dirname "$0")/.." && pwd)
bin="$raiz/build/bin"
while [ $# -gt 0 ]; do
  case "$1" in
    --bin) bin=${2:?--bin needs a folder}; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) echo "ciclo: unknown argument $1" >&2; exit 2 ;;
  esac
done
bin=$(cd "$bin" && pwd)
for programa in sincronizador sincronizador-servidor; do
  [ -x "$bin/$programa" ] || { echo "ciclo: $bin/$programa is missing" >&2; exit 1; }
done
command -v sqlite3 >/dev/null || { echo "ciclo: the sqlite3 shell is missing" >&2; exit 1; }
# The headless synchronizer runs on a QCoreApplication: no display needed.
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

carpeta=$(mktemp -d -t sinc-ciclo.XXXXXX)
pids=()

# Stops the given processes: SIGTERM, a bounded wait, then SIGKILL.
detenerProcesos() {
  local pid
  for pid in "$@"; do kill -TERM "$pid" 2>/dev/null || true; done
  for _ in $(seq 50); do
    local vivos=0
    for pid in "$@"; do kill -0 "$pid" 2>/dev/null && vivos=1; done
    [ "$vivos" = 0 ] && break
    sleep 0.1
  done
  for pid in "$@"; do kill -KILL "$pid" 2>/dev/null || true; done
  for pid in "$@"; do wait "$pid" 2>/dev/null || true; done
}

limpiar() {
  local codigo=$?
  if ((${#pids[@]})); then detenerProcesos "${pids[@]}"; fi
  if [ "$codigo" != 0 ]; then
    for log in "$carpeta"/*/*.log; do
      [ -f "$log" ] || continue
      echo "---- last lines of $log" >&2
      tail -n 15 "$log" | tr -d '\r' >&2
    done
  fi
  rm -rf "$carpeta"
  exit "$codigo"
}
trap limpiar EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Wall clock in microseconds, without forking.
ahoraUs() { local t=${EPOCHREALTIME//[.,]/}; echo "$t"; }

# Sleeps until the given wall-clock microsecond (no-op when already past).
dormirHasta() {
  local t=${EPOCHREALTIME//[.,]/}
  local resto=$(($1 - t))
  ((resto > 0)) || return 0
  sleep "$(printf '%d.%06d' $((resto / 1000000)) $((resto % 1000000)))"
}

sql() { "$bin/sincronizador" ejecutar "$1" "$2"; }

cliente=900100
general=000000000000000

# Creates the site databases of sites 001 and 002 and their configuration
# files in folder $1.
crearSedes() {
  local dir=$1 sede
  for sede in 001 002; do
    "$bin/sincronizador" crear-base "$dir/sede-$sede.db" --cliente "$cliente" --sucursal "$sede" \
      --demo >/dev/null
    printf '%s\r\n' "$dir/sede-$sede.db" >"$dir/Acceso-$sede"
  done
}

# Starts the reference server with its database in folder $1; sets
# servidor (host:port) and servidorPid.
iniciarServidor() {
  local dir=$1
  "$bin/sincronizador-servidor" --puerto 0 --base "$dir/central.db" --registro-abierto >"$dir/servidor.log" 2>&1 &
  servidorPid=$!
  pids+=("$servidorPid")
  local puerto=""
  for _ in $(seq 150); do
    puerto=$(sed -n 's/^Servidor escuchando en 127\.0\.0\.1:\([0-9][0-9]*\).*/\1/p' \
      "$dir/servidor.log" | head -n 1)
    [ -n "$puerto" ] && break
    kill -0 "$servidorPid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$puerto" ] || { echo "ciclo: the reference server did not start" >&2; exit 1; }
  servidor="127.0.0.1:$puerto"
}

# Starts site $2 of folder $1 headless with tick $3 ms and at most $4 passes
# (0: until stopped); sets sedePid.
iniciarSede() {
  local dir=$1 sede=$2 intervalo=$3 ciclos=$4
  "$bin/sincronizador" --sin-ventana --acceso "$dir/Acceso-$sede" --servidor "$servidor" \
    --socio "$servidor" --intervalo "$intervalo" --ciclos "$ciclos" >"$dir/sede-$sede.log" 2>&1 &
  sedePid=$!
  pids+=("$sedePid")
}

# Number of passes a site has begun, counted by its getData requests.
pasadasDe() { grep -c 'r=servicio/getData' "$1" || true; }

# Waits (at most $3 seconds) until the log $1 holds at least $2 getData
# requests, checking that process $4 is still alive.
esperarPasadas() {
  local log=$1 objetivo=$2 limite=$3 pid=$4
  local fin=$(($(ahoraUs) + limite * 1000000))
  while (($(pasadasDe "$log") < objetivo)); do
    kill -0 "$pid" 2>/dev/null || { echo "ciclo: a synchronizer ended early" >&2; exit 1; }
    (($(ahoraUs) < fin)) || { echo "ciclo: $log did not reach $objetivo passes" >&2; exit 1; }
    sleep 0.05
  done
}

# Queues at site base $1 (site code $2) the record of product $3 for the
# client's other sites, as the point of sale does after writing the row.
encolarProducto() {
  sql "$1" "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, Destino, Funcion, Enviado, \
Campo1, Campo2, Campo3, Campo4, Campo7, Campo8, Campo9, Campo11, Campo13) VALUES (2, 2, '$2', \
'$general', 'A', False, '$3', 'Producto $3', 'BEBIDAS', 'BAR', '1', '0', '9500', '0', '9500')" \
    >/dev/null
}

escribirProducto() {
  sql "$1" "INSERT INTO PRODUCTOS (CodigoAB, NombreProducto, Categoria, Negocio, impx, \
PrecioUnidad, Precio1) VALUES ('$2', 'Producto $2', 'BEBIDAS', 'BAR', 1, 9500, 9500)" >/dev/null
}

# Seconds with two decimals from microseconds.
segundos() { awk -v us="$1" 'BEGIN { printf "%.2f", us / 1e6 }'; }

registros=20

# --- 1. latency A -> B at tick $1 ms, polling B every $2 ms
medirLatencia() {
  local tick=$1 sondeo=$2
  local dir="$carpeta/latencia-$tick"
  mkdir -p "$dir"
  crearSedes "$dir"
  local baseA="$dir/sede-001.db" baseB="$dir/sede-002.db"
  local sedeA=${cliente}001

  # The point of sale's product rows exist at A before the measured writes;
  # the measured write is the queued record, which is what travels.
  local k codigos=()
  for k in $(seq -w 1 "$registros"); do
    codigos+=("CICLO-$tick-$k")
    escribirProducto "$baseA" "CICLO-$tick-$k"
  done
  local base
  base=$(sqlite3 "$baseB" "SELECT COALESCE(MAX(rowid), 0) FROM Productos")

  iniciarServidor "$dir"
  local propios=("$servidorPid")
  iniciarSede "$dir" 001 "$tick" 0
  propios+=("$sedePid")
  local pidA=$sedePid
  iniciarSede "$dir" 002 "$tick" 0
  propios+=("$sedePid")
  local pidB=$sedePid
  # Both sites in their steady cycle before the first write.
  esperarPasadas "$dir/sede-001.log" 2 $((tick * 12 / 1000 + 10)) "$pidA"
  esperarPasadas "$dir/sede-002.log" 2 $((tick * 12 / 1000 + 10)) "$pidB"

  # Writes one record every 1.3 ticks at 800 ms (5.3 at 50 ms, leaving room
  # for the writing process): either step is 1.3 ticks past a whole pass,
  # so the writes fall at spread-out points of the four-tick pass.
  local espaciado
  if ((tick >= 400)); then espaciado=$((tick * 1300)); else espaciado=$((tick * 5300)); fi
  local inicio
  inicio=$(($(ahoraUs) + 100000))
  local escrituras="$dir/escrituras"
  : >"$escrituras"
  (
    for i in "${!codigos[@]}"; do
      dormirHasta $((inicio + i * espaciado))
      encolarProducto "$baseA" "$sedeA" "${codigos[$i]}"
      # The commit is visible once the writing process has returned.
      echo "${codigos[$i]} $(ahoraUs)" >>"$escrituras"
    done
  ) &
  local escritor=$!
  pids+=("$escritor")
  propios+=("$escritor")

  # B is polled through one long-lived sqlite3 shell, so a poll costs well
  # under a millisecond; rows past the catalogue's last rowid are the new ones.
  coproc LECTOR { exec sqlite3 -batch -noheader "$baseB"; }
  local lector=$LECTOR_PID
  pids+=("$lector")
  propios+=("$lector")
  local entrada=${LECTOR[1]} salida=${LECTOR[0]}
  echo ".timeout 2000" >&"$entrada"

  declare -A vistos=()
  local limite=$((inicio + registros * espaciado + 8 * tick * 1000 + 10000000))
  local proximo linea ahora
  # The polling loop reads the clock without forking.
  proximo=${EPOCHREALTIME//[.,]/}
  while ((${#vistos[@]} < registros)); do
    ahora=${EPOCHREALTIME//[.,]/}
    ((ahora < limite)) || break
    printf '%s\n' "SELECT CodigoAB FROM Productos WHERE rowid > $base;" "SELECT '#fin';" \
      >&"$entrada"
    while :; do
      IFS= read -r -t 5 linea <&"$salida" || { echo "ciclo: the sqlite3 shell stopped" >&2; exit 1; }
      [ "$linea" = "#fin" ] && break
      [ -n "${vistos[$linea]:-}" ] || vistos[$linea]=${EPOCHREALTIME//[.,]/}
    done
    proximo=$((proximo + sondeo * 1000))
    ahora=${EPOCHREALTIME//[.,]/}
    ((proximo > ahora)) || proximo=$ahora
    dormirHasta "$proximo"
  done
  wait "$escritor" || { echo "ciclo: writing at site A failed" >&2; exit 1; }
  exec {entrada}>&-
  detenerProcesos "${propios[@]}"

  local latencias=() codigo fin faltan=0
  while read -r codigo fin; do
    if [ -n "${vistos[$codigo]:-}" ]; then
      latencias+=($((vistos[$codigo] - fin)))
    else
      faltan=$((faltan + 1))
    fi
  done <"$escrituras"
  if ((faltan > 0 || ${#latencias[@]} < registros)); then
    echo "ciclo: at $tick ms, $faltan of $registros records did not reach site B in time" >&2
    exit 1
  fi
  local ordenadas
  mapfile -t ordenadas < <(printf '%s\n' "${latencias[@]}" | sort -n)
  local n=${#ordenadas[@]}
  local mediana=$(((ordenadas[(n - 1) / 2] + ordenadas[n / 2]) / 2))
  # A record waits up to a pass for A's setData, up to another for B's next
  # getData, then three ticks for B's local step: 11 ticks at worst, about
  # two passes as a round figure.
  local esperado=$((2 * 4 * tick * 1000)) peor=$((11 * tick * 1000))
  printf 'ciclo: A->B latency at %d ms tick: median %s s (min %s s, max %s s) over %d records, expected <= ~%s s (two passes of four ticks; %s s at worst by step order); B polled every %d ms\n' \
    "$tick" "$(segundos "$mediana")" "$(segundos "${ordenadas[0]}")" \
    "$(segundos "${ordenadas[n - 1]}")" "$n" "$(segundos "$esperado")" "$(segundos "$peor")" \
    "$sondeo"
}

# --- 2. resident memory of site A over 1,000 passes at a 2 ms tick
medirMemoria() {
  local dir="$carpeta/memoria"
  mkdir -p "$dir"
  crearSedes "$dir"
  local baseA="$dir/sede-001.db" baseB="$dir/sede-002.db"
  iniciarServidor "$dir"
  local propios=("$servidorPid")
  iniciarSede "$dir" 001 2 1500
  local pidA=$sedePid
  propios+=("$pidA")
  iniciarSede "$dir" 002 20 0
  propios+=("$sedePid")

  # Records flow both ways for the whole run: A posts its own and receives,
  # stores, acknowledges and applies those of B.
  (
    for i in $(seq -w 1 600); do
      encolarProducto "$baseA" "${cliente}001" "MEM-A-$i"
      sleep 0.15
      encolarProducto "$baseB" "${cliente}002" "MEM-B-$i"
      sleep 0.15
    done
  ) >/dev/null 2>&1 &
  local alimentador=$!
  pids+=("$alimentador")
  propios+=("$alimentador")

  local objetivo rss marcas=() tiempos=() inicio
  inicio=$(ahoraUs)
  for objetivo in 100 500 1000; do
    esperarPasadas "$dir/sede-001.log" "$objetivo" 120 "$pidA"
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pidA/status")
    marcas+=("$rss")
    tiempos+=($(($(ahoraUs) - inicio)))
  done
  local hwm pasadas
  hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pidA/status")
  pasadas=$(pasadasDe "$dir/sede-001.log")
  detenerProcesos "${propios[@]}"

  local deA deB
  deA=$(sql "$baseB" "SELECT COUNT(*) FROM PRODUCTOS WHERE CodigoAB LIKE 'MEM-A-*'")
  deB=$(sql "$baseA" "SELECT COUNT(*) FROM PRODUCTOS WHERE CodigoAB LIKE 'MEM-B-*'")

  mb() { awk -v kb="$1" 'BEGIN { printf "%.1f", kb / 1024 }'; }
  local crecimiento=$((marcas[2] - marcas[1]))
  local veredicto
  if ((crecimiento > 1024)); then
    veredicto="GREW by $(mb "$crecimiento") MB (more than 1 MB)"
  else
    veredicto="not growing ($(mb "$crecimiento") MB, within 1 MB)"
  fi
  local meta="under the 40 MB target"
  ((marcas[2] < 40 * 1024)) || meta="OVER the 40 MB target"
  local porPasada
  porPasada=$(awk -v us=$((tiempos[2] - tiempos[0])) 'BEGIN { printf "%.1f", us / 900 / 1000 }')
  echo "ciclo: resident memory of a headless synchronizer at a 2 ms tick (a pass every ~$porPasada ms):"
  printf '  VmRSS at pass ~100: %s MB (%s s), ~500: %s MB (%s s), ~1000: %s MB (%s s); peak %s MB\n' \
    "$(mb "${marcas[0]}")" "$(segundos "${tiempos[0]}")" "$(mb "${marcas[1]}")" \
    "$(segundos "${tiempos[1]}")" "$(mb "${marcas[2]}")" "$(segundos "${tiempos[2]}")" "$(mb "$hwm")"
  echo "  from pass 500 to 1000: $veredicto; at pass 1000: $meta"
  echo "  records flowing meanwhile: $deA of A's applied at B, $deB of B's applied at A ($pasadas passes counted)"
}

echo "ciclo: A and B are two sites of one client, through the reference server on loopback"
medirLatencia 800 20
medirLatencia 50 10
medirMemoria
