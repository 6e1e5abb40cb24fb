#!/usr/bin/env bash
# Runs the end-to-end scenarios: the real Windows programs under Wine, each
# driven by driver.exe from a scenario script in tests/e2e/scenarios.
# Usage: tests/e2e/run.sh BUILD_DIR [SCENARIO...]
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

if [ $# -gt 0 ]; then scenarios=("$@"); else scenarios=("$here"/scenarios/*.txt); fi
passed=0; failed=0
for scenario in "${scenarios[@]}"; do
  name=$(basename "$scenario" .txt)
  t0=$(date +%s)
  # The driver reads its script by a Windows path; Z: is the host's root.
  output=$(cd "$build/$tree" && timeout 300 "$loader" driver.exe "Z:$scenario" 2>&1)
  status=$?
  if [ $status -eq 0 ]; then
    passed=$((passed + 1)); echo "PASS $name ($(( $(date +%s) - t0 )) s)"
  else
    failed=$((failed + 1)); echo "FAIL $name (status $status)"; echo "$output" | sed 's/^/    /'
  fi
done
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
echo "e2e: $passed passed, $failed failed"
[ $failed -eq 0 ]
