// The floor for the removal benchmark: exactly the per-file work the remover must do (the listed
// GBK path converted for the wide functions, a search for it, then its deletion) over the same
// files, with no window and no thread.
//   floor.exe LIST   (LIST: one GBK path a line)   prints floor_ms=...
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<std::string> paths;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) paths.push_back(line);
  }
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceCounter(&start);
  int deleted = 0;
  for (const std::string& path : paths) {
    wchar_t wide[MAX_PATH];
    const int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, path.c_str(), -1, wide, MAX_PATH);
    if (n == 0) continue;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(wide, &data);
    if (find == INVALID_HANDLE_VALUE) continue;
    FindClose(find);
    deleted += DeleteFileW(wide) ? 1 : 0;
  }
  QueryPerformanceCounter(&end);
  QueryPerformanceFrequency(&frequency);
  std::printf("floor_ms=%.3f deleted=%d\n",
              1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
              deleted);
  return 0;
}
