# Parking core: unit tests, the allocation test and the benchmarks.
if(NOT TARGET parking_core)
  return()
endif()

set(parking_test_libs parking_core)

unit_test(parking_unit
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/unit/parking_overlap_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/unit/parking_km_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/unit/parking_config_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/unit/parking_judge_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/unit/parking_report_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/unit/parking_test_util.cpp
  LIBS ${parking_test_libs}
  LABELS tsan)

# Counts every allocation of the process across many frames; its own program so that
# the counting operator new and malloc replace the standard ones only there. (A fully
# static link cannot replace malloc next to the C library's archive.)
if(NOT STATIC_LINK)
  unit_test(parking_alloc
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/unit/parking_alloc_test.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/unit/parking_test_util.cpp
    LIBS ${parking_test_libs})
endif()

if(benchmark_FOUND)
  add_subdirectory(${CMAKE_CURRENT_SOURCE_DIR}/bench/parking ${CMAKE_CURRENT_BINARY_DIR}/bench/parking)
endif()
