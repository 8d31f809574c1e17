#pragma once
// The native functions that Win32 has no form of, looked up in ntdll (which is in every process)
// rather than imported: the programs import only kernel32 and msvcrt statically.
#include <windows.h>

namespace fw {

// The function `name` of ntdll as `Fn`, or null where the system lacks it.
template <typename Fn>
Fn NtdllFunction(const char* name) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(ntdll, name))) : nullptr;
}

}  // namespace fw
