# Real footage on the host: the still-frame source and the network detector of the
# simulated board, and the picture tool of parking-eval, decode images and run the
# model with OpenCV when the host has it. The board build never looks for it; there
# those modes report that they are missing. Debian's development packages ship no
# CMake or pkg-config files for these modules, so each is looked up by name.
# Sets opencv_found and opencv_libs.
set(opencv_found "")
set(opencv_libs "")
if(NOT CMAKE_CROSSCOMPILING)
  find_path(OPENCV_INCLUDE_DIR opencv2/dnn.hpp PATH_SUFFIXES opencv4)
  set(opencv_found ${OPENCV_INCLUDE_DIR})
  foreach(module core imgproc imgcodecs dnn)
    find_library(OPENCV_${module}_LIBRARY opencv_${module})
    if(NOT OPENCV_${module}_LIBRARY)
      set(opencv_found "")
    endif()
    list(APPEND opencv_libs ${OPENCV_${module}_LIBRARY})
  endforeach()
endif()
if(opencv_found)
  message(STATUS "OpenCV found: still-frame source, network detector and frame-annotate built")
else()
  set(opencv_libs "")
  message(STATUS "OpenCV not found: no still-frame source, network detector or frame-annotate")
endif()

# use_opencv(TARGET): compiles TARGET with HAVE_OPENCV and links it against OpenCV
# when the host has it.
function(use_opencv target)
  if(opencv_found)
    target_compile_definitions(${target} PRIVATE HAVE_OPENCV=1)
    target_include_directories(${target} SYSTEM PRIVATE ${OPENCV_INCLUDE_DIR})
    target_link_libraries(${target} PUBLIC ${opencv_libs})
  endif()
endfunction()
