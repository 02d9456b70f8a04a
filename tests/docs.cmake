# The maps of the repository: every path and test that README.md and
# docs/architecture.md name exists (tests/docs/check-map).
add_test(NAME docs.map COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/docs/check-map ${PROJECT_SOURCE_DIR})
set_tests_properties(docs.map PROPERTIES LABELS docs)
