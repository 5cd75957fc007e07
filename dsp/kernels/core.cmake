target_sources(sonvex_kernels PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/aligned_alloc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dispatch_state.cpp)
