# (Included after reader.cmake, which sets the test's fixtures anew.)
# A small file system for the spanned round trip under Wine
# (multipart_win_test.cpp): the test makes drive A: a removable drive over
# this folder through Wine's mount manager; a tmpfs of 160 KiB gives it a
# floppy's free space. Mounting needs root; without it the test skips.
if(NOT KELVARIN_NATIVE AND TARGET zip_tests)
  set(KV_ZIP_FLOPPY_DIR ${PROJECT_BINARY_DIR}/zip_floppy)
  add_test(NAME zip_floppy_mount COMMAND sh -c
    "mkdir -p '${KV_ZIP_FLOPPY_DIR}' && { mountpoint -q '${KV_ZIP_FLOPPY_DIR}' || \
     mount -t tmpfs -o size=160k kvfloppy '${KV_ZIP_FLOPPY_DIR}' 2>/dev/null || true; }")
  add_test(NAME zip_floppy_unmount COMMAND sh -c
    "! mountpoint -q '${KV_ZIP_FLOPPY_DIR}' || umount '${KV_ZIP_FLOPPY_DIR}'")
  set_tests_properties(zip_floppy_mount PROPERTIES FIXTURES_SETUP zip_floppy TIMEOUT 30)
  set_tests_properties(zip_floppy_unmount PROPERTIES FIXTURES_CLEANUP zip_floppy TIMEOUT 30)
  set_property(TEST zip_tests APPEND PROPERTY FIXTURES_REQUIRED zip_floppy)
endif()
