// uninst-pack: the vendor's tool that appends a removal payload to a launcher and shows the
// payload of any file.
//
//   uninst-pack build --launcher FILE --manifest FILE --output FILE
//   uninst-pack inspect [--json] FILE
//
// Exit codes: 0 done, 1 bad input (manifest, launcher, payload), 2 and above command-line errors.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "Archive.h"
#include "File.h"
#include "Payload.h"
#include "Text.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// A bad input: the message goes to stderr and the tool exits with 1.
struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

constexpr const char* kManifestHelp = R"(
The manifest is UTF-8 JSON:
  {"programFolderName": "Korvane",
   "installDir": "C:\\Program Files\\Korvane\\",
   "finalFile": "C:\\Program Files\\Korvane\\Uninst.exe",
   "groups": [{"folder": "C:\\Program Files\\Korvane\\bin",
               "files": ["C:\\Program Files\\Korvane\\bin\\a.dll"]}]}
Every path is a full Windows path ("X:\\..." or "\\\\server\\share\\...", no ".." component; the
remover joins nothing); finalFile and a group's folder may be empty. Texts are stored as GBK.
`inspect --json` prints a manifest of the same form, plus the trailer (and, for a signed file,
where its certificate table is).

Sign after packing (signtool, osslsigncode): the signature then covers the payload. `build`
refuses a launcher that is already signed.)";

std::string Utf8ToGbk(const std::string& utf8, const std::string& field) {
  const auto utf16 = fw::Utf8ToUtf16(utf8);
  if (!utf16) throw InputError("manifest: " + field + " is not valid UTF-8");
  auto gbk = fw::Utf16ToGbk(*utf16);
  if (!gbk) throw InputError("manifest: " + field + " has characters that GBK cannot represent: \"" + utf8 + "\"");
  return *gbk;
}

std::string GbkToUtf8(const std::string& gbk, const std::string& field) {
  const auto utf16 = fw::GbkToUtf16(gbk);
  std::optional<std::string> utf8;
  if (utf16) utf8 = fw::Utf16ToUtf8(*utf16);
  if (!utf8) throw InputError("payload: " + field + " is not GBK text");
  return *utf8;
}

// What a security directory that reaches past the end of a file of `length` bytes is.
std::string OutsideTheFile(const payload::CertificateTable& table, std::uint64_t length) {
  std::ostringstream msg;
  msg << "the security directory points outside the file (certificate table at offset " << table.offset << ", "
      << table.size << " bytes; the file has " << length << " bytes)";
  return msg.str();
}

// The remover runs with the temporary folder as its current folder and joins nothing onto a
// listed path, so every path must name one place by itself: "X:\..." or "\\server\share...",
// with no ".." component. Checked on the UTF-8 text, where a separator byte is always one.
void RequireFullPath(const std::string& utf8, const std::string& field) {
  // Two separators then a third is no server name.
  const bool noServer = utf8.size() > 2 && fw::IsPathSeparator(utf8[0]) && fw::IsPathSeparator(utf8[2]);
  if (!fw::IsFullyQualified(std::string_view(utf8)) || noServer)
    throw InputError("manifest: " + field + " is not a full Windows path (drive and separator, or \\\\server\\share): \"" +
                     utf8 + "\"");
  std::size_t start = 0;
  for (std::size_t i = 0; i <= utf8.size(); ++i) {
    if (i < utf8.size() && !fw::IsPathSeparator(utf8[i])) continue;
    if (utf8.compare(start, i - start, "..") == 0 && i - start == 2)
      throw InputError("manifest: " + field + " has a '..' component: \"" + utf8 + "\"");
    start = i + 1;
  }
}

const Json& Field(const Json& object, const char* key, Json::value_t type, const std::string& where) {
  const auto it = object.find(key);
  const std::string name = where.empty() ? key : where + "." + key;
  if (it == object.end()) throw InputError("manifest: missing field '" + name + "'");
  if (it->type() != type) {
    const char* expected = type == Json::value_t::string ? "a string" : "an array";
    throw InputError("manifest: field '" + name + "' must be " + expected);
  }
  return *it;
}

payload::RemovalRecords ParseManifest(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError("cannot open manifest " + path);
  Json doc;
  try {
    doc = Json::parse(in);
  } catch (const Json::parse_error& e) {
    throw InputError("manifest " + path + " is not valid JSON: " + e.what());
  }
  if (!doc.is_object()) throw InputError("manifest: the top level must be an object");

  enum class PathRule { No, Full, FullOrEmpty };
  const auto text = [&](const Json& object, const char* key, const std::string& where, PathRule rule) {
    const std::string name = where.empty() ? key : where + "." + key;
    const std::string utf8 = Field(object, key, Json::value_t::string, where).get<std::string>();
    if (rule == PathRule::Full || (rule == PathRule::FullOrEmpty && !utf8.empty())) RequireFullPath(utf8, name);
    return Utf8ToGbk(utf8, name);
  };
  payload::RemovalRecords records;
  records.header.programFolderName = text(doc, "programFolderName", "", PathRule::No);
  records.header.installDir = text(doc, "installDir", "", PathRule::Full);
  records.header.finalFile = text(doc, "finalFile", "", PathRule::FullOrEmpty);
  const Json& groups = Field(doc, "groups", Json::value_t::array, "");
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const std::string where = "groups[" + std::to_string(g) + "]";
    if (!groups[g].is_object()) throw InputError("manifest: " + where + " must be an object");
    payload::RemovalGroup group;
    // An empty folder is a group without one: the remover then removes no folder for it.
    group.folderPath = text(groups[g], "folder", where, PathRule::FullOrEmpty);
    const Json& files = Field(groups[g], "files", Json::value_t::array, where);
    for (std::size_t f = 0; f < files.size(); ++f) {
      const std::string name = where + ".files[" + std::to_string(f) + "]";
      if (!files[f].is_string()) throw InputError("manifest: field '" + name + "' must be a string");
      RequireFullPath(files[f].get<std::string>(), name);
      group.filePaths.push_back(Utf8ToGbk(files[f].get<std::string>(), name));
    }
    records.groups.push_back(std::move(group));
  }
  if (records.FileTotal() == 0)
    throw InputError("manifest lists no files: a payload must name at least one file (its trailer counts them)");
  return records;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec) && !ec;
}

int Build(const std::string& launcherPath, const std::string& manifestPath, const std::string& outputPath) {
  if (SameFile(outputPath, launcherPath)) throw InputError("the output must not be the launcher itself: " + outputPath);
  if (SameFile(outputPath, manifestPath)) throw InputError("the output must not be the manifest: " + outputPath);
  const payload::RemovalRecords records = ParseManifest(manifestPath);

  fw::File launcher;
  if (!launcher.Open(launcherPath, fw::File::Mode::Read)) throw InputError("cannot open launcher " + launcherPath);
  const std::uint64_t imageSize = launcher.GetLength();
  if (imageSize > payload::PayloadTrailer::kMaxImageSize)
    throw InputError("launcher " + launcherPath + " is too large for a payload trailer (4 GiB limit)");
  if (const auto table = payload::FindCertificateTable(launcher)) {
    std::ostringstream msg;
    msg << "launcher " << launcherPath;
    if (table->End() > imageSize)
      msg << ": " << OutsideTheFile(*table, imageSize) << ", so the payload appended behind it would lie inside that table";
    else
      msg << " is signed (certificate table at offset " << table->offset << ", " << table->size
          << " bytes): a payload appended now would lie outside the signature";
    msg << ". Pack the launcher as built, then sign the packed file";
    throw InputError(msg.str());
  }
  if (const auto trailer = payload::ReadTrailer(launcher); trailer && trailer->IsValid())
    throw InputError("launcher " + launcherPath + " already carries a payload; start from the launcher as built");

  // Write beside the output and rename at the end, so that a failure leaves no partial output.
  const std::string tempPath = outputPath + ".uninst-pack-tmp";
  try {
    fw::File out;
    if (!out.Open(tempPath, fw::File::Mode::CreateWrite)) throw InputError("cannot create " + tempPath);
    launcher.Seek(0, fw::File::SeekFrom::Begin);
    std::vector<char> chunk(1 << 16);
    while (const std::size_t n = launcher.Read(chunk.data(), chunk.size())) out.Write(chunk.data(), n);

    payload::AppendPayload(out, imageSize, records, records.FileTotal());
    out.Close();
    fs::rename(tempPath, outputPath);
  } catch (...) {
    std::error_code ec;
    fs::remove(tempPath, ec);
    throw;
  }
  return 0;
}

// Converts each record to UTF-8 as it is read, naming the field that is not GBK.
class JsonBuilder : public payload::RecordVisitor {
 public:
  void OnHeader(const payload::RecordHeader& h) override {
    doc["programFolderName"] = GbkToUtf8(h.programFolderName, "programFolderName");
    doc["installDir"] = GbkToUtf8(h.installDir, "installDir");
    doc["finalFile"] = GbkToUtf8(h.finalFile, "finalFile");
    doc["groups"] = Json::array();
  }
  void OnGroupCount(std::int32_t count) override { groupCount = count; }
  void OnGroup(const std::string& folderPath, std::int32_t /*entryCount*/) override {
    const std::string where = "groups[" + std::to_string(doc["groups"].size()) + "]";
    doc["groups"].push_back({{"folder", GbkToUtf8(folderPath, where + ".folder")}, {"files", Json::array()}});
  }
  void OnEntry(const std::string& filePath) override {
    Json& group = doc["groups"].back();
    const std::string where =
        "groups[" + std::to_string(doc["groups"].size() - 1) + "].files[" + std::to_string(group["files"].size()) + "]";
    group["files"].push_back(GbkToUtf8(filePath, where));
  }

  Json doc = Json::object();
  std::int32_t groupCount = 0;
};

void PrintReadable(const Json& doc, std::int32_t groupCount, bool valid) {
  const Json& t = doc["trailer"];
  std::cout << "trailer: blockSize=" << t["blockSize"] << " recordsOffset=" << t["recordsOffset"]
            << " endOffset=" << t["endOffset"] << " fileTotal=" << t["fileTotal"] << (valid ? " (valid)" : "") << '\n';
  if (doc.contains("signature")) {
    const Json& sig = doc["signature"];
    std::cout << "signed: certificate table at offset " << sig["certificateTableOffset"] << " ("
              << sig["certificateTableSize"] << " bytes), " << sig["padding"]
              << " zero bytes behind the trailer; the signature itself is not verified here\n";
  }
  std::cout << "programFolderName: " << doc["programFolderName"].get<std::string>() << '\n'
            << "installDir: " << doc["installDir"].get<std::string>() << '\n'
            << "finalFile: " << doc["finalFile"].get<std::string>() << '\n'
            << "groups: " << groupCount << '\n';
  std::size_t index = 0;
  for (const Json& group : doc["groups"]) {
    std::cout << "  [" << index++ << "] " << group["folder"].get<std::string>() << " (" << group["files"].size()
              << " files)\n";
    for (const Json& file : group["files"]) std::cout << "      " << file.get<std::string>() << '\n';
  }
}

// A signed file's payload must be what the signature covers: the certificate table ends the file
// right behind the trailer. Anything else is refused with where the table is.
void RequireSignatureCoversPayload(const std::string& path, const payload::PayloadLocation& found,
                                   std::uint64_t length) {
  if (found.signature == payload::Signature::None || found.signature == payload::Signature::CoversPayload) return;
  const payload::CertificateTable& table = *found.certificateTable;
  std::ostringstream msg;
  msg << path << ": ";
  if (table.End() > length) {
    msg << OutsideTheFile(table, length);
  } else {
    msg << "the certificate table at offset " << table.offset << " (" << table.size << " bytes) ";
    if (found.signature == payload::Signature::ImageOnly)
      msg << "lies in front of the payload (records at offset " << found.recordsOffset
          << "): the payload was appended after signing, so the signature does not cover it and the launcher "
             "refuses the file. Pack the launcher as built, then sign the packed file";
    else if (table.End() == length)
      msg << "leaves no room for a payload in front of it";
    else
      msg << "overlaps the payload (records or trailer) at the end of the file";
  }
  throw InputError(msg.str());
}

int Inspect(const std::string& path, bool asJson) {
  fw::File file;
  if (!file.Open(path, fw::File::Mode::Read)) throw InputError("cannot open " + path);
  const auto trailer = payload::ReadTrailer(file);
  if (!trailer) throw InputError(path + ": too short to hold a payload trailer");
  RequireSignatureCoversPayload(path, *trailer, file.GetLength());
  const std::uint64_t trailerOffset = trailer->trailerOffset;
  if (!trailer->IsValid()) {
    std::ostringstream msg;
    msg << path << ": no valid payload trailer at offset " << trailerOffset << " (blockSize=" << trailer->blockSize
        << " recordsOffset=" << trailer->recordsOffset << " endOffset=" << trailer->endOffset
        << " fileTotal=" << trailer->fileTotal << ")";
    if (trailer->certificateTable)
      msg << ", in front of the certificate table at offset " << trailer->certificateTable->offset;
    throw InputError(msg.str());
  }

  JsonBuilder builder;
  try {
    payload::ReadRecords(file, *trailer, builder);
  } catch (const fw::ArchiveError& e) {
    std::ostringstream msg;
    msg << path << ": damaged record archive at offset " << e.offset() << ": " << e.what();
    throw InputError(msg.str());
  }
  builder.doc["trailer"] = {{"blockSize", trailer->blockSize},
                            {"recordsOffset", trailer->recordsOffset},
                            {"endOffset", trailer->endOffset},
                            {"fileTotal", trailer->fileTotal}};
  if (const auto& table = trailer->certificateTable)
    builder.doc["signature"] = {{"certificateTableOffset", table->offset},
                                {"certificateTableSize", table->size},
                                {"padding", table->offset - trailerOffset - payload::PayloadTrailer::kSize}};
  if (asJson)
    std::cout << builder.doc.dump(2) << '\n';
  else
    PrintReadable(builder.doc, builder.groupCount, true);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"uninst-pack: append a removal payload to a launcher, or show the payload of a file."};
  app.footer(kManifestHelp);
  app.require_subcommand(1);

  std::string launcher, manifest, output, inspected;
  bool asJson = false;
  CLI::App* build = app.add_subcommand("build", "Write a copy of the launcher with the manifest's payload appended");
  build->add_option("--launcher", launcher, "The launcher as built (no payload yet)")->required();
  build->add_option("--manifest", manifest, "UTF-8 JSON manifest of what the remover deletes")->required();
  build->add_option("--output", output, "Where to write the launcher with its payload")->required();
  CLI::App* inspect =
      app.add_subcommand("inspect", "Print the trailer, every record of a file's payload, and where its signature is");
  inspect->add_flag("--json", asJson, "Print one JSON object (a manifest plus \"trailer\")");
  inspect->add_option("FILE", inspected, "A file that carries a payload")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e);
    return rc == 0 ? 0 : 2;
  }

  try {
    if (build->parsed()) return Build(launcher, manifest, output);
    return Inspect(inspected, asJson);
  } catch (const InputError& e) {
    std::cerr << "uninst-pack: " << e.what() << '\n';
  } catch (const std::exception& e) {
    std::cerr << "uninst-pack: " << e.what() << '\n';
  }
  return 1;
}
