#!/usr/bin/env bash
# Runs the end-to-end scenarios: the real Windows programs under Wine, each
# driven by driver.exe from a scenario script in tests/e2e/scenarios.
# Usage: tests/e2e/run.sh BUILD_DIR [SCENARIO...]   (a name or a path to its .txt)
#
# A scenario NAME.txt may have a NAME.check beside it: an executable run on
# the host after the driver has passed, with the screenshot folder
# (BUILD_DIR/screens) as its argument, to check what the driver saved there
# or what the programs left in the prefix. Screenshots are kept there as
# build artefacts, named after their scenario (NAME.bmp, NAME-*.bmp). A
# NAME.before, when there is one, runs the same way before the driver, to
# prepare the prefix or take a snapshot of it. Both hooks find the prefix
# through the Wine environment, the Wine loader in VM_E2E_WINE, the build
# tree in VM_E2E_TREE, whether the programs run under WoW64 in VM_E2E_WOW64
# (1 or 0), and a folder for what they keep between them in VM_E2E_STATE. Each scenario has a prefix of its own, fresh from the one
# made when the lane first needed it: a 32-bit prefix, the systems the
# program was written for, or a 64-bit one for the scenarios whose names end
# in _wow64 (often links to another scenario's files, which take the
# scenario's name from the name they were started by).
#
# The programs are those of the shipped 32-bit tree (BUILD_DIR/win32); with
# VM_E2E_BUILD=win64, those of the 64-bit tree, in 64-bit prefixes.
#
# The scenarios run in VM_E2E_JOBS lanes at once (2 unless set), each with its
# own virtual screen, Wine server and prefix; a lane takes the next scenario
# not yet taken. The long ones, which raise the driver's step timeout, go
# first.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd); shift
queue="$build/e2e-queue"

if [ -z "${VM_E2E_LANE:-}" ]; then
  scenarios=()
  for wanted in "$@"; do
    case "$wanted" in
      */*) scenarios+=("$(cd "$(dirname "$wanted")" && pwd)/$(basename "$wanted")") ;;
      *) scenarios+=("$here/scenarios/${wanted%.txt}.txt") ;;
    esac
  done
  [ ${#scenarios[@]} -gt 0 ] || scenarios=("$here"/scenarios/*.txt)
  WINE_ROOT="$build/wine-e2e" . "$here/wine-env.sh"
  tree=$(pick_build_tree "$build") || exit 1
  echo "e2e: running the scenarios on the $tree build (setup.exe and the programs it carries)"
  rm -rf "$queue"
  mkdir -p "$queue/taken"
  { grep -l '^timeout ' "${scenarios[@]}"; grep -L '^timeout ' "${scenarios[@]}"; } > "$queue/list"
  jobs=${VM_E2E_JOBS:-2}
  [ "$jobs" -ge 1 ] 2>/dev/null || jobs=1
  start=$(date +%s)
  for lane in $(seq "$jobs"); do
    VM_E2E_LANE=$lane "$0" "$build" &
    # xvfb-run picks a free display; lanes that start together could pick the same.
    sleep 3
  done
  wait
  passed=$(cat "$queue"/passed-* 2>/dev/null | awk '{n += $1} END {print n + 0}')
  failed=$(cat "$queue"/failed-* 2>/dev/null | awk '{n += $1} END {print n + 0}')
  total=$(wc -l < "$queue/list")
  missing=$((total - passed - failed))
  echo "e2e: $tree build: $passed passed, $failed failed, $missing not run, in $(( $(date +%s) - start )) s"
  [ "$failed" -eq 0 ] && [ "$missing" -eq 0 ]
  exit
fi

# Everything in a lane runs inside one virtual screen; re-enter this script there.
if [ -z "${VM_E2E_INSIDE_XVFB:-}" ]; then
  export VM_E2E_INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build"
fi

lane=$VM_E2E_LANE
export WINE_ROOT="$build/wine-e2e-$lane"
. "$here/wine-env.sh"
tree=$(pick_build_tree "$build") || exit 1
# The 32-bit programs run in a 32-bit prefix, but for the scenarios whose
# names end in _wow64: today's 64-bit Windows, where they run under WoW64.
# The 64-bit tree needs a 64-bit prefix throughout.
[ "$tree" = win64 ] && lane_arch=win64 || lane_arch=win32
# Prefixes are made when a scenario first needs one, fresh for every run.
rm -rf "$WINE_ROOT"

screens="$build/screens"
mkdir -p "$screens"
export VM_E2E_STATE="$build/e2e-state"
# The build tree whose programs run, and whose payload/stage holds what setup.exe carries.
export VM_E2E_TREE="$build/$tree"
mkdir -p "$VM_E2E_STATE"
# The driver writes screenshots there through Wine's Z: drive, the host's root.
export VM_E2E_SCREENS="Z:$screens"

passed=0; failed=0
while read -r scenario; do
  name=$(basename "$scenario" .txt)
  # Whoever makes the folder first runs the scenario.
  mkdir "$queue/taken/$name" 2>/dev/null || continue
  t0=$(date +%s)
  rm -f "$screens/$name.bmp" "$screens/$name"-*.bmp
  # Every scenario starts from the machine as Wine made it.
  export WINEARCH=$lane_arch
  case $name in *_wow64) WINEARCH=win64 ;; esac
  if [ ! -d "$WINE_ROOT/pristine-$WINEARCH" ]; then
    made=$(date +%s)
    make_wine_prefix
    check_wine_runs "$build/$tree" || exit 1
    echo "e2e lane $lane: running the $tree build under $(wine_loader) in a $WINEARCH prefix, made in $(( $(date +%s) - made )) s"
  fi
  renew_wine_prefix
  loader=$(wine_loader)
  export VM_E2E_WINE="$loader"
  # The 32-bit programs in a 64-bit prefix: the checks look where WoW64 puts their writes.
  [ "$WINEARCH" = win64 ] && [ "$tree" != win64 ] && export VM_E2E_WOW64=1 || export VM_E2E_WOW64=0
  before="${scenario%.txt}.before"
  output=""
  status=0
  if [ -e "$before" ]; then
    output=$("$before" "$screens" 2>&1)
    status=$?
  fi
  if [ $status -eq 0 ]; then
    # The driver reads its script by a Windows path; Z: is the host's root.
    output="$output$(cd "$build/$tree" && timeout 600 "$loader" driver.exe "Z:$scenario" 2>&1)"
    status=$?
  fi
  check="${scenario%.txt}.check"
  if [ $status -eq 0 ] && [ -e "$check" ]; then
    output="$output$("$check" "$screens" 2>&1)"
    status=$?
  fi
  # One write per scenario, so that the lanes' reports do not mix.
  if [ $status -eq 0 ]; then
    passed=$((passed + 1)); printf '%s\n' "PASS $name ($(( $(date +%s) - t0 )) s)"
  else
    failed=$((failed + 1))
    printf '%s\n%s\n' "FAIL $name (status $status, $(( $(date +%s) - t0 )) s)" "$(echo "$output" | sed 's/^/    /')"
  fi
  echo $passed > "$queue/passed-$lane"
  echo $failed > "$queue/failed-$lane"
done < "$queue/list"
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
