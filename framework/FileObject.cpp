#include "FileObject.h"

#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>

#include <algorithm>
#include <cstring>

#include "NativeFiles.h"
#include "WideText.h"
#include "FullPath.h"

namespace fw {

LocalMemory AdministratorsOnly(bool folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          folder ? L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)" : L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)", SDDL_REVISION_1,
          &descriptor, nullptr))
    return {};
  return LocalMemory(descriptor);
}

FileObject FileObject::OpenFolder(const std::wstring& path) {
  FileHandle opened(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  // The one place a CreateFile result becomes a FileObject's: empty stays empty.
  return FileObject(KernelHandle(opened ? opened.release() : nullptr));
}

FileObject FileObject::OpenPassage(const FolderEntry& entry) const {
  // READ_CONTROL: a link met in it is trusted only by its folder's access list too.
  return FileObject(native::OpenRelative(handle_, entry.name, FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, native::kDirectoryFile));
}

FileObject FileObject::OpenLinkItself(const FolderEntry& entry) const {
  return FileObject(native::OpenRelative(handle_, entry.name, FILE_READ_ATTRIBUTES | READ_CONTROL,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0));
}

FileObject FileObject::OpenThroughLink(const FolderEntry& entry) const {
  return FileObject(native::OpenRelative(handle_, entry.name, FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL,
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
DeleteOutcome FileObject::DeleteFileEntry(const FolderEntry& entry, SetAside* setAside) const {
  LONG status = native::kNotOpened;
  const FileObject file(native::OpenRelative(handle_, entry.name, DELETE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, native::kNonDirectoryFile,
                                     false, &status));
  if (!file) return status == native::kSharingViolation ? DeleteOutcome::Held : DeleteOutcome::NotDeleted;
  if (objectName_.empty()) {
    objectName_ = native::ObjectName(handle_.get());
    if (objectName_.empty()) return DeleteOutcome::NotDeleted;
    if (objectName_.back() != L'\\') objectName_ += L'\\';
  }
  const std::wstring actual = native::ObjectName(file.get());
  const bool same = actual.size() == objectName_.size() + entry.name.size() &&
                    actual.compare(0, objectName_.size(), objectName_) == 0 &&
                    actual.compare(objectName_.size(), std::wstring::npos, entry.name) == 0;
  if (!same) return DeleteOutcome::NotDeleted;
  if (file.MarkForDeletion()) return DeleteOutcome::Deleted;
  // Refused although opened for deletion: read-only stays, as the system says; anything else is
  // in use (the mark is refused for an image the system maps). One that cannot be moved aside
  // either stays, and counts as held: the user is told of it.
  const bool readOnly = (entry.attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly || !setAside) return DeleteOutcome::NotDeleted;
  return setAside->Take(file) ? DeleteOutcome::SetAside : DeleteOutcome::Held;
}

bool FileObject::MoveInto(HANDLE folder, const std::wstring& name) const {
  return native::RenameInto(handle_.get(), folder, name);
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

namespace {

// NT SERVICE\TrustedInstaller: S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464.
bool IsTrustedInstaller(PSID sid) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID made = nullptr;
  AllocateAndInitializeSid(&nt, 6, 80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u, 0, 0, &made);
  const Sid trustedInstaller(made);
  return trustedInstaller && EqualSid(sid, trustedInstaller.get());
}

bool IsAdministrator(PSID sid) {
  return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
         IsTrustedInstaller(sid);
}

}  // namespace

OwnerKind FileObject::Owner() const {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle_.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      &descriptor) != ERROR_SUCCESS)
    return OwnerKind::Unknown;
  const LocalMemory ownedDescriptor(descriptor);  // `owner` points into it
  if (owner == nullptr) return OwnerKind::Unknown;
  if (IsTrustedInstaller(owner)) return OwnerKind::TrustedInstaller;
  if (IsAdministrator(owner)) return OwnerKind::Administrators;
  return OwnerKind::Other;
}

std::optional<std::vector<AccessEntry>> FileObject::AccessList() const {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle_.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                      &descriptor) != ERROR_SUCCESS)
    return std::nullopt;
  const LocalMemory ownedDescriptor(descriptor);  // `dacl` points into it
  if (dacl == nullptr) return std::nullopt;
  std::vector<AccessEntry> entries;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) return std::nullopt;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    const bool inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      // Both kinds share their layout: header, mask, then the SID.
      auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      entries.push_back({header->AceType == ACCESS_ALLOWED_ACE_TYPE, IsAdministrator(&allowed->SidStart) != FALSE,
                         inheritOnly, allowed->Mask});
    } else {
      // An entry of a kind not read here (an object or callback entry) counts as allowing anyone
      // everything: nothing unread is trusted.
      entries.push_back({true, false, inheritOnly, 0xFFFFFFFFu});
    }
  }
  return entries;
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
