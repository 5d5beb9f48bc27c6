# The library the search tests scan (Python and mutagen), made before the
# wizard's test program runs.
if(TARGET ${exe} AND NOT KELVARIN_NATIVE)
  add_test(NAME wizard_search_library
           COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/wizard/make_search_library.py
                   ${PROJECT_BINARY_DIR}/search_library)
  set_tests_properties(wizard_search_library PROPERTIES FIXTURES_SETUP wizard_search_library)
  set_property(TEST ${exe} APPEND PROPERTY FIXTURES_REQUIRED wizard_search_library)
endif()
