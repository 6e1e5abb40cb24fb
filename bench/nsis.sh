# Sourced by the benchmarks that set setup.exe beside NSIS: writes the script
# of an NSIS installer that lays down the files of the given payload entries,
# as the build staged them for packing (BUILD/winNN/payload/stage/<id>).
# usage: nsis_script COMPRESSOR TARGET OUTFILE STAGE ID...   (to stdout)
#   COMPRESSOR  zlib, or "/SOLID lzma"
#   TARGET      x86-unicode or amd64-unicode
# The caller may append lines before the final "SectionEnd".
nsis_script() {
  local compressor=$1 target=$2 outfile=$3 stage=$4
  shift 4
  printf '%s\n' 'Unicode true' "Target $target" "SetCompressor $compressor" 'RequestExecutionLevel admin' \
    'Name "Velk Modular"' "OutFile \"$outfile\"" 'InstallDir "$PROGRAMFILES\Velk Modular"' 'Section' \
    '  SetOutPath "$INSTDIR"'
  local id
  for id in "$@"; do
    [ -n "$(find "$stage/$id" -type f -print -quit)" ] && echo "  File /r \"$stage/$id/*\""
    (cd "$stage/$id" && find . -mindepth 1 -type d -empty -printf '  CreateDirectory "$INSTDIR\\%P"\n')
  done
}
