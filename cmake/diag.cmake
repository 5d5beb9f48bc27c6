# Every Windows executable carries its own debug data in a "DIAGINFO"
# section: the linker writes a map file, tools/mkdiag.py keeps the unstripped
# image as <name>.debug.exe, builds the data from the map, the symbol table
# and the line table, strips the executable and adds the section right after
# the image's last section (ImageBase + SizeOfImage), so the loader maps it.
if(NOT KELVARIN_NATIVE)
  find_program(KV_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)

  function(kv_add_diaginfo target)
    set(map $<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.map)
    target_link_options(${target} PRIVATE -Wl,-Map=${map})
    # A changed generator relinks, so the data is made anew.
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/tools/mkdiag.py)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${KV_PYTHON3} ${PROJECT_SOURCE_DIR}/tools/mkdiag.py
              --exe $<TARGET_FILE:${target}> --map ${map}
              --objdump ${CMAKE_OBJDUMP} --objcopy ${CMAKE_OBJCOPY}
      VERBATIM)
  endfunction()

  # Applied at the end of the top-level directory, when every executable exists.
  function(kv_add_diaginfo_everywhere)
    get_property(targets DIRECTORY ${PROJECT_SOURCE_DIR} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(t ${targets})
      get_target_property(type ${t} TYPE)
      if(type STREQUAL "EXECUTABLE")
        kv_add_diaginfo(${t})
      endif()
    endforeach()
  endfunction()
  cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL kv_add_diaginfo_everywhere)
endif()
