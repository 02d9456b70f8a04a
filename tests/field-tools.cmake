# Field tools: discover's output forms, the Wireshark dissector, the manual pages and
# the installed tree.
if(TARGET discover_output)
  unit_test(discover_output_test SOURCES unit/discover_output_test.cpp
            LIBS discover_output Threads::Threads)
  unit_test(discover_apply_test SOURCES unit/discover_apply_test.cpp LIBS discover_output)
  fuzz_target(discover_reply_fuzz LIBS discover_output)
  fuzz_target(discover_plan_fuzz LIBS discover_output)
endif()

# End-to-end: discover against debug -M search in a sandbox.
e2e_cases(discover)

# The Wireshark dissector under tshark: golden decodes of every message kind and a run
# over cut and mutated captures that must raise no Lua error.
add_test(NAME wireshark.dissector COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wireshark/run-test)
set_tests_properties(wireshark.dissector PROPERTIES LABELS "wireshark" TIMEOUT 300)

# Manual pages: lint clean, every tool option documented, debug(8) generated from the
# module tables and current.
add_test(NAME man.pages COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/man/check-pages ${CMAKE_BINARY_DIR}/bin)
set_tests_properties(man.pages PROPERTIES LABELS "man")
e2e_cases(man)

# The installed tree and the host-tools package (host builds: the package is theirs).
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME install.tree-and-package
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install/check-install ${CMAKE_BINARY_DIR})
  set_tests_properties(install.tree-and-package PROPERTIES LABELS "install" TIMEOUT 300)
endif()
