# Runtime services and the tool frame.
if(NOT TARGET frame)
  return()
endif()

unit_test(osa_test SOURCES unit/osa_test.cpp LIBS osa)
unit_test(osa_thread_test SOURCES unit/osa_thread_test.cpp LIBS osa LABELS tsan)
# The time of day leaps at every reading in this binary (gettimeofday wrapped).
unit_test(osa_lock_clock_test SOURCES unit/osa_lock_clock_test.cpp LIBS osa)
target_link_options(osa_lock_clock_test PRIVATE -Wl,--wrap=gettimeofday)
unit_test(frame_registry_test SOURCES unit/frame_registry_test.cpp LIBS frame)
unit_test(frame_dispatch_test SOURCES unit/frame_dispatch_test.cpp LIBS frame)
unit_test(frame_signal_test SOURCES unit/frame_signal_test.cpp LIBS frame LABELS tsan)
# The helpers every module shares: option numbers, error reports, shell commands.
unit_test(module_util_test SOURCES unit/module_util_test.cpp
          ${PROJECT_SOURCE_DIR}/debug/modules/module_util.cpp LIBS frame)
target_include_directories(module_util_test PRIVATE ${PROJECT_SOURCE_DIR}/debug/modules)

# The tool's entry point over test modules of our own, for the end-to-end cases.
add_executable(debug-testmods ${PROJECT_SOURCE_DIR}/debug/frame/test.cpp
                              support/frame_testmods.cpp)
target_link_libraries(debug-testmods PRIVATE frame)
set_target_properties(debug-testmods PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

e2e_cases(frame)
