# Runtime services and the tool frame.
if(NOT TARGET frame)
  return()
endif()

unit_test(osa_test SOURCES unit/osa_test.cpp LIBS osa)
unit_test(osa_thread_test SOURCES unit/osa_thread_test.cpp LIBS osa LABELS tsan)
unit_test(frame_registry_test SOURCES unit/frame_registry_test.cpp LIBS frame)
unit_test(frame_dispatch_test SOURCES unit/frame_dispatch_test.cpp LIBS frame)
unit_test(frame_signal_test SOURCES unit/frame_signal_test.cpp LIBS frame LABELS tsan)

# The tool's entry point over test modules of our own, for the end-to-end cases.
add_executable(debug-testmods ${PROJECT_SOURCE_DIR}/debug/frame/test.cpp
                              support/frame_testmods.cpp)
target_link_libraries(debug-testmods PRIVATE frame)
set_target_properties(debug-testmods PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

set(frame_cases ${CMAKE_CURRENT_SOURCE_DIR}/e2e/frame)
e2e_test(frame.debug_command_line ${frame_cases}/debug-command-line)
e2e_test(frame.database_seeding ${frame_cases}/database-seeding)
e2e_test(frame.command_line ${frame_cases}/command-line)
e2e_test(frame.signal_burst ${frame_cases}/signal-burst LABELS tsan)
e2e_test(frame.startup_failure ${frame_cases}/startup-failure)
