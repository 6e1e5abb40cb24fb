#!/usr/bin/env bash
# Runs setup.exe under Wine in a fresh prefix under build/: on the user's
# display when there is one, else inside a virtual screen.
# Usage: tests/run-setup.sh BUILD_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)

if [ -z "${DISPLAY:-}" ] && [ -z "${VM_RUN_INSIDE_XVFB:-}" ]; then
  export VM_RUN_INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build"
fi

export WINE_ROOT="$build/wine-run"
. "$here/e2e/wine-env.sh"
tree=$(pick_build_tree "$build") || exit 1
[ "$tree" = win64 ] && export WINEARCH=win64
loader=$(wine_loader)
echo "run: making a fresh $WINEARCH Wine prefix in $WINE_ROOT"
make_wine_prefix
check_wine_runs "$build/$tree" || exit 1
if [ -n "${VM_RUN_INSIDE_XVFB:-}" ]; then
  # Nobody can click in a virtual screen: the driver leads setup.exe along
  # the default path as a user would, with a picture of every page.
  echo "run: no display; driving $tree/setup.exe through a default installation under $loader"
  mkdir -p "$build/screens"
  export VM_E2E_SCREENS="Z:$build/screens"
  (cd "$build/$tree" && "$loader" driver.exe "Z:$here/run-setup.steps")
  status=$?
  wineserver -w
  for picture in "$build/screens"/run-*.bmp; do
    convert "$picture" "${picture%.bmp}.png" 2>/dev/null && rm -f "$picture"
  done
  echo "run: pictures of every page in $build/screens:"
  ls "$build/screens" | grep '^run-' | sed 's/^/  /'
  [ $status -eq 0 ] && "$here/print_installation.py"
  echo "run: setup.exe ended with exit code $status"
  exit $status
else
  echo "run: starting $tree/setup.exe under $loader"
  (cd "$build/$tree" && "$loader" setup.exe)
fi
status=$?
wineserver -w
echo "run: setup.exe ended with exit code $status"
exit $status
