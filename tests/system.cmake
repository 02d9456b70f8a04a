# System test modules (sdmmc, cpu, db, media) and the store's SQL console calls.
e2e_cases(system LABELS system)

unit_test(system_sql_console_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/system_sql_console_test.cpp
          LIBS qzdb)

