// Test entry: the string layer needs a code page before any test runs.
#include <gtest/gtest.h>

#include "text/code_page.h"

int main(int argc, char** argv) {
  static halvorn::Utf8CodePage codePage;
  halvorn::InstallCodePage(&codePage);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
