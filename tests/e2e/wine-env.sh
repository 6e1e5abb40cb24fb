# Sourced by the scripts that run Windows programs under Wine: a quiet Wine
# kept inside build/, away from the user's home.
#   WINE_ROOT  folder that holds the prefix and Wine's home (under build/)

export HOME="$WINE_ROOT/home"
export WINEPREFIX="$WINE_ROOT/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64

# The loader: 32-bit Wine where this machine can execute it, else wine64.
wine_loader_for() {  # BUILD_TREE (win32 or win64)
  if [ "$1" = win32 ]; then echo wine; else
    if [ -x /usr/lib/wine/wine64 ]; then echo /usr/lib/wine/wine64; else echo wine64; fi
  fi
}

# Makes a fresh prefix and keeps it as the pristine one that renew_wine_prefix
# copies. Without a window manager every closed window would otherwise cost
# about two seconds, hence Managed=N.
make_wine_prefix() {
  # A server still running on an earlier prefix would keep writing into it.
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  rm -rf "$WINE_ROOT"
  mkdir -p "$HOME"
  local loader; loader=$(wine_loader_for win64)
  "$loader" wineboot --init >/dev/null 2>&1
  "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
  mv "$WINEPREFIX" "$WINE_ROOT/pristine"
  renew_wine_prefix
}

# Puts the pristine prefix back in place of the current one, in about a
# second: the copy shares the pristine files' storage (hard links). Wine
# replaces its registry files as a whole, and the programs only add files,
# except for the .ini files that profile writes change in place: those are
# copied for real.
renew_wine_prefix() {
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  rm -rf "$WINEPREFIX"
  cp -al "$WINE_ROOT/pristine" "$WINEPREFIX"
  (cd "$WINE_ROOT/pristine" && find . -type f \( -iname '*.ini' -o -iname '*.reg' \) -print0) |
    while IFS= read -r -d '' file; do cp --remove-destination "$WINE_ROOT/pristine/$file" "$WINEPREFIX/$file"; done
}

# Which build tree's programs run here: win32 when 32-bit Wine works on this
# machine, else win64 (kernels without 32-bit support: "Exec format error").
pick_build_tree() {  # BUILD_DIR
  if command -v wine >/dev/null 2>&1 && [ -x "$1/win32/driver.exe" ] &&
     timeout 60 wine "$1/win32/driver.exe" >/dev/null 2>&1; [ $? -eq 2 ]; then
    echo win32
  else
    echo win64
  fi
}
