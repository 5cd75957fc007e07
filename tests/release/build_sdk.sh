#!/usr/bin/env bash
# Builds the SDK's examples from the package's zip alone, in a folder outside the source and
# build trees, then runs the client it built against the server registered in the tree's prefix:
#   build_sdk.sh ZIP C_COMPILER CXX_COMPILER RC_COMPILER WINE_RUN
set -eu
zip=$1 cc=$2 cxx=$3 rc=$4 wine_run=$5
work=$(mktemp -d /tmp/sonvex-sdk-XXXXXX)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip")
sdk=$(echo "$work"/*/sdk)
[ -f "$sdk/CMakeLists.txt" ] || { echo "build_sdk: no sdk/CMakeLists.txt in $zip"; exit 1; }
cmake -S "$sdk" -B "$work/build" -G Ninja -DCMAKE_SYSTEM_NAME=Windows \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_RC_COMPILER="$rc" >"$work/configure.log" 2>&1 \
  || { cat "$work/configure.log"; exit 1; }
nice -n 10 cmake --build "$work/build" -j 2 >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log"; exit 1; }
# Nothing of the source tree was compiled in: every include came from the SDK or the compiler.
if grep -rl "$(cd "$(dirname "$0")/../.." && pwd)" "$work/build" --include='*.d' --include='*.ninja' >/dev/null 2>&1; then
  echo "build_sdk: the build reached into the source tree"; exit 1
fi
for built in fft_client.exe fft_late_bound.exe resample_client.exe minimal_host.exe ExampleEngine.dll; do
  [ -s "$work/build/$built" ] || { echo "build_sdk: $built was not built"; exit 1; }
done
echo "built from $(basename "$zip")'s sdk/ alone: fft_client.exe fft_late_bound.exe resample_client.exe minimal_host.exe ExampleEngine.dll"
"$wine_run" "$work/build/fft_client.exe" | tr -d '\r'
