#!/usr/bin/env bash
# Brisane with the example engine, for each build: register the engine in the tree's prefix,
# make a test signal, run the plug-in over it with two programs through brisane-host and show
# how the level changes. The win64 build runs under 64-bit Wine, the win32 build (the product)
# under the 32-bit loader (natively where the kernel runs i386 code); each writes to
# out/demo/<build>/brisane/.
set -euo pipefail
: "${TOP:?}" "${DEMO_OUT:?}"

# Wine sees the Unix file system as drive Z:.
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }

for tree in ${DEMO_TREES:-win64 win32}; do
  bin=$TOP/out/$tree
  wine_run=$TOP/build/$tree/wine-run
  host=$bin/brisane-host.exe
  engine=$bin/ExampleEngine.dll
  plugin=$bin/Brisane.dll
  for f in "$host" "$engine" "$plugin"; do
    [ -f "$f" ] || { echo "30-brisane: $f is missing (the $tree tree must be built and installed)" >&2; exit 1; }
  done
  out=$DEMO_OUT/$tree/brisane
  mkdir -p "$out"
  rm -f "$out"/*.wav "$out"/*.txt "$out"/*.fxp "$out"/*.fxb

  # The host writes Windows line ends; the summary below reads its lines.
  run_host() { "$wine_run" "$host" "$@" | tr -d '\r'; }

  echo "=== Brisane, $tree build ($bin) ==="
  echo "registering the example engine in build/$tree/wineprefix"
  "$wine_run" regsvr32 /s "$(winpath "$engine")"

  run_host --make-signal "$(winpath "$out/signal.wav")" --rate 48000 --seconds 3

  echo
  echo "Brisane as a host sees it:"
  run_host "$(winpath "$plugin")" --info --rate 48000 | tee "$out/identity.txt"

  # Program 0 is the engine's neutral "Flat", program 4 its "Loud Master" (input +9 dB,
  # shelves, drive, output -1 dB).
  summary=()
  for program in 0 4; do
    name=$(sed -n "s/^  [ *] *$program  \(.*\)\$/\1/p" "$out/identity.txt" | head -n1)
    echo
    echo "program $program ($name):"
    run_host "$(winpath "$plugin")" --program "$program" --quiet \
        -i "$(winpath "$out/signal.wav")" -o "$(winpath "$out/program-$program.wav")" \
        --save-preset "$(winpath "$out/program-$program.fxp")" | tee "$out/program-$program.txt"
    summary+=("program $program ($name): $(grep '^output' "$out/program-$program.txt")")
  done
  run_host "$(winpath "$plugin")" --save-bank "$(winpath "$out/bank.fxb")" --quiet >/dev/null
  "$wine_run" regsvr32 /u /s "$(winpath "$engine")" || true

  echo
  echo "Level change ($tree build):"
  grep '^input' "$out/program-0.txt"
  printf '%s\n' "${summary[@]}"
  rms0=$(sed -n 's/^output level: RMS *\([-0-9.]*\).*/\1/p' "$out/program-0.txt")
  rms4=$(sed -n 's/^output level: RMS *\([-0-9.]*\).*/\1/p' "$out/program-4.txt")
  awk -v a="$rms0" -v b="$rms4" 'BEGIN { printf "RMS difference between the two programs: %+.2f dB\n", b - a }'
  echo "preset and bank files: $(stat -c '%n %s bytes' "$out"/program-0.fxp "$out"/bank.fxb | sed "s|$out/||g" | paste -sd ',' | sed 's/,/, /g')"
  echo "files made by the $tree build are in $out"
  echo
done

[[ " ${DEMO_TREES:-win64 win32} " == *" win32 "* && " ${DEMO_TREES:-win64 win32} " == *" win64 "* ]] || exit 0
for f in program-0.wav program-4.wav bank.fxb; do
  if cmp -s "$DEMO_OUT/win64/brisane/$f" "$DEMO_OUT/win32/brisane/$f"; then
    echo "$f: the win32 and win64 builds wrote identical files"
  else
    echo "$f: the win32 and win64 builds wrote different files (the engine's arithmetic is not bit-defined across builds)"
  fi
done
