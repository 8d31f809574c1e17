#pragma once
// Where the launcher stages the remover: a folder made new for each start directly in the system's
// Windows folder, which only administrators can write, owned by the Administrators group and
// admitting only administrators and the system itself. Nothing a program without administrator
// rights can change (TEMP, TMP, a folder of the user's, a link) takes part in naming the file that
// is started.
#include <string>

#include "File.h"
#include "FileObject.h"

// What earlier starts left behind.
enum class EarlierStarts {
  Ended,    // their staged files and folders were removed (what could be)
  Running,  // a start of this session is under way, or its remover still runs
};

// Held by a start from before it looks for earlier starts until its own folder is its current
// folder, so that of two starts of a session made at once the second finds the first under way.
// A file of the Windows folder ("~uninst.korvane.", the session's number, ".lock") that only
// administrators can make or open, held by one start alone and gone when it is let go (also when
// the process ends): nobody else can take it to stop an uninstall.
class StartLock {
 public:
  // Waits while another start of the session holds the lock, at most 10 seconds.
  explicit StartLock(const fw::FileObject& windowsFolder);
  bool Held() const { return static_cast<bool>(lock_); }
  void Release() { lock_.Close(); }

 private:
  fw::FileObject lock_;
};

// Removes the staged file and the folder of every earlier start that is over, and nothing else: a
// folder holding anything more keeps it all. Each folder is taken as an entry of the Windows
// folder and opened relative to it, never through a link. A start is under way while its
// folder is the current folder of its launcher and then of its remover (set before the staged
// file is written), and its remover runs while its staged file is mapped as a running image or
// held: neither can be removed, and only administrators can open anything in these folders, so
// nobody else can give that sign. Folders of other sessions are cleared when they are over, but
// never stop this start.
EarlierStarts ClearEarlierStarts(const fw::FileObject& windowsFolder);

// One start's folder, made by the constructor in the Windows folder and held by handle; the staged
// file is made and opened relative to that handle. Until Keep() is called, the destructor removes
// the staged file and the folder again through handles (a failed start leaves nothing behind).
class StagingFolder {
 public:
  StagingFolder(const fw::FileObject& windowsFolder, const std::wstring& windowsPath);
  ~StagingFolder();
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;

  // False when no new folder could be made (not an administrator, say).
  bool Made() const { return static_cast<bool>(folder_); }
  const std::wstring& Path() const { return path_; }  // no trailing backslash
  std::wstring StagedFile() const;                    // "~uninst.exe" in it, for starting it
  // Makes "~uninst.exe", open for writing and shared with nobody, with a security descriptor of
  // its own: owned by the Administrators group whatever the system's policy for what
  // administrators make, full control for administrators and the system, nothing for anyone
  // else. Not open when anything has that name.
  fw::File CreateStaged() const;
  // Opens "~uninst.exe" read-only, other readers admitted and writers shut out; a link at the
  // name is never followed.
  fw::File OpenStaged() const;
  void Keep() { kept_ = true; }

 private:
  std::wstring windowsPath_, path_;
  fw::FileObject folder_;  // listing and passing through, no delete access: it is a current folder
  bool kept_ = false;
};
