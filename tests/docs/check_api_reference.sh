#!/usr/bin/env bash
# The guide and the type library agree: docs/sonvex2-api.md is what sonvex-typelib-doc reads
# from the built Sonvex2.dll now, and docs/sonvex2.md describes exactly the methods the
# library has, each under a heading of its own name.
#   check_api_reference.sh WINE_RUN TYPELIB_DOC.exe SONVEX2.dll DOCS_DIR
set -u
wine_run=$1 tool=$2 dll=$3 docs=$4
generated=$("$wine_run" "$tool" "Z:$dll" | tr -d '\r') || { echo "sonvex-typelib-doc failed"; exit 1; }
fail=0
if ! diff -u "$docs/sonvex2-api.md" <(printf '%s\n' "$generated"); then
  echo "docs/sonvex2-api.md differs from the type library: run tools/docs/update-api-reference.sh"
  fail=1
fi
in_library=$(printf '%s\n' "$generated" | sed -n 's/^| [0-9]* | `\([A-Za-z]*\)` |.*/\1/p' | sort)
in_guide=$(sed -n 's/^#### `\([A-Za-z]*\)`$/\1/p' "$docs/sonvex2.md" | sort)
[ -n "$in_library" ] || { echo "no methods read from the type library"; fail=1; }
if [ "$in_library" != "$in_guide" ]; then
  echo "docs/sonvex2.md describes other methods than the type library has:"
  diff <(printf '%s\n' "$in_library") <(printf '%s\n' "$in_guide")
  fail=1
fi
[ $fail -eq 0 ] && echo "reference and guide agree with the type library ($(echo $in_library | wc -w) methods)"
exit $fail
