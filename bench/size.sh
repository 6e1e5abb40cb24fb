#!/usr/bin/env bash
# Sizes of the release setup.exe beside NSIS installers of the very same
# files made in the same run: setup.exe as a whole, the sum of its payload
# entries, and the program itself (setup.exe less the entries), against
# NSIS 3 with zlib and with solid LZMA (32-bit stubs, as setup.exe is 32-bit).
# Figures only: it stops when something cannot run, never on a figure.
# usage: bench/size.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: size.sh BUILD_DIR}" && pwd)
tree="$build/win32"
stage="$tree/payload/stage"
work="$build/bench/size"
command -v makensis >/dev/null || { echo "size: makensis missing (apt-get install nsis)" >&2; exit 1; }
. "$here/nsis.sh"

rm -rf "$work"
mkdir -p "$work"
size() { stat -c %s "$1"; }
ids=()
entries=0
for entry in "$tree"/payload/*.entry; do
  ids+=("$(basename "$entry" .entry)")
  entries=$((entries + $(size "$entry")))
done
files=$(find "${ids[@]/#/$stage/}" -type f | wc -l)
for kind in zlib lzma; do
  compressor=zlib; [ $kind = lzma ] && compressor="/SOLID lzma"
  { nsis_script "$compressor" x86-unicode "$work/nsis-$kind.exe" "$stage" "${ids[@]}"; echo 'SectionEnd'; } \
    >"$work/nsis-$kind.nsi"
  makensis -V2 "$work/nsis-$kind.nsi"
done

setup=$(size "$tree/setup.exe")
zlib=$(size "$work/nsis-zlib.exe")
lzma=$(size "$work/nsis-lzma.exe")
stub=/usr/share/nsis/Stubs/zlib-x86-unicode
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }
echo
echo "Sizes in bytes of installers of the same $files files ($(makensis -VERSION))"
printf '%-44s %10s %10s %10s\n' "" "bytes" "/ NSIS zlib" "/ NSIS lzma"
printf '%-44s %10s %10s %10s\n' \
  "setup.exe" "$setup" "$(ratio "$setup" "$zlib")" "$(ratio "$setup" "$lzma")" \
  "  its payload entries (${#ids[@]})" "$entries" "" "" \
  "  the program itself (setup.exe less entries)" "$((setup - entries))" "" "" \
  "NSIS zlib installer" "$zlib" "1.000" "$(ratio "$zlib" "$lzma")" \
  "NSIS solid LZMA installer" "$lzma" "" "1.000" \
  "  NSIS's own program (its zlib stub)" "$(size "$stub")" "" "" \
  "_vmunins.exe (in entry 1000)" "$(size "$tree/_vmunins.exe")" "" "" \
  "vm.exe (in entry 100)" "$(size "$tree/vm.exe")" "" ""
echo "Both installers hold the files of every payload entry, as the build staged them for packing."
