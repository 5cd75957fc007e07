#!/usr/bin/env bash
# Sonvex2 end to end under Wine, for each build: register the server in the tree's prefix,
# make a test signal (a logarithmic sweep under steady tones, 44.1 kHz stereo), convert it to
# 48 kHz mono with sonvex-convert and draw the spectra before and after with sonvex-spectrum.
# The win64 build runs under 64-bit Wine, the win32 build (the product) under the 32-bit
# loader (natively where the kernel runs i386 code); each writes its files to out/demo/<build>/.
set -euo pipefail
: "${TOP:?}" "${DEMO_OUT:?}"

# Host paths as Wine sees them (the host root is drive Z:).
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

for tree in ${DEMO_TREES:-win64 win32}; do
  bin=$TOP/out/$tree
  wine_run=$TOP/build/$tree/wine-run
  for f in Sonvex2.dll sonvex-testsignal.exe sonvex-convert.exe sonvex-spectrum.exe; do
    [ -f "$bin/$f" ] || { echo "20-sonvex: $bin/$f is missing (was the $tree tree built and installed?)" >&2; exit 1; }
  done
  run() { echo "+ [$tree] $(basename "$1") ${*:2}"; "$wine_run" "$@"; }

  out=$DEMO_OUT/$tree
  mkdir -p "$out"
  signal=$out/sonvex-signal-44k1-stereo.wav
  converted=$out/sonvex-signal-48k-mono.wav
  before=$out/sonvex-spectrum-before.svg
  after=$out/sonvex-spectrum-after.svg

  echo "=== Sonvex2, $tree build ($bin) ==="
  echo "registering Sonvex2.dll in build/$tree/wineprefix"
  "$wine_run" regsvr32 /s "$(winpath "$bin/Sonvex2.dll")" || { echo "20-sonvex: regsvr32 failed ($tree)" >&2; exit 1; }

  run "$bin/sonvex-testsignal.exe" "$(winpath "$signal")" --rate 44100 --seconds 12 --channels 2 --format pcm24 \
      --tones 100,1000,5000,15000 --tone-level -12 --sweep 20:20000 --sweep-level -30
  echo
  run "$bin/sonvex-spectrum.exe" "$(winpath "$signal")" "$(winpath "$before")" --size 8192 --window blackman-harris
  echo
  run "$bin/sonvex-convert.exe" "$(winpath "$signal")" "$(winpath "$converted")" --rate 48000 --channels 1 --taps 65
  echo
  run "$bin/sonvex-spectrum.exe" "$(winpath "$converted")" "$(winpath "$after")" --size 8192 --window blackman-harris
  echo

  # A bad file is refused with one line and a non-zero exit, and leaves no output behind.
  bad=$out/sonvex-truncated.wav
  head -c 20 "$signal" >"$bad"
  if run "$bin/sonvex-convert.exe" "$(winpath "$bad")" "$(winpath "$out/sonvex-never.wav")" --rate 48000; then
    echo "20-sonvex: a truncated file was accepted ($tree)" >&2
    exit 1
  fi
  [ ! -e "$out/sonvex-never.wav" ] || { echo "20-sonvex: output left behind ($tree)" >&2; exit 1; }
  rm -f "$bad"

  # PNG renderings when a converter happens to be installed (the SVGs are the results).
  if command -v rsvg-convert >/dev/null 2>&1; then
    for svg in "$before" "$after"; do rsvg-convert -o "${svg%.svg}.png" "$svg" || true; done
  fi
  echo
  echo "files made by the $tree build:"
  ls -l "$signal" "$converted" "$before" "$after"
  echo
done

echo "The tones keep their frequencies (the realised output rate is 44100*4096/3763 = 48002.55 Hz,"
echo "so at the nominal 48000 Hz they read 0.005 % low), and the mono mix of two identical channels"
echo "(0.7071 each) raises them by 3 dB."
# The conversion is defined to the bit, so the two builds must agree exactly.
[[ " ${DEMO_TREES:-win64 win32} " == *" win32 "* && " ${DEMO_TREES:-win64 win32} " == *" win64 "* ]] || exit 0
for f in sonvex-signal-44k1-stereo.wav sonvex-signal-48k-mono.wav; do
  if cmp -s "$DEMO_OUT/win64/$f" "$DEMO_OUT/win32/$f"; then
    echo "$f: the win32 and win64 builds wrote identical files"
  else
    echo "20-sonvex: the win32 and win64 builds wrote different $f" >&2
    exit 1
  fi
done
