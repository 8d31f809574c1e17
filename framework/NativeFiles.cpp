#include "NativeFiles.h"

#include <winternl.h>

#include <cstddef>
#include <cstring>

#include "Ntdll.h"

namespace fw::native {
namespace {

// ntdll's entry points (ntdll is in every process), looked up once.
using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtQueryDirectoryFileFn = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG,
                                                BOOLEAN, PUNICODE_STRING, BOOLEAN);
using NtQueryInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
using NtQueryObjectFn = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
using NtSetInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
constexpr ULONG kFileRenameInformation = 10;  // FILE_INFORMATION_CLASS

constexpr ULONG kFileOpen = 0x00000001;                    // FILE_OPEN
constexpr ULONG kFileCreate = 0x00000002;                  // FILE_CREATE
constexpr ULONG kFileOpenIf = 0x00000003;                  // FILE_OPEN_IF
constexpr ULONG kSynchronousIoNonAlert = 0x00000020;       // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kOpenReparsePoint = 0x00200000;            // FILE_OPEN_REPARSE_POINT
constexpr ULONG kFileIdBothDirectoryInformation = 37;      // FILE_INFORMATION_CLASS
constexpr ULONG kFileInternalInformation = 6;              // FILE_INFORMATION_CLASS: the file id
constexpr ULONG kObjCaseInsensitive = 0x00000040;          // OBJ_CASE_INSENSITIVE
constexpr ULONG kObjectNameInformation = 1;                // OBJECT_INFORMATION_CLASS: the object's name

NtCreateFileFn NtCreateFileEntry() {
  static const NtCreateFileFn fn = NtdllFunction<NtCreateFileFn>("NtCreateFile");
  return fn;
}

NtQueryDirectoryFileFn NtQueryDirectoryFileEntry() {
  static const NtQueryDirectoryFileFn fn = NtdllFunction<NtQueryDirectoryFileFn>("NtQueryDirectoryFile");
  return fn;
}

NtQueryObjectFn NtQueryObjectEntry() {
  static const NtQueryObjectFn fn = NtdllFunction<NtQueryObjectFn>("NtQueryObject");
  return fn;
}

NtQueryInformationFileFn NtQueryInformationFileEntry() {
  static const NtQueryInformationFileFn fn = NtdllFunction<NtQueryInformationFileFn>("NtQueryInformationFile");
  return fn;
}

UNICODE_STRING Counted(const std::wstring& text) {
  UNICODE_STRING s;
  s.Buffer = const_cast<PWSTR>(text.c_str());
  s.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
  s.MaximumLength = s.Length;
  return s;
}

// Appends the entries of one FILE_ID_BOTH_DIR_INFO chain.
void Collect(const unsigned char* buffer, std::vector<FolderEntry>& entries) {
  for (;;) {
    const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer);
    entries.push_back({std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t)),
                       std::wstring(info->ShortName, static_cast<std::size_t>(info->ShortNameLength) / sizeof(wchar_t)),
                       info->FileAttributes, static_cast<std::uint64_t>(info->FileId.QuadPart)});
    if (info->NextEntryOffset == 0) return;
    buffer += info->NextEntryOffset;
  }
}

// NtCreateFile of `name` relative to `folder` with the given disposition; a link at the name itself
// is opened, never followed, unless `followLink`.
KernelHandle Create(const KernelHandle& folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                    ULONG disposition, ULONG options, bool followLink, PSECURITY_DESCRIPTOR descriptor, LONG* result) {
  const auto create = NtCreateFileEntry();
  if (result) *result = kNotOpened;
  if (!create || !folder) return {};
  UNICODE_STRING counted = Counted(name);
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  attributes.RootDirectory = folder.get();
  attributes.ObjectName = &counted;
  attributes.Attributes = kObjCaseInsensitive;
  attributes.SecurityDescriptor = descriptor;
  IO_STATUS_BLOCK io{};
  HANDLE h = nullptr;
  const NTSTATUS status = create(&h, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, share, disposition,
                                 options | (followLink ? 0 : kOpenReparsePoint) | kSynchronousIoNonAlert, nullptr, 0);
  if (result) *result = status;
  return KernelHandle(status == 0 ? h : nullptr);
}

}  // namespace

std::vector<FolderEntry> QueryDirectory(HANDLE folder, const std::wstring* mask, bool single) {
  std::vector<FolderEntry> entries;
  const auto query = NtQueryDirectoryFileEntry();
  if (!query || !folder) return entries;
  std::vector<unsigned char> buffer(64 * 1024);
  UNICODE_STRING name{};
  if (mask) name = Counted(*mask);
  for (BOOLEAN restart = TRUE;; restart = FALSE) {
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = query(folder, nullptr, nullptr, nullptr, &io, buffer.data(), static_cast<ULONG>(buffer.size()),
                                  kFileIdBothDirectoryInformation, single, mask ? &name : nullptr, restart);
    if (status != 0) return entries;  // STATUS_NO_MORE_FILES, or the folder cannot be listed
    Collect(buffer.data(), entries);
    if (single) return entries;
  }
}

KernelHandle OpenRelative(const KernelHandle& folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                          ULONG options, bool followLink, LONG* result) {
  return Create(folder, name, access, share, kFileOpen, options, followLink, nullptr, result);
}

KernelHandle CreateRelative(const KernelHandle& folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                            ULONG options, PSECURITY_DESCRIPTOR descriptor, bool openExisting, LONG* result) {
  return Create(folder, name, access, share, openExisting ? kFileOpenIf : kFileCreate, options, false, descriptor,
                result);
}

std::wstring ObjectName(HANDLE handle) {
  const auto query = NtQueryObjectEntry();
  if (!query || !handle) return L"";
  // OBJECT_NAME_INFORMATION: a counted string pointing into the same buffer. Most names fit the
  // first buffer; a longer one says how long the buffer must be.
  std::vector<unsigned char> buffer(sizeof(UNICODE_STRING) + (MAX_PATH + 64) * sizeof(wchar_t));
  for (int attempt = 0; attempt < 2; ++attempt) {
    ULONG needed = 0;
    const NTSTATUS status = query(handle, kObjectNameInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == 0) {
      UNICODE_STRING name;
      std::memcpy(&name, buffer.data(), sizeof name);
      return name.Buffer ? std::wstring(name.Buffer, name.Length / sizeof(wchar_t)) : L"";
    }
    if (needed <= buffer.size()) return L"";
    buffer.resize(needed);
  }
  return L"";
}

std::optional<std::uint64_t> FileIdOf(HANDLE handle) {
  const auto query = NtQueryInformationFileEntry();
  if (!query || !handle) return std::nullopt;
  IO_STATUS_BLOCK io{};
  LARGE_INTEGER id{};  // FILE_INTERNAL_INFORMATION
  if (query(handle, &io, &id, sizeof id, kFileInternalInformation) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(id.QuadPart);
}

bool RenameInto(HANDLE file, HANDLE folder, const std::wstring& name) {
  static const auto set = NtdllFunction<NtSetInformationFileFn>("NtSetInformationFile");
  if (!set || !file || !folder) return false;
  // FILE_RENAME_INFORMATION: replace-if-exists, the root folder, then the counted name.
  struct Header {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    ULONG fileNameLength;
  };
  const std::size_t nameBytes = name.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(offsetof(Header, fileNameLength) + sizeof(ULONG) + nameBytes + sizeof(wchar_t));
  Header header{FALSE, folder, static_cast<ULONG>(nameBytes)};
  std::memcpy(buffer.data(), &header, offsetof(Header, fileNameLength) + sizeof(ULONG));
  std::memcpy(buffer.data() + offsetof(Header, fileNameLength) + sizeof(ULONG), name.data(), nameBytes);
  IO_STATUS_BLOCK io{};
  return set(file, &io, buffer.data(), static_cast<ULONG>(buffer.size()), kFileRenameInformation) == 0;
}

}  // namespace fw::native
