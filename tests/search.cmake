# Discovery responder: frames and datagrams, network helpers, the responder on the
# simulated board, and fuzz targets over everything it parses.
set(search_dir ${PROJECT_SOURCE_DIR}/debug/search)

unit_test(search_proto_test SOURCES unit/search_proto_test.cpp LIBS search_proto)

unit_test(search_guard_test
  SOURCES unit/search_guard_test.cpp ${search_dir}/search_guard.cpp
  LIBS Threads::Threads)
target_include_directories(search_guard_test PRIVATE ${search_dir})

if(TARGET osa)
  unit_test(osa_net_test SOURCES unit/osa_net_test.cpp LIBS osa)
endif()

# End-to-end: debug -M search on eth0, discover on tool0, one sandbox each. The threaded
# responder runs in every case, so the ThreadSanitizer stage runs them too.
file(GLOB search_cases LIST_DIRECTORIES true CONFIGURE_DEPENDS
     ${CMAKE_CURRENT_SOURCE_DIR}/e2e/search/*)
foreach(case_dir ${search_cases})
  if(NOT EXISTS ${case_dir}/cmd)
    continue()
  endif()
  get_filename_component(case_name ${case_dir} NAME)
  if(case_name STREQUAL "announce")
    # About a minute: two announcements 30 seconds apart.
    e2e_test(search.${case_name} ${case_dir} LABELS slow)
  elseif(case_name STREQUAL "scale16")
    # Sixteen sandboxes on one bridge (about 10 s); bounded by the case's own retries.
    e2e_test(search.${case_name} ${case_dir} LABELS scale)
  else()
    e2e_test(search.${case_name} ${case_dir} LABELS tsan)
  endif()
endforeach()

# Fuzz targets, seeded with frames captured from the end-to-end cases.
set(search_corpus ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/search)
fuzz_target(fuzz_search_frame SOURCES fuzz/search_frame_fuzz.cpp LIBS search_proto
            CORPUS ${search_corpus}/frame)
fuzz_target(fuzz_search_modify_text SOURCES fuzz/search_modify_text_fuzz.cpp LIBS search_proto
            CORPUS ${search_corpus}/modify_text)
fuzz_target(fuzz_tovrin_datagram SOURCES fuzz/tovrin_datagram_fuzz.cpp LIBS search_proto
            CORPUS ${search_corpus}/tovrin)

if(BUILD_BENCHMARKS)
  add_subdirectory(${CMAKE_CURRENT_SOURCE_DIR}/bench/search ${CMAKE_CURRENT_BINARY_DIR}/bench/search)
endif()
