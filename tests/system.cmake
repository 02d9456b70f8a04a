# System test modules (sdmmc, cpu, db, media) and the store's SQL console calls.
file(GLOB system_cases CONFIGURE_DEPENDS LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/e2e/system/*)
foreach(case_dir ${system_cases})
  if(EXISTS ${case_dir}/cmd)
    get_filename_component(case_name ${case_dir} NAME)
    e2e_test(system.${case_name} ${case_dir} LABELS system)
  endif()
endforeach()

unit_test(system_sql_console_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/system_sql_console_test.cpp
          LIBS qzdb)
unit_test(system_module_command_test
          SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/system_module_command_test.cpp
                  ${PROJECT_SOURCE_DIR}/debug/modules/module_util.cpp
          LIBS frame)
target_include_directories(system_module_command_test PRIVATE ${PROJECT_SOURCE_DIR}/debug/modules)
