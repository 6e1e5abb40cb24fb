#!/usr/bin/env bash
# Packs the benchmark corpus, verifies the entry and extracts it again: every
# file must come back byte for byte with its time.
# usage: vmpack_corpus_round_trip.sh VMPACK MAKE_CORPUS
set -euo pipefail
vmpack=$1
make_corpus=$2
work=$(mktemp -d /tmp/vmpack-corpus-XXXXXX)
trap 'rm -rf "$work"' EXIT

"$make_corpus" "$work/corpus"
"$vmpack" pack "$work/corpus" "$work/corpus.bin"
"$vmpack" verify "$work/corpus.bin"
"$vmpack" extract "$work/corpus.bin" "$work/out"
diff -r "$work/corpus" "$work/out"
# Same modification times, file by file.
(cd "$work/corpus" && find . -type f -printf '%p %T@\n' | sort) > "$work/times.in"
(cd "$work/out" && find . -type f -printf '%p %T@\n' | sort) > "$work/times.out"
diff "$work/times.in" "$work/times.out"
echo "corpus round trip: $(find "$work/corpus" -type f | wc -l) files, $(stat -c %s "$work/corpus.bin") bytes packed"
