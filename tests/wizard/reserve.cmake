# The processing tests copy to a read-only drive: R: in the test prefix is a
# sysfs folder, where even root cannot create files (chmod would not stop root).
# scripts/test.sh makes it before Wine's services start (only then does the
# shell list the drive); this fixture makes it for runs of ctest by hand.
if(TARGET ${exe} AND NOT KELVARIN_NATIVE)
  add_test(NAME wizard_readonly_drive
           COMMAND ln -sfn /sys/kernel ${PROJECT_BINARY_DIR}/wine/prefix/dosdevices/r:)
  set_tests_properties(wizard_readonly_drive PROPERTIES FIXTURES_SETUP kv_readonly_drive)
  set_property(TEST ${exe} APPEND PROPERTY FIXTURES_REQUIRED kv_readonly_drive)
endif()
