#!/usr/bin/env bash
# The folders of src/ are floors: a file includes only from its own folder or
# from one below it, never from one above (the README's folder table). Fails
# naming every include that reaches up, and any include of a folder the list
# does not know.
# Usage: tests/check_layout.sh SOURCE_DIR
set -u
src=${1:?usage: check_layout.sh SOURCE_DIR}/src
# From the top floor down; title stands beside install, extract and payload,
# and uses only base and platform, which the order already allows.
floors=(setup pages title install extract payload base platform)

floor_of() {
  local i
  for i in "${!floors[@]}"; do [ "${floors[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}

failures=0
checked=0
for folder in "$src"/*/; do
  folder=$(basename "$folder")
  own=$(floor_of "$folder")
  if [ "$own" -lt 0 ]; then
    echo "src/$folder is not one of the floors: ${floors[*]}"
    failures=$((failures + 1))
    continue
  fi
  while IFS=: read -r file line included; do
    target=${included%%/*}
    checked=$((checked + 1))
    below=$(floor_of "$target")
    if [ "$below" -lt 0 ] && [ -d "$src/$target" ]; then
      echo "${file#$src/}:$line includes $included, from a folder that is not a floor"
      failures=$((failures + 1))
    elif [ "$below" -ge 0 ] && [ "$below" -lt "$own" ]; then
      echo "${file#$src/}:$line includes $included, from $target, a floor above $folder"
      failures=$((failures + 1))
    fi
  done < <(grep -Hn '^#include "[a-z_]*/' "$src/$folder"/* | sed 's/^\([^:]*\):\([0-9]*\):#include "\([^"]*\)".*/\1:\2:\3/')
done
if [ "$failures" -gt 0 ]; then
  echo "layout: $failures includes break the floors of src/"
  exit 1
fi
echo "layout: $checked includes in src/, none from a floor above its own"
