# The tests of the progress, tip and translated windows build their forms from
# the GUI tests' layouts and bitmaps.
if(TARGET ${exe} AND NOT KELVARIN_NATIVE)
  target_sources(${exe} PRIVATE ${PROJECT_SOURCE_DIR}/tests/ui/ui_tests.rc)
endif()
