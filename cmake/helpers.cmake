# Shared CMake helpers.

# board_library(NAME [LIBS ...]): a host library of the simulated board built from
# every source under platform/sim/NAME. A folder with no sources yet gives an
# interface library so that programs can already name it when linking.
function(board_library name)
  cmake_parse_arguments(BL "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/platform/sim/${name}/*.cpp
       ${PROJECT_SOURCE_DIR}/platform/sim/${name}/*.c)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/platform/include
                               PRIVATE ${PROJECT_SOURCE_DIR}/platform/sim/${name})
    target_link_libraries(${name} PUBLIC boardsim ${BL_LIBS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/platform/include)
  endif()
endfunction()

# unit_test(NAME SOURCES ... LIBS ...): a GoogleTest executable registered with CTest.
function(unit_test name)
  cmake_parse_arguments(UT "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${UT_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main ${UT_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/unit)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)
endfunction()

# e2e_test(NAME DIR): an end-to-end case run by tests/e2e/run-case in a fresh board
# sandbox. DIR holds `cmd` (a shell script run inside the sandbox) and the expected
# `stdout`, `stderr` and `status` files; any of the three may be left out to skip
# that comparison.
function(e2e_test name dir)
  add_test(NAME e2e.${name}
           COMMAND ${PROJECT_SOURCE_DIR}/tests/e2e/run-case ${dir}
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e.${name} PROPERTIES LABELS e2e TIMEOUT 300
    ENVIRONMENT "BUILD_DIR=${CMAKE_BINARY_DIR};SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
