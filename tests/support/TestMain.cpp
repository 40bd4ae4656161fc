// Entry point of every test binary. A wrong locale would make every
// Shift-JIS expectation meaningless, so it fails loudly before any test runs.
#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GetACP() != 932) {
    std::fprintf(stderr, "The ANSI code page is %u, not 932: run the tests through the "
                         "build's wine-run.sh (Japanese locale).\n", GetACP());
    return 2;
  }
  return RUN_ALL_TESTS();
}
