# The video platform, the detector and the scene generator of the simulated board,
# and the parking service end to end.
unit_test(test_hdal_sim SOURCES unit/test_hdal_sim.cpp LIBS hdal)
unit_test(test_qztraffic_sim SOURCES unit/test_qztraffic_sim.cpp LIBS qztraffic scene_file)
target_include_directories(test_qztraffic_sim PRIVATE ${PROJECT_SOURCE_DIR}/platform/sim/qztraffic)

fuzz_target(fuzz_traffic_replay SOURCES fuzz/fuzz_traffic_replay.cpp LIBS qztraffic
            CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/traffic_replay)
if(TARGET fuzz_traffic_replay)
  target_include_directories(fuzz_traffic_replay PRIVATE ${PROJECT_SOURCE_DIR}/platform/sim/qztraffic)
endif()
unit_test(test_scene SOURCES unit/test_scene.cpp LIBS scene_file)

# The service end to end with control-sim in the board sandbox. The service is
# threaded, so the ThreadSanitizer stage runs these too.
if(TARGET parking)
  foreach(case lifecycle park40-replay park40-pixels suspend wrong-size instance-wait
          instance-sigint verbose-toggle reconnect detector-bad hdal-fail sigterm
          detector-fail stop-signals pid-symlink)
    e2e_test(parking.${case} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/parking/${case} LABELS tsan)
  endforeach()
endif()

# PKLot labels as parking rows (a python3 tool).
add_test(NAME tools.pklot COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/unit/test_pklot.py)
set_tests_properties(tools.pklot PROPERTIES LABELS tools)

# Real footage: the network detector and the still-frame source exist only where
# OpenCV was found (host builds).
if(TARGET parking AND opencv_found)
  e2e_test(parking.real-footage ${CMAKE_CURRENT_SOURCE_DIR}/e2e/parking/real-footage)
  unit_test(test_real_footage SOURCES unit/test_real_footage.cpp LIBS hdal qztraffic)
  target_include_directories(test_real_footage PRIVATE ${PROJECT_SOURCE_DIR}/platform/sim/hdal
                             ${PROJECT_SOURCE_DIR}/platform/sim/qztraffic)
  target_compile_definitions(test_real_footage PRIVATE SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  use_opencv(test_real_footage)
  if(BUILD_BENCHMARKS)
    add_executable(detector_bench bench/real-footage/detector_bench.cpp)
    target_include_directories(detector_bench PRIVATE ${PROJECT_SOURCE_DIR}/platform/sim/hdal
                               ${PROJECT_SOURCE_DIR}/platform/sim/qztraffic)
    target_compile_definitions(detector_bench PRIVATE SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    target_link_libraries(detector_bench PRIVATE hdal qztraffic)
    set_target_properties(detector_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  endif()
endif()
