#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
  // The native text helpers follow the C library's locale; take it from the
  // environment (LC_ALL=zh_CN.GBK in the code-page run) as the program would.
  std::setlocale(LC_ALL, "");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
