#!/usr/bin/env bash
# The Windows programs that run with administrator rights from folders others
# can write to (setup.exe from a downloads folder, _vmunins.exe from the
# temporary folder) import only libraries that Windows always takes from its
# own folder, the KnownDLLs. Any other import would be looked for beside the
# program first, before the program could say where to look.
# Usage: tests/check_imports.sh BUILD_DIR   (the folder holding win32/ and win64/)
# Exit code 77 (skipped) when neither Windows tree has been built.
set -u
build=$1
programs=(setup.exe _vmunins.exe)

# The KnownDLLs of current Windows, and ntdll, which every process maps
# first. Lower case.
allowed=" advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll gdi32.dll gdiplus.dll imagehlp.dll
  imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ntdll.dll ole32.dll oleaut32.dll psapi.dll
  rpcrt4.dll sechost.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll"
# One space around every name, so that a name matches only whole.
allowed=" $(echo $allowed) "

checked=0
failures=0
for tree in win32 win64; do
  case $tree in
    win32) objdump=i686-w64-mingw32-objdump ;;
    win64) objdump=x86_64-w64-mingw32-objdump ;;
  esac
  for program in "${programs[@]}"; do
    file="$build/$tree/$program"
    if [ ! -f "$file" ]; then
      echo "not built: $tree/$program"
      continue
    fi
    if ! imports=$("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr -d '\r'); then
      echo "FAIL $tree/$program: $objdump cannot read it"
      failures=$((failures + 1))
      continue
    fi
    if [ -z "$imports" ]; then
      echo "FAIL $tree/$program: no imports found"
      failures=$((failures + 1))
      continue
    fi
    checked=$((checked + 1))
    bad=()
    while IFS= read -r name; do
      lower=$(printf '%s' "$name" | tr '[:upper:]' '[:lower:]')
      case "$allowed" in
        *" $lower "*) ;;
        *) bad+=("$name") ;;
      esac
    done <<< "$imports"
    if [ ${#bad[@]} -gt 0 ]; then
      echo "FAIL $tree/$program imports ${bad[*]}, which Windows would look for beside it"
      failures=$((failures + 1))
    else
      echo "ok   $tree/$program:" $imports
    fi
  done
done

if [ $checked -eq 0 ] && [ $failures -eq 0 ]; then
  echo "skipped: no Windows build beside $build"
  exit 77
fi
[ $failures -eq 0 ]
