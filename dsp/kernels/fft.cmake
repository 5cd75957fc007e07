# Real FFT: shared setup code, one translation unit per instruction-set version, the entry points.
set(_fft_dir ${CMAKE_CURRENT_LIST_DIR})
target_sources(sonvex_kernels PRIVATE
  ${_fft_dir}/fft_twiddles.cpp
  ${_fft_dir}/fft_setup.cpp
  ${_fft_dir}/fft_sse2.cpp
  ${_fft_dir}/fft_ssse3.cpp
  ${_fft_dir}/fft_sse41.cpp
  ${_fft_dir}/fft_avx.cpp
  ${_fft_dir}/fft_avx2.cpp
  ${_fft_dir}/fft_avx2_small.cpp
  ${_fft_dir}/fft_avx512.cpp
  ${_fft_dir}/dispatch_fft.cpp)
# The i686 product must keep running on SSE2-only processors: only the version files get
# further instruction sets. -msse2 is repeated so the native tree says the same thing.
set_source_files_properties(${_fft_dir}/fft_sse2.cpp PROPERTIES COMPILE_OPTIONS "-msse2")
set_source_files_properties(${_fft_dir}/fft_ssse3.cpp PROPERTIES COMPILE_OPTIONS "-mssse3")
set_source_files_properties(${_fft_dir}/fft_sse41.cpp PROPERTIES COMPILE_OPTIONS "-msse4.1")
set_source_files_properties(${_fft_dir}/fft_avx.cpp PROPERTIES COMPILE_OPTIONS "-mavx")
# The compiler's straight-line vectoriser slows the table-driven AVX2 routines (scalar edges
# turned into lane shuffles) but speeds up the unrolled N <= 16 ones: two builds of the same code.
set_source_files_properties(${_fft_dir}/fft_avx2.cpp PROPERTIES COMPILE_OPTIONS "-mavx2;-mfma;-fno-tree-slp-vectorize")
set_source_files_properties(${_fft_dir}/fft_avx2_small.cpp PROPERTIES COMPILE_OPTIONS "-mavx2;-mfma")
# The 16-lane routines. On Windows the stack is 16-byte aligned and the compiler may spill
# 64-byte vectors with aligned moves: the assembler turns those into unaligned ones.
set(_fft_wide_options "-mavx512f;-mavx2;-mfma")
if(SONVEX_WINDOWS)
  list(APPEND _fft_wide_options "-Wa,-muse-unaligned-vector-move")
endif()
set_source_files_properties(${_fft_dir}/fft_avx512.cpp PROPERTIES COMPILE_OPTIONS "${_fft_wide_options}")
