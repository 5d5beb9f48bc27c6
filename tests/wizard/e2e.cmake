# The library the end-to-end program test scans (Python and mutagen), with the
# hidden names hashlib gives for its files once copied to C:\kve2e\lib.
if(TARGET ${exe} AND NOT KELVARIN_NATIVE)
  add_test(NAME wizard_e2e_library
           COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/wizard/make_e2e_library.py
                   ${PROJECT_BINARY_DIR}/e2e_library "C:\\kve2e\\lib")
  set_tests_properties(wizard_e2e_library PROPERTIES FIXTURES_SETUP wizard_e2e_library)
  set_property(TEST ${exe} APPEND PROPERTY FIXTURES_REQUIRED wizard_e2e_library)
endif()
