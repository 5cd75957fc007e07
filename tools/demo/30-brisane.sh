#!/usr/bin/env bash
# Brisane with the example engine: register the engine, make a test signal, run the plug-in
# over it with two programs through brisane-host and show how the level changes.
set -euo pipefail
: "${OUT_WIN64:?}" "${DEMO_OUT:?}" "${WINE64:?}"

host=$OUT_WIN64/brisane-host.exe
engine=$OUT_WIN64/ExampleEngine.dll
plugin=$OUT_WIN64/Brisane.dll
for f in "$host" "$engine" "$plugin"; do
  [ -f "$f" ] || { echo "30-brisane: $f is missing (the win64 tree must be built and installed)" >&2; exit 1; }
done

# Wine sees the Unix file system as drive Z:.
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
out=$DEMO_OUT/brisane
mkdir -p "$out"
rm -f "$out"/*.wav "$out"/*.txt "$out"/*.bin

# The host writes Windows line ends; the summary below reads its lines.
run_host() { "$WINE64" "$host" "$@" | tr -d '\r'; }

echo "registering the example engine in the demo prefix"
"$WINE64" regsvr32 /s "$(winpath "$engine")"
trap '"$WINE64" regsvr32 /u /s "$(winpath "$engine")" || true' EXIT

run_host --make-signal "$(winpath "$out/signal.wav")" --rate 48000 --seconds 3

echo
echo "Brisane as a host sees it:"
run_host "$(winpath "$plugin")" --info --rate 48000 | tee "$out/identity.txt"

# Program 0 is the engine's neutral "Flat", program 4 its "Loud Master" (input +9 dB, shelves,
# drive, output -1 dB).
summary=()
for program in 0 4; do
  name=$(sed -n "s/^  [ *] *$program  \(.*\)\$/\1/p" "$out/identity.txt" | head -n1)
  echo
  echo "program $program ($name):"
  run_host "$(winpath "$plugin")" --program "$program" --quiet \
      -i "$(winpath "$out/signal.wav")" -o "$(winpath "$out/program-$program.wav")" \
      --save-preset "$(winpath "$out/program-$program-preset.bin")" | tee "$out/program-$program.txt"
  summary+=("program $program ($name): $(grep '^output' "$out/program-$program.txt")")
done
run_host "$(winpath "$plugin")" --save-bank "$(winpath "$out/bank.bin")" --quiet >/dev/null

echo
echo "Level change:"
grep '^input' "$out/program-0.txt"
printf '%s\n' "${summary[@]}"
rms0=$(sed -n 's/^output level: RMS *\([-0-9.]*\).*/\1/p' "$out/program-0.txt")
rms4=$(sed -n 's/^output level: RMS *\([-0-9.]*\).*/\1/p' "$out/program-4.txt")
awk -v a="$rms0" -v b="$rms4" 'BEGIN { printf "RMS difference between the two programs: %+.2f dB\n", b - a }'
echo "chunk files: $(stat -c '%n %s bytes' "$out"/program-0-preset.bin "$out"/bank.bin | sed "s|$out/||g" | paste -sd ',' | sed 's/,/, /g')"
echo "files in $out"
