# Hardening of what ships and installs: each program is checked for RELRO, BIND_NOW,
# PIE and the stack protector from its ELF headers. A fully static link cannot be
# position independent and has no dynamic section to check.
if(NOT STATIC_LINK)
  set(hardened_programs)
  foreach(program debug parking discover control-sim scene)
    if(TARGET ${program})
      list(APPEND hardened_programs $<TARGET_FILE:${program}>)
    endif()
  endforeach()
  add_test(NAME hardening.programs
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/hardening/check-programs ${hardened_programs})
  set_tests_properties(hardening.programs PROPERTIES LABELS hardening)
endif()
