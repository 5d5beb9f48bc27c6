// The shell tests' entry point: they run only inside their own namespace
// (scripts/shell_namespace_run.sh). OLE and the shell unit are started here,
// as the program's entry point does, never from static initialisers.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/shell/shell_test_util.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (GetFileAttributesW(L"Z:\\") != INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "Drive Z: exists: the shell tests run only in their own prefix (shell_namespace_run.sh)\n");
    return 2;
  }
  return kv::test::RunInFixtureNamespace();
}
