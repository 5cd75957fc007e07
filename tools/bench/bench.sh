# The benchmark of the product as users run it, sourced by ./run for `./run bench`:
#   1. the peer libraries from Debian's source packages (fftw3, libsoxr), built into
#      build/peers/ with their SIMD on, once (build/peers/<build>/.done-fftw and .done-soxr mark
#      the finished builds):
#        win32        FFTW float and soxr for i686-w64-mingw32 (FFTW: SSE2, AVX, AVX2, FMA)
#        win64        the same for x86_64-w64-mingw32 (FFTW also AVX-512)
#        native-wide  FFTW float with -march=native, AVX-512 and FMA (its symbols renamed, so
#                     that fft_bench links it beside Debian's own libfftw3f)
#   2. the native, win32 and win64 trees, configured with the peers, built;
#   3. every benchmark: the native tree's directly, the Windows trees' under their Wine
#      session (the win32 tree's natively where the kernel runs i386 programs);
#   4. the summary tables and the figures from their output.
# Output: build/bench/<tree>-<program>.txt, build/bench/summary.md, build/bench/*.svg.
# `./run bench --figures` also puts the figures and the table into docs/.
#
# Expects from ./run: top, jobs, step, warn, die, as_root, apt_update, configure_and_build,
# wine_session, cpu_name, win32_mode, and apt_sources_dir / source_packages_list of packages.sh.

bench_packages=(dpkg-dev make python3)
peers=$top/build/peers
results=$top/build/bench

# A deb-src entry for each suite of the machine's own Debian source (its mirrors and keys), so
# that no mirror address is written into the project.
add_source_packages_entry() {
  [ -f "$source_packages_list" ] && return 0
  local from=/etc/apt/sources.list.d/debian.sources
  [ -f "$from" ] || { warn "no $from to base a deb-src entry on"; return 1; }
  {
    echo "# Written by the Sonvex ./run bench: Debian's source packages of the benchmark's peers."
    echo "# ./run apt-config --undo removes it."
    awk '/^#/ {next} /^Types:/ {print "Types: deb-src"; next} {print}' "$from"
  } | as_root tee "$source_packages_list" >/dev/null
}

# The unpacked source tree of a Debian source package in build/peers/src (fetched if missing).
peer_source() { # source-package
  local dir
  mkdir -p "$peers/src"
  dir=$(find "$peers/src" -maxdepth 1 -type d -name "$1-[0-9]*" | sort | tail -n1)
  if [ -z "$dir" ]; then
    add_source_packages_entry || return 1
    if [ -z "$(apt-cache showsrc "$1" 2>/dev/null)" ]; then apt_update || return 1; fi
    (cd "$peers/src" && apt-get source -qq "$1" >"$1.fetch.log" 2>&1) \
      || { cat "$peers/src/$1.fetch.log" >&2; return 1; }
    dir=$(find "$peers/src" -maxdepth 1 -type d -name "$1-[0-9]*" | sort | tail -n1)
  fi
  echo "$dir"
}

# FFTW float as a static library in build/peers/<build>. Only the library is built.
build_fftw() { # build host|"" cflags configure-option...
  local build=$1 host=$2 cflags=$3 src work
  shift 3
  [ -f "$peers/$build/.done-fftw" ] && return 0
  src=$(peer_source fftw3) || die "could not get the fftw3 source package"
  work=$peers/work/fftw-$build
  step "building FFTW float for $build from $(basename "$src") (${*//--enable-/})"
  rm -rf "$work" && mkdir -p "$work" "$peers/$build/lib" "$peers/$build/include"
  (
    cd "$work"
    "$src/configure" ${host:+--host=$host} --enable-float --enable-static --disable-shared --disable-fortran \
      --disable-threads --with-our-malloc CFLAGS="$cflags" "$@" >configure.log 2>&1 \
      || { tail -n 30 configure.log; exit 1; }
    for d in support kernel simd-support dft rdft reodft api; do
      nice -n 10 make -C $d -j "$jobs" >>make.log 2>&1 || { tail -n 30 make.log; exit 1; }
    done
    nice -n 10 make libfftw3f.la >>make.log 2>&1 || { tail -n 30 make.log; exit 1; }
    cp .libs/libfftw3f.a "$peers/$build/lib/"
    cp "$src/api/fftw3.h" "$peers/$build/include/"
  ) || die "building FFTW for $build failed (build/peers/work/fftw-$build)"
  touch "$peers/$build/.done-fftw"
}

# Renames every global symbol of a static library (definitions and references alike) with a
# prefix, so that two builds of one library can live in one program.
prefix_symbols() { # library prefix
  local map
  # Once only (awk reads the whole list: no early exit for pipefail to see as a failure).
  nm --defined-only -g "$1" | awk -v p="$2" 'index($3, p) == 1 {found = 1} END {exit !found}' && return 0
  map=$(mktemp)
  nm --defined-only -g "$1" | awk -v p="$2" 'NF == 3 {print $3, p $3}' | sort -u >"$map"
  objcopy --redefine-syms="$map" "$1"
  rm -f "$map"
}

# soxr as a static library in build/peers/<build>, its SIMD engines on, no OpenMP (one thread,
# as the benchmark runs it anyway).
build_soxr() { # build cmake-toolchain-file|"" cflags
  local build=$1 toolchain=$2 cflags=$3 src work
  [ -f "$peers/$build/.done-soxr" ] && return 0
  src=$(peer_source libsoxr) || die "could not get the libsoxr source package"
  work=$peers/work/soxr-$build
  step "building soxr for $build from $(basename "$src")"
  rm -rf "$work"
  cmake -S "$src" -B "$work" -G Ninja ${toolchain:+-DCMAKE_TOOLCHAIN_FILE="$toolchain"} -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS="$cflags" -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTS=OFF -DWITH_OPENMP=OFF -DWITH_LSR_BINDINGS=OFF \
    -DCMAKE_INSTALL_PREFIX="$peers/$build" >"$peers/work/soxr-$build.configure.log" 2>&1 \
    || { tail -n 30 "$peers/work/soxr-$build.configure.log"; die "configuring soxr for $build failed"; }
  nice -n 10 cmake --build "$work" -j "$jobs" >"$peers/work/soxr-$build.build.log" 2>&1 \
    || { tail -n 30 "$peers/work/soxr-$build.build.log"; die "building soxr for $build failed"; }
  cmake --install "$work" >/dev/null || die "installing soxr for $build failed"
  touch "$peers/$build/.done-soxr"
}

build_peers() {
  local windows_flags="-O3 -fomit-frame-pointer -fstrict-aliasing -Wa,-muse-unaligned-vector-move"
  # The i686 builds take the product's own floating-point flags: SSE2 arithmetic, and a stack
  # realigned where wider alignment is needed (Windows keeps it 4-byte aligned).
  local i686_flags="$windows_flags -msse2 -mfpmath=sse -mstackrealign"
  build_fftw win32 i686-w64-mingw32 "$i686_flags" --enable-sse2 --enable-avx --enable-avx2 --enable-fma
  build_fftw win64 x86_64-w64-mingw32 "$windows_flags" --enable-sse2 --enable-avx --enable-avx2 --enable-avx512 \
    --enable-fma
  build_fftw native-wide "" "-O3 -march=native -fomit-frame-pointer -fstrict-aliasing" --enable-sse2 --enable-avx \
    --enable-avx2 --enable-avx512 --enable-fma
  prefix_symbols "$peers/native-wide/lib/libfftw3f.a" wide_
  build_soxr win32 "$top/cmake/toolchain-win32.cmake" "-msse2 -mfpmath=sse -mstackrealign"
  build_soxr win64 "$top/cmake/toolchain-win64.cmake" ""
}

# The Sonvex2.dll a Windows tree built (comserver_bench measures that one, whatever is registered).
tree_server() { find "$top/build/$1" -name Sonvex2.dll -path '*comserver*' | head -n1; }

# One benchmark program, its output shown and kept in build/bench/<tree>-<program>.txt.
bench_program() { # tree program-path argument...
  local tree=$1 program=$2 log
  shift 2
  log=$results/$tree-$(basename "$program" .exe).txt
  step "$tree: $(basename "$program") $*"
  local run=()
  [ "$tree" = native ] || run=("$top/build/$tree/wine-run")
  "${run[@]}" "$program" "$@" | tr -d '\r' | tee "$log" || bench_failed+=("$tree $(basename "$program")")
}

run_benchmarks() {
  local t
  bench_program native "$top/build/native/bench/fft/fft_bench" 4 20 5
  bench_program native "$top/build/native/bench/resampler/resampler_bench"
  # What the processor's vector units sustain, the ceilings the figures above are measured against.
  bench_program native "$top/build/native/bench/machine/vector_ceilings"
  for t in $(windows_trees); do
    wine_session "$t" start
    bench_program "$t" "$top/build/$t/bench/fft/fft_bench.exe" 4 20 5
    bench_program "$t" "$top/build/$t/bench/resampler/resampler_bench.exe"
    bench_program "$t" "$top/build/$t/bench/comserver/comserver_bench.exe" "$(tree_server "$t")"
    wine_session "$t" stop
  done
}

# ./run bench [--figures]
run_bench() {
  local figures=0 missing=() t
  [ "${1:-}" = "--figures" ] && figures=1
  mapfile -t missing < <(missing_packages "${bench_packages[@]}")
  if [ ${#missing[@]} -gt 0 ]; then
    step "installing ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y "${apt_quiet[@]}" --no-install-recommends \
      --no-remove "${missing[@]}" || die "could not install: ${missing[*]}"
  fi
  [ $win32_mode != none ] || warn "the win32 tree, the product, cannot run here ($win32_reason): its benchmarks are left out"
  build_peers
  mkdir -p build out "$results"
  configure_and_build native
  for t in $(windows_trees); do
    configure_and_build "$t" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-$t.cmake" -DCMAKE_INSTALL_PREFIX="$top/out/$t"
  done
  rm -f "$results"/*.txt
  bench_failed=()
  echo "measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(cpu_name), $(nproc) cores; load average before: $(cut -d' ' -f1-3 /proc/loadavg)" \
    >"$results/machine.txt"
  run_benchmarks
  echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$results/machine.txt"
  step "summary (build/bench/summary.md)"
  python3 "$top/tools/plots/bench_plots.py" "$results" || die "the summary could not be drawn from build/bench/"
  if [ $figures -eq 1 ]; then
    rm -f "$top"/docs/figures/*.svg "$top"/docs/figures/*.txt
    cp "$results"/*.svg "$results"/*.txt "$top/docs/figures/"
    python3 "$top/tools/plots/bench_plots.py" --guide "$results" "$top/docs/figures.md"
    echo "docs/figures and the table of docs/figures.md renewed from this run"
  fi
  [ ${#bench_failed[@]} -eq 0 ] || die "benchmarks that failed: ${bench_failed[*]}"
}
