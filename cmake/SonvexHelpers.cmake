# Shared helpers of every tree.

# Tests of the win64 tree run under 64-bit Wine in a prefix of the build tree; the win32 tree
# cannot run here (no 32-bit loader), so its executables are built and checked statically only.
set(SONVEX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
if(SONVEX_TREE STREQUAL "win64")
  find_program(SONVEX_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  if(NOT SONVEX_WINE64)
    find_program(SONVEX_WINE64 NAMES wine64 REQUIRED)
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
  set(SONVEX_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
endif()
set(SONVEX_RUNS_TESTS ON)
if(SONVEX_TREE STREQUAL "win32")
  set(SONVEX_RUNS_TESTS OFF)
endif()

# sonvex_add_test(NAME SOURCES src... [LIBS lib...] [LABELS l...] [GMOCK])
# A GoogleTest executable; registered with CTest where the tree can run it (native, win64).
function(sonvex_add_test name)
  cmake_parse_arguments(T "GMOCK" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_GMOCK)
    target_link_libraries(${name} PRIVATE gmock_main ${T_LIBS})
  else()
    target_link_libraries(${name} PRIVATE gtest_main ${T_LIBS})
  endif()
  if(SONVEX_RUNS_TESTS)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES LABELS "${SONVEX_TREE};${T_LABELS}" TIMEOUT 600)
  endif()
endfunction()

# sonvex_install(target...): DLLs and executables go to out/<tree>/.
function(sonvex_install)
  install(TARGETS ${ARGN} RUNTIME DESTINATION . LIBRARY DESTINATION . ARCHIVE DESTINATION lib)
endfunction()

# sonvex_check_pe(NAME FILE <path or $<TARGET_FILE:..>> MACHINE i386|x86-64 [EXPORTS name...])
# Static check of a Windows module: machine type, undecorated exports, system imports only.
function(sonvex_check_pe name)
  cmake_parse_arguments(P "" "FILE;MACHINE" "EXPORTS" ${ARGN})
  if(SONVEX_WINDOWS)
    add_test(NAME ${name}
             COMMAND bash ${CMAKE_SOURCE_DIR}/tests/static/check_pe.sh ${SONVEX_OBJDUMP} ${P_FILE} ${P_MACHINE} ${P_EXPORTS})
    set_tests_properties(${name} PROPERTIES LABELS "${SONVEX_TREE};static")
  endif()
endfunction()
