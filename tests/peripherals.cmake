# Peripheral modules: device emulation (umockdev) and end-to-end cases.
pkg_check_modules(UMOCKDEV IMPORTED_TARGET umockdev-1.0 glib-2.0)

# Test-side helpers; built without sanitizers, they only play the other side.
function(peripheral_tool name)
  add_executable(${name} ${ARGN})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_options(${name} PRIVATE -fno-sanitize=all)
  target_link_options(${name} PRIVATE -fno-sanitize=all)
endfunction()

peripheral_tool(shmtool ${CMAKE_CURRENT_SOURCE_DIR}/peripherals/shmtool.c)

if(UMOCKDEV_FOUND)
  peripheral_tool(devemu ${CMAKE_CURRENT_SOURCE_DIR}/peripherals/devemu.c)
  target_link_libraries(devemu PRIVATE PkgConfig::UMOCKDEV)
endif()

# Every case folder under e2e/peripherals/<module>/<case> is one test.
file(GLOB peripheral_cases RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/e2e/peripherals
     CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/peripherals/*/*/cmd)
foreach(case_cmd ${peripheral_cases})
  get_filename_component(case_dir ${case_cmd} DIRECTORY)
  string(REPLACE "/" "." case_name ${case_dir})
  set(labels peripherals)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/peripherals/${case_dir}/needs-umockdev)
    if(NOT UMOCKDEV_FOUND)
      continue()
    endif()
  endif()
  e2e_test(peripherals.${case_name} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/peripherals/${case_dir}
           LABELS ${labels})
endforeach()

unit_test(peripheral_libs_test
          SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/unit/peripheral_libs_test.cpp
                  ${PROJECT_SOURCE_DIR}/debug/modules/module_util.cpp
          LIBS frame gpio pwm qzwifi)
target_include_directories(peripheral_libs_test PRIVATE ${PROJECT_SOURCE_DIR}/debug/modules)
