# Peripheral modules: device emulation (umockdev) and end-to-end cases.
pkg_check_modules(UMOCKDEV IMPORTED_TARGET umockdev-1.0 glib-2.0)

# Test-side helpers; built without sanitizers, they only play the other side.
function(peripheral_tool name)
  add_executable(${name} ${ARGN})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_options(${name} PRIVATE -fno-sanitize=all)
  target_link_options(${name} PRIVATE -fno-sanitize=all)
endfunction()

peripheral_tool(shmtool ${CMAKE_CURRENT_SOURCE_DIR}/support/shmtool.c)

if(UMOCKDEV_FOUND)
  peripheral_tool(devemu ${CMAKE_CURRENT_SOURCE_DIR}/support/devemu.c)
  target_link_libraries(devemu PRIVATE PkgConfig::UMOCKDEV)
endif()

# Cases are e2e/peripherals/<module>/<case>; those driving emulated devices require umockdev.
e2e_cases(peripherals LABELS peripherals)

unit_test(peripherals_board_libs_test
          SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/unit/peripherals_board_libs_test.cpp
          LIBS gpio pwm qzwifi)
