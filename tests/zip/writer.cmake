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
