# The folder page needs the shell namespace the shell tests know exactly
# (scripts/shell_namespace_run.sh), so it is a program of its own.
if(NOT KELVARIN_NATIVE)
  add_executable(folder_page_tests ${PROJECT_SOURCE_DIR}/tests/wizard/folder_page_win.cpp)
  kv_project_flags(folder_page_tests)
  target_link_libraries(folder_page_tests PRIVATE kv_wizard gtest)
  # No Z: in that prefix: screenshots go to its C:\kvshots (inside the build folder).
  target_compile_definitions(folder_page_tests PRIVATE KV_TEST_BINARY_DIR="C:/kvshots")
  target_sources(folder_page_tests PRIVATE $<TARGET_OBJECTS:kelvarin_res>)
  set_property(TARGET folder_page_tests PROPERTY CROSSCOMPILING_EMULATOR
    "${PROJECT_SOURCE_DIR}/scripts/shell_namespace_run.sh;${PROJECT_BINARY_DIR}")
  add_test(NAME folder_page_tests COMMAND folder_page_tests --gtest_brief=1)
  set_tests_properties(folder_page_tests PROPERTIES TIMEOUT 900 RESOURCE_LOCK display)
endif()
