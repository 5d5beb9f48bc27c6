# The spanned detection under Wine: drive R: of the test prefix is a folder
# of the build that Wine's drive type setting makes a floppy drive.
if(NOT KELVARIN_NATIVE AND TARGET zip_tests)
  set(KV_ZIP_FLOPPY_DIR ${PROJECT_BINARY_DIR}/zip_floppy)
  add_test(NAME zip_floppy_drive COMMAND sh -c
    "rm -rf '${KV_ZIP_FLOPPY_DIR}' && mkdir -p '${KV_ZIP_FLOPPY_DIR}' && \
     ln -sfn '${KV_ZIP_FLOPPY_DIR}' \"${PROJECT_BINARY_DIR}/wine/prefix/dosdevices/r:\" && \
     '${PROJECT_BINARY_DIR}/wine-run' reg add 'HKLM\\Software\\Wine\\Drives' /v r: /d floppy /f >/dev/null")
  set_tests_properties(zip_floppy_drive PROPERTIES FIXTURES_SETUP zip_floppy TIMEOUT 120)
  set_property(TEST zip_tests APPEND PROPERTY FIXTURES_REQUIRED zip_floppy)
endif()
