#!/usr/bin/env bash
# Static check of Sonvex2.dll:
#   check_sonvex2.sh OBJDUMP FILE MACHINE      (MACHINE i386 or x86-64)
# PE32 for i386 / PE32+ for x86-64, exactly the four undecorated COM server exports, imports from
# Windows system libraries only, and the resources TYPELIB 1 and REGISTRY 101 (language 1033).
set -u
objdump=$1 file=$2 machine=$3
here=$(dirname "$0")
fail=0
say() { echo "check_sonvex2: $(basename "$file"): $*"; }
[ -f "$file" ] || { say "missing"; exit 1; }
headers=$("$objdump" -p "$file") || { say "objdump failed"; exit 1; }

case $machine in
  i386)   want_fmt='pei-i386';   want_magic='010b' ;;
  x86-64) want_fmt='pei-x86-64'; want_magic='020b' ;;
  *) say "unknown machine $machine"; exit 2 ;;
esac
fmt=$("$objdump" -f "$file" | sed -n 's/.*file format \(.*\)$/\1/p' | head -n1)
[ "$fmt" = "$want_fmt" ] || { say "format $fmt, want $want_fmt"; fail=1; }
magic=$(printf '%s\n' "$headers" | awk '/^Magic/ {print $2; exit}')
[ "$magic" = "$want_magic" ] || { say "optional header magic $magic, want $want_magic"; fail=1; }

exports=$(printf '%s\n' "$headers" |
  awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^[[:space:]]*\[/ {print $NF; next} t && NF==0 {t=0}' | sort)
want_exports=$(printf '%s\n' DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
[ "$exports" = "$want_exports" ] || { say "exports $(echo $exports), want $(echo $want_exports)"; fail=1; }

system_dlls='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shell32|shlwapi|msvcrt|comctl32|uuid|version|ntdll|ucrtbase|api-ms-win-.*)\.dll$'
imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { say "no imports found"; fail=1; }
for d in $imports; do
  printf '%s\n' "$d" | grep -Eq "$system_dlls" || { say "non-system import $d"; fail=1; }
done

resources=$(python3 "$here/pe_resources.py" "$file") || { say "resource directory unreadable"; fail=1; }
for want in "TYPELIB 1 1033" "REGISTRY 101 1033"; do
  printf '%s\n' "$resources" | grep -qx "$want" || { say "resource $want missing (have: $(echo $resources | tr '\n' ','))"; fail=1; }
done
# The type library resource must be an MSFT type library.
printf '%s\n' "$resources" | grep -q '^TYPELIB 1 1033$' &&
  { python3 "$here/pe_resources.py" "$file" TYPELIB 1 | head -c 4 | grep -q MSFT || { say "TYPELIB 1 is not an MSFT library"; fail=1; }; }

[ $fail -eq 0 ] && say "ok ($want_fmt; exports: $(echo $exports); imports: $(echo $imports); resources: $(echo $resources | tr '\n' ','))"
exit $fail
