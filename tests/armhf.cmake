# Results of the parking arithmetic, bit for bit, on every target (run natively and,
# cross-built, under qemu-arm).
if(TARGET parking_core)
  unit_test(parking_bitexact_test SOURCES unit/parking_bitexact_test.cpp LIBS parking_core)
endif()

# End-to-end cases of a cross build run the board's programs as ARM code under qemu-arm
# and the other side's tools from the host build. tests/e2e/run-case gives the cases
# this folder as their build folder: arm-e2e/bin and arm-e2e/tests hold, under the
# names the cases use, a qemu-exec stand-in for each ARM program below and a link to
# the host build's program for each tool.
if(CMAKE_CROSSCOMPILING AND BUILD_TESTS)
  set(HOST_BUILD_DIR ${PROJECT_SOURCE_DIR}/build CACHE PATH
      "Host build whose tools the cross build's end-to-end cases use")
  find_program(HOST_CC NAMES cc gcc REQUIRED)
  find_program(QEMU_ARM qemu-arm REQUIRED)
  set(arm_view ${CMAKE_BINARY_DIR}/arm-e2e)
  set(arm_programs bin/debug bin/parking bin/pt-shm-read tests/debug-testmods)
  set(host_tools bin/control-sim bin/discover bin/scene bin/frame-annotate
                 bin/libfast_sleep.so tests/qzsock-client tests/qzdb-dump tests/shmtool
                 tests/devemu)
  set(stand_ins)
  foreach(program ${arm_programs})
    add_custom_command(OUTPUT ${arm_view}/${program}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${arm_view}/bin ${arm_view}/tests
      COMMAND ${HOST_CC} -O2 -o ${arm_view}/${program}
              "-DARM_PROGRAM=\"${CMAKE_BINARY_DIR}/${program}\"" "-DQEMU_ARM=\"${QEMU_ARM}\""
              ${CMAKE_CURRENT_LIST_DIR}/support/qemu_exec.c
      DEPENDS ${CMAKE_CURRENT_LIST_DIR}/support/qemu_exec.c
      VERBATIM)
    list(APPEND stand_ins ${arm_view}/${program})
  endforeach()
  file(MAKE_DIRECTORY ${arm_view}/bin ${arm_view}/tests)
  foreach(tool ${host_tools})
    file(CREATE_LINK ${HOST_BUILD_DIR}/${tool} ${arm_view}/${tool} SYMBOLIC)
  endforeach()
  add_custom_target(arm_e2e_view ALL DEPENDS ${stand_ins})
endif()

# The parking logic's peak heap on a full lot (scripts/size-report prints it). Only a
# fully static link sends the C library's own allocations through the counter.
if(STATIC_LINK AND TARGET parking_core)
  add_executable(parking-heap support/parking_heap.cpp unit/parking_test_util.cpp)
  target_include_directories(parking-heap PRIVATE ${CMAKE_CURRENT_LIST_DIR}/unit)
  target_link_libraries(parking-heap PRIVATE parking_core)
  target_link_options(parking-heap PRIVATE
    -Wl,--wrap=malloc,--wrap=calloc,--wrap=realloc,--wrap=free)
  set_target_properties(parking-heap PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME parking_heap_budget COMMAND parking-heap --max-bytes 65536)
  set_tests_properties(parking_heap_budget PROPERTIES LABELS unit)
endif()
