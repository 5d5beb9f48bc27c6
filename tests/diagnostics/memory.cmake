# The diagnostics' tests bound the memory of their readers through the allocation meter.
if(TARGET diagnostics_tests)
  target_sources(diagnostics_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/allocation_meter.cpp)
endif()
