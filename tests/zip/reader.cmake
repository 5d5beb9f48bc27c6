# The zip reader's tests: zlib as the inflate oracle (native build), and the
# corpus of archives made by the reference tools before zip_tests runs.
if(TARGET zip_tests)
  if(KELVARIN_NATIVE)
    find_package(ZLIB REQUIRED)
    target_link_libraries(zip_tests PRIVATE ZLIB::ZLIB)
    target_compile_definitions(zip_tests PRIVATE KV_HAVE_ZLIB=1)
  endif()
  set(KV_ZIP_CORPUS_DIR ${PROJECT_BINARY_DIR}/zip_corpus)
  add_test(NAME zip_corpus COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/zip/make_corpus.py ${KV_ZIP_CORPUS_DIR})
  set_tests_properties(zip_corpus PROPERTIES FIXTURES_SETUP zip_corpus TIMEOUT 300)
  set_tests_properties(zip_tests PROPERTIES FIXTURES_REQUIRED zip_corpus)
endif()

# The zip fuzz targets compare inflate with zlib; they are defined after the
# test folders, so link them once this directory is done.
if(KELVARIN_NATIVE)
  function(kv_zip_link_fuzz_zlib)
    find_package(ZLIB REQUIRED)
    foreach(t zip_inflate_fuzz inflate_bench)
      if(TARGET ${t})
        target_link_libraries(${t} PRIVATE ZLIB::ZLIB)
      endif()
    endforeach()
  endfunction()
  cmake_language(DEFER CALL kv_zip_link_fuzz_zlib)
endif()
