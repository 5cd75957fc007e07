#!/usr/bin/env bash
# Static check of what is particular to Sonvex2.dll (machine type, undecorated names and
# system-only imports are checked for every module by tests/static/check_pe.sh):
#   check_sonvex2.sh OBJDUMP FILE
# exactly the four COM server exports, and the resources TYPELIB 1 (an MSFT type library) and
# REGISTRY 101, both in language 1033.
set -u
objdump=$1 file=$2
support=$(dirname "$0")/../support
fail=0
say() { echo "check_sonvex2: $(basename "$file"): $*"; }
[ -f "$file" ] || { say "missing"; exit 1; }
headers=$("$objdump" -p "$file") || { say "objdump failed"; exit 1; }

exports=$(printf '%s\n' "$headers" |
  awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^[[:space:]]*\[/ {print $NF; next} t && NF==0 {t=0}' | sort)
want_exports=$(printf '%s\n' DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
[ "$exports" = "$want_exports" ] || { say "exports $(echo $exports), want $(echo $want_exports)"; fail=1; }

resources=$(python3 "$support/pe_resources.py" "$file") || { say "resource directory unreadable"; fail=1; }
for want in "TYPELIB 1 1033" "REGISTRY 101 1033"; do
  printf '%s\n' "$resources" | grep -qx "$want" || { say "resource $want missing (have: $(echo $resources | tr '\n' ','))"; fail=1; }
done
printf '%s\n' "$resources" | grep -q '^TYPELIB 1 1033$' &&
  { python3 "$support/pe_resources.py" "$file" TYPELIB 1 | head -c 4 | grep -q MSFT || { say "TYPELIB 1 is not an MSFT library"; fail=1; }; }

[ $fail -eq 0 ] && say "ok (exports: $(echo $exports); resources: $(echo $resources | tr '\n' ','))"
exit $fail
