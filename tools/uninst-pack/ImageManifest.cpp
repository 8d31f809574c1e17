#include "ImageManifest.h"

#include <fnmatch.h>

#include <algorithm>
#include <cctype>
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

// What is never a product's file, left out unless --no-default-excludes: version control, the
// folder settings and thumbnails file managers write, editors' backups and swap files.
struct Exclusion {
  Exclusion(std::string p, std::string w) : pattern(std::move(p)), why(std::move(w)) {
    const auto plain = [](char c) {
      return std::strchr("*?[\\", c) == nullptr ? static_cast<char>(std::tolower(static_cast<unsigned char>(c))) : '\0';
    };
    if (!pattern.empty()) first = plain(pattern.front()), last = plain(pattern.back());
  }
  std::string pattern;
  std::string why;
  char first = 0, last = 0;  // the plain first and last characters, in lower case; 0 for a wildcard
};
const std::vector<Exclusion>& DefaultExclusions() {
  static const std::vector<Exclusion> list = {
      {".git*", "version control"},  {".svn", "version control"},     {".hg*", "version control"},
      {".bzr*", "version control"},  {"CVS", "version control"},      {"Thumbs.db", "a thumbnail cache"},
      {".DS_Store", "Finder's folder settings"}, {"desktop.ini", "Explorer's folder settings"},
      {"*~", "an editor's backup"},  {".*.sw?", "an editor's swap file"}, {"#*#", "an editor's backup"},
      {".#*", "an editor's lock file"},
  };
  return list;
}

// The exclusion that matches an entry of the image (its name, and its relative path with '/'
// between names), or null: a pattern without '/' matches a name at any depth, one with '/' the
// path from the image; names compare without case, as Windows compares them.
const Exclusion* Excluded(const std::vector<Exclusion>& exclusions, const std::string& name, const fs::path& relative) {
  const auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  const char first = lower(name.front()), last = lower(name.back());
  for (const Exclusion& e : exclusions) {
    const bool whole = e.pattern.find('/') != std::string::npos;
    // A pattern's plain first and last characters are the name's: that rules most patterns out
    // without matching them (an image of 100,000 files meets each pattern for each).
    if (!whole && ((e.first != 0 && e.first != first) || (e.last != 0 && e.last != last))) continue;
    const std::string text = whole ? relative.generic_string() : name;
    if (::fnmatch(e.pattern.c_str(), text.c_str(), FNM_CASEFOLD | (whole ? FNM_PATHNAME : 0)) == 0) return &e;
  }
  return nullptr;
}

// The exclusions of the options: the vendor's first ('\' read as '/'), then the default ones.
std::vector<Exclusion> Exclusions(const ImageOptions& options) {
  std::vector<Exclusion> list;
  for (std::string pattern : options.excludes) {
    std::replace(pattern.begin(), pattern.end(), '\\', '/');
    while (pattern.starts_with("./")) pattern.erase(0, 2);
    while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
    list.push_back({pattern, "--exclude " + pattern});
  }
  if (options.defaultExcludes)
    for (const Exclusion& e : DefaultExclusions()) list.push_back({e.pattern, e.why + ", never a product's"});
  return list;
}

std::string WindowsRelative(const fs::path& relative) {
  std::string text = relative.generic_string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

// An error of an entry of the image, named by its path on this machine.
void ImageError(Diagnostics& diagnostics, Code code, const fs::path& path, const std::string& message) {
  diagnostics.Add({code, Diagnostic::Severity::Error, "", message, path.string(), 0, 0});
}

}  // namespace

ImageManifest ManifestFromImage(const ImageOptions& options, Diagnostics& diagnostics) {
  const fs::path image(options.image);
  std::error_code ec;
  if (!fs::is_directory(image, ec)) throw InputError(Code::ImageUnreadable, "--image " + options.image + " is not a folder");
  const std::pair<const char*, const std::string*> texts[] = {
      {"--install-dir", &options.installDir}, {"--program-folder", &options.programFolder}, {"--final-file", &options.finalFile}};
  for (const auto& [flag, text] : texts)
    if (!fw::Utf8ToUtf16(*text)) throw InputError(Code::OptionNotUtf8, std::string(flag) + " is not UTF-8 text");
  // Written with '\' only, as the remover's paths are.
  std::string installDir = options.installDir;
  std::replace(installDir.begin(), installDir.end(), '/', '\\');
  if (!fw::FullPath::Parse(*fw::Utf8ToUtf16(installDir)))
    throw InputError(Code::NotFullPath, "--install-dir \"" + options.installDir +
                                            "\" is not a full Windows path of a folder, such as 'C:\\Program Files\\Korvane\\'");
  try {
    CheckInstallDir(installDir);
  } catch (const InputError& e) {
    throw InputError(e.code, std::string("--install-dir: ") + e.what());
  }
  std::string root = installDir;
  while (!root.empty() && fw::IsPathSeparator(root.back())) root.pop_back();
  const auto windowsPath = [&](const std::string& relative) { return relative.empty() ? root : root + "\\" + relative; };

  ImageManifest result;
  std::string finalFile = options.finalFile;
  std::replace(finalFile.begin(), finalFile.end(), '/', '\\');
  if (!finalFile.empty() && !fw::IsFullyQualified(std::string_view(finalFile))) finalFile = windowsPath(finalFile);
  const std::u16string finalComparable = ComparableUtf8(finalFile);
  const std::u16string iniComparable = ComparableUtf8(windowsPath("Resource.ini"));
  const std::vector<std::u16string> resources = ResourceFolders(image, installDir, diagnostics, result.notes);
  const auto fromResourceList = [&](const std::string& path) {
    const std::u16string comparable = ComparableUtf8(path);
    return comparable == iniComparable ||
           std::any_of(resources.begin(), resources.end(), [&](const auto& r) { return fw::IsAtOrBelow(comparable, r); });
  };
  const std::vector<Exclusion> exclusions = Exclusions(options);
  std::map<const Exclusion*, std::vector<std::string>> excluded;  // what each exclusion left out

  // Folder (relative, '\' between names) -> the names of its files. The image is walked folder by
  // folder, each in name order, so that its problems are said in one order on every machine.
  std::map<std::string, std::vector<std::string>> folders{{"", {}}};
  std::size_t fileCount = 0;
  bool finalFileFound = false;
  std::vector<fs::path> pending = {fs::path()};  // relative folders still to list
  while (!pending.empty()) {
    const fs::path folder = std::move(pending.back());
    pending.pop_back();
    std::vector<std::pair<std::string, fs::directory_entry>> entries;  // by name
    for (fs::directory_iterator it(image / folder, ec), end; !ec && it != end; it.increment(ec))
      entries.emplace_back(it->path().filename().string(), *it);
    if (ec) {
      ImageError(diagnostics, Code::ImageUnreadable, image / folder, "cannot be listed: " + ec.message());
      ec.clear();
      continue;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<fs::path> inner;
    for (const auto& [name, entry] : entries) {
      const fs::path relativePath = folder / name;
      const std::string relative = WindowsRelative(relativePath);
      if (const Exclusion* e = Excluded(exclusions, name, relativePath)) {
        excluded[e].push_back(relativePath.generic_string() + (entry.is_directory(ec) && !entry.is_symlink(ec) ? "/" : ""));
        continue;
      }
      if (!fw::Utf8ToUtf16(name)) {
        ImageError(diagnostics, Code::ImageNameNotUtf8, entry.path(), "the name is not UTF-8 text: rename it");
        continue;
      }
      if (name.find('\\') != std::string::npos) {
        ImageError(diagnostics, Code::ImageNameBackslash, entry.path(),
                   "the name holds '\\', which Windows reads as a separator between names: the image must hold the "
                   "files under the names Windows gives them");
        continue;
      }
      if (entry.is_symlink(ec)) {
        ImageError(diagnostics, Code::ImageLink, entry.path(),
                   "is a symbolic link: the image must hold the files as they are installed");
        continue;
      }
      if (fromResourceList(windowsPath(relative))) continue;
      if (entry.is_directory(ec)) {
        folders.try_emplace(relative);
        inner.push_back(relativePath);
      } else if (entry.is_regular_file(ec)) {
        if (ComparableUtf8(windowsPath(relative)) == finalComparable) {
          finalFileFound = true;
          continue;  // deleted last, as finalFile
        }
        const auto cut = relative.rfind('\\');
        folders[cut == std::string::npos ? "" : relative.substr(0, cut)].push_back(windowsPath(relative));
        ++fileCount;
      } else {
        ImageError(diagnostics, Code::ImageSpecialFile, entry.path(),
                   "is neither a file nor a folder (a FIFO, a socket, a device): the image must hold only files and folders");
      }
    }
    // Walked in name order: the last pushed is listed next.
    pending.insert(pending.end(), inner.rbegin(), inner.rend());
  }
  if (fileCount == 0 && diagnostics.Errors() == 0)
    throw InputError(Code::ImageEmpty, "the image " + options.image + " holds no files to list");

  for (const auto& [exclusion, paths] : excluded) {
    result.leftOut += paths.size();
    std::string line = "left out (" + exclusion->why + "): ";
    for (std::size_t k = 0; k < paths.size(); ++k) line += (k == 0 ? "" : ", ") + paths[k];
    result.notes.push_back(std::move(line));
  }
  if (options.programFolder.empty())
    diagnostics.Add(Code::NoProgramFolder, "",
                    "no --program-folder: programFolderName is empty, so the remover removes no Start-menu folder and "
                    "none of the shortcuts in it; give the folder's name with --program-folder NAME");
  if (options.finalFileGiven && !finalFileFound && fw::IsBelow(finalComparable, ComparableUtf8(root)))
    diagnostics.Add(Code::FinalFileNotInImage, "",
                    "--final-file " + options.finalFile + ": the image holds no such file, so finalFile names " +
                        finalFile + " all the same: is the name right?");

  std::vector<std::string> order;
  for (const auto& entry : folders) order.push_back(entry.first);
  const auto depth = [](const std::string& relative) {
    return relative.empty() ? 0 : 1 + std::count(relative.begin(), relative.end(), '\\');
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](const std::string& a, const std::string& b) { return depth(a) < depth(b); });

  result.manifest = {{"programFolderName", options.programFolder},
                     {"installDir", installDir},
                     {"finalFile", finalFile},
                     {"groups", Json::array()}};
  for (const std::string& relative : order) {
    std::vector<std::string>& files = folders[relative];
    std::sort(files.begin(), files.end());
    result.manifest["groups"].push_back({{"folder", windowsPath(relative)}, {"files", files}});
  }
  return result;
}

int WriteManifest(const ImageOptions& options, const std::string& output, Reporter& reporter) {
  const bool toStandardOutput = output.empty() || output == "-";
  if (!toStandardOutput) CheckOutput(output);
  Diagnostics diagnostics;
  const ImageManifest listed = pack::ManifestFromImage(options, diagnostics);
  const std::string text = listed.manifest.dump(2) + '\n';
  for (const std::string& note : listed.notes) reporter.Note(note);
  // Checked as build will check it: what is said of an entry is said at its line of the file
  // written. Nothing is written when there are errors, so those name no place.
  const std::string shownAs = toStandardOutput ? "<stdout>" : output;
  CheckedManifest checked = CheckManifestText(text, shownAs);
  const bool written = diagnostics.Errors() == 0 && checked.diagnostics.Errors() == 0;
  for (Diagnostic& d : checked.diagnostics.All()) {
    if (!written) {
      d.file.clear();
      d.line = 0;
    }
    diagnostics.Add(std::move(d));
  }
  reporter.Say(diagnostics);
  if (diagnostics.Errors() > 0) {
    reporter.Count(diagnostics);
    return 1;
  }
  std::size_t files = 0;
  for (const Json& group : listed.manifest["groups"]) files += group["files"].size();
  std::string counts = Counted(files, "file") + " in " + Counted(listed.manifest["groups"].size(), "group");
  if (listed.leftOut > 0) counts += ", " + std::to_string(listed.leftOut) + " left out";
  counts += "; " + WarningsCounted(diagnostics);
  if (toStandardOutput) {
    std::cout << text;
    reporter.Note("a manifest of " + counts);
    return 0;
  }
  // UTF-8 without a byte-order mark, whatever the shell would have made of standard output.
  WriteOutput(output, [&](const std::string& tempPath) {
    std::ofstream out(tempPath, std::ios::binary);
    out << text;
    out.close();
    if (!out) throw InputError(Code::OutputUnwritable, "cannot write " + output + ": " + std::strerror(errno));
  });
  reporter.Note("wrote " + output + ": " + counts);
  return 0;
}

}  // namespace pack
