#include "Removal.h"

#include <optional>
#include <vector>

#include "Archive.h"
#include "File.h"
#include "FolderGuard.h"
#include "FolderTree.h"
#include "Records.h"
#include "RemovalDescription.h"
#include "RemovalRules.h"
#include "Shortcuts.h"
#include "Text.h"
#include "Trailer.h"
#include "WideText.h"

namespace remover {

namespace {

// A path of the records as the system takes it (removal::PathForSystem); nullopt for one the
// remover never acts on.
std::optional<std::wstring> SystemPath(const std::string& gbk) {
  const auto path = removal::PathForSystem(gbk);
  return path ? std::optional<std::wstring>(fw::AsWide(*path)) : std::nullopt;
}

// A listed folder, converted once where the records give it: the path the system is given, and
// the text the status line shows (the same text; for one that is not GBK, with a replacement
// character where it is not).
struct ListedFolder {
  std::optional<std::wstring> path;
  std::wstring shown;
};

ListedFolder FromRecord(const std::string& gbk) {
  auto path = SystemPath(gbk);
  std::wstring shown = path ? *path : *fw::GbkToWide(gbk, fw::BadGbk::Replace);
  return {std::move(path), std::move(shown)};
}

// The second pass over the records: acts on each item as it is read.
class RemovalPass : public payload::RecordVisitor {
 public:
  RemovalPass(std::uint32_t fileTotal, RemovalView& view, const RemoverEnvironment& env)
      : fileTotal_(fileTotal), view_(view), env_(env), guard_(env.guard) {}

  void OnHeader(const payload::RecordHeader& header) override {
    header_ = header;
    startMenuFolder_ = StartMenuFolderName(header.programFolderName);
    installFolder_ = fw::WithTrailingSeparator(header.installDir);
    // No link inside the install folder is followed: anyone who can write there could make one.
    install_ = fw::GbkToWide(header.installDir);
    scope_.emplace(guard_, install_.value_or(L""));
    files_.emplace(*scope_);
    RemoveResourceFolders();
  }

  void OnGroup(const std::string& folderPath, std::int32_t /*entryCount*/) override {
    if (!folderPath.empty()) folderList_.push_back(FromRecord(folderPath));
  }

  void OnEntry(const std::string& filePath) override {
    const auto path = SystemPath(filePath);
    if (!path || !files_->Delete(*path)) return;  // missing (or not the product's): no status, no progress
    view_.DeletingFile(*path);
    ++deletedCount_;
    view_.Progressed(removal::ProgressValue(static_cast<std::uint32_t>(deletedCount_), fileTotal_));
  }

  // After the records: the final file, then the folder handles the listed files needed are let go
  // (a held folder could not be removed).
  void DeleteFinalFile() {
    if (const auto path = SystemPath(header_.finalFile); path && files_) files_->Delete(*path);
    files_.reset();
  }

  const std::wstring& StartMenuFolder() const { return startMenuFolder_; }
  const std::vector<ListedFolder>& FolderList() const { return folderList_; }
  const RemovalScope& Scope() const { return *scope_; }

 private:
  // The folders "Resource.ini" in the install folder names, then the file itself; the install
  // folder and the file are reached by handle. Only an install folder given as a full path is
  // used: "\Resource.ini" would be a file at the root of the current drive, not the product's.
  // Nor one that is not GBK text: one ending in a lone lead byte would take the separator appended
  // to it as its second byte (0x81 + '\' is 乗) and name a sibling of the install folder.
  void RemoveResourceFolders() {
    if (!install_ || !fw::IsFullyQualified(installFolder_)) return;
    const auto folder = scope_->Reach(*install_);
    if (!folder) return;
    // An install folder the guard refuses under any of its names or by identity (a root, a
    // system folder or one that holds one, anything in the Windows tree) is nobody's product
    // folder: a "Resource.ini" there is not the product's to follow or to delete.
    const fw::FileId id = folder->folder.Identity();
    if (guard_.IsGuardedIdentity(id.volume, id.index) ||
        guard_.Judge({fw::AsUtf16(*install_), fw::AsUtf16(folder->path), fw::AsUtf16(folder->folder.FinalPath())}) ==
            removal::FolderVerdict::Refuse)
      return;
    const auto ini = folder->folder.Find(fw::AsWide(removal::kResourceList));
    if (!ini || ini->IsLink() || ini->IsFolder()) return;
    {
      fw::File file = folder->folder.OpenFileForReading(*ini);
      if (file.IsOpen()) {
        try {
          fw::Archive archive(file, fw::Archive::Mode::Load);
          std::string line;
          while (archive.ReadLine(line)) {
            if (const auto named = removal::ResourceFolderFromLine(line, installFolder_))
              if (const auto path = fw::GbkToWide(*named)) RemoveFolderTree(*path, TRUE, *scope_, env_.walk);
          }
        } catch (const std::runtime_error&) {
          // A read failure ends the list; what was named before it was handled.
        }
      }
    }
    folder->folder.DeleteFileEntry(*ini);
  }

  std::uint32_t fileTotal_;
  RemovalView& view_;
  const RemoverEnvironment& env_;
  const removal::FolderGuard& guard_;
  std::optional<RemovalScope> scope_;
  std::optional<ListedFiles> files_;
  payload::RecordHeader header_;
  std::wstring startMenuFolder_;  // converted where the records give it: "" names none
  std::string installFolder_;
  std::optional<std::wstring> install_;  // installDir as the system takes it; nullopt: not GBK
  std::vector<ListedFolder> folderList_;
  std::int32_t deletedCount_ = 0;
};

// Reads the whole record archive without acting on it: false when it is damaged.
bool RecordsReadThrough(fw::File& own, const payload::PayloadLocation& trailer) {
  try {
    payload::RecordVisitor check;
    payload::ReadRecords(own, trailer, check);
    return true;
  } catch (const std::runtime_error&) {
    return false;
  }
}

}  // namespace

int RunRemoval(fw::File& own, BOOL deleteHistory, RemovalView& view, const RemoverEnvironment& env) {
  if (!own.IsOpen()) return IDCANCEL;  // not opened, or not the remover's own file
  const auto trailer = payload::ReadTrailer(own);
  if (!trailer || !trailer->IsValid()) return IDCANCEL;
  if (!RecordsReadThrough(own, *trailer)) return IDCANCEL;

  RemovalPass pass(trailer->fileTotal, view, env);
  try {
    payload::ReadRecords(own, *trailer, pass);
  } catch (const std::runtime_error&) {
    // The file is held with writers shut out since the check, so this is a read failure of the
    // device itself: stop here, and leave the registry to a later run.
    return IDCANCEL;
  }
  own.Close();

  for (const removal::Step step : removal::kSteps) {
    switch (step) {
      case removal::Step::ResourceFolders:  // in the pass, with the records' header
      case removal::Step::ListedFiles:      // in the pass, each as it is read
        break;
      case removal::Step::FinalFile:
        pass.DeleteFinalFile();
        break;
      case removal::Step::ListedFolders: {
        const auto& folders = pass.FolderList();
        for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
          view.DeletingFolder(it->shown);
          if (it->path) RemoveFolderTree(*it->path, deleteHistory, pass.Scope(), env.walk);
        }
        break;
      }
      case removal::Step::Shortcuts:
        RemoveShortcuts(pass.StartMenuFolder(), env.shell, env.guard);
        break;
      case removal::Step::Registry:  // the dialog's, on this command (CleanRegistry)
        break;
    }
  }
  return IDOK;
}

}  // namespace remover
