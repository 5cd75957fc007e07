#!/usr/bin/env bash
# Sonvex2 end to end under 64-bit Wine: register the server in the demo's prefix, make a test
# signal (a logarithmic sweep under steady tones, 44.1 kHz stereo), convert it to 48 kHz mono
# with sonvex-convert and draw the spectra before and after with sonvex-spectrum.
set -euo pipefail
: "${WINE64:?}" "${OUT_WIN64:?}" "${DEMO_OUT:?}" "${WINEPREFIX:?}"

bin=$OUT_WIN64
for f in Sonvex2.dll sonvex-testsignal.exe sonvex-convert.exe sonvex-spectrum.exe; do
  [ -f "$bin/$f" ] || { echo "20-sonvex: $bin/$f is missing (was the win64 tree built and installed?)" >&2; exit 1; }
done

# Host paths as Wine sees them (the host root is drive Z:).
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
run() { echo "+ $(basename "$1") ${*:2}"; "$WINE64" "$@"; }

mkdir -p "$DEMO_OUT"
signal=$DEMO_OUT/sonvex-signal-44k1-stereo.wav
converted=$DEMO_OUT/sonvex-signal-48k-mono.wav
before=$DEMO_OUT/sonvex-spectrum-before.svg
after=$DEMO_OUT/sonvex-spectrum-after.svg

echo "registering Sonvex2.dll in $WINEPREFIX"
"$WINE64" regsvr32 /s "$(winpath "$bin/Sonvex2.dll")" || { echo "20-sonvex: regsvr32 failed" >&2; exit 1; }

run "$bin/sonvex-testsignal.exe" "$(winpath "$signal")" --rate 44100 --seconds 12 --channels 2 --format pcm24 \
    --tones 100,1000,5000,15000 --tone-level -12 --sweep 20:20000 --sweep-level -30
echo
run "$bin/sonvex-spectrum.exe" "$(winpath "$signal")" "$(winpath "$before")" --size 8192 --window blackman-harris
echo
run "$bin/sonvex-convert.exe" "$(winpath "$signal")" "$(winpath "$converted")" --rate 48000 --channels 1 --taps 65
echo
run "$bin/sonvex-spectrum.exe" "$(winpath "$converted")" "$(winpath "$after")" --size 8192 --window blackman-harris
echo
echo "The tones keep their frequencies (the realised output rate is 44100*4096/3763 = 48002.55 Hz,"
echo "so at the nominal 48000 Hz they read 0.005 % low), and the mono mix of two identical channels"
echo "(0.7071 each) raises them by 3 dB."

# A bad file is refused with one line and a non-zero exit, and leaves no output behind.
bad=$DEMO_OUT/sonvex-truncated.wav
head -c 20 "$signal" >"$bad"
echo
if run "$bin/sonvex-convert.exe" "$(winpath "$bad")" "$(winpath "$DEMO_OUT/sonvex-never.wav")" --rate 48000; then
  echo "20-sonvex: a truncated file was accepted" >&2
  exit 1
fi
[ ! -e "$DEMO_OUT/sonvex-never.wav" ] || { echo "20-sonvex: output left behind" >&2; exit 1; }
rm -f "$bad"

# PNG renderings when a converter happens to be installed (the SVGs are the results).
if command -v rsvg-convert >/dev/null 2>&1; then
  for svg in "$before" "$after"; do rsvg-convert -o "${svg%.svg}.png" "$svg" || true; done
fi
echo
echo "Sonvex2 demo files:"
ls -l "$signal" "$converted" "$before" "$after"
