# The folder page, the destination chooser and the smart-marking dialog pick
# folders on the shell namespace the shell tests know exactly
# (scripts/shell_namespace_run.sh), so each is tested by a program of its own.
function(kv_namespace_test_program name source)
  add_executable(${name} ${PROJECT_SOURCE_DIR}/tests/wizard/${source})
  kv_project_flags(${name})
  target_link_libraries(${name} PRIVATE kv_wizard gtest)
  # No Z: in that prefix: screenshots go to its C:\kvshots (inside the build folder).
  target_compile_definitions(${name} PRIVATE KV_TEST_BINARY_DIR="C:/kvshots")
  target_sources(${name} PRIVATE $<TARGET_OBJECTS:kelvarin_res>)
  set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR
    "${PROJECT_SOURCE_DIR}/scripts/shell_namespace_run.sh;${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 900 RESOURCE_LOCK display)
endfunction()

if(NOT KELVARIN_NATIVE)
  kv_namespace_test_program(folder_page_tests folder_page_win.cpp)
  kv_namespace_test_program(move_to_tests move_to_win.cpp)
endif()
