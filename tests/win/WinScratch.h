#pragma once
// A private folder in the Wine prefix's temporary folder for each test, removed afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "WideText.h"

namespace winscratch {

// A GBK path of a test as the system's wide functions take it.
inline std::wstring W(const std::string& gbk) { return fw::GbkToWide(gbk).value(); }

// A path the system gave, as GBK text for the tests' expectations.
inline std::string Gbk(const std::wstring& wide) { return fw::Utf16ToGbk(fw::AsUtf16(wide)).value(); }

// Removes a folder tree with the shell-free Win32 calls, for test clean-up only.
inline void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &data);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = dir + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        RemoveTree(path);
      else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveDirectoryA(path.c_str());
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(h, &data));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::string(temp) + "korvane-" + info->test_suite_name() + "-" + info->name();
    RemoveTree(dir_);
    ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr)) << dir_;
  }
  void TearDown() override { RemoveTree(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }

  std::string dir_;  // no trailing backslash
};

}  // namespace winscratch
