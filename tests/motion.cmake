# Motion and optics modules: motor, af, pt, ptz.

# Reads the pan-tilt controller's shared memory segment back, word by word.
add_executable(pt-shm-read ${CMAKE_CURRENT_LIST_DIR}/motion/pt_shm_read.cpp)
target_include_directories(pt-shm-read PRIVATE ${PROJECT_SOURCE_DIR}/platform/include)

# Shortens the PTZ module's sleeps; preloaded, so it carries no sanitizer runtime.
add_library(fast_sleep SHARED ${CMAKE_CURRENT_LIST_DIR}/motion/fast_sleep.c)
target_compile_options(fast_sleep PRIVATE -fno-sanitize=all)
target_link_options(fast_sleep PRIVATE -fno-sanitize=all)
target_link_libraries(fast_sleep PRIVATE ${CMAKE_DL_LIBS})
# The cases find it next to the programs.
set_target_properties(fast_sleep PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

unit_test(module_util_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/module_util_test.cpp
          ${PROJECT_SOURCE_DIR}/debug/modules/module_util.cpp
          LIBS frame)
target_include_directories(module_util_test PRIVATE ${PROJECT_SOURCE_DIR}/debug/modules)

file(GLOB motion_cases LIST_DIRECTORIES true ${CMAKE_CURRENT_LIST_DIR}/e2e/motion/*)
foreach(case_dir ${motion_cases})
  if(IS_DIRECTORY ${case_dir})
    get_filename_component(case ${case_dir} NAME)
    e2e_test(motion.${case} ${case_dir} LABELS motion)
  endif()
endforeach()
