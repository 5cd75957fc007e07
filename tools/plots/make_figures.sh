#!/usr/bin/env bash
# Runs the FFT and resampler benchmarks of the native tree and draws docs/figures/*.svg from
# their output, stamped with this machine and today's date. Run it on a machine that is not
# busy with anything else:
#     tools/plots/make_figures.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
fft=build/native/bench/fft/fft_bench
resampler=build/native/bench/resampler/resampler_bench
[ -x "$fft" ] && [ -x "$resampler" ] || { echo "make_figures: build the native tree first (./run build)" >&2; exit 1; }
mkdir -p docs/figures
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
machine="$cpu, $(nproc) cores, measured $(date +%Y-%m-%d)"
"$fft" 6 20 5 | tee docs/figures/fft_bench.txt
"$resampler" | tee docs/figures/resampler_bench.txt
python3 tools/plots/bench_plots.py docs/figures/fft_bench.txt docs/figures/resampler_bench.txt docs/figures "$machine"
echo "docs/figures: $(ls docs/figures | tr '\n' ' ')"
