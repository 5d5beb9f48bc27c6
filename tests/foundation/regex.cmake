# The regular-expression differential test links PCRE2 (native build only).
if(KELVARIN_NATIVE AND TARGET ${exe} AND exe STREQUAL "foundation_tests")
  find_library(KV_PCRE2_8_LIBRARY pcre2-8 REQUIRED)
  find_path(KV_PCRE2_INCLUDE_DIR pcre2.h REQUIRED)
  target_include_directories(${exe} SYSTEM PRIVATE ${KV_PCRE2_INCLUDE_DIR})
  target_link_libraries(${exe} PRIVATE ${KV_PCRE2_8_LIBRARY})
endif()
