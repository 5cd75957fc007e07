target_sources(sonvex_kernels PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/aligned_alloc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dispatch_state.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dispatch_vector.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cpu_features.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cache_info.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vector_sse2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vector_ssse3.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vector_sse41.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vector_avx.cpp
  ${CMAKE_CURRENT_LIST_DIR}/block_avx.cpp)
# Each instruction-set version is compiled with its own target flags; the rest of the library
# stays at the tree's baseline (SSE2 on i686).
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/vector_ssse3.cpp PROPERTIES COMPILE_OPTIONS "-mssse3")
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/vector_sse41.cpp PROPERTIES COMPILE_OPTIONS "-msse4.1")
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/vector_avx.cpp
                            ${CMAKE_CURRENT_LIST_DIR}/block_avx.cpp PROPERTIES COMPILE_OPTIONS "-mavx")
