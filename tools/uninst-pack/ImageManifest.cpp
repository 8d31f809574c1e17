#include "ImageManifest.h"

#include <algorithm>
#include <filesystem>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>

#include "Archive.h"
#include "Commands.h"
#include "File.h"
#include "Output.h"
#include "FullPath.h"
#include "RemovalRules.h"
#include "ResourceListCheck.h"
#include "Text.h"

namespace pack {
namespace {

namespace fs = std::filesystem;

// The folders the image's Resource.ini names, as the remover reads them (one line at a time,
// ResourceFolderFromLine against the install folder), in comparable form.
std::vector<std::u16string> ResourceFolders(const fs::path& image, const std::string& installDir,
                                            Diagnostics& diagnostics, std::vector<std::string>& notes) {
  std::vector<std::u16string> folders;
  const fs::path ini = image / "Resource.ini";
  if (!fs::is_regular_file(ini)) return folders;
  const std::string installFolder = fw::WithTrailingSeparator(Utf8ToGbk(installDir, "--install-dir"));
  const std::string installUtf8 = GbkToUtf8(installFolder, "--install-dir");
  // A folder the file names, where the image holds it.
  const auto inImage = [&](const std::string& folderUtf8) {
    std::string relative = folderUtf8.substr(std::min(installUtf8.size(), folderUtf8.size()));
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return fs::is_directory(image / relative);
  };
  const ResourceListCheck check = CheckResourceList(ini.string(), installFolder, ini.string(), inImage);
  for (const Diagnostic& d : check.diagnostics.All()) diagnostics.Add(d);
  for (const ResourceListLine& line : check.lines) {
    if (line.folder.empty() || !fw::GbkToUtf16(line.folder)) continue;
    const std::string utf8 = GbkToUtf8(line.folder, "a folder Resource.ini names");
    folders.push_back(ComparableUtf8(utf8));
    notes.push_back("Resource.ini names " + utf8 + ": the remover removes it with its contents, so it is not listed");
  }
  return folders;
}

std::string WindowsRelative(const fs::path& relative) {
  std::string text = relative.generic_string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

}  // namespace

Json ManifestFromImage(const ImageOptions& options, Diagnostics& diagnostics, std::vector<std::string>& notes) {
  const fs::path image(options.image);
  if (!fs::is_directory(image)) throw InputError("--image " + options.image + " is not a folder");
  const std::pair<const char*, const std::string*> texts[] = {
      {"--install-dir", &options.installDir}, {"--program-folder", &options.programFolder}, {"--final-file", &options.finalFile}};
  for (const auto& [flag, text] : texts)
    if (!fw::Utf8ToUtf16(*text)) throw InputError(std::string(flag) + " is not UTF-8 text");
  if (!fw::FullPath::Parse(*fw::Utf8ToUtf16(options.installDir)))
    throw InputError("--install-dir \"" + options.installDir +
                     "\" is not a full Windows path of a folder, such as 'C:\\Program Files\\Korvane\\'");
  std::string root = options.installDir;
  while (!root.empty() && fw::IsPathSeparator(root.back())) root.pop_back();
  const auto windowsPath = [&](const std::string& relative) { return relative.empty() ? root : root + "\\" + relative; };

  std::string finalFile = options.finalFile;
  std::replace(finalFile.begin(), finalFile.end(), '/', '\\');
  if (!finalFile.empty() && !fw::IsFullyQualified(std::string_view(finalFile))) finalFile = windowsPath(finalFile);
  const std::u16string finalComparable = ComparableUtf8(finalFile);
  const std::u16string iniComparable = ComparableUtf8(windowsPath("Resource.ini"));
  const std::vector<std::u16string> resources = ResourceFolders(image, options.installDir, diagnostics, notes);
  const auto leftOut = [&](const std::string& path) {
    const std::u16string comparable = ComparableUtf8(path);
    return comparable == iniComparable ||
           std::any_of(resources.begin(), resources.end(), [&](const auto& r) { return fw::IsAtOrBelow(comparable, r); });
  };

  // Folder (relative, '\' between names) -> the names of its files.
  std::map<std::string, std::vector<std::string>> folders{{"", {}}};
  std::size_t fileCount = 0;
  for (auto it = fs::recursive_directory_iterator(image); it != fs::recursive_directory_iterator(); ++it) {
    const std::string relative = WindowsRelative(it->path().lexically_relative(image));
    if (!fw::Utf8ToUtf16(relative)) throw InputError(it->path().string() + ": the name is not UTF-8");
    if (it->path().filename().string().find('\\') != std::string::npos)
      throw InputError(it->path().string() + ": the name holds '\\', which Windows reads as a separator between "
                       "names: the image must hold the files under the names Windows gives them");
    if (it->is_symlink())
      throw InputError(it->path().string() + " is a symbolic link: the image must hold the files as they are installed");
    if (leftOut(windowsPath(relative))) {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    if (it->is_directory()) {
      folders.try_emplace(relative);
    } else if (it->is_regular_file()) {
      if (ComparableUtf8(windowsPath(relative)) == finalComparable) continue;  // deleted last, as finalFile
      const auto cut = relative.rfind('\\');
      folders[cut == std::string::npos ? "" : relative.substr(0, cut)].push_back(windowsPath(relative));
      ++fileCount;
    } else {
      throw InputError(it->path().string() + " is neither a file nor a folder");
    }
  }
  if (fileCount == 0) throw InputError("the image " + options.image + " holds no files to list");

  std::vector<std::string> order;
  for (const auto& entry : folders) order.push_back(entry.first);
  const auto depth = [](const std::string& relative) {
    return relative.empty() ? 0 : 1 + std::count(relative.begin(), relative.end(), '\\');
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](const std::string& a, const std::string& b) { return depth(a) < depth(b); });

  Json doc = {{"programFolderName", options.programFolder},
              {"installDir", options.installDir},
              {"finalFile", finalFile},
              {"groups", Json::array()}};
  for (const std::string& relative : order) {
    std::vector<std::string>& files = folders[relative];
    std::sort(files.begin(), files.end());
    doc["groups"].push_back({{"folder", windowsPath(relative)}, {"files", files}});
  }
  return doc;
}

int WriteManifest(const ImageOptions& options, const std::string& output) {
  if (!output.empty()) CheckOutput(output);
  std::vector<std::string> notes;
  Diagnostics diagnostics;
  const Json manifest = pack::ManifestFromImage(options, diagnostics, notes);
  const std::string text = manifest.dump(2) + '\n';
  for (const std::string& note : notes) std::cerr << "uninst-pack: " << note << '\n';
  // Checked as build will check it: what is said of an entry is said at its line of the file
  // written. Nothing is written when there are errors, so those name no place.
  const std::string shownAs = output.empty() ? "<stdout>" : output;
  CheckedManifest checked = CheckManifestText(text, shownAs);
  for (Diagnostic& d : checked.diagnostics.All()) {
    if (checked.diagnostics.Errors() > 0) {
      d.file.clear();
      d.line = 0;
    }
    diagnostics.Add(std::move(d));
  }
  Print(diagnostics, std::cerr);
  if (diagnostics.Errors() > 0) throw InputError(Summary(diagnostics));
  std::size_t files = 0;
  for (const Json& group : manifest["groups"]) files += group["files"].size();
  const std::string counts = Counted(files, "file") + " in " + Counted(manifest["groups"].size(), "group") + "; " +
                             Counted(diagnostics.Warnings(), "warning");
  if (output.empty()) {
    std::cout << text;
    std::cerr << "uninst-pack: a manifest of " << counts << '\n';
    return 0;
  }
  // UTF-8 without a byte-order mark, whatever the shell would have made of standard output.
  WriteOutput(output, [&](const std::string& tempPath) {
    std::ofstream out(tempPath, std::ios::binary);
    out << text;
    out.close();
    if (!out) throw InputError("cannot write " + output + ": " + std::strerror(errno));
  });
  std::cerr << "uninst-pack: wrote " << output << ": " << counts << '\n';
  return 0;
}

}  // namespace pack
