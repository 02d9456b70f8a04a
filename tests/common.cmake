# Code both programs share (common/).
unit_test(common_safe_open_test SOURCES unit/common_safe_open_test.cpp LIBS safe_open)
