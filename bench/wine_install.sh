#!/usr/bin/env bash
# Times a default installation under Wine: the Installing phase of setup.exe
# beside NSIS installers (zlib, and solid LZMA) of the very same files, and
# prints one table. Figures only: it stops when something cannot run, never
# on a figure.
# usage: bench/wine_install.sh BUILD_DIR [PROGRAM_DIR]
#   PROGRAM_DIR  the folder whose setup.exe is measured (default BUILD_DIR/win64),
#                e.g. a copy of an earlier build to compare with
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: wine_install.sh BUILD_DIR [PROGRAM_DIR]}" && pwd)
programs=$(cd "${2:-$build/win64}" && pwd)

# Headless always: one screen size and no window manager, so that every run
# sees the same Wine.
if [ -z "${VM_BENCH_INSIDE_XVFB:-}" ]; then
  export VM_BENCH_INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$programs"
fi

setup_runs=${VM_BENCH_SETUP_RUNS:-3}
nsis_runs=${VM_BENCH_NSIS_RUNS:-5}
work="$build/bench/wine-install"
# The staged folders the measured setup.exe was packed from, so that NSIS
# packs the same files; a copy of an earlier build falls back on this build's.
stage="$programs/payload/stage"
[ -d "$stage" ] || stage="$build/win64/payload/stage"
export WINE_ROOT="$build/bench/wine"
export WINEARCH=win64
. "$here/../tests/e2e/wine-env.sh"
loader=$(wine_loader)
# The helpers of wine-env.sh end a server that may not be running, which
# fails under set -e: run them as a condition and check what they made.
fresh_prefix() { make_wine_prefix || true; [ -d "$WINEPREFIX/drive_c" ]; }
renew_prefix() { renew_wine_prefix || true; [ -d "$WINEPREFIX/drive_c" ]; }
# What a default installation on Windows NT installs (src/payload/component_table.cpp):
# every component, with the NT family's pipe driver, 450.
entries=(100 101 102 103 104 105 200 300 450 500 600 601 1000 1001 1002)
driver_entry=450

rm -rf "$work"
mkdir -p "$work/programs"
# The measured setup.exe beside this build's driver, which knows the stamp
# command that an earlier build's driver may not.
cp "$programs/setup.exe" "$build/win64/driver.exe" "$work/programs/"

millis() { date +%s%3N; }
# Best and median of the milliseconds given, in seconds.
stats() {
  printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1}
    END {m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.2f %.2f\n", v[1] / 1000, m / 1000}'
}
# Each file under a folder as "path<TAB>size", each folder as "path/", and the
# pipe driver in the system folder, where both installations put it.
list_installation() {  # FOLDER
  (cd "$1" && find . -mindepth 1 \( -type d -printf '%P/\n' -o -type f ! -name _vmunins.dat -printf '%P\t%s\n' \))
  find "$WINEPREFIX/drive_c/windows/system32" -maxdepth 1 -iname velkpipe.dll -printf 'system32/%f\t%s\n'
} 2>/dev/null
# Milliseconds from the start of a Wine program to its end, in a renewed
# prefix with no server running, so that each run pays Wine's whole start.
time_wine() {  # PROGRAM ARGS...
  renew_prefix
  local started; started=$(millis)
  "$loader" "$@" >/dev/null 2>&1 || { echo "wine_install: $* failed" >&2; return 1; }
  echo $(($(millis) - started))
}

echo "wine_install: making a fresh Wine prefix in $WINE_ROOT"
fresh_prefix

# setup.exe: the span between the driver's two stamps.
setup_ms=()
for run in $(seq "$setup_runs"); do
  renew_prefix
  log="$work/setup-$run.log"
  if ! (cd "$work/programs" && "$loader" driver.exe "Z:$here/wine_install.steps") >"$log" 2>&1; then
    echo "wine_install: the default installation failed; the driver said:" >&2
    cat "$log" >&2
    exit 1
  fi
  stamps=$(tr -d '\r' <"$log" | awk '$1 == "stamp" {t[$2] = $3} END {print t["installing-end"] - t["installing-start"]}')
  setup_ms+=("$stamps")
  echo "wine_install: setup.exe run $run: Installing phase $stamps ms"
done
list_installation "$WINEPREFIX/drive_c/Program Files/Velk Modular" | sort >"$work/setup-files.txt"

# The NSIS installers: the staged folders that the build packed into
# setup.exe's entries, so the uninstaller and vm.exe are the build's own.
# setup.exe puts the driver into the system folder under its own name.
. "$here/nsis.sh"
default_installation() {  # COMPRESSOR OUTFILE
  local id ids=()
  for id in "${entries[@]}"; do [ "$id" = "$driver_entry" ] || ids+=("$id"); done
  nsis_script "$1" amd64-unicode "$2" "$stage" "${ids[@]}"
  echo '  SetOutPath "$SYSDIR"'
  find "$stage/$driver_entry" -type f -printf '  File "/oname=velkpipe.dll" "%p"\n'
  echo 'SectionEnd'
}
command -v makensis >/dev/null || { echo "wine_install: makensis missing (apt-get install nsis)" >&2; exit 1; }
for kind in zlib lzma; do
  compressor=zlib; [ $kind = lzma ] && compressor="/SOLID lzma"
  default_installation "$compressor" "$work/nsis-$kind.exe" >"$work/nsis-$kind.nsi"
  makensis -V2 "$work/nsis-$kind.nsi"
done

wine_ms=() zlib_ms=() lzma_ms=()
for run in $(seq "$nsis_runs"); do
  ms=$(time_wine cmd /c exit); wine_ms+=("$ms")
  ms=$(time_wine "Z:$work/nsis-zlib.exe" /S "/D=C:\\NSISTarget"); zlib_ms+=("$ms")
  list_installation "$WINEPREFIX/drive_c/NSISTarget" | sort >"$work/nsis-zlib-files.txt"
  ms=$(time_wine "Z:$work/nsis-lzma.exe" /S "/D=C:\\NSISTarget"); lzma_ms+=("$ms")
  list_installation "$WINEPREFIX/drive_c/NSISTarget" | sort >"$work/nsis-lzma-files.txt"
done
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

read -r setup_best setup_median < <(stats "${setup_ms[@]}")
read -r wine_best wine_median < <(stats "${wine_ms[@]}")
read -r zlib_best zlib_median < <(stats "${zlib_ms[@]}")
read -r lzma_best lzma_median < <(stats "${lzma_ms[@]}")
minus() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a - b}'; }
size() { stat -c %s "$1"; }

echo
echo "Default installation under Wine ($("$loader" --version 2>/dev/null || echo wine64), makensis $(makensis -VERSION))"
echo "setup.exe from $programs ($(size "$programs/setup.exe") bytes), $setup_runs runs; NSIS zlib ($(size "$work/nsis-zlib.exe") bytes) and solid LZMA ($(size "$work/nsis-lzma.exe") bytes), $nsis_runs runs each"
printf '%-52s %9s %9s\n' "" "best (s)" "median (s)"
printf '%-52s %9s %9s\n' "setup.exe Installing phase" "$setup_best" "$setup_median" \
  "NSIS zlib silent install, with Wine's start" "$zlib_best" "$zlib_median" \
  "NSIS zlib silent install, less Wine's start" "$(minus "$zlib_best" "$wine_best")" "$(minus "$zlib_median" "$wine_median")" \
  "NSIS solid LZMA silent install, with Wine's start" "$lzma_best" "$lzma_median" \
  "NSIS solid LZMA silent install, less Wine's start" "$(minus "$lzma_best" "$wine_best")" "$(minus "$lzma_median" "$wine_median")" \
  "Wine's start (wine64 cmd /c exit)" "$wine_best" "$wine_median"
awk -v s="$setup_median" -v n="$(minus "$zlib_median" "$wine_median")" \
  'BEGIN {printf "setup / NSIS zlib (medians, Installing phase / install less Wine'"'"'s start): %.1f\n", s / n}'
cat <<'EOF'
Notes: the Installing phase runs from the driver's press of Start on the summary page to its
  first sight of the home-page reminder (the driver looks every 50 ms); it holds setup.exe's
  whole installation (files, uninstall data, registry, shortcuts, driver registration) but
  not the process's start, the wizard's pages or its end. An NSIS figure runs from the start
  of wine64 to its end, each in a renewed prefix with no Wine server running; it holds the
  installer's start, the check of its data, the files and its end, and "less Wine's start"
  takes off the same measure of an empty wine64 cmd /c exit (best from best, median from median).
EOF
for kind in zlib lzma; do
  if cmp -s "$work/setup-files.txt" "$work/nsis-$kind-files.txt"; then
    echo "Same files: setup.exe and NSIS $kind installed the same $(grep -c $'\t' "$work/setup-files.txt") files with the same sizes (besides setup.exe's _vmunins.dat)"
  else
    echo "Files differ between setup.exe (<) and NSIS $kind (>):"
    diff "$work/setup-files.txt" "$work/nsis-$kind-files.txt" | grep '^[<>]' | sed 's/^/  /' || true
  fi
done
