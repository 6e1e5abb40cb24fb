#!/usr/bin/env bash
# The cache of packed payload entries that the Windows trees share
# (cmake/pack_entry.cmake): the same input is taken from the cache, and a
# changed file, name, folder or level is packed again, exactly as the packer
# packs it without the cache.
# usage: pack_entry_cache.sh VMPACK PACK_ENTRY_SCRIPT
set -euo pipefail
vmpack=$1
script=$2
work=$(mktemp -d /tmp/pack-entry-cache-XXXXXX)
trap 'rm -rf "$work"' EXIT
time=127238256000000000

mkdir -p "$work/in/Docs" "$work/in/Empty"
printf 'read me first' >"$work/in/readme.txt"
printf 'the manual, the manual' >"$work/in/Docs/manual.txt"
touch "$work/in/Empty/.gitkeep"

pack() {  # OUTPUT LEVEL
  cmake -DSOURCE="$work/in" -DSTAGE="$work/stage" -DOUTPUT="$1" -DVMPACK="$vmpack" -DTIME=$time -DLEVEL="$2" \
    -DEXTRA= -DCACHE="$work/cache" -P "$script"
}
# Packs through the cache and without it; the two must agree.
check() {  # WHAT LEVEL
  pack "$work/cached.entry" "$2"
  rm -rf "$work/plain"
  cp -r "$work/in" "$work/plain"
  find "$work/plain" -name .gitkeep -delete
  "$vmpack" pack --time $time --level "$2" "$work/plain" "$work/plain.entry"
  cmp "$work/cached.entry" "$work/plain.entry" || { echo "pack_entry_cache: $1: stale entry"; exit 1; }
}

check "first pack" 3
[ "$(ls "$work/cache" | wc -l)" -eq 1 ] || { echo "pack_entry_cache: the entry was not kept"; exit 1; }
# The same input again comes from the cache: a mark put on the kept entry
# shows in the output.
kept=$(ls "$work/cache"/*)
printf 'mark' >>"$kept"
pack "$work/again.entry" 3
[ "$(tail -c 4 "$work/again.entry")" = mark ] || { echo "pack_entry_cache: the same input was packed again"; exit 1; }

printf 'the manual, the manuaL' >"$work/in/Docs/manual.txt"
check "one byte changed" 3
mv "$work/in/readme.txt" "$work/in/readme.1st"
check "a file renamed" 3
mkdir "$work/in/Docs/More"
check "an empty folder added" 3
check "another level" 1
echo "pack_entry_cache: $(ls "$work/cache" | wc -l) entries kept, each packed again when its input changed"
