#include "FileObject.h"

#include <aclapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstring>

#include "NativeFiles.h"
#include "WideText.h"
#include "FullPath.h"

namespace fw {

FileObject FileObject::OpenFolder(const std::wstring& path) {
  FileHandle opened(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  // The one place a CreateFile result becomes a FileObject's: empty stays empty.
  return FileObject(KernelHandle(opened ? opened.release() : nullptr));
}

FileObject FileObject::OpenPassage(const FolderEntry& entry) const {
  return FileObject(native::OpenRelative(handle_, entry.name, FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, native::kDirectoryFile));
}

FileObject FileObject::OpenLinkItself(const FolderEntry& entry) const {
  return FileObject(native::OpenRelative(handle_, entry.name, FILE_READ_ATTRIBUTES | READ_CONTROL,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0));
}

FileObject FileObject::OpenThroughLink(const FolderEntry& entry) const {
  return FileObject(native::OpenRelative(handle_, entry.name, FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, native::kDirectoryFile,
                                    /*followLink=*/true));
}

File FileObject::OpenFileForReading(const FolderEntry& entry) const {
  File file;
  if (KernelHandle opened = native::OpenRelative(handle_, entry.name, GENERIC_READ, FILE_SHARE_READ, native::kNonDirectoryFile))
    file.Attach(opened.release());
  return file;
}

FileObject FileObject::CreateFolder(const std::wstring& name, PSECURITY_DESCRIPTOR descriptor) const {
  return FileObject(native::CreateRelative(handle_, name, FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, native::kDirectoryFile,
                                           descriptor));
}

File FileObject::CreateNewFile(const std::wstring& name, PSECURITY_DESCRIPTOR descriptor) const {
  File file;
  if (KernelHandle made = native::CreateRelative(handle_, name, GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0,
                                                 native::kNonDirectoryFile, descriptor))
    file.Attach(made.release());
  return file;
}

FileObject FileObject::HoldAlone(const std::wstring& name, PSECURITY_DESCRIPTOR descriptor, bool& heldElsewhere) const {
  // Delete access takes part in the sharing check as reading and writing do; an open asking only
  // for attributes or for the security descriptor does not, and cannot hold it.
  LONG status = native::kNotOpened;
  FileObject held(native::CreateRelative(handle_, name, DELETE | FILE_READ_ATTRIBUTES, 0,
                                         native::kNonDirectoryFile | native::kDeleteOnClose, descriptor,
                                         /*openExisting=*/true, &status));
  heldElsewhere = status == native::kSharingViolation || status == native::kDeletePending;
  return held;
}

FileObject FileObject::ReopenForDeletion() const {
  // An empty name relative to a handle names the object the handle holds.
  return FileObject(native::OpenRelative(handle_, L"", DELETE | FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0));
}

FileObject FileObject::OpenSubfolder(const FolderEntry& entry) const {
  return FileObject(native::OpenRelative(handle_, entry.name, DELETE | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, native::kDirectoryFile));
}

// Opened without following a link at the name; before anything is marked, the object opened must
// be the one whose own name is this folder's name and `entry`'s (a link opened itself is): a
// system that follows a link whatever the flags (Wine) would otherwise delete its target. One
// query of the file's name per file, the folder's asked once. The names are compared exactly:
// both come from the file system as the folders store them (the folder was reached, and the file
// opened, by the listing's names), and a target whose path differs only in case is another file.
bool FileObject::DeleteFileEntry(const FolderEntry& entry) const {
  const FileObject file(native::OpenRelative(handle_, entry.name, DELETE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, native::kNonDirectoryFile));
  if (!file) return false;
  if (objectName_.empty()) {
    objectName_ = native::ObjectName(handle_.get());
    if (objectName_.empty()) return false;
    if (objectName_.back() != L'\\') objectName_ += L'\\';
  }
  const std::wstring actual = native::ObjectName(file.get());
  const bool same = actual.size() == objectName_.size() + entry.name.size() &&
                    actual.compare(0, objectName_.size(), objectName_) == 0 &&
                    actual.compare(objectName_.size(), std::wstring::npos, entry.name) == 0;
  return same && file.MarkForDeletion();
}

bool FileObject::InUse(const FolderEntry& entry) const {
  // Delete access meets every handle open without delete sharing; write access on a file also
  // meets the system's mapping of a running program's image. Reading and writing are shared, so a
  // reader that shares deletion (a scanner, an indexer) is no such use.
  const ACCESS_MASK access = DELETE | (entry.IsFolder() ? 0 : FILE_WRITE_DATA);
  LONG status = native::kNotOpened;
  native::OpenRelative(handle_, entry.name, access, FILE_SHARE_READ | FILE_SHARE_WRITE,
               entry.IsFolder() ? native::kDirectoryFile : native::kNonDirectoryFile, false, &status);
  return status == native::kSharingViolation;
}

std::vector<FolderEntry> FileObject::List() const { return native::QueryDirectory(handle_.get(), nullptr, false); }

std::optional<FolderEntry> FileObject::Find(const std::wstring& name) const {
  if (name.empty() || name.find_first_of(L"*?<>\"") != std::wstring::npos) return std::nullopt;
  auto found = native::QueryDirectory(handle_.get(), &name, true);
  if (found.empty()) return std::nullopt;
  return found.front();
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
  const auto id = native::FileIdOf(handle_.get());
  return id && *id == entry.id;
}

std::wstring FileObject::FinalPath() const {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(handle_.get(), path.data(), static_cast<DWORD>(path.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return L"";
    if (n < path.size()) {
      path.resize(n);
      // The system answers with a device path ("\\?\C:\..."): the plain path it names, or, for a
      // device path that names no drive or share, that path as it stands.
      return PlainFormOf(std::wstring_view(path)).value_or(path);
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
