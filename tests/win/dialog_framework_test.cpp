// The dialog framework's message boxes.
#include <gtest/gtest.h>

#include "Dialog.h"

namespace {

TEST(WinMessageBox, BoxesWithoutAnIconGetTheFrameworkDefault) {
  EXPECT_EQ(fw::MessageBoxType(MB_OK), static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(fw::MessageBoxType(MB_YESNO), static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(fw::MessageBoxType(MB_OK | MB_ICONSTOP), static_cast<UINT>(MB_OK | MB_ICONSTOP));
  EXPECT_EQ(fw::MessageBoxType(MB_RETRYCANCEL), static_cast<UINT>(MB_RETRYCANCEL));
}

TEST(WinMessageBox, TheApplicationNameIsTheExecutableWithoutExtension) {
  EXPECT_STREQ(fw::ApplicationName(), L"framework_win_tests");
}

}  // namespace
