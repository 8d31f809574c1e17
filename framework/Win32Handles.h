#pragma once
// Owners of the Win32 handles the programs use. Closing keeps GetLastError intact.
#include <windows.h>

#include "UniqueHandle.h"

namespace fw {

// Keeps the thread's last-error value across a cleanup call.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : error_(GetLastError()) {}
  ~LastErrorKeeper() { SetLastError(error_); }
  LastErrorKeeper(const LastErrorKeeper&) = delete;
  LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

 private:
  DWORD error_;
};

struct FileHandleTraits {  // CreateFile: INVALID_HANDLE_VALUE when empty
  using pointer = HANDLE;
  static pointer invalid() { return INVALID_HANDLE_VALUE; }
  static void close(pointer h) { LastErrorKeeper keep; CloseHandle(h); }
};

struct KernelHandleTraits {  // processes, threads, file mappings: null when empty
  using pointer = HANDLE;
  static pointer invalid() { return nullptr; }
  static void close(pointer h) { LastErrorKeeper keep; CloseHandle(h); }
};

struct LocalMemoryTraits {  // what the system allocated for the caller with LocalAlloc
  using pointer = HLOCAL;
  static pointer invalid() { return nullptr; }
  static void close(pointer p) { LastErrorKeeper keep; LocalFree(p); }
};

struct FindHandleTraits {
  using pointer = HANDLE;
  static pointer invalid() { return INVALID_HANDLE_VALUE; }
  static void close(pointer h) { LastErrorKeeper keep; FindClose(h); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using KernelHandle = UniqueHandle<KernelHandleTraits>;
using LocalMemory = UniqueHandle<LocalMemoryTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;

}  // namespace fw
