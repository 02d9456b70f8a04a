# Discovery responder: frames and datagrams, network helpers, the responder on the
# simulated board, and fuzz targets over everything it parses.
set(search_dir ${PROJECT_SOURCE_DIR}/debug/search)

unit_test(search_proto_test SOURCES unit/search_proto_test.cpp LIBS search_proto PkgConfig::PCAP)

unit_test(search_guard_test
  SOURCES unit/search_guard_test.cpp ${search_dir}/search_guard.cpp
  LIBS Threads::Threads)
target_include_directories(search_guard_test PRIVATE ${search_dir})

if(TARGET osa)
  unit_test(osa_net_test SOURCES unit/osa_net_test.cpp LIBS osa)
endif()

# End-to-end: debug -M search on eth0, discover on tool0, one sandbox each. The threaded
# responder runs in every case, so the ThreadSanitizer stage runs them too; `announce`
# (about a minute: two announcements 30 s apart) is `slow` and `scale16` (sixteen
# sandboxes on one bridge) is `scale` instead.
e2e_cases(search LABELS tsan)

# Fuzz targets, seeded with frames captured from the end-to-end cases.
fuzz_target(search_frame_fuzz LIBS search_proto)
fuzz_target(search_modify_text_fuzz LIBS search_proto)
fuzz_target(tovrin_datagram_fuzz LIBS search_proto)
# The frame handler with the responder's own code and stand-ins for the store, eth0,
# the capture and the shared state (tests/fuzz/search_handler_fuzz.cpp).
fuzz_target(search_handler_fuzz LIBS search_proto frame
  INCLUDES ${search_dir} ${PROJECT_SOURCE_DIR}/debug/modules ${PROJECT_SOURCE_DIR}/platform/include)
if(TARGET search_handler_fuzz)
  target_sources(search_handler_fuzz PRIVATE ${search_dir}/search_raw.cpp
    ${search_dir}/search_store.cpp ${search_dir}/search_guard.cpp)
endif()

if(BUILD_BENCHMARKS)
  add_subdirectory(${CMAKE_CURRENT_SOURCE_DIR}/bench/search ${CMAKE_CURRENT_BINARY_DIR}/bench/search)
endif()
