# The destination chooser and the smart-marking dialog pick folders on the
# shell namespace the shell tests know exactly (scripts/shell_namespace_run.sh),
# so they are tested by a program of their own.
if(NOT KELVARIN_NATIVE)
  add_executable(move_to_tests ${PROJECT_SOURCE_DIR}/tests/wizard/move_to_win.cpp)
  kv_project_flags(move_to_tests)
  target_link_libraries(move_to_tests PRIVATE kv_wizard gtest)
  # No Z: in that prefix: screenshots go to its C:\kvshots (inside the build folder).
  target_compile_definitions(move_to_tests PRIVATE KV_TEST_BINARY_DIR="C:/kvshots")
  target_sources(move_to_tests PRIVATE $<TARGET_OBJECTS:kelvarin_res>)
  set_property(TARGET move_to_tests PROPERTY CROSSCOMPILING_EMULATOR
    "${PROJECT_SOURCE_DIR}/scripts/shell_namespace_run.sh;${PROJECT_BINARY_DIR}")
  add_test(NAME move_to_tests COMMAND move_to_tests --gtest_brief=1)
  set_tests_properties(move_to_tests PROPERTIES TIMEOUT 900 RESOURCE_LOCK display)
endif()
