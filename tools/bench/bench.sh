# The benchmark of the product as users run it, sourced by ./run for `./run bench`:
#   1. the peer libraries from Debian's source packages (fftw3, libsoxr), built into
#      build/peers/ with their SIMD on, once (build/peers/<build>/.done marks a finished build):
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
  dir=$(find "$peers/src" -maxdepth 1 -type d -name "$1-[0-9]*" 2>/dev/null | sort | tail -n1)
  if [ -z "$dir" ]; then
    add_source_packages_entry || return 1
    if [ -z "$(apt-cache showsrc "$1" 2>/dev/null)" ]; then apt_update || return 1; fi
    mkdir -p "$peers/src"
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
    grep -E '^#define HAVE_(SSE2|AVX|AVX2|AVX512|FMA) ' config.h | awk '{print $2}' | sed 's/^HAVE_//' \
      | tr '\n' ' ' >"$peers/$build/fftw-simd"
  ) || die "building FFTW for $build failed (build/peers/work/fftw-$build)"
  touch "$peers/$build/.done-fftw"
}

# Renames every global symbol of a static library (definitions and references alike) with a
# prefix, so that two builds of one library can live in one program.
prefix_symbols() { # library prefix
  local map
  nm --defined-only -g "$1" | grep -q " $2" && return 0
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
  grep -E '^#define WITH_CR(32|64)S 1' "$work/src/soxr-config.h" 2>/dev/null | awk '{print $2}' | sed 's/^WITH_//' \
    | tr '\n' ' ' >"$peers/$build/soxr-engines"
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
