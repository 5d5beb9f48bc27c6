# The disk scan walks a real folder tree (with a symbolic link loop, and a
# folder of 1,500 files whose short names collide) made before the test;
# Windows build only. DiskScan.* skips itself unless
# KV_SCAN_TREE names the tree.
if(dir STREQUAL "engine" AND TARGET engine_tests AND NOT KELVARIN_NATIVE)
  set(kv_scan_tree ${PROJECT_BINARY_DIR}/scan_tree)
  add_test(NAME scan_tree_make COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make_scan_tree.sh ${kv_scan_tree})
  set_tests_properties(scan_tree_make PROPERTIES FIXTURES_SETUP scan_tree)
  add_test(NAME disk_scan COMMAND engine_tests --gtest_filter=DiskScan.* --gtest_brief=1)
  set_tests_properties(disk_scan PROPERTIES FIXTURES_REQUIRED scan_tree TIMEOUT 300
                       ENVIRONMENT "KV_SCAN_TREE=Z:${kv_scan_tree}")
endif()
if(dir STREQUAL "engine" AND TARGET engine_tests AND NOT KELVARIN_NATIVE)
  add_test(NAME collection_csv_win COMMAND engine_tests --gtest_filter=CollectionCsvWin.* --gtest_brief=1)
  set_tests_properties(collection_csv_win PROPERTIES RESOURCE_LOCK display TIMEOUT 300
                       ENVIRONMENT "KV_WINDOW_TESTS=1")
endif()
