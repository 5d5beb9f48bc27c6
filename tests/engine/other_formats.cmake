# Real WMA, Ogg Vorbis, FLAC and M4A files made by Debian's encoders and
# taggers before the test, compared with what the readers find in them. The
# comparison (OtherFormatsCorpus.*) lives in the engine test program and skips
# itself unless KV_OTHER_FORMATS_CORPUS names the folder of generated files.
if(dir STREQUAL "engine" AND TARGET engine_tests)
  set(kv_other_corpus ${PROJECT_BINARY_DIR}/other_formats_corpus)
  add_test(NAME other_formats_corpus_make
           COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/make_other_corpus.py ${kv_other_corpus})
  set_tests_properties(other_formats_corpus_make PROPERTIES FIXTURES_SETUP other_formats_corpus TIMEOUT 300)
  if(KELVARIN_NATIVE)
    set(kv_other_corpus_seen ${kv_other_corpus})
  else()
    set(kv_other_corpus_seen Z:${kv_other_corpus})
  endif()
  add_test(NAME other_formats_corpus
           COMMAND engine_tests --gtest_filter=OtherFormatsCorpus.* --gtest_brief=1)
  set_tests_properties(other_formats_corpus PROPERTIES FIXTURES_REQUIRED other_formats_corpus TIMEOUT 300
                       ENVIRONMENT "KV_OTHER_FORMATS_CORPUS=${kv_other_corpus_seen}")
endif()
