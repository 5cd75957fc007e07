#!/usr/bin/env bash
# Static check of a Windows module built here:
#   check_pe.sh OBJDUMP FILE MACHINE [EXPORT...]
# MACHINE is i386 (PE32) or x86-64 (PE32+). Every EXPORT must be exported under exactly that
# (undecorated) name, and every imported DLL must be a Windows system library.
set -u
objdump=$1 file=$2 machine=$3; shift 3
fail=0
say() { echo "check_pe: $(basename "$file"): $*"; }
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

exports=$(printf '%s\n' "$headers" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^[[:space:]]*\[/ {print $NF; next} t && NF==0 {t=0}')
for e in "$@"; do
  printf '%s\n' "$exports" | grep -qx -- "$e" || { say "export $e missing (have: $(echo $exports))"; fail=1; }
done
for e in $exports; do
  case $e in *@*|_*) say "decorated export $e"; fail=1 ;; esac
done

system_dlls='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shell32|shlwapi|msvcrt|comctl32|comdlg32|uuid|winmm|version|msimg32|ntdll|ucrtbase|api-ms-win-.*)\.dll$'
imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { say "no imports found"; fail=1; }
for d in $imports; do
  printf '%s\n' "$d" | grep -Eq "$system_dlls" || { say "non-system import $d"; fail=1; }
done
[ $fail -eq 0 ] && say "ok ($want_fmt; exports: $(echo $exports); imports: $(echo $imports))"
exit $fail
