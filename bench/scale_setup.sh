#!/usr/bin/env bash
# Builds a setup.exe of its own for the large product: the sample product's
# folders with the scale corpus added as a vendor would add it (texts under
# entry 300, libraries under entry 500), packed by the optimised bench
# tree's vmpack into a 64-bit tree, so that bench/wine_install.sh can time it
# beside NSIS on the same files. Prints the product build's packing time.
# usage: bench/scale_setup.sh BUILD_DIR   (needs BUILD_DIR/bench/scale)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: scale_setup.sh BUILD_DIR}" && pwd)
corpus="$build/bench/scale"
payload="$build/bench/scale-payload"
tree="$build/bench/win64-scale"
[ -d "$corpus/text" ] || { echo "scale_setup: no corpus in $corpus (bench/make_scale_corpus.sh)" >&2; exit 1; }

rm -rf "$payload"
mkdir -p "$payload"
cp -r "$here/../payload/." "$payload/"
cp -r "$corpus/text" "$payload/300/BigDocs"
cp -r "$corpus/bin" "$payload/500/BigLibs"

ninja -C "$build/bench" vmpack >/dev/null
# Without the cache of packed entries, so that the time printed is the
# packing's, however often the bench runs.
[ -f "$tree/build.ninja" ] || cmake -S "$here/.." -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
  -DVM_HOST_BUILD_DIR="$build/bench" -DVM_PAYLOAD_ROOT="$payload" -DVM_PAYLOAD_CACHE= >/dev/null
ninja -C "$tree" vm _vmunins >/dev/null
started=$(date +%s%3N)
ninja -C "$tree" payload_entries >/dev/null
packed=$(date +%s%3N)
ninja -C "$tree" setup.exe >/dev/null
echo "scale_setup: $(find "$payload" -type f | wc -l) files, $(du -sb "$payload" | cut -f1) bytes packed in $(( (packed - started) / 1000 )).$(( (packed - started) % 1000 / 100 )) s;" \
  "setup.exe $(stat -c %s "$tree/setup.exe") bytes"
