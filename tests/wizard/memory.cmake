# The wizard's byte-level tests bound memory through the allocation meter.
if(TARGET wizard_tests)
  target_sources(wizard_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/allocation_meter.cpp)
endif()
