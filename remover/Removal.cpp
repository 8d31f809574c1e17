#include "Removal.h"

#include <optional>
#include <utility>
#include <vector>

#include "File.h"
#include "FilesInUse.h"
#include "FolderGuard.h"
#include "FolderTree.h"
#include "ListedFiles.h"
#include "ResourceList.h"
#include "Records.h"
#include "RemovalDescription.h"
#include "RemovalRules.h"
#include "Shortcuts.h"
#include "Text.h"
#include "Trailer.h"
#include "WideText.h"

namespace remover {

namespace {

// A path of the records, converted once where the records give it: the text the status line shows,
// and whether it is the path the system would be given (removal::PathForSystem; one that is not,
// the remover never acts on, and shows with a replacement character where it is not GBK).
struct TextFromRecords {
  std::wstring text;
  bool forSystem;

  // The path it names, parsed (once: a listed file where it is read, a listed folder at the
  // folders' step, so that thousands of folders wait as text, a fraction of the parsed size).
  std::optional<fw::FullPath> Path() const {
    return forSystem ? fw::FullPath::Parse(fw::AsUtf16(text)) : std::nullopt;
  }
  // The file it names: none where the text ends in a separator.
  std::optional<fw::FullPath> FilePath() const {
    return removal::CanNameAFile(std::wstring_view(text)) ? Path() : std::nullopt;
  }
};

TextFromRecords FromRecord(const std::string& gbk) {
  if (const auto text = removal::PathForSystem(gbk)) return {fw::AsWide(*text), true};
  return {*fw::GbkToWide(gbk, fw::BadGbk::Replace), false};
}

// The install folder the records' header names, parsed; nullopt for text that names none.
std::optional<fw::FullPath> InstallPathOf(const payload::RecordHeader& header) {
  const auto install = fw::GbkToUtf16(header.installDir);
  return install ? fw::FullPath::Parse(*install) : std::nullopt;
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
    const auto installPath = InstallPathOf(header);
    scope_.emplace(guard_, installPath);
    files_.emplace(*scope_, &aside_);
    if (installPath) RemoveResourceFolders(*installPath, installFolder_, *scope_, env_.walk, aside_);
  }

  void OnGroup(const std::string& folderPath, std::int32_t /*entryCount*/) override {
    if (!folderPath.empty()) folderList_.push_back(FromRecord(folderPath));
  }

  void OnEntry(const std::string& filePath) override {
    const TextFromRecords file = FromRecord(filePath);
    const auto path = file.FilePath();
    const auto outcome = path ? files_->Delete(*path) : std::nullopt;
    if (!outcome) return;  // missing (or not the product's): no status, no progress
    Note(*outcome, file.text);
    view_.DeletingFile(file.text);
    ++deletedCount_;
    view_.Progressed(removal::ProgressValue(static_cast<std::uint32_t>(deletedCount_), fileTotal_));
  }

  // After the records: the final file, then the folder handles the listed files needed are let go
  // (a held folder could not be removed).
  void DeleteFinalFile() {
    const TextFromRecords final = FromRecord(header_.finalFile);
    if (const auto path = final.FilePath(); path && files_) {
      // The launcher may still be running from it (卸载 pressed the moment the dialog showed).
      WaitForLauncherOf(final.text);
      if (const auto outcome = files_->Delete(*path)) Note(*outcome, final.text);
    }
    files_.reset();
  }

  // At the end: the folders the moved files went to and the staging folder, for the restart; and
  // the user told of what waits for it or stays.
  void Conclude() {
    aside_.ScheduleFolders();
    if (!aside_.Moved().empty() || !aside_.Staying().empty()) view_.LeftBehind(aside_.Moved(), aside_.Staying());
  }

  const std::wstring& StartMenuFolder() const { return startMenuFolder_; }
  const std::vector<TextFromRecords>& FolderList() const { return folderList_; }
  const RemovalScope& Scope() const { return *scope_; }
  RestartAside& Aside() { return aside_; }

 private:
  // A file a program holds stays, and is named at the end (one moved aside the aside names).
  void Note(fw::DeleteOutcome outcome, const std::wstring& shown) {
    if (outcome == fw::DeleteOutcome::Held) aside_.Held(shown);
  }

  std::uint32_t fileTotal_;
  RemovalView& view_;
  const RemoverEnvironment& env_;
  const removal::FolderGuard& guard_;
  std::optional<RemovalScope> scope_;
  RestartAside aside_;
  std::optional<ListedFiles> files_;
  payload::RecordHeader header_;
  std::wstring startMenuFolder_;  // converted where the records give it: "" names none
  std::string installFolder_;
  std::vector<TextFromRecords> folderList_;
  std::int32_t deletedCount_ = 0;
};

// The listed files a running program holds, found in the pass that reads the whole record archive
// before anything is removed: only files whose names say they may run as programs or be loaded as
// libraries are asked about (one open each, which changes nothing), so a payload of documents
// costs nothing here.
class InUseCheck : public payload::RecordVisitor {
 public:
  explicit InUseCheck(const removal::FolderGuard& guard) : guard_(guard) {}

  void OnHeader(const payload::RecordHeader& header) override {
    scope_.emplace(guard_, InstallPathOf(header));
    files_.emplace(*scope_);
  }
  void OnEntry(const std::string& filePath) override {
    if (!removal::MayRunAsImage(std::string_view(filePath))) return;  // read as GBK, not converted
    const TextFromRecords file = FromRecord(filePath);
    if (!file.forSystem) return;
    if (const auto path = file.FilePath(); path && files_->InUse(*path)) inUse.push_back(file.text);
  }

  std::vector<std::wstring> inUse;

 private:
  const removal::FolderGuard& guard_;
  std::optional<RemovalScope> scope_;
  std::optional<ListedFiles> files_;
};

// Reads the whole record archive into `check` without removing anything: false when it is damaged.
bool RecordsReadThrough(fw::File& own, const payload::PayloadLocation& trailer, InUseCheck& check) {
  try {
    payload::ReadRecords(own, trailer, check);
    return true;
  } catch (const std::runtime_error&) {
    return false;
  }
}

// Asks the user while listed programs are in use (`inUse`, from the read-through): true to go on
// (nothing in use, or the user chose to go on anyway), false to stop with nothing removed. 重试
// reads the records again.
bool UserLetsTheRemovalBegin(std::vector<std::wstring> inUse, fw::File& own, const payload::PayloadLocation& trailer,
                             RemovalView& view, const RemoverEnvironment& env) {
  while (!inUse.empty()) {
    std::vector<std::wstring> named = ProgramsHolding(inUse);
    named.insert(named.end(), inUse.begin(), inUse.end());
    switch (view.FilesInUse(named)) {
      case RemovalView::InUseAnswer::Retry: break;
      case RemovalView::InUseAnswer::Ignore: return true;
      case RemovalView::InUseAnswer::Abort: return false;
    }
    InUseCheck again(env.guard);  // let go at the end of this turn, as the first
    payload::ReadRecords(own, trailer, again);
    inUse = std::move(again.inUse);
  }
  return true;
}

}  // namespace

int RunRemoval(fw::File& own, BOOL deleteHistory, RemovalView& view, const RemoverEnvironment& env) {
  if (!own.IsOpen()) return IDCANCEL;  // not opened, or not the remover's own file
  const auto trailer = payload::ReadTrailer(own);
  if (!trailer || !trailer->IsValid()) return IDCANCEL;
  std::vector<std::wstring> inUse;
  {
    // The check's folder handles are let go here: a held folder could not be removed.
    InUseCheck check(env.guard);
    if (!RecordsReadThrough(own, *trailer, check)) return IDCANCEL;
    inUse = std::move(check.inUse);
  }
  try {
    if (!UserLetsTheRemovalBegin(std::move(inUse), own, *trailer, view, env)) return IDCANCEL;
  } catch (const std::runtime_error&) {
    return IDCANCEL;  // a read failure of the device itself, as below
  }

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
          view.DeletingFolder(it->text);
          if (const auto path = it->Path()) RemoveFolderTree(*path, deleteHistory, pass.Scope(), env.walk, &pass.Aside());
        }
        break;
      }
      case removal::Step::Shortcuts:
        RemoveShortcuts(pass.StartMenuFolder(), env.shell, pass.Scope(), env.walk);
        break;
      case removal::Step::Registry:  // the dialog's, on this command (CleanRegistry)
        break;
    }
  }
  pass.Conclude();
  return IDOK;
}

}  // namespace remover
