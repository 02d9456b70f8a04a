# Hardening of every program and library built here, host and board alike: a stack
# protector, checked string and memory calls, a position-independent program (so
# address randomisation moves its code too), and relocations resolved at start-up
# and then made read-only.
#
# A fully static link cannot be position independent (no -pie) but keeps the rest.
# _FORTIFY_SOURCE needs optimisation, and under the sanitizers (and the fuzzers,
# which use them) it only hides faults from their own checks: left out there.
add_compile_options(-fstack-protector-strong)
if(NOT SANITIZE AND NOT BUILD_FUZZERS)
  add_compile_options(
    "$<$<AND:$<COMPILE_LANGUAGE:C,CXX>,$<CONFIG:Release,RelWithDebInfo,MinSizeRel>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
add_link_options(LINKER:-z,relro,-z,now)

include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)
if(STATIC_LINK)
  set(CMAKE_POSITION_INDEPENDENT_CODE OFF)
else()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()
