#pragma once
// Owners of the Win32 handles the programs use. Closing keeps GetLastError intact.
#include <windows.h>
#include <objbase.h>

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

// Two kinds of kernel handle, as two types: the system's calls report failure with
// INVALID_HANDLE_VALUE (CreateFile, FindFirstFile) or with null (NtCreateFile, CreateProcess,
// CreateFileMapping, OpenProcess). Each result goes into the owner of its kind, whose empty value is
// that failure value; a handle of one kind is never tested against the other's.
struct FileHandleTraits {  // CreateFile: INVALID_HANDLE_VALUE when empty
  using pointer = HANDLE;
  static pointer invalid() { return INVALID_HANDLE_VALUE; }
  static void close(pointer h) { LastErrorKeeper keep; CloseHandle(h); }
};

struct KernelHandleTraits {  // processes, threads, file mappings, native opens: null when empty
  using pointer = HANDLE;
  static pointer invalid() { return nullptr; }
  static void close(pointer h) { LastErrorKeeper keep; CloseHandle(h); }
};

struct FindHandleTraits {
  using pointer = HANDLE;
  static pointer invalid() { return INVALID_HANDLE_VALUE; }
  static void close(pointer h) { LastErrorKeeper keep; FindClose(h); }
};

struct LocalMemoryTraits {  // what the system allocated for the caller with LocalAlloc
  using pointer = HLOCAL;
  static pointer invalid() { return nullptr; }
  static void close(pointer p) { LastErrorKeeper keep; LocalFree(p); }
};

struct CoTaskMemoryTraits {  // what COM and the shell allocated for the caller
  using pointer = void*;
  static pointer invalid() { return nullptr; }
  static void close(pointer p) { LastErrorKeeper keep; CoTaskMemFree(p); }
};

struct MappedViewTraits {  // MapViewOfFile
  using pointer = void*;
  static pointer invalid() { return nullptr; }
  static void close(pointer p) { LastErrorKeeper keep; UnmapViewOfFile(p); }
};

struct SidTraits {  // AllocateAndInitializeSid
  using pointer = PSID;
  static pointer invalid() { return nullptr; }
  static void close(pointer p) { LastErrorKeeper keep; FreeSid(p); }
};

struct RegistryKeyTraits {  // RegOpenKeyEx
  using pointer = HKEY;
  static pointer invalid() { return nullptr; }
  static void close(pointer k) { LastErrorKeeper keep; RegCloseKey(k); }
};

template <typename Interface>
struct ComObjectTraits {  // a COM interface pointer: released
  using pointer = Interface*;
  static pointer invalid() { return nullptr; }
  static void close(pointer p) { LastErrorKeeper keep; p->Release(); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using LocalMemory = UniqueHandle<LocalMemoryTraits>;
using CoTaskMemory = UniqueHandle<CoTaskMemoryTraits>;
using MappedView = UniqueHandle<MappedViewTraits>;
using Sid = UniqueHandle<SidTraits>;
using RegistryKey = UniqueHandle<RegistryKeyTraits>;
template <typename Interface>
using ComObject = UniqueHandle<ComObjectTraits<Interface>>;

}  // namespace fw
