#!/usr/bin/env bash
# Kernel layer: the spectrum of a generated test signal with its peak bins, timed against FFTW3f;
# then the forward+inverse table of the benchmark for a few sizes.
set -euo pipefail
demo="$BUILD_NATIVE/bench/fft/sonvex_fft_demo"
bench="$BUILD_NATIVE/bench/fft/fft_bench"
[ -x "$demo" ] || { echo "10-kernels: $demo is missing (build the native tree)" >&2; exit 1; }
"$demo" | tee "$DEMO_OUT/kernels-spectrum.txt"
if [ -x "$bench" ]; then
  echo
  "$bench" 6 14 5 | tee "$DEMO_OUT/kernels-fft-timing.txt"
fi
