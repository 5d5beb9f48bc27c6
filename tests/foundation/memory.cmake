# The foundation's tests bound memory through the allocation meter.
if(TARGET foundation_tests)
  target_sources(foundation_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/allocation_meter.cpp)
endif()
