# The GUI tests' own resources (their layouts and bitmaps) beside the
# program's.
if(TARGET ${exe} AND NOT KELVARIN_NATIVE)
  target_sources(${exe} PRIVATE ${PROJECT_SOURCE_DIR}/tests/ui/ui_tests.rc)
  set_source_files_properties(${PROJECT_SOURCE_DIR}/tests/ui/ui_tests.rc PROPERTIES OBJECT_DEPENDS
    "${PROJECT_SOURCE_DIR}/tests/ui/layouts/test_dialog.layout;${PROJECT_SOURCE_DIR}/tests/ui/layouts/test_frame.layout;${PROJECT_SOURCE_DIR}/tests/ui/data/tools.bmp")
endif()
