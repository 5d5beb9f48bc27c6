# Fixture libraries of the diagnostics tests (Windows build): version
# resources from windres, exports, and later debug data beside them.
if(TARGET diagnostics_tests AND NOT KELVARIN_NATIVE)
  set(KV_DIAG_FIXTURES ${PROJECT_BINARY_DIR}/diag_fixtures)
  foreach(fixture version_ok version_badkey version_bad)
    add_library(diag_${fixture} SHARED ${CMAKE_CURRENT_LIST_DIR}/fixtures/fixture_dll.c
                ${CMAKE_CURRENT_LIST_DIR}/fixtures/${fixture}.rc)
    target_include_directories(diag_${fixture} PRIVATE ${PROJECT_SOURCE_DIR}/tests/corpus/version_info)
    set_target_properties(diag_${fixture} PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${KV_DIAG_FIXTURES})
    add_dependencies(diagnostics_tests diag_${fixture})
  endforeach()
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/fixtures/version_bad.rc PROPERTIES OBJECT_DEPENDS
    ${PROJECT_SOURCE_DIR}/tests/corpus/version_info/bad_value_type.bin)
endif()

# A library linked with a build id (one CodeView debug entry) and the RCDATA marker.
if(TARGET diagnostics_tests AND NOT KELVARIN_NATIVE)
  add_library(diag_buildid SHARED ${CMAKE_CURRENT_LIST_DIR}/fixtures/fixture_dll.c
              ${CMAKE_CURRENT_LIST_DIR}/fixtures/rcdata.rc)
  target_link_options(diag_buildid PRIVATE -Wl,--build-id)
  set_target_properties(diag_buildid PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${KV_DIAG_FIXTURES})
  add_dependencies(diagnostics_tests diag_buildid)
endif()

# Debug data of other modules: a library with a ".diag" file beside it (made
# by mkdiag.py from its map), and one that exports nothing.
if(TARGET diagnostics_tests AND NOT KELVARIN_NATIVE)
  add_library(diag_with_file SHARED ${CMAKE_CURRENT_LIST_DIR}/fixtures/fixture_dll.c)
  target_link_options(diag_with_file PRIVATE -Wl,-Map=${KV_DIAG_FIXTURES}/diag_with_file.map)
  set_target_properties(diag_with_file PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${KV_DIAG_FIXTURES})
  add_custom_command(TARGET diag_with_file POST_BUILD
    COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tools/mkdiag.py --exe $<TARGET_FILE:diag_with_file>
            --map ${KV_DIAG_FIXTURES}/diag_with_file.map --objdump ${CMAKE_OBJDUMP}
            --block-only ${KV_DIAG_FIXTURES}/diag_with_file.diag
    COMMAND ${CMAKE_COMMAND} -E remove ${KV_DIAG_FIXTURES}/diag_with_file.map
    VERBATIM)
  add_library(diag_plain SHARED ${CMAKE_CURRENT_LIST_DIR}/fixtures/plain_dll.c)
  target_link_options(diag_plain PRIVATE -Wl,--exclude-all-symbols)
  set_target_properties(diag_plain PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${KV_DIAG_FIXTURES})
  add_library(diag_guarded_call SHARED ${CMAKE_CURRENT_LIST_DIR}/fixtures/guarded_call_dll.cpp)
  target_link_options(diag_guarded_call PRIVATE -static -static-libgcc -static-libstdc++)
  set_target_properties(diag_guarded_call PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${KV_DIAG_FIXTURES})
  add_dependencies(diagnostics_tests diag_with_file diag_plain diag_guarded_call)

  # addr2line's answers for addresses of the test program, compared by the test program.
  add_test(NAME diag_addr2line_oracle COMMAND /usr/bin/python3
           ${CMAKE_CURRENT_LIST_DIR}/addr2line_oracle.py ${PROJECT_BINARY_DIR}/diagnostics_tests.debug.exe
           ${PROJECT_BINARY_DIR}/diag_addr2line.txt --objdump ${CMAKE_OBJDUMP}
           --addr2line ${CMAKE_ADDR2LINE})
  set_tests_properties(diag_addr2line_oracle PROPERTIES FIXTURES_SETUP diag_addr2line TIMEOUT 300)
  set_tests_properties(diagnostics_tests PROPERTIES FIXTURES_REQUIRED diag_addr2line)
endif()
