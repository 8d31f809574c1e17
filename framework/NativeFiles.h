#pragma once
// The native calls on files that Win32 has no form of, for FileObject and FolderListing: an open
// relative to a folder handle, a listing that can look up one name, a handle's object name and its
// file id alone (GetFileInformationByHandle asks for everything, the name included: under
// Wine that costs a millisecond per file of a walk). Looked up in ntdll once, never imported.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FolderEntry.h"
#include "Win32Handles.h"

namespace fw::native {

constexpr ULONG kDirectoryFile = 0x00000001;     // FILE_DIRECTORY_FILE
constexpr ULONG kNonDirectoryFile = 0x00000040;  // FILE_NON_DIRECTORY_FILE
constexpr LONG kSharingViolation = static_cast<LONG>(0xC0000043);  // STATUS_SHARING_VIOLATION
constexpr LONG kNotOpened = static_cast<LONG>(0xC0000001);         // STATUS_UNSUCCESSFUL: no open tried
constexpr LONG kDeletePending = static_cast<LONG>(0xC0000056);     // STATUS_DELETE_PENDING
constexpr ULONG kDeleteOnClose = 0x00001000;                       // FILE_DELETE_ON_CLOSE

// NtCreateFile of `name` relative to `folder`, never following a link at the name itself (unless
// `followLink`). Empty when `folder` is: an empty root would make the name a full path of the
// system's own. `result`, when given, receives the status.
KernelHandle OpenRelative(const KernelHandle& folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                          ULONG options, bool followLink = false, LONG* result = nullptr);
// NtCreateFile making `name` new in `folder` with the security descriptor `descriptor` (null: the
// system's default for the folder): anything of that name, a link included, makes it fail.
// `dispositionOpenIf` opens what is there instead of failing (a link at the name itself, never
// followed). Empty when `folder` is; `result`, when given, receives the status.
KernelHandle CreateRelative(const KernelHandle& folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                            ULONG options, PSECURITY_DESCRIPTOR descriptor, bool openExisting = false,
                            LONG* result = nullptr);
// The listing of `folder` from its start, matching `mask` (all entries when null); with `single`,
// the first match only.
std::vector<FolderEntry> QueryDirectory(HANDLE folder, const std::wstring* mask, bool single);
// The name of the object the handle holds, its volume's device and the path below it, as the file
// system names it ("\\Device\\HarddiskVolume1\\x\\y"; Wine gives "\\??\\C:\\x\\y"); "" when it cannot
// say. One query, without the file's own data: the object's name is the server's, on Wine too.
std::wstring ObjectName(HANDLE handle);
// The file id of the object the handle holds; nullopt when the system cannot say.
std::optional<std::uint64_t> FileIdOf(HANDLE handle);
// Moves the file `file` holds (opened with DELETE) to the entry `name` of `folder` (opened to add
// a file), through both handles, never replacing anything there. False when the system refuses
// (another volume, the name taken, ...).
bool RenameInto(HANDLE file, HANDLE folder, const std::wstring& name);

}  // namespace fw::native
