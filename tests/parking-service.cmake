# The video platform, the detector and the scene generator of the simulated board,
# and the parking service end to end.
unit_test(parking_hdal_sim_test SOURCES unit/parking_hdal_sim_test.cpp LIBS hdal)
target_include_directories(parking_hdal_sim_test PRIVATE ${PROJECT_SOURCE_DIR}/platform/sim/hdal)
unit_test(parking_qztraffic_sim_test SOURCES unit/parking_qztraffic_sim_test.cpp LIBS qztraffic scene_file)
target_include_directories(parking_qztraffic_sim_test PRIVATE ${PROJECT_SOURCE_DIR}/platform/sim/qztraffic)

fuzz_target(traffic_replay_fuzz LIBS qztraffic
            INCLUDES ${PROJECT_SOURCE_DIR}/platform/sim/qztraffic)
fuzz_target(y4m_header_fuzz LIBS hdal INCLUDES ${PROJECT_SOURCE_DIR}/platform/sim/hdal)
unit_test(parking_scene_test SOURCES unit/parking_scene_test.cpp LIBS scene_file)

# The service end to end with control-sim in the board sandbox. The service is
# threaded, so the ThreadSanitizer stage runs these too.
if(TARGET parking)
  e2e_cases(parking LABELS tsan)
endif()

# PKLot labels as parking rows (a python3 tool).
add_test(NAME tools.pklot COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/unit/tools_pklot_test.py)
set_tests_properties(tools.pklot PROPERTIES LABELS tools)

# Real footage: the network detector and the still-frame source exist only where
# OpenCV was found (host builds).
if(TARGET parking AND opencv_found)
  unit_test(parking_real_footage_test SOURCES unit/parking_real_footage_test.cpp LIBS hdal qztraffic)
  target_include_directories(parking_real_footage_test PRIVATE ${PROJECT_SOURCE_DIR}/platform/sim/hdal
                             ${PROJECT_SOURCE_DIR}/platform/sim/qztraffic)
  target_compile_definitions(parking_real_footage_test PRIVATE SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  use_opencv(parking_real_footage_test)
  if(BUILD_BENCHMARKS)
    add_executable(detector_bench bench/real-footage/detector_bench.cpp)
    target_include_directories(detector_bench PRIVATE ${PROJECT_SOURCE_DIR}/platform/sim/hdal
                               ${PROJECT_SOURCE_DIR}/platform/sim/qztraffic)
    target_compile_definitions(detector_bench PRIVATE SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    target_link_libraries(detector_bench PRIVATE hdal qztraffic)
    set_target_properties(detector_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  endif()
endif()
