#!/usr/bin/env bash
# Brisane's editor as a user sees it: brisane-host --editor opens the plug-in with the example
# engine in a host window on the session's virtual display, and a screenshot of that display is
# taken while it is open (the display has no window manager, so the window has no frame). The
# win32 build (the product) gives out/demo/brisane-editor.png; the win64 build the same picture
# in out/demo/win64/.
set -euo pipefail
: "${TOP:?}" "${DEMO_OUT:?}"

winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
for tool in xwd xwdtopnm pnmcrop pnmtopng; do
  command -v "$tool" >/dev/null || { echo "40-editor: $tool is missing (packages x11-apps, netpbm)" >&2; exit 1; }
done

for tree in ${DEMO_TREES:-win32 win64}; do
  bin=$TOP/out/$tree
  wine_run=$TOP/build/$tree/wine-run
  display_file=$TOP/build/$tree/wineprefix.display
  [ -s "$display_file" ] || { echo "40-editor: the $tree session has no display (wine-session start)" >&2; exit 1; }
  display=$(cat "$display_file")
  picture=$DEMO_OUT/$tree/brisane-editor.png
  mkdir -p "$DEMO_OUT/$tree"

  echo "=== Brisane's editor, $tree build, on the virtual display $display ==="
  "$wine_run" regsvr32 /s "$(winpath "$bin/ExampleEngine.dll")"
  "$wine_run" "$bin/brisane-host.exe" "$(winpath "$bin/Brisane.dll")" --editor 6 | tr -d '\r' &
  host=$!
  sleep 4
  xwd -display "$display" -root -silent | xwdtopnm 2>/dev/null | pnmcrop -black 2>/dev/null | pnmtopng >"$picture"
  wait "$host"
  "$wine_run" regsvr32 /u /s "$(winpath "$bin/ExampleEngine.dll")" || true
  echo "screenshot of the $tree build's editor: $picture ($(stat -c %s "$picture") bytes)"
  echo
done
if [ -f "$DEMO_OUT/win32/brisane-editor.png" ]; then
  cp "$DEMO_OUT/win32/brisane-editor.png" "$DEMO_OUT/brisane-editor.png"
  echo "out/demo/brisane-editor.png: the product's editor (win32 build)"
fi
