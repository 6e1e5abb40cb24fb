#!/usr/bin/env bash
# Lays out a large product in a folder, as a vendor's bigger product would
# be: about 70 MB of texts in some 4,000 files (documentation and C headers
# of the installed Debian packages) under text/, and about 140 MB of shared
# libraries in a few hundred files under bin/. Names are made Windows-proof
# (letters, digits, '.', '-', '_' only) and numbered, so that they stay
# unique regardless of case. The same machine gives the same folder.
# usage: bench/make_scale_corpus.sh DEST
set -euo pipefail
dest=${1:?usage: make_scale_corpus.sh DEST}
text_bytes=$((70 * 1000 * 1000))
binary_bytes=$((140 * 1000 * 1000))

rm -rf "$dest"
mkdir -p "$dest/text" "$dest/bin"

# Copies the listed files (one path a line, sorted) into FOLDER until BYTES
# are there; each file named by its number and its own name made safe.
take() {
  local folder=$1 budget=$2 total=0 count=0 path size name
  while IFS= read -r path; do
    size=$(stat -c %s "$path")
    [ "$size" -gt 0 ] || continue
    name=$(basename "$path" | tr -c 'A-Za-z0-9._\n-' '_' | cut -c1-60 | sed 's/[.]*$//')
    count=$((count + 1))
    cp "$path" "$folder/$(printf '%05d' "$count")_${name:-file}"
    total=$((total + size))
    [ "$total" -lt "$budget" ] || break
  done
  echo "$folder: $count files, $total bytes"
}

# The lists first: the copying stops part way, which must not cut a
# pipeline short under pipefail.
lists=$(mktemp -d)
trap 'rm -rf "$lists"' EXIT
{
  find /usr/share/doc -type f ! -name '*.gz' -size -4M 2>/dev/null || true
  find /usr/include -type f -name '*.h' 2>/dev/null || true
} | LC_ALL=C sort >"$lists/text"
{ find /usr/lib/x86_64-linux-gnu -maxdepth 2 -type f -name '*.so*' -size +20k -size -20M 2>/dev/null || true; } |
  LC_ALL=C sort >"$lists/bin"
take "$dest/text" "$text_bytes" <"$lists/text"
take "$dest/bin" "$binary_bytes" <"$lists/bin"
find "$dest" -type f -exec touch -d '2024-01-01 00:00:00 UTC' {} +
