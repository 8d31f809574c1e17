#include "Removal.h"

#include <vector>

#include "Archive.h"
#include "File.h"
#include "FolderTree.h"
#include "Payload.h"
#include "RemovalRules.h"
#include "Shortcuts.h"
#include "SystemPaths.h"
#include "Text.h"

namespace uninstaller {

std::atomic<std::int32_t> g_nProgress{0};

namespace {

// A path of the payload: one of 260 bytes or more is never found, as the remover's paths are
// limited to that.
bool Found(const std::string& gbkPath) { return gbkPath.size() < MAX_PATH && uninstaller::Found(Wide(gbkPath)); }

// The second pass over the records: acts on each item as it is read.
class RemovalPass : public payload::RecordVisitor {
 public:
  RemovalPass(std::uint32_t fileTotal, RemovalView& view) : fileTotal_(fileTotal), view_(view) {}

  void OnHeader(const payload::RecordHeader& header) override {
    header_ = header;
    installFolder_ = fw::WithTrailingSeparator(header.installDir);
    RemoveResourceFolders();
  }

  void OnGroup(const std::string& folderPath, std::int32_t /*entryCount*/) override {
    if (!folderPath.empty()) folderList_.push_back(folderPath);
  }

  void OnEntry(const std::string& filePath) override {
    if (!Found(filePath)) return;  // missing (or 260 bytes and more): no status, no progress
    DeleteFileW(Wide(filePath).c_str());
    view_.DeletingFile(filePath);
    ++deletedCount_;
    g_nProgress.store(ProgressValue(static_cast<std::uint32_t>(deletedCount_), fileTotal_));
  }

  const payload::RecordHeader& Header() const { return header_; }
  const std::vector<std::string>& FolderList() const { return folderList_; }

 private:
  // The folders "Resource.ini" in the install folder names, then the file itself. Only an
  // install folder given as a full path is used: "\Resource.ini" would be a file at the root of
  // the current drive, not the product's. Nor one that is not GBK text: one ending in a lone lead
  // byte would take the separator appended to it as its second byte (0x81 + '\' is 乗) and name
  // a sibling of the install folder.
  void RemoveResourceFolders() {
    if (!fw::IsFullyQualified(installFolder_) || !fw::GbkToWide(header_.installDir)) return;
    const std::string ini = installFolder_ + "Resource.ini";
    if (Found(ini)) {
      fw::File file;
      if (file.Open(Wide(ini), fw::File::Mode::Read)) {
        try {
          fw::Archive archive(file, fw::Archive::Mode::Load);
          std::string line;
          while (archive.ReadLine(line)) {
            if (const auto folder = ResourceFolderFromLine(line, installFolder_)) RemoveFolderTree(*folder, TRUE);
          }
        } catch (const std::runtime_error&) {
          // A read failure ends the list; what was named before it was handled.
        }
      }
    }
    DeleteFileW(Wide(ini).c_str());
  }

  std::uint32_t fileTotal_;
  RemovalView& view_;
  payload::RecordHeader header_;
  std::string installFolder_;
  std::vector<std::string> folderList_;
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

int RunRemoval(const std::wstring& ownPath, BOOL deleteHistory, RemovalView& view, ShellServices& shell) {
  fw::File own;
  if (!own.Open(ownPath, fw::File::Mode::Read)) return IDCANCEL;
  const auto trailer = payload::ReadTrailer(own);
  if (!trailer || !trailer->IsValid()) return IDCANCEL;
  if (!RecordsReadThrough(own, *trailer)) return IDCANCEL;

  RemovalPass pass(trailer->fileTotal, view);
  try {
    payload::ReadRecords(own, *trailer, pass);
  } catch (const std::runtime_error&) {
    // The file is held without sharing since the check, so this is a read failure of the
    // device itself: stop here, and leave the registry to a later run.
    return IDCANCEL;
  }
  own.Close();

  DeleteFileW(Wide(pass.Header().finalFile).c_str());

  const auto& folders = pass.FolderList();
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    view.DeletingFolder(*it);
    RemoveFolderTree(*it, deleteHistory);
  }

  RemoveShortcuts(pass.Header().programFolderName, shell);
  return IDOK;
}

}  // namespace uninstaller
