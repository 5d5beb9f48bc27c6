# The settings file against outside readers and writers. Before the test
# program runs, Python writes files in the store's layout (the program loads
# them); afterwards xmllint and xml.etree read the files the program wrote.
if(TARGET foundation_tests)
  set(kv_settings_oracle ${PROJECT_BINARY_DIR}/settings_oracle)
  set(kv_settings_script ${CMAKE_CURRENT_LIST_DIR}/settings_oracle.py)
  add_test(NAME settings_oracle_generate COMMAND /usr/bin/python3 ${kv_settings_script} generate ${kv_settings_oracle})
  set_tests_properties(settings_oracle_generate PROPERTIES FIXTURES_SETUP settings_oracle_input)
  set_property(TEST foundation_tests APPEND PROPERTY FIXTURES_REQUIRED settings_oracle_input)
  # Ordered after the test program but not skipped when an unrelated test of it
  # fails; the generator empties the store's folder, so no old file is checked.
  add_test(NAME settings_oracle_check COMMAND /usr/bin/python3 ${kv_settings_script} check ${kv_settings_oracle})
  set_tests_properties(settings_oracle_check PROPERTIES DEPENDS foundation_tests FIXTURES_REQUIRED settings_oracle_input)
endif()
