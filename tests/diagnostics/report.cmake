# The error history archive that diagnostics_tests leaves behind, checked by
# unzip, 7-Zip and Python.
if(TARGET diagnostics_tests AND NOT KELVARIN_NATIVE)
  add_test(NAME diag_error_history_archive COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_history.sh
           ${PROJECT_BINARY_DIR}/report_history/error.history)
  set_tests_properties(diagnostics_tests PROPERTIES FIXTURES_SETUP diag_error_history)
  set_tests_properties(diag_error_history_archive PROPERTIES FIXTURES_REQUIRED diag_error_history)
endif()

# A fake mail library that records the call and answers a chosen code.
if(TARGET diagnostics_tests AND NOT KELVARIN_NATIVE)
  add_library(fake_mapi SHARED ${CMAKE_CURRENT_LIST_DIR}/fixtures/fake_mapi.c)
  set_target_properties(fake_mapi PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/diag_fixtures)
  add_dependencies(diagnostics_tests fake_mapi)
  set_tests_properties(diagnostics_tests PROPERTIES RESOURCE_LOCK display)
endif()

# The crash test program, run by diagnostics_tests from a program folder of its own.
if(TARGET diagnostics_tests AND NOT KELVARIN_NATIVE)
  add_executable(diag_crash WIN32 ${CMAKE_CURRENT_LIST_DIR}/crash_program_win.cpp $<TARGET_OBJECTS:kelvarin_res>)
  kv_project_flags(diag_crash)
  target_link_libraries(diag_crash PRIVATE kv_diagnostics)
  add_dependencies(diagnostics_tests diag_crash)
endif()
