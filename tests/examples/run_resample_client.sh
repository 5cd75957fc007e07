#!/usr/bin/env bash
# Makes a one-second stereo test signal and converts it with the resample_client example.
#   run_resample_client.sh WINE_RUN TESTSIGNAL.exe RESAMPLE_CLIENT.exe WORK_DIR
set -eu
wine_run=$1 testsignal=$2 client=$3 work=$4
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
in=$work/example-in.wav out=$work/example-out.wav
rm -f "$in" "$out"
"$wine_run" "$testsignal" "$(winpath "$in")" --rate 44100 --seconds 1 --channels 2 --format pcm16 --tones 1000 >/dev/null
"$wine_run" "$client" "$(winpath "$in")" "$(winpath "$out")" 48000
[ -s "$out" ] || { echo "no output file"; exit 1; }
