# Settings store and message socket: unit tests, the end-to-end cases with
# control-sim, and the frame decoder's fuzz target.

# Client used by the end-to-end cases: $BUILD_DIR/tests/qzsock-client.
add_executable(qzsock-client ${CMAKE_CURRENT_SOURCE_DIR}/support/qzsock_client.cpp)
target_link_libraries(qzsock-client PRIVATE qzsocket)
set_target_properties(qzsock-client PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

# Prints the store's records: $BUILD_DIR/tests/qzdb-dump.
add_executable(qzdb-dump ${CMAKE_CURRENT_SOURCE_DIR}/support/qzdb_dump.cpp)
target_link_libraries(qzdb-dump PRIVATE qzdb)
set_target_properties(qzdb-dump PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

e2e_cases(store)

unit_test(store_qzdb_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/unit/store_qzdb_test.cpp
          LIBS qzdb PkgConfig::SQLITE3)
target_compile_definitions(store_qzdb_test PRIVATE SEED_DIR="${PROJECT_SOURCE_DIR}/platform/sim/qzdb/seed")

unit_test(store_qzsocket_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/unit/store_qzsocket_test.cpp
          LIBS qzsocket LABELS tsan)

unit_test(store_qzstd_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/unit/store_qzstd_test.cpp
          LIBS qzstd qzcommon LABELS tsan)

fuzz_target(qzsocket_frame_fuzz LIBS qzsocket_frame)
