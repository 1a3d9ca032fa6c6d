#!/usr/bin/env bash
# check-imports.sh ARCH(x86_64|i686) EXE: fails unless EXE imports only Windows system DLLs,
# so the installer runs on a bare Windows without any runtime next to it.
set -euo pipefail
arch=$1 exe=$2

allowed=(advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll kernel32.dll msi.dll
         msvcrt.dll ntdll.dll ole32.dll oleaut32.dll rpcrt4.dll secur32.dll shell32.dll shlwapi.dll user32.dll
         userenv.dll uxtheme.dll version.dll wininet.dll winmm.dll ws2_32.dll)

is_allowed() {
  local dll
  for dll in "${allowed[@]}"; do [ "$dll" = "$1" ] && return 0; done
  return 1
}

imports=$("$arch-w64-mingw32-objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "error: no imports found in $exe" >&2; exit 1; }
unexpected=()
for dll in $imports; do
  is_allowed "$dll" || unexpected+=("$dll")
done
if [ ${#unexpected[@]} -gt 0 ]; then
  echo "error: $exe imports DLLs that are not part of Windows: ${unexpected[*]}" >&2
  exit 1
fi
echo "==> $(basename "$exe") ($arch) imports only Windows DLLs:" $imports
