# Motion and optics modules: motor, af, pt, ptz.

# Reads the pan-tilt controller's shared memory segment back, word by word.
add_executable(pt-shm-read ${CMAKE_CURRENT_LIST_DIR}/support/pt_shm_read.cpp)
target_include_directories(pt-shm-read PRIVATE ${PROJECT_SOURCE_DIR}/platform/include)

# Shortens the PTZ module's sleeps; preloaded, so it carries no sanitizer runtime.
add_library(fast_sleep SHARED ${CMAKE_CURRENT_LIST_DIR}/support/fast_sleep.c)
target_compile_options(fast_sleep PRIVATE -fno-sanitize=all)
target_link_options(fast_sleep PRIVATE -fno-sanitize=all)
target_link_libraries(fast_sleep PRIVATE ${CMAKE_DL_LIBS})
# The cases find it next to the programs.
set_target_properties(fast_sleep PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

e2e_cases(motion LABELS motion)
