# Shared CMake helpers.

# board_library(NAME [LIBS ...]): a host library of the simulated board built from
# every source under platform/sim/NAME.
function(board_library name)
  cmake_parse_arguments(BL "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/platform/sim/${name}/*.cpp
       ${PROJECT_SOURCE_DIR}/platform/sim/${name}/*.c)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/platform/include
                             PRIVATE ${PROJECT_SOURCE_DIR}/platform/sim/${name})
  target_link_libraries(${name} PUBLIC boardsim ${BL_LIBS})
endfunction()

# unit_test(NAME SOURCES ... LIBS ... [LABELS ...]): a GoogleTest executable whose
# cases are registered with CTest under the label `unit` (plus LABELS; `tsan` marks
# tests that the ThreadSanitizer stage runs).
function(unit_test name)
  cmake_parse_arguments(UT "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${UT_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main ${UT_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/unit)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 DISCOVERY_MODE PRE_TEST
                       TEST_LIST ${name}_TESTS)
  # gtest_discover_tests would split a list of labels into separate property
  # arguments (and drop all but the first), so the labels are set by a script that
  # CTest runs once the discovered tests are known.
  set(labels_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(WRITE ${labels_file}
       "if(${name}_TESTS)\n"
       "  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"unit;${UT_LABELS}\")\n"
       "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_file})
endfunction()

# e2e_test(NAME DIR [LABELS ...]): an end-to-end case run by tests/e2e/run-case in a
# fresh board sandbox. DIR holds `cmd` (a shell script run inside the sandbox) and
# the expected `stdout`, `stderr` and `status` files; a missing file skips that
# comparison.
function(e2e_test name dir)
  cmake_parse_arguments(ET "" "" "LABELS" ${ARGN})
  add_test(NAME e2e.${name}
           COMMAND ${PROJECT_SOURCE_DIR}/tests/e2e/run-case ${dir}
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e.${name} PROPERTIES LABELS "e2e;${ET_LABELS}" TIMEOUT 300
    ENVIRONMENT "BUILD_DIR=${CMAKE_BINARY_DIR};SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# e2e_cases(AREA [LABELS ...]): every folder under tests/e2e/AREA that holds a `cmd`,
# at any depth, is one case named AREA.<its path with '.' for '/'>, labelled LABELS
# unless the folder has a `labels` file, whose lines replace them. A case whose
# `requires` file names a variable that is false here (UMOCKDEV_FOUND, opencv_found)
# is left out, and so is a case with an `arm-skip` file in a cross build.
function(e2e_cases area)
  cmake_parse_arguments(EC "" "" "LABELS" ${ARGN})
  set(root ${PROJECT_SOURCE_DIR}/tests/e2e/${area})
  file(GLOB_RECURSE commands CONFIGURE_DEPENDS RELATIVE ${root} ${root}/*/cmd)
  foreach(command ${commands})
    get_filename_component(case ${command} DIRECTORY)
    set(dir ${root}/${case})
    if(EXISTS ${dir}/requires)
      file(STRINGS ${dir}/requires needed)
      if(NOT ${needed})
        continue()
      endif()
    endif()
    # A cross build runs the case's programs under qemu-user; a case that cannot run
    # there names why in its `arm-skip` file and is left out.
    if(CMAKE_CROSSCOMPILING AND EXISTS ${dir}/arm-skip)
      continue()
    endif()
    set(labels ${EC_LABELS})
    if(EXISTS ${dir}/labels)
      file(STRINGS ${dir}/labels labels)
    endif()
    string(REPLACE "/" "." name ${case})
    e2e_test(${area}.${name} ${dir} LABELS ${labels})
  endforeach()
endfunction()

# fuzz_target(NAME LIBS ... [INCLUDES ...]): the libFuzzer program tests/fuzz/NAME.cpp
# (NAME is <target>_fuzz), built only with -DBUILD_FUZZERS=ON (clang). CTest runs it
# under the label `fuzz` for a bounded time over its seed corpus,
# tests/fuzz/corpus/<target>/.
function(fuzz_target name)
  cmake_parse_arguments(FT "" "" "LIBS;INCLUDES" ${ARGN})
  if(NOT BUILD_FUZZERS)
    return()
  endif()
  string(REGEX REPLACE "_fuzz$" "" corpus_name ${name})
  set(FT_CORPUS ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${corpus_name})
  add_executable(${name} ${PROJECT_SOURCE_DIR}/tests/fuzz/${name}.cpp)
  target_include_directories(${name} PRIVATE ${FT_INCLUDES})
  # `fuzzers` builds every fuzz target and nothing else (the fuzz stage of scripts/test).
  if(NOT TARGET fuzzers)
    add_custom_target(fuzzers)
  endif()
  add_dependencies(fuzzers ${name})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${FT_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set(work ${CMAKE_BINARY_DIR}/fuzz/${name}.corpus)
  add_test(NAME fuzz.${name}
           COMMAND sh -c "mkdir -p '${work}' && exec '$<TARGET_FILE:${name}>' -max_total_time=${FUZZ_SECONDS} -timeout=10 '${work}' '${FT_CORPUS}'")
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 600)
endfunction()
