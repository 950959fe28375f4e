#!/usr/bin/env bash
# What a site gets from the package: installs the build into a scratch root
# (DESTDIR) and checks the layout, runs the installed programs from there,
# checks the service unit and the autostart entry with systemd-analyze and
# desktop-file-validate where they are installed, then builds the Debian
# package and checks that it holds the same files and its control data.
#
#   test_paquete.sh BUILD_FOLDER SOURCE_FOLDER [--sin-shell]
#
# --sin-shell skips loading the extension into the sqlite3 shell (a
# sanitizer build's extension cannot load into an uninstrumented program).
set -euo pipefail
build=$(cd "${1:?the build folder}" && pwd)
fuente=$(cd "${2:?the source folder}" && pwd)
conShell=1
[ "${3:-}" = --sin-shell ] && conShell=0

trabajo=$(mktemp -d -t sinc-paquete.XXXXXX)
trap 'rm -rf "$trabajo"' EXIT
raiz="$trabajo/raiz"
fallos=0
falla() {
  echo "FAIL: $*" >&2
  fallos=$((fallos + 1))
}

DESTDIR="$raiz" cmake --install "$build" >"$trabajo/install.log"

# --- layout
for archivo in /usr/bin/sincronizador /usr/bin/sincronizador-servidor; do
  [ -x "$raiz$archivo" ] || falla "$archivo is missing or not executable"
done
for archivo in /usr/share/sincronizador/esquema/sitio.sql /usr/share/sincronizador/esquema/propias.sql \
  /usr/share/sincronizador/esquema/demo.sql \
  /usr/share/icons/hicolor/scalable/apps/sincronizador.svg /usr/share/doc/sincronizador/README.md \
  /usr/lib/systemd/system/sincronizador.service /etc/xdg/autostart/sincronizador.desktop \
  /etc/sincronizador/sincronizador.conf; do
  [ -f "$raiz$archivo" ] || falla "$archivo is missing"
done
extensiones=("$raiz"/usr/lib/*/sincronizador/access.so)
[ -f "${extensiones[0]}" ] || falla "the extension access.so is not under /usr/lib/<arch>/sincronizador/"
extension=${extensiones[0]}
[ "$(stat -c %a "$raiz/etc/sincronizador/sincronizador.conf")" = 644 ] ||
  falla "the settings file is not mode 644"
sobrantes=$(find "$raiz" -name '*test*' -o -name '*bench*')
[ -z "$sobrantes" ] || falla "test or benchmark programs are installed: $sobrantes"

unidad="$raiz/usr/lib/systemd/system/sincronizador.service"
grep -qx 'ExecStart=/usr/bin/sincronizador --sin-ventana --ajustes /etc/sincronizador/sincronizador.conf' \
  "$unidad" || falla "the unit does not start the installed program with the settings file"
grep -qx 'User=sincronizador' "$unidad" || falla "the unit does not run as its own user"
grep -qx 'Restart=on-failure' "$unidad" || falla "the unit does not restart on failure"
grep -qx 'Exec=/usr/bin/sincronizador --ajustes /etc/sincronizador/sincronizador.conf' \
  "$raiz/etc/xdg/autostart/sincronizador.desktop" || falla "the autostart entry runs something else"

# --- the installed programs work from the scratch root
base="$trabajo/sitio.db"
"$raiz/usr/bin/sincronizador" crear-base "$base" --cliente 900100 --sucursal 001 >/dev/null ||
  falla "the installed crear-base failed"
# The shipped settings file is read as it stands (an unknown setting would
# stop the program here).
"$raiz/usr/bin/sincronizador" --ajustes "$raiz/etc/sincronizador/sincronizador.conf" ejecutar \
  "$base" "SELECT COUNT(*) FROM XX0100" >/dev/null || falla "the shipped settings file is refused"
if [ "$conShell" = 1 ]; then
  sqlite3 "$base" ".load ${extension%.so}" "INSERT INTO COMUNICACIONES (Servicio, Tabla, Origen, \
Destino, Funcion, Campo1) VALUES (2, 14, '900100001', '000000000000000', 'A', 'hola')" ||
    falla "the sqlite3 shell could not write with the installed extension"
  [ "$("$raiz/usr/bin/sincronizador" ejecutar "$base" "SELECT Campo1 FROM COMUNICACIONES")" = hola ] ||
    falla "the row the shell wrote is not there"
fi

# --- validators, where installed
if command -v systemd-analyze >/dev/null; then
  # The unit's dependencies (sysinit.target, ...) come from this machine.
  verificar="$trabajo/verificar"
  mkdir -p "$verificar/usr/lib/systemd"
  cp -a "$raiz/." "$verificar/"
  cp -rn /usr/lib/systemd/system "$verificar/usr/lib/systemd/" 2>/dev/null || true
  if ! salida=$(systemd-analyze verify --root="$verificar" sincronizador.service 2>&1) ||
    [ -n "$salida" ]; then
    falla "systemd-analyze verify: $salida"
  fi
else
  echo "systemd-analyze is not installed: the unit check is skipped"
fi
if command -v desktop-file-validate >/dev/null; then
  salida=$(desktop-file-validate "$raiz/etc/xdg/autostart/sincronizador.desktop" 2>&1) ||
    falla "desktop-file-validate: $salida"
  [ -z "$salida" ] || falla "desktop-file-validate: $salida"
else
  echo "desktop-file-validate is not installed: the autostart entry check is skipped"
fi
for guion in "$fuente/paquete/postinst" "$fuente/paquete/prerm"; do
  sh -n "$guion" || falla "$(basename "$guion") is not valid sh"
done

# --- the Debian package holds the same files
if command -v dpkg-shlibdeps >/dev/null && command -v dpkg-deb >/dev/null; then
  cpack --config "$build/CPackConfig.cmake" -B "$trabajo/cpack" \
    -D CPACK_OUTPUT_FILE_PREFIX="$trabajo/deb" >"$trabajo/cpack.log" 2>&1 ||
    { cat "$trabajo/cpack.log" >&2; falla "cpack failed"; }
  paquetes=("$trabajo"/deb/sincronizador_*.deb)
  if [ -f "${paquetes[0]}" ]; then
    deb=${paquetes[0]}
    dpkg-deb -x "$deb" "$trabajo/deb-raiz"
    diff <(cd "$raiz" && find . -type f | sort) <(cd "$trabajo/deb-raiz" && find . -type f | sort) ||
      falla "the package's files differ from the installed ones"
    # Each output is read whole first: grep -q stopping early would fail the
    # pipe under pipefail.
    depende=$(dpkg-deb -f "$deb" Depends)
    grep -q adduser <<<"$depende" || falla "the package does not depend on adduser"
    grep -q libqt6network6 <<<"$depende" || falla "shlibdeps found no Qt"
    control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
    grep -qx ./postinst <<<"$control" || falla "the package has no postinst"
    conffiles=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)
    for archivo in /etc/sincronizador/sincronizador.conf /etc/xdg/autostart/sincronizador.desktop; do
      grep -qx "$archivo" <<<"$conffiles" || falla "$archivo is not a conffile"
    done
  else
    falla "cpack wrote no package"
  fi
else
  echo "dpkg-dev is not installed: the package build is skipped"
fi

if [ "$fallos" -gt 0 ]; then
  echo "$fallos failed, 0 passed"
  exit 1
fi
echo "package layout: all checks passed"
