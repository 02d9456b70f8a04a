# Results of the parking arithmetic, bit for bit, on every target (run natively and,
# cross-built, under qemu-arm).
if(TARGET parking_core)
  unit_test(parking_bitexact_test SOURCES unit/parking_bitexact_test.cpp LIBS parking_core)
endif()
