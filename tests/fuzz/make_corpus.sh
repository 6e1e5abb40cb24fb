#!/usr/bin/env bash
# Regenerates the committed seed corpora of the fuzz targets:
#   corpus/payload_entry and corpus/vmpack_reader: small payload entries that
#     vmpack packs from folders laid out here and from a few sample entries,
#     each chosen for a part of the format (folders only, a single literal, a
#     full literal alphabet, matches reaching across the whole window, nested
#     folders, the longest name, several files);
#   corpus/uninstall_data: uninstall data files written by saveTo.
# Findings added as regression inputs (named finding-*) are kept.
# usage: tests/fuzz/make_corpus.sh VMPACK MAKE_UNINSTALL_SEEDS
set -euo pipefail
vmpack=${1:?usage: make_corpus.sh VMPACK MAKE_UNINSTALL_SEEDS}
make_uninstall_seeds=${2:?usage: make_corpus.sh VMPACK MAKE_UNINSTALL_SEEDS}
here=$(cd "$(dirname "$0")" && pwd)
payload=$(cd "$here/../../payload" && pwd)
corpus=$here/corpus
# One fixed time for every file, so that packing again gives the same bytes.
time=126000000000000000

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/trees" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(1601)

def put(tree, name, data):
    path = os.path.join(root, tree, *name.split("\\"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)

def folder(tree, name):
    os.makedirs(os.path.join(root, tree, *name.split("\\")), exist_ok=True)

folder("folders_only", "Work")
folder("folders_only", "Work\\Sub folder")
put("one_byte", "a", b"x")
# A single literal symbol: its code has no bits at all.
put("one_symbol", "same.bin", b"\x00" * 3000)
put("all_bytes", "bytes.bin", bytes(range(256)) * 3)
# More than the 8192-symbol window, with repeats from near and far.
words = [bytes(rng.choice(b"abcdefghij") for _ in range(rng.randint(3, 9))) for _ in range(40)]
text = b" ".join(rng.choice(words) for _ in range(1500))
put("window", "far.txt", text[:6000] + bytes(rng.randrange(256) for _ in range(2500)) + text[:4000])
put("nested", "Modules\\Filters\\lp 24.vmm", b"filter 24 dB\r\n" * 20)
put("nested", "Modules\\Filters\\\u00e9t\u00e9.vmm", b"cp1252 name\r\n")
put("nested", "Modules\\readme.txt", b"modules\r\n")
folder("nested", "Modules\\Empty")
put("longest_name", "n" * 120 + "\\" + "m" * 138, b"longest name\r\n")
for i in range(5):
    put("several", "f%d.%s" % (i, ["txt", "dat", "ini", "bin", "txt"][i]),
        bytes(rng.randrange(64, 96) for _ in range(40 + 60 * i)))
PY

rm -rf "$corpus/payload_entry"/seed-* "$corpus/vmpack_reader"/seed-* "$corpus/uninstall_data"/seed-*
mkdir -p "$corpus/payload_entry" "$corpus/vmpack_reader" "$corpus/uninstall_data"

pack() {  # pack NAME FOLDER
  "$vmpack" pack --time "$time" "$2" "$corpus/payload_entry/seed-$1"
  cp "$corpus/payload_entry/seed-$1" "$corpus/vmpack_reader/seed-$1"
}
for tree in "$work/trees"/*; do
  pack "$(basename "$tree")" "$tree"
done
# A sample entry of the product: the Internet shortcut.
pack url "$payload/1001"

# The payload target reads byte 2 of an entry (the high half of its size
# field, which the harness writes itself) as the free space of drive C: in
# steps of 256 bytes: 256 bytes run out inside the second file.
python3 - "$corpus/payload_entry/seed-several" "$corpus/payload_entry/seed-disk_full" <<'PY'
import sys
entry = bytearray(open(sys.argv[1], "rb").read())
entry[2] = 1
open(sys.argv[2], "wb").write(entry)
PY

mkdir -p "$work/uninstall"
"$make_uninstall_seeds" "$work/uninstall"
for file in "$work/uninstall"/*; do
  cp "$file" "$corpus/uninstall_data/seed-$(basename "$file")"
done
du -sh "$corpus"/*
