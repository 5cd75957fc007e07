# Shared helpers of every tree.

# The Windows trees run their tests under Wine, each in a prefix of its own build tree: win64
# with the 64-bit loader, win32 (the product) with Debian's 32-bit loader, an i386 program that
# the kernel runs natively where it can and qemu-i386 runs otherwise (./run decides).
# wine-run starts one program; wine-session brings a prefix's session up before a run. Both
# take another prefix from SONVEX_WINE_PREFIX (the emulated processor-model runs use one).
set(SONVEX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
if(SONVEX_WINDOWS)
  if(SONVEX_TREE STREQUAL "win64")
    find_program(SONVEX_WINE_LOADER NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
    if(NOT SONVEX_WINE_LOADER)
      find_program(SONVEX_WINE_LOADER NAMES wine64 REQUIRED)
    endif()
  else()
    find_program(SONVEX_WINE_LOADER NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
    if(NOT SONVEX_WINE_LOADER)
      message(FATAL_ERROR "The 32-bit Wine loader /usr/lib/wine/wine is missing (package wine32:i386); "
                          "./run build sets up 32-bit execution.")
    endif()
  endif()
  foreach(script wine-run wine-session)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/${script}.in ${CMAKE_BINARY_DIR}/${script} @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
  set(SONVEX_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
endif()
set(SONVEX_RUNS_TESTS ON)

# The processor models qemu-i386 runs the win32 tree's kernel suites on, each with the row its
# features must select and that row's version, as dsp/kernels/kernel_rows.def declares them:
# model:row:version index.
set(_kernel_rows ${CMAKE_SOURCE_DIR}/dsp/kernels/kernel_rows.def)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_kernel_rows})
file(STRINGS ${_kernel_rows} _kernel_row_lines REGEX "^SONVEX_KERNEL_(VERSION|ROW)\\(")
set(SONVEX_EMULATED_CPUS)
foreach(line ${_kernel_row_lines})
  if(line MATCHES "^SONVEX_KERNEL_VERSION\\( *([0-9]+), *([A-Za-z0-9_]+), *([a-z0-9_]+),")
    set(_row ${CMAKE_MATCH_3})
    set(_kernel_version_${CMAKE_MATCH_2} ${CMAKE_MATCH_1})
    set(_version ${CMAKE_MATCH_1})
  elseif(line MATCHES "^SONVEX_KERNEL_ROW\\( *([a-z0-9_]+), *([A-Za-z0-9_]+),")
    set(_row ${CMAKE_MATCH_1})
    if(NOT DEFINED _kernel_version_${CMAKE_MATCH_2})
      message(FATAL_ERROR "kernel_rows.def: row ${_row} of version ${CMAKE_MATCH_2}, which no line above opens")
    endif()
    set(_version ${_kernel_version_${CMAKE_MATCH_2}})
  else()
    message(FATAL_ERROR "kernel_rows.def: cannot read the line: ${line}")
  endif()
  if(NOT line MATCHES "models\\(([^)]*)\\)")
    message(FATAL_ERROR "kernel_rows.def: row ${_row} names no models(...)")
  endif()
  string(REGEX REPLACE "[ \t]+" ";" _models "${CMAKE_MATCH_1}")
  foreach(model ${_models})
    if(model)
      list(APPEND SONVEX_EMULATED_CPUS ${model}:${_row}:${_version})
    endif()
  endforeach()
endforeach()

# sonvex_add_test(NAME SOURCES src... [LIBS lib...] [LABELS l...] [GMOCK])
# A GoogleTest executable, registered with CTest.
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

# sonvex_add_kernel_test(NAME SOURCES src... [LIBS lib...] [LABELS l...])
# A suite of the dispatched kernels. Every tree runs it on its own processor, forcing every
# row that processor can execute in turn (label real-processor in the win32 tree). The win32
# tree also runs it once per processor model of SONVEX_EMULATED_CPUS under qemu-i386 (label
# cpu-model), each time on the row that model's features select by themselves, and the suite
# checks that the expected row and version were picked. Emulated, the FFT suite takes minutes
# (several for the AVX models on a quiet machine, many more on a busy one).
function(sonvex_add_kernel_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT SONVEX_TREE STREQUAL "win32")
    sonvex_add_test(${name} SOURCES ${T_SOURCES} LIBS ${T_LIBS} LABELS kernels ${T_LABELS})
    return()
  endif()
  sonvex_add_test(${name} SOURCES ${T_SOURCES} LIBS ${T_LIBS} LABELS kernels real-processor ${T_LABELS})
  foreach(entry ${SONVEX_EMULATED_CPUS})
    string(REPLACE ":" ";" fields ${entry})
    list(GET fields 0 model)
    list(GET fields 1 row)
    list(GET fields 2 version)
    add_test(NAME ${name}@${model} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name}@${model} PROPERTIES
      LABELS "${SONVEX_TREE};kernels;cpu-model;${T_LABELS}" TIMEOUT 1800
      ENVIRONMENT "QEMU_CPU=${model};SONVEX_TEST_EXPECTED_ROW=${row};SONVEX_TEST_EXPECTED_VERSION=${version};SONVEX_TEST_ONLY_PICKED_VERSION=1")
  endforeach()
endfunction()

# sonvex_widl(TARGET name IDL file DIR dir [TYPELIB])
# widl makes <base>_h.h (the C/C++ header) and <base>_i.c (the identifiers' definitions), and
# with TYPELIB <base>.tlb, in dir; TARGET is the custom target that other targets wait for.
function(sonvex_widl)
  cmake_parse_arguments(W "TYPELIB" "TARGET;IDL;DIR" "" ${ARGN})
  get_filename_component(base ${W_IDL} NAME_WE)
  file(MAKE_DIRECTORY ${W_DIR})
  if(SONVEX_TREE STREQUAL "win32")
    set(widl_target --win32)
  else()
    set(widl_target --win64)
  endif()
  set(outputs ${W_DIR}/${base}_h.h ${W_DIR}/${base}_i.c)
  set(typelib_args)
  if(W_TYPELIB)
    list(APPEND outputs ${W_DIR}/${base}.tlb)
    set(typelib_args -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows -t -T ${W_DIR}/${base}.tlb)
  endif()
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${SONVEX_WIDL} ${widl_target} -I/usr/include/wine/wine/windows
            -h -H ${W_DIR}/${base}_h.h -u -U ${W_DIR}/${base}_i.c ${typelib_args} ${W_IDL}
    DEPENDS ${W_IDL}
    COMMENT "widl ${base}.idl (${SONVEX_TREE})"
    VERBATIM)
  add_custom_target(${W_TARGET} DEPENDS ${outputs})
endfunction()
