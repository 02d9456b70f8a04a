e2e_test(sandbox.layout ${CMAKE_CURRENT_SOURCE_DIR}/e2e/sandbox/layout)
e2e_test(sandbox.isolation ${CMAKE_CURRENT_SOURCE_DIR}/e2e/sandbox/isolation)
