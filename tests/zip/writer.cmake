# The writer's tests: zlib as the oracle for deflate in the native build, and
# the archives written by the Windows tests checked afterwards with unzip, 7z
# and Python's zipfile.
if(KELVARIN_NATIVE)
  find_package(ZLIB REQUIRED)
  if(TARGET zip_tests)
    target_link_libraries(zip_tests PRIVATE ZLIB::ZLIB)
    target_compile_definitions(zip_tests PRIVATE KV_DEFLATE_ZLIB_ORACLE=1)
  endif()
  # The fuzz target and the benchmark are defined after the test folders.
  function(kv_writer_link_zlib)
    foreach(t deflate_roundtrip_fuzz deflate_bench)
      if(TARGET ${t})
        target_link_libraries(${t} PRIVATE ZLIB::ZLIB)
        target_compile_definitions(${t} PRIVATE KV_DEFLATE_ZLIB_ORACLE=1)
      endif()
    endforeach()
  endfunction()
  cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL kv_writer_link_zlib)
endif()

# The Windows tests write archives for the reference tools and rewrite
# archives the tools made: writer_check.py prepares the tools' archives
# first and checks ours afterwards.
if(NOT KELVARIN_NATIVE AND TARGET zip_tests)
  set(KV_ZIP_WRITER_DIR ${PROJECT_BINARY_DIR}/zip_writer)
  set(KV_ZIP_WRITER_CHECK ${PROJECT_SOURCE_DIR}/tests/zip/writer_check.py)
  add_test(NAME zip_writer_prepare COMMAND /usr/bin/python3 ${KV_ZIP_WRITER_CHECK} prepare ${KV_ZIP_WRITER_DIR})
  add_test(NAME zip_writer_verify COMMAND /usr/bin/python3 ${KV_ZIP_WRITER_CHECK} verify ${KV_ZIP_WRITER_DIR})
  set_tests_properties(zip_writer_prepare PROPERTIES FIXTURES_SETUP zip_writer_inputs TIMEOUT 120)
  set_tests_properties(zip_writer_verify PROPERTIES FIXTURES_REQUIRED "zip_writer_inputs;zip_writer_outputs"
                       TIMEOUT 600)
  # zip_tests and foundation_tests (zip strings) write what verify checks.
  foreach(t zip_tests foundation_tests)
    if(TEST ${t})
      set_property(TEST ${t} APPEND PROPERTY FIXTURES_REQUIRED zip_writer_inputs)
      set_property(TEST ${t} APPEND PROPERTY FIXTURES_SETUP zip_writer_outputs)
    endif()
  endforeach()
endif()
