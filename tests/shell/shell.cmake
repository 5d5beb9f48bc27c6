# The shell tests run in a Wine prefix whose namespace they know exactly
# (scripts/shell_namespace_run.sh), not in the build's shared prefix.
if(TARGET ${exe} AND NOT KELVARIN_NATIVE)
  set_property(TARGET ${exe} PROPERTY CROSSCOMPILING_EMULATOR
    "${PROJECT_SOURCE_DIR}/scripts/shell_namespace_run.sh;${PROJECT_BINARY_DIR}")
endif()
