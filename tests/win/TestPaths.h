#pragma once
// Where the test binary and the programs built beside it are.
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

namespace testpaths {

// The folder of the running test binary (the windows build's tests/win), no trailing backslash.
inline std::string BinaryDir() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path, n);
  return dir.substr(0, dir.find_last_of('\\'));
}

inline std::string TempFolder() {  // with its trailing backslash
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  return temp;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Screenshots go to screenshots\ beside the test binary, as BMP.
inline std::string ScreenshotPath(const std::string& name) {
  const std::string dir = BinaryDir() + "\\screenshots";
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir + "\\" + name + ".bmp";
}

}  // namespace testpaths
