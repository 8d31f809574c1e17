#pragma once
// What the remover asks the system about programs that hold the product's files.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FileObject.h"

namespace remover {

// Files that are in use and cannot be deleted now (a product program still running when the user
// chose to go on) are moved, through the handle opened and proven for the deletion, into a folder
// of this run that only administrators can change, on the file's own volume: the remover's
// staging folder when the file is on its volume, else a folder made new at that volume's root.
// Each is then scheduled for deletion at the next restart by its path there, and, after the
// files, the folders made for them and the staging folder itself (ScheduleFolders). The only paths
// ever handed to the restart are inside these folders: no link anybody plants in the product's
// folders before the restart can redirect a deletion, and a reinstall to the same place loses
// nothing.
class RestartAside final : public fw::SetAside {
 public:
  RestartAside();
  bool Take(const fw::FileObject& file) override;
  // A file another program holds so that it cannot even be opened for deletion: it stays, and is
  // named at the end; never scheduled.
  // Named once, however often it is met (listed, then in a walked folder).
  void Held(std::wstring shown);
  // Where the files moved aside were (their paths before the move), and the files that stay.
  const std::vector<std::wstring>& Moved() const { return moved_; }
  const std::vector<std::wstring>& Staying() const { return staying_; }
  // At the end of the removal: the folders made for moved files, then the staging folder with
  // the remover's own file, for deletion at the next restart.
  void ScheduleFolders();

 private:
  struct Folder {
    fw::KernelHandle handle;  // opened to add files
    std::wstring path;
    std::uint64_t volume;
    bool made;  // made for this run (else the staging folder)
  };
  Folder* FolderOn(std::uint64_t volume, const std::wstring& finalPath);

  std::optional<std::wstring> staging_;  // the remover's own folder, when it is a staging folder
  std::vector<Folder> folders_;
  std::vector<std::wstring> moved_, staying_;
  std::vector<std::u16string> stayingKeys_;  // comparable forms of staying_
};

// The display names of the programs that the Restart Manager says hold any of `files` (full
// paths), each once; empty where the system has no Restart Manager or it names none.
std::vector<std::wstring> ProgramsHolding(const std::vector<std::wstring>& files);

// Gives the launcher that started this remover a few seconds to end when it runs from
// `finalFile` (the records' final file, Uninst.exe): a running image cannot be deleted. Returns at
// once when the remover's parent is any other program or has ended.
void WaitForLauncherOf(const std::wstring& finalFile);

}  // namespace remover
