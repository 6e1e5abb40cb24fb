# Sourced by the scripts that run Windows programs under Wine: a quiet Wine
# kept inside build/, away from the user's home.
#   WINE_ROOT  folder that holds the prefixes and Wine's home (under build/)
#   WINEARCH   win32 (the default: the systems the program was written for)
#              or win64 (today's 64-bit Windows, where a 32-bit program runs
#              under WoW64)

export HOME="$WINE_ROOT/home"
export WINEPREFIX="$WINE_ROOT/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=${WINEARCH:-win32}

# The loader of the prefix WINEARCH names. wine64 hands a 32-bit program on to
# the 32-bit loader by itself.
wine_loader() {
  if [ "$WINEARCH" = win32 ]; then echo /usr/lib/wine/wine
  elif [ -x /usr/lib/wine/wine64 ]; then echo /usr/lib/wine/wine64
  else echo wine64
  fi
}

# Makes a fresh prefix of the kind WINEARCH names, and keeps it as the
# pristine one that renew_wine_prefix copies. Without a window manager every
# closed window would otherwise cost about two seconds, hence Managed=N.
make_wine_prefix() {
  # A server still running on an earlier prefix would keep writing into it.
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  rm -rf "$WINEPREFIX" "$WINE_ROOT/pristine-$WINEARCH"
  mkdir -p "$HOME"
  local loader; loader=$(wine_loader)
  "$loader" wineboot --init >/dev/null 2>&1
  "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
  mv "$WINEPREFIX" "$WINE_ROOT/pristine-$WINEARCH"
  renew_wine_prefix
}

# Puts the pristine prefix of the kind WINEARCH names back in place of the
# current one, in about a second: the copy shares the pristine files' storage
# (hard links). Wine replaces its registry files as a whole, and the programs
# only add files, except for the .ini files that profile writes change in
# place: those are copied for real.
renew_wine_prefix() {
  local pristine="$WINE_ROOT/pristine-$WINEARCH"
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  rm -rf "$WINEPREFIX"
  cp -al "$pristine" "$WINEPREFIX"
  (cd "$pristine" && find . -type f \( -iname '*.ini' -o -iname '*.reg' \) -print0) |
    while IFS= read -r -d '' file; do cp --remove-destination "$pristine/$file" "$WINEPREFIX/$file"; done
}

# The build tree whose programs run: the shipped 32-bit one, unless a run asks
# for the 64-bit tree (VM_E2E_BUILD=win64), which needs a 64-bit prefix.
pick_build_tree() {  # BUILD_DIR
  local tree=${VM_E2E_BUILD:-win32}
  if ! [ -x "$1/$tree/driver.exe" ]; then
    echo "wine: $1/$tree/driver.exe is not built" >&2; return 1
  fi
  echo "$tree"
}

# Fails, saying why, where this machine's Wine cannot start the programs of
# TREE_DIR in the current prefix: a machine without working 32-bit Wine fails
# here rather than testing something else.
check_wine_runs() {  # TREE_DIR
  # driver.exe without a script ends with exit code 2.
  (cd "$1" && timeout 300 "$(wine_loader)" driver.exe >/dev/null 2>&1)
  [ $? -eq 2 ] && return 0
  echo "wine: $(wine_loader) cannot run $1/driver.exe in a $WINEARCH prefix here (make deps sets up 32-bit Wine)" >&2
  return 1
}
