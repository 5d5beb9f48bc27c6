# The engine's tests bound memory through the allocation meter.
if(TARGET engine_tests)
  target_sources(engine_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/allocation_meter.cpp)
endif()
