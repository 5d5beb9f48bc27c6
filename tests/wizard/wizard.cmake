# The wizard's tests start the program itself and use the GUI tests' helpers.
if(TARGET ${exe} AND NOT KELVARIN_NATIVE)
  add_dependencies(${exe} kelvarin)
endif()
