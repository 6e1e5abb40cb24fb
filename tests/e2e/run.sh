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
# through the Wine environment, the Wine loader in VM_E2E_WINE, and a folder
# for what they keep between them in VM_E2E_STATE. Each scenario has a prefix
# of its own, fresh from the one made at the start.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd); shift

# Everything runs inside one virtual screen; re-enter this script there.
if [ -z "${VM_E2E_INSIDE_XVFB:-}" ]; then
  export VM_E2E_INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$@"
fi

export WINE_ROOT="$build/wine-e2e"
. "$here/wine-env.sh"

tree=$(pick_build_tree "$build")
loader=$(wine_loader_for "$tree")
echo "e2e: running the $tree build under $loader"

start=$(date +%s)
make_wine_prefix
echo "e2e: prefix made in $(( $(date +%s) - start )) s"

screens="$build/screens"
mkdir -p "$screens"
export VM_E2E_WINE="$loader"
export VM_E2E_STATE="$build/e2e-state"
# The build tree whose programs run, and whose payload/stage holds what setup.exe carries.
export VM_E2E_TREE="$build/$tree"
mkdir -p "$VM_E2E_STATE"
# The driver writes screenshots there through Wine's Z: drive, the host's root.
export VM_E2E_SCREENS="Z:$screens"

scenarios=()
for wanted in "$@"; do
  case "$wanted" in
    */*) scenarios+=("$(cd "$(dirname "$wanted")" && pwd)/$(basename "$wanted")") ;;
    *) scenarios+=("$here/scenarios/${wanted%.txt}.txt") ;;
  esac
done
[ ${#scenarios[@]} -gt 0 ] || scenarios=("$here"/scenarios/*.txt)
passed=0; failed=0
for scenario in "${scenarios[@]}"; do
  name=$(basename "$scenario" .txt)
  t0=$(date +%s)
  rm -f "$screens/$name.bmp" "$screens/$name"-*.bmp
  # Every scenario starts from the machine as Wine made it.
  renew_wine_prefix
  before="${scenario%.txt}.before"
  output=""
  status=0
  if [ -e "$before" ]; then
    output=$("$before" "$screens" 2>&1)
    status=$?
  fi
  if [ $status -eq 0 ]; then
    # The driver reads its script by a Windows path; Z: is the host's root.
    output="$output$(cd "$build/$tree" && timeout 300 "$loader" driver.exe "Z:$scenario" 2>&1)"
    status=$?
  fi
  check="${scenario%.txt}.check"
  if [ $status -eq 0 ] && [ -e "$check" ]; then
    output="$output$("$check" "$screens" 2>&1)"
    status=$?
  fi
  if [ $status -eq 0 ]; then
    passed=$((passed + 1)); echo "PASS $name ($(( $(date +%s) - t0 )) s)"
  else
    failed=$((failed + 1)); echo "FAIL $name (status $status)"; echo "$output" | sed 's/^/    /'
  fi
done
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
echo "e2e: $passed passed, $failed failed"
[ $failed -eq 0 ]
