#include "FileObject.h"

#include <aclapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstring>

#include "Ntdll.h"

namespace fw {
namespace {

// The native calls that Win32 has no form of: an open relative to a folder handle, a listing that
// looks up one name, and the file id alone (GetFileInformationByHandle asks for everything, the
// name included: under Wine that costs a millisecond per file of a walk). ntdll is in every
// process; they are looked up once.
using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtQueryDirectoryFileFn = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG,
                                                BOOLEAN, PUNICODE_STRING, BOOLEAN);
using NtQueryInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);

constexpr ULONG kFileOpen = 0x00000001;                    // FILE_OPEN
constexpr ULONG kDirectoryFile = 0x00000001;               // FILE_DIRECTORY_FILE
constexpr ULONG kNonDirectoryFile = 0x00000040;            // FILE_NON_DIRECTORY_FILE
constexpr ULONG kSynchronousIoNonAlert = 0x00000020;       // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kOpenReparsePoint = 0x00200000;            // FILE_OPEN_REPARSE_POINT
constexpr ULONG kFileIdBothDirectoryInformation = 37;      // FILE_INFORMATION_CLASS
constexpr ULONG kFileInternalInformation = 6;              // FILE_INFORMATION_CLASS: the file id
constexpr ULONG kObjCaseInsensitive = 0x00000040;          // OBJ_CASE_INSENSITIVE
constexpr ULONG kFileNameInformation = 9;                  // FILE_INFORMATION_CLASS: the name on the volume
constexpr NTSTATUS kBufferOverflow = static_cast<NTSTATUS>(0x80000005);  // STATUS_BUFFER_OVERFLOW
constexpr NTSTATUS kSharingViolation = static_cast<NTSTATUS>(0xC0000043);  // STATUS_SHARING_VIOLATION
constexpr NTSTATUS kNotOpened = static_cast<NTSTATUS>(0xC0000001);  // STATUS_UNSUCCESSFUL: no open was tried

NtCreateFileFn NtCreateFileEntry() {
  static const NtCreateFileFn fn = NtdllFunction<NtCreateFileFn>("NtCreateFile");
  return fn;
}

NtQueryDirectoryFileFn NtQueryDirectoryFileEntry() {
  static const NtQueryDirectoryFileFn fn = NtdllFunction<NtQueryDirectoryFileFn>("NtQueryDirectoryFile");
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

// Reads the listing of `folder`, from its start, matching `mask` (all entries when null).
std::vector<FolderEntry> Query(HANDLE folder, const std::wstring* mask, bool single) {
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

// "\\?\C:\..." as "C:\...", "\\?\UNC\server\..." as "\\server\...". Any other device form
// ("\\?\GLOBALROOT\...", a volume GUID path) stays as it is: it names no drive.
std::wstring WithoutDevicePrefix(std::wstring path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + path.substr(7);
  if (path.rfind(L"\\\\?\\", 0) == 0 && path.size() >= 6 && path[5] == L':') return path.substr(4);
  return path;
}

}  // namespace

FileObject FileObject::OpenFolder(const std::wstring& path) {
  FileHandle opened(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  // The one place a CreateFile result becomes a FileObject's: empty stays empty.
  return FileObject(KernelHandle(opened ? opened.release() : nullptr));
}

namespace {

// NtCreateFile of `name` relative to `folder`, never following a link at the name itself. Empty
// when `folder` is (an empty root handle would make the name a full path).
KernelHandle OpenRelative(const KernelHandle& folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                          ULONG options, bool followLink = false, NTSTATUS* result = nullptr) {
  const auto create = NtCreateFileEntry();
  if (result) *result = kNotOpened;
  if (!create || !folder) return {};
  UNICODE_STRING counted = Counted(name);
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  attributes.RootDirectory = folder.get();
  attributes.ObjectName = &counted;
  attributes.Attributes = kObjCaseInsensitive;
  IO_STATUS_BLOCK io{};
  HANDLE h = nullptr;
  const NTSTATUS status = create(&h, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, share, kFileOpen,
                                 options | (followLink ? 0 : kOpenReparsePoint) | kSynchronousIoNonAlert, nullptr, 0);
  if (result) *result = status;
  return KernelHandle(status == 0 ? h : nullptr);
}

}  // namespace

FileObject FileObject::OpenPassage(const FolderEntry& entry) const {
  return FileObject(OpenRelative(handle_, entry.name, FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kDirectoryFile));
}

FileObject FileObject::OpenLinkItself(const FolderEntry& entry) const {
  return FileObject(OpenRelative(handle_, entry.name, FILE_READ_ATTRIBUTES | READ_CONTROL,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0));
}

FileObject FileObject::OpenThroughLink(const FolderEntry& entry) const {
  return FileObject(OpenRelative(handle_, entry.name, FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kDirectoryFile,
                                    /*followLink=*/true));
}

File FileObject::OpenFileForReading(const FolderEntry& entry) const {
  File file;
  if (KernelHandle opened = OpenRelative(handle_, entry.name, GENERIC_READ, FILE_SHARE_READ, kNonDirectoryFile))
    file.Attach(opened.release());
  return file;
}

FileObject FileObject::OpenSubfolder(const FolderEntry& entry) const {
  return FileObject(OpenRelative(handle_, entry.name, DELETE | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, kDirectoryFile));
}

namespace {

// `name` in upper case as the system compares names (the invariant culture, not the user's).
std::wstring Upper(const std::wstring& name) {
  std::wstring out(name);
  if (!out.empty())
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.data(), static_cast<int>(name.size()), out.data(),
                  static_cast<int>(out.size()), nullptr, nullptr, 0);
  return out;
}

// The path of the open file or folder below its volume's root ("\\x\\y"), as the file system
// names the object the handle holds; "" when it cannot say.
std::wstring NameOnVolume(HANDLE handle) {
  const auto query = NtQueryInformationFileEntry();
  if (!query || !handle) return L"";
  // FILE_NAME_INFORMATION: the name's length in bytes, then the name. Most paths fit the first
  // buffer; a longer one says how long it is.
  std::vector<unsigned char> buffer(sizeof(ULONG) + MAX_PATH * sizeof(wchar_t));
  for (int attempt = 0; attempt < 2; ++attempt) {
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = query(handle, &io, buffer.data(), static_cast<ULONG>(buffer.size()), kFileNameInformation);
    ULONG length = 0;
    std::memcpy(&length, buffer.data(), sizeof length);
    if (status == 0)
      return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + sizeof length), length / sizeof(wchar_t));
    if (status != kBufferOverflow) return L"";
    buffer.resize(sizeof(ULONG) + length);
  }
  return L"";
}

// True when the handle holds a reparse point itself (not the object it leads to).
bool HoldsReparsePointItself(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  return GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
         (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

// Opened without following a link at the name; before anything is marked, the object opened must
// be the link itself or the file whose own name is this folder's name and `entry`'s: a system
// that follows a link whatever the flags (Wine) would otherwise delete its target.
bool FileObject::DeleteFileEntry(const FolderEntry& entry) const {
  const FileObject file(OpenRelative(handle_, entry.name, DELETE | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kNonDirectoryFile));
  if (!file) return false;
  if (!HoldsReparsePointItself(file.get())) {
    if (nameOnVolume_.empty()) {
      nameOnVolume_ = NameOnVolume(handle_.get());
      if (nameOnVolume_.empty()) return false;
      if (nameOnVolume_.back() != L'\\') nameOnVolume_ += L'\\';
    }
    const std::wstring actual = NameOnVolume(file.get());
    if (actual.empty() || Upper(nameOnVolume_ + entry.name) != Upper(actual)) return false;
  }
  return file.MarkForDeletion();
}

bool FileObject::InUse(const FolderEntry& entry) const {
  // Delete access meets every handle open without delete sharing; write access on a file also
  // meets the system's mapping of a running program's image. Reading and writing are shared, so a
  // reader that shares deletion (a scanner, an indexer) is no such use.
  const ACCESS_MASK access = DELETE | (entry.IsFolder() ? 0 : FILE_WRITE_DATA);
  NTSTATUS status = kNotOpened;
  OpenRelative(handle_, entry.name, access, FILE_SHARE_READ | FILE_SHARE_WRITE,
               entry.IsFolder() ? kDirectoryFile : kNonDirectoryFile, false, &status);
  return status == kSharingViolation;
}

std::vector<FolderEntry> FileObject::List() const { return Query(handle_.get(), nullptr, false); }

std::optional<FolderEntry> FileObject::Find(const std::wstring& name) const {
  if (name.empty() || name.find_first_of(L"*?<>\"") != std::wstring::npos) return std::nullopt;
  auto found = Query(handle_.get(), &name, true);
  if (found.empty()) return std::nullopt;
  return found.front();
}

FolderListing::FolderListing(const FileObject& folder) : entries_(folder.List()) {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    index_.emplace_back(Upper(entries_[i].name), i);
    if (!entries_[i].shortName.empty()) index_.emplace_back(Upper(entries_[i].shortName), i);
  }
  std::sort(index_.begin(), index_.end());
}

const FolderEntry* FolderListing::Find(const std::wstring& name) const {
  if (name.empty() || name.find_first_of(L"*?<>\"\\/") != std::wstring::npos) return nullptr;
  const std::wstring key = Upper(name);
  const auto it = std::lower_bound(index_.begin(), index_.end(), std::make_pair(key, std::size_t{0}));
  return it != index_.end() && it->first == key ? &entries_[it->second] : nullptr;
}

bool FileObject::IsReparsePoint() const {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  return !GetFileInformationByHandleEx(handle_.get(), FileAttributeTagInfo, &tag, sizeof tag) ||
         (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool FileObject::OwnedByAdministrators() const {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle_.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      &descriptor) != ERROR_SUCCESS)
    return false;
  const LocalMemory ownedDescriptor(descriptor);  // `owner` points into it
  // NT SERVICE\TrustedInstaller: S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464.
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID made = nullptr;
  AllocateAndInitializeSid(&nt, 6, 80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u, 0, 0, &made);
  const Sid trustedInstaller(made);
  return owner != nullptr &&
         (IsWellKnownSid(owner, WinLocalSystemSid) || IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
          (trustedInstaller && EqualSid(owner, trustedInstaller.get())));
}

FileId FileObject::Identity() const {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle_.get(), &info)) return {};
  return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

bool FileObject::HoldsListed(const FolderEntry& entry) const {
  const auto query = NtQueryInformationFileEntry();
  if (!query || !handle_) return false;
  IO_STATUS_BLOCK io{};
  LARGE_INTEGER id{};  // FILE_INTERNAL_INFORMATION
  if (query(handle_.get(), &io, &id, sizeof id, kFileInternalInformation) != 0) return false;
  return static_cast<std::uint64_t>(id.QuadPart) == entry.id;
}

std::wstring FileObject::FinalPath() const {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(handle_.get(), path.data(), static_cast<DWORD>(path.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return L"";
    if (n < path.size()) {
      path.resize(n);
      return WithoutDevicePrefix(path);
    }
    path.resize(n);
  }
}

bool FileObject::MarkForDeletion() const {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(handle_.get(), FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

}  // namespace fw
