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
