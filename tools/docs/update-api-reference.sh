#!/usr/bin/env bash
# Writes docs/sonvex2-api.md again from the type library in the win32 build's Sonvex2.dll.
# Run after changing dsp/comserver/sonvex.idl (and ./run build).
set -euo pipefail
cd "$(dirname "$0")/../.."
tool=build/win32/tools/typelib-doc/sonvex-typelib-doc.exe
dll=$PWD/build/win32/dsp/comserver/Sonvex2.dll
[ -f "$tool" ] && [ -f "$dll" ] || { echo "update-api-reference: build the win32 tree first (./run build)" >&2; exit 1; }
build/win32/wine-run "$tool" "Z:$dll" | tr -d '\r' >docs/sonvex2-api.md
echo "wrote docs/sonvex2-api.md"
