#!/usr/bin/env bash
# Lays out the codec corpus in a folder: Windows programs and libraries from
# the installed Wine and licence and copyright texts, about 2.7 MB of real files
# that the Debian packages of `make deps` provide.
# usage: bench/make_corpus.sh DEST
set -euo pipefail
dest=${1:?usage: make_corpus.sh DEST}

wine_dirs=(/usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows /usr/lib/x86_64-linux-gnu/wine /usr/lib/wine)
binaries=(cabinet.dll imm32.dll msacm32.dll notepad.exe oledlg.dll)
copyrights=(wine cmake)

rm -rf "$dest"
mkdir -p "$dest/bin" "$dest/text/licenses" "$dest/text/copyright"

found=0
for name in "${binaries[@]}"; do
  for dir in "${wine_dirs[@]}"; do
    if [ -f "$dir/$name" ]; then
      cp "$dir/$name" "$dest/bin/"
      found=$((found + 1))
      break
    fi
  done
done
if [ "$found" -eq 0 ]; then
  echo "make_corpus.sh: no Wine libraries found (install wine: make deps)" >&2
  exit 1
fi

# The links among them (GPL -> GPL-3 and the like) would only repeat a file.
find /usr/share/common-licenses -maxdepth 1 -type f -exec cp {} "$dest/text/licenses/" \;
for package in "${copyrights[@]}"; do
  file=/usr/share/doc/$package/copyright
  [ -f "$file" ] && cp "$file" "$dest/text/copyright/$package.copyright"
done
# One fixed time, so that packing the corpus twice gives the same entry.
find "$dest" -type f -exec touch -d '2024-01-01 00:00:00 UTC' {} +
