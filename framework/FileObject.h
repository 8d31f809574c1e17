#pragma once
// A file or folder held open by handle, for work that a name must not steer: a folder is listed
// through its handle, and its entries are opened relative to that handle, never by a full path
// that another account could re-point (a folder swapped for a junction, a link in a parent).
// Names are UTF-16, as the system stores them.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "AccessList.h"
#include "File.h"
#include "FolderEntry.h"
#include "Win32Handles.h"

namespace fw {

// Who owns a file or folder, as far as trust goes.
enum class OwnerKind {
  Unknown,           // the owner cannot be read
  Other,             // a user (or anyone but the below)
  Administrators,    // SYSTEM or the Administrators group
  TrustedInstaller,  // NT SERVICE\TrustedInstaller: a component of Windows
};

class FileObject;

// A security descriptor owned by the Administrators group whatever the system's policy for
// objects administrators make (it may name their creator, whose programs without administrator
// rights would then hold WRITE_DAC), with full control for SYSTEM and Administrators and nothing
// for anyone else, not inherited from the parent; for a folder, its entries inherit it. Empty when
// the system cannot make it.
LocalMemory AdministratorsOnly(bool folder);

// What a deletion came to.
enum class DeleteOutcome {
  Deleted,     // marked, gone when the last handle closes
  NotDeleted,  // not there, not this entry, read-only, or refused for another reason
  SetAside,    // in use although opened for deletion (a running image): handed to a SetAside, which moved it
  Held,        // another program holds it (it could not be opened for deletion, or, in use, not moved aside)
};

// Takes a file that is in use and cannot be deleted now, through its open handle (opened with
// delete access, proven to be the entry meant): true when it moved the file away.
class SetAside {
 public:
  virtual ~SetAside() = default;
  virtual bool Take(const FileObject& file) = 0;
};

class FileObject {
 public:
  FileObject() = default;

  // Opens the folder at `path` (a full path) for listing and deletion. Links in the path's
  // parents are followed; whether the result is where the caller meant is for FinalPath to say.
  static FileObject OpenFolder(const std::wstring& path);
  // Opens the sub-folder `entry` of this folder relative to its handle, without following a link
  // at the entry itself, shared without delete access (nobody renames it away or puts something
  // else in its place while it is held). Empty when it cannot be opened (gone, held, access
  // denied) or is no longer a folder.
  FileObject OpenSubfolder(const FolderEntry& entry) const;
  // Opens the sub-folder `entry` of this folder to pass through it (list it, open what is in it):
  // relative to this handle, without following a link at the entry, with no delete access and
  // every sharing, so that no other program's handle stands in the way. Empty when it cannot be
  // opened or is no longer a folder.
  FileObject OpenPassage(const FolderEntry& entry) const;
  // Opens the link `entry` of this folder itself, to read who made it (its owner).
  FileObject OpenLinkItself(const FolderEntry& entry) const;
  // Opens the folder the link `entry` of this folder leads to (the system follows the link).
  FileObject OpenThroughLink(const FolderEntry& entry) const;
  // Opens the file `entry` of this folder for reading, without following a link at the entry;
  // other readers admitted, writers shut out. Not open when it cannot be opened.
  File OpenFileForReading(const FolderEntry& entry) const;
  // Makes the folder `name` new in this folder with the security descriptor `descriptor`, opened to
  // pass through it (list it, open and make what is in it) with every sharing and no delete access,
  // so that it can also be a process's current folder. Empty when anything of that name exists, a
  // link included, or the system refuses.
  FileObject CreateFolder(const std::wstring& name, PSECURITY_DESCRIPTOR descriptor) const;
  // Makes the file `name` new in this folder with the security descriptor `descriptor`, open for
  // writing and shared with nobody. Not open when anything of that name exists, a link included.
  File CreateNewFile(const std::wstring& name, PSECURITY_DESCRIPTOR descriptor) const;
  // Opens the file `name` of this folder, making it with `descriptor` when there is none, held by
  // this handle alone: no other open that reads, writes or deletes it succeeds meanwhile, and the
  // file goes when the handle closes. A link at the name is opened itself, never followed. Empty
  // when that cannot be done; `heldElsewhere` then says whether that is because another holds it
  // or has just let it go (so that trying again may succeed).
  FileObject HoldAlone(const std::wstring& name, PSECURITY_DESCRIPTOR descriptor, bool& heldElsewhere) const;
  // This object opened again, through this handle and never by a name, with delete access and
  // every sharing (for a folder held without delete access, so that it can be a current folder).
  // Empty when the system refuses.
  FileObject ReopenForDeletion() const;
  // Deletes the file `entry` of this folder: opened relative to its handle, never following a
  // link (a file link goes as the link itself), never a folder, for deletion when closed; a file
  // the system will not delete (read-only, held) stays. Whatever file has that name in this
  // folder goes, so nothing outside the folder can be reached: the object opened is deleted only
  // when its name (native::ObjectName) is exactly this folder's and the entry's, which a link
  // opened itself passes (a system that follows the link anyway, as Wine does, names the target:
  // it is left alone, whatever the case of its path).
  bool DeleteFileEntry(const FolderEntry& entry) const { return DeleteFileEntry(entry, nullptr) == DeleteOutcome::Deleted; }
  // The same, saying what it came to; a file that was opened for deletion and proven, but whose
  // mark the system refuses although it is not read-only (a running program's image, a loaded
  // library), is handed to `setAside` when given.
  DeleteOutcome DeleteFileEntry(const FolderEntry& entry, SetAside* setAside) const;
  // Moves this file into `folder` (opened to add files, on the same volume) as `name`, through
  // both handles. False when the system refuses.
  bool MoveInto(HANDLE folder, const std::wstring& name) const;

  // True when the entry `entry` of this folder is in use in a way that keeps it from being
  // deleted: a handle to it is open without delete sharing (a program's own file held, a folder
  // that is a process's current folder), or, for a file, the system maps it as a running
  // program's image. Nothing is changed: the open that finds this out asks for delete (and, for
  // a file, write) access, shares reading and writing, and is closed at once.
  bool InUse(const FolderEntry& entry) const;

  explicit operator bool() const { return static_cast<bool>(handle_); }
  HANDLE get() const { return handle_.get(); }

  // Every entry of this folder ("." and ".." included), read to the end before the caller acts
  // on any of them. Empty when the folder cannot be listed.
  std::vector<FolderEntry> List() const;
  // The entry of this folder that `name` names (its long name as the folder stores it, also when
  // `name` is a short 8.3 name). Wildcards are never matched: a name holding one finds nothing.
  // Once per handle: the system keeps the name of a handle's first query for all later ones, so a
  // second Find (or a List) on the same handle would answer for the first name. To look up
  // several names in one folder, use a FolderListing.
  std::optional<FolderEntry> Find(const std::wstring& name) const;

  // True when this handle holds `entry` as it was listed: the same file system identity. An entry
  // replaced since the listing, by another file or folder or by a link to one, fails this.
  bool HoldsListed(const FolderEntry& entry) const;
  bool IsReparsePoint() const;
  OwnerKind Owner() const;
  // The object's own access list (its DACL); nullopt when it has none (everyone may do
  // everything) or it cannot be read.
  std::optional<std::vector<AccessEntry>> AccessList() const;
  // True when the object's owner is SYSTEM, TrustedInstaller or the Administrators group: only
  // an administrator made it (or took it over). False when the owner cannot be read.
  bool OwnedByAdministrators() const {
    const OwnerKind owner = Owner();
    return owner == OwnerKind::Administrators || owner == OwnerKind::TrustedInstaller;
  }
  // Which object this is: volume serial and file id. Zero values when the system cannot say.
  FileId Identity() const;
  // The path with every link resolved ("C:\\..." or "\\\\server\\share\\..."), or "" when the system
  // cannot tell.
  std::wstring FinalPath() const;

  // Marks the file or (empty) folder for deletion; it goes when the last handle to it closes,
  // which for an object only this process holds is at Close. False when the system refuses
  // (a read-only file, a folder that is not empty, ...).
  bool MarkForDeletion() const;
  void Close() { handle_.reset(); }

 private:
  explicit FileObject(KernelHandle handle) : handle_(std::move(handle)) {}
  KernelHandle handle_;  // null when empty, as the native opens report failure
  // This folder's object name (native::ObjectName) with a separator behind it, read on the first
  // DeleteFileEntry: a walk deletes many files of one folder.
  mutable std::wstring objectName_;
};

}  // namespace fw
