# Real files made by Debian's encoders and taggers before the test: MP3 with
# mutagen's readings as the expected values, and WMA, Ogg Vorbis, FLAC and M4A
# with the tools' own. Each comparison (Mp3Corpus.*, OtherFormatsCorpus.*)
# lives in the engine test program and skips itself unless its variable names
# the folder of generated files.
function(kv_engine_corpus name script suite variable)
  set(folder ${PROJECT_BINARY_DIR}/${name}_corpus)
  add_test(NAME ${name}_corpus_make COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/${script} ${folder})
  set_tests_properties(${name}_corpus_make PROPERTIES FIXTURES_SETUP ${name}_corpus TIMEOUT 300)
  if(NOT KELVARIN_NATIVE)
    set(folder Z:${folder})
  endif()
  add_test(NAME ${name}_corpus COMMAND engine_tests --gtest_filter=${suite}.* --gtest_brief=1)
  set_tests_properties(${name}_corpus PROPERTIES FIXTURES_REQUIRED ${name}_corpus TIMEOUT 300
                       ENVIRONMENT "${variable}=${folder}")
endfunction()

if(dir STREQUAL "engine" AND TARGET engine_tests)
  kv_engine_corpus(mp3 make_mp3_corpus.py Mp3Corpus KV_MP3_CORPUS)
  kv_engine_corpus(other_formats make_other_corpus.py OtherFormatsCorpus KV_OTHER_FORMATS_CORPUS)
endif()
