#include "Plan.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "Archive.h"
#include "File.h"
#include "FolderGuard.h"
#include "FullPath.h"
#include "Manifest.h"
#include "RemovalDescription.h"
#include "RemovalRules.h"
#include "ResourceListCheck.h"
#include "StandardLayout.h"
#include "Text.h"

namespace pack {
namespace {

using removal::FolderVerdict;

// Payload text shown as UTF-8; bytes that are not GBK as \xNN, control characters escaped.
std::string Shown(const std::string& gbk) {
  if (const auto utf16 = fw::GbkToUtf16(gbk))
    if (const auto utf8 = fw::Utf16ToUtf8(*utf16)) return Printable(*utf8);
  std::string out;
  for (const char c : gbk) {
    if (static_cast<unsigned char>(c) < 0x80) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
      out += hex;
    }
  }
  return Printable(out);
}



class Planner {
 public:
  Planner(std::size_t files, const std::string& installDir) {
    deleted_.reserve(files);
    // The install folder, where the guard allows it: what is inside it is the product's.
    const auto install = removal::PathForSystem(installDir);
    const auto path = install ? fw::FullPath::Parse(*install) : std::nullopt;
    if (path && !StandardGuard().Refuses(*path)) installFolder_.push_back(path->Comparable());
  }

  // A path the remover hands to the system: nullopt, with the reason, for one it skips.
  std::optional<std::u16string> SystemPath(const std::string& gbk, std::string& reason) const {
    auto path = removal::PathForSystem(gbk);
    if (!path)
      reason = gbk.size() >= removal::kPathLimit ? std::to_string(removal::kPathLimit) + " bytes or more: the remover skips it"
                                                 : "not GBK text: the remover skips it";
    return path;
  }

  // A path that holds a control character, which no name on Windows holds: the remover finds
  // nothing there. Said as a skip.
  bool NamesNothing(const char* stage, const std::string& gbk) {
    const auto control = std::find_if(gbk.begin(), gbk.end(), IsControlByte);
    if (control == gbk.end()) return false;
    Add(stage, Shown(gbk), "skip",
        "it holds the control character " + CharacterCode(*control) + ", which no name on Windows holds: the remover "
        "finds nothing there");
    return true;
  }

  // A listed file or the final file: deleted when it exists and is no link (ListedFiles::Delete).
  void File(const char* stage, const std::string& gbk) {
    if (NamesNothing(stage, gbk)) return;
    std::string reason;
    const auto path = SystemPath(gbk, reason);
    if (path) {
      const auto parsed = fw::FullPath::Parse(*path);
      if (!parsed || parsed->IsRoot() || parsed->WrittenAsDevice())
        reason = "not a plain full path: the remover skips it";
      else if (!removal::CanNameAFile(std::u16string_view(*path)))
        reason = "ends in a separator, so it names no file: the remover skips it";
      else if (!deleted_.insert(parsed->Comparable()).second)
        reason = "listed before (names compare without case): deleted then, nothing is left to delete";
    }
    Add(stage, Shown(gbk), reason.empty() ? "delete" : "skip", reason);
  }

  // A folder as RemoveFolderTree takes it.
  void Folder(const char* stage, const std::string& gbk, bool deleteFiles) {
    std::string reason;
    const auto path = SystemPath(gbk, reason);
    if (!path) return Add(stage, Shown(gbk), "skip", reason);
    const auto parsed = fw::FullPath::Parse(*path);
    if (!parsed) {
      const bool device = fw::KindOf(std::u16string_view(*path)) == fw::PathKind::Device;
      return Add(stage, Shown(gbk), "skip",
                 device ? "a device path that names no drive or share: the remover skips it"
                        : "not a plain full path: the remover skips it");
    }
    const FolderVerdict verdict = StandardGuard().Judge({&*parsed}, installFolder_);
    if (verdict == FolderVerdict::Refuse)
      Add(stage, Shown(gbk), "refuse", "the folder guard: " + WhyRefused(*parsed));
    else if (parsed->WrittenAsDevice())
      Add(stage, Shown(gbk), "remove-if-empty", "a device path is never walked");
    else if (const std::string why = WhyAnotherProductsPlace(*parsed, installFolder_); !why.empty())
      Add(stage, Shown(gbk), "remove-if-empty", why + ": never walked");
    else if (verdict == FolderVerdict::OnlyIfEmpty)
      Add(stage, Shown(gbk), "remove-if-empty", "a folder on a network share is never walked");
    else
      Add(stage, Shown(gbk), deleteFiles ? "remove-tree" : "remove-empty", "");
  }

  // RemoveResourceFolders: the folders the install folder's Resource.ini names, then the file.
  void ResourceFolders(const std::string& installDir, const std::optional<std::string>& resourceIni) {
    const std::string installFolder = fw::WithTrailingSeparator(installDir);
    const std::string ini = installFolder + Utf8(removal::kResourceList);
    const auto install = fw::GbkToUtf16(installDir);
    const auto installPath = install ? fw::FullPath::Parse(*install) : std::nullopt;
    if (!installPath) return Add("resource-list", Shown(ini), "skip", "installDir is not a plain full path of GBK text");
    // An install folder the guard refuses is no product's folder: its Resource.ini is neither
    // followed nor deleted.
    if (StandardGuard().Refuses(*installPath))
      return Add("resource-list", Shown(ini), "refuse", "the folder guard: the install folder " + WhyRefused(*installPath));
    if (!resourceIni) {
      Add("resource-folder", Shown(ini), "unknown",
          "each folder this file names when the remover runs goes with its contents, whatever the answer; "
          "--resource-ini FILE lists them");
    } else {
      const ResourceListCheck check = CheckResourceList(*resourceIni, installFolder, *resourceIni);
      for (const Diagnostic& d : check.diagnostics.All()) diagnostics.Add(d);
      for (const ResourceListLine& line : check.lines) {
        if (!line.folder.empty())
          Folder("resource-folder", line.folder, true);
        else
          Add("resource-folder", Shown(line.text), "skip", line.whyNone);
      }
    }
    Add("resource-list", Shown(ini), "delete", "");
  }

  // RemoveShortcuts.
  void Shortcuts(const std::string& programFolderName) {
    Add("shortcut", "{Desktop}\\" + Utf8(removal::kDesktopShortcut), "delete", "the current user's desktop");
    const auto name = fw::GbkToUtf16(programFolderName);
    const std::string folder = "{Programs}\\" + Shown(programFolderName);
    if (!removal::IsSingleFolderName(programFolderName) || !name || name->empty())
      return Add("start-menu-folder", folder, "skip", "programFolderName is not a single folder name");
    for (const std::u16string_view programs : {kUserPrograms, kCommonPrograms}) {
      const auto path = fw::FullPath::Parse(std::u16string(programs) + u"\\" + *name);
      if (!path) return Add("start-menu-folder", folder, "skip", "programFolderName ends in a dot or a space");
      if (StandardGuard().Refuses(*path))
        return Add("start-menu-folder", folder, "refuse", "the folder guard: " + WhyRefused(*path));
    }
    for (const char16_t* shortcut : removal::kStartMenuShortcuts)
      Add("shortcut", folder + "\\" + Utf8(shortcut), "delete", "");
    Add("start-menu-folder", folder, "remove-if-empty",
        "{Programs} is the user's Start menu Programs folder where it holds the folder, else the all-users one");
  }

  void Add(const char* stage, std::string path, const char* action, std::string reason) {
    steps.push_back({stage, std::move(path), action, std::move(reason)});
  }

  std::vector<PlanStep> steps;
  Diagnostics diagnostics;  // of the Resource.ini given

 private:
  std::unordered_set<std::u16string> deleted_;  // comparable: the files deleted so far
  std::vector<std::u16string> installFolder_;    // comparable, or none where the guard refuses it
};

const char* kLayout =
    "folders are judged against a standard Windows layout (C:\\Windows, Program Files, ProgramData, C:\\Users and "
    "every documented known folder at its default location); on the machine the remover also guards every known folder "
    "the system has registered, wherever it is, and never walks a folder owned by TrustedInstaller";

}  // namespace

std::vector<PlanStep> MakePlan(const payload::RemovalRecords& records, const std::optional<std::string>& resourceIni,
                               bool deleteHistory, Diagnostics& diagnostics) {
  Planner plan(records.FileTotal(), records.header.installDir);
  for (const removal::Step step : removal::kSteps) {
    switch (step) {
      case removal::Step::ResourceFolders:
        plan.ResourceFolders(records.header.installDir, resourceIni);
        break;
      case removal::Step::ListedFiles:
        for (const payload::RemovalGroup& group : records.groups)
          for (const std::string& file : group.filePaths) plan.File("file", file);
        break;
      case removal::Step::FinalFile:
        if (!records.header.finalFile.empty()) plan.File("final-file", records.header.finalFile);
        break;
      case removal::Step::ListedFolders:
        for (auto group = records.groups.rbegin(); group != records.groups.rend(); ++group)
          if (!group->folderPath.empty() && !plan.NamesNothing("folder", group->folderPath))
            plan.Folder("folder", group->folderPath, deleteHistory);
        break;
      case removal::Step::Shortcuts:
        plan.Shortcuts(records.header.programFolderName);
        break;
      case removal::Step::Registry:
        for (const removal::RegistryTree& tree : removal::kRegistryTrees)
          plan.Add("registry", std::string(removal::RootName(tree.root)) + "\\" + Utf8(tree.subkey), "remove-tree", "");
        break;
    }
  }
  diagnostics = std::move(plan.diagnostics);
  return plan.steps;
}

Json PlanJson(const std::vector<PlanStep>& steps, bool deleteHistory) {
  Json doc = {{"answer", deleteHistory ? "yes" : "no"}, {"layout", kLayout}, {"steps", Json::array()}};
  for (const PlanStep& step : steps) {
    Json row = {{"stage", step.stage}, {"action", step.action}, {"path", step.path}};
    if (!step.reason.empty()) row["reason"] = step.reason;
    doc["steps"].push_back(std::move(row));
  }
  return doc;
}

std::string PlanText(const std::vector<PlanStep>& steps, bool deleteHistory) {
  std::string out = std::string("What the remover does with this payload, in its order, when the answer is ") +
                    (deleteHistory ? "是 (yes: folders go with what is in them)" : "否 (no: only folders that are or become empty go)") +
                    ";\n" + kLayout + ".\n";
  for (const PlanStep& step : steps) {
    char head[64];
    std::snprintf(head, sizeof head, "%-18s %-16s ", step.stage.c_str(), step.action.c_str());
    out += head + step.path + (step.reason.empty() ? "" : "  (" + step.reason + ")") + "\n";
  }
  return out;
}

}  // namespace pack
