# Real MP3 files made by lame, ffmpeg, id3v2 and eyeD3 before the test, with
# mutagen's readings as the expected values. The comparison (Mp3Corpus.*) lives
# in the engine test program and skips itself unless KV_MP3_CORPUS names the
# folder of generated files.
if(dir STREQUAL "engine" AND TARGET engine_tests)
  set(kv_mp3_corpus ${PROJECT_BINARY_DIR}/mp3_corpus)
  add_test(NAME mp3_corpus_make
           COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/make_mp3_corpus.py ${kv_mp3_corpus})
  set_tests_properties(mp3_corpus_make PROPERTIES FIXTURES_SETUP mp3_corpus TIMEOUT 300)
  if(KELVARIN_NATIVE)
    set(kv_mp3_corpus_seen ${kv_mp3_corpus})
  else()
    set(kv_mp3_corpus_seen Z:${kv_mp3_corpus})
  endif()
  add_test(NAME mp3_corpus COMMAND engine_tests --gtest_filter=Mp3Corpus.* --gtest_brief=1)
  set_tests_properties(mp3_corpus PROPERTIES FIXTURES_REQUIRED mp3_corpus TIMEOUT 300
                       ENVIRONMENT "KV_MP3_CORPUS=${kv_mp3_corpus_seen}")
endif()
