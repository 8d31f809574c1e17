// uninst-pack: the vendor's tool that writes a manifest from an install image, appends a removal
// payload to a launcher, shows the payload of any file and what it makes the remover do.
//
//   uninst-pack manifest --image DIR --install-dir PATH [--program-folder NAME] [--final-file NAME]
//   uninst-pack build --launcher FILE --manifest FILE --output FILE [--strict]
//   uninst-pack inspect [--json] FILE
//   uninst-pack plan FILE [--resource-ini PATH] [--answer yes|no] [--json]
//
// Exit codes: 0 done, 1 bad input (manifest, launcher, payload), 2 and above command-line errors.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "Archive.h"
#include "File.h"
#include "ImageManifest.h"
#include "Manifest.h"
#include "PeImage.h"
#include "Plan.h"
#include "Records.h"
#include "Trailer.h"

namespace {

namespace fs = std::filesystem;
using pack::InputError;
using pack::Json;

constexpr const char* kManifestHelp = R"(
The manifest is UTF-8 JSON:
  {"programFolderName": "Korvane",
   "installDir": "C:\\Program Files\\Korvane\\",
   "finalFile": "C:\\Program Files\\Korvane\\Uninst.exe",
   "groups": [{"folder": "C:\\Program Files\\Korvane\\bin",
               "files": ["C:\\Program Files\\Korvane\\bin\\a.dll"]}]}
Every path is a full Windows path ("X:\\..." or "\\\\server\\share\\...", no ".." component; the
remover joins nothing), each backslash written \\ in JSON; finalFile and a group's folder may be
empty. Texts are stored as GBK. `uninst-pack manifest` writes one from an install image.
`inspect --json` prints a manifest of the same form, plus the trailer (and, for a signed file,
where its certificate table is).

Sign after packing (signtool, osslsigncode): the signature then covers the payload. `build`
refuses a launcher that is already signed.)";

// What a security directory that reaches past the end of a file of `length` bytes is.
std::string OutsideTheFile(const payload::CertificateTable& table, std::uint64_t length) {
  std::ostringstream msg;
  msg << "the security directory points outside the file (certificate table at offset " << table.offset << ", "
      << table.size << " bytes; the file has " << length << " bytes)";
  return msg.str();
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec) && !ec;
}

std::string ReadAll(fw::File& file) {
  std::string bytes;
  file.Seek(0, fw::File::SeekFrom::Begin);
  std::vector<char> chunk(1 << 16);
  while (const std::size_t n = file.Read(chunk.data(), chunk.size())) bytes.append(chunk.data(), n);
  return bytes;
}

// The launcher is a Windows program of this project's: a PE executable with a GUI that carries,
// as resource "UNINSTALLER" 131, the remover image it stages. The remover itself carries none;
// `bareRemover` packs the remover to be run directly (benchmarks and tests), never shipped.
void CheckLauncher(const std::string& image, const std::string& path, bool bareRemover) {
  const std::string intro = "launcher " + path + " is not a launcher built by this project: ";
  const std::string fix = ". Pack Uninst.exe from the windows build (build/windows-x86/bin/Uninst.exe)";
  const payload::PeRead pe = payload::ReadPeHeaders(image);
  if (!pe.headers) throw InputError(intro + pe.problem + fix);
  const payload::PeHeaders& headers = *pe.headers;
  if (headers.machine != payload::PeHeaders::kMachineI386 && headers.machine != payload::PeHeaders::kMachineAmd64)
    throw InputError(intro + "it is a program for another processor than x86 or x64" + fix);
  if ((headers.characteristics & payload::PeHeaders::kExecutableImage) == 0 ||
      (headers.characteristics & payload::PeHeaders::kDll) != 0)
    throw InputError(intro + "it is a DLL or an object, not a program" + fix);
  if (headers.subsystem != payload::PeHeaders::kSubsystemGui)
    throw InputError(intro + "it is not a Windows GUI program (a console program?)" + fix);
  const auto remover = payload::FindPeResource(headers, image, u"UNINSTALLER", 131);
  if (bareRemover) {
    if (remover)
      throw InputError("launcher " + path + " carries a remover (resource UNINSTALLER 131), so it is the launcher: " +
                       "leave out --bare-remover");
    return;
  }
  if (!remover)
    throw InputError("launcher " + path + " carries no remover (no resource UNINSTALLER 131): it is not the launcher. " +
                     "The remover (uninstaller.exe) is what the launcher stages; it is never packed for shipping" + fix);
  const payload::PeRead inner = payload::ReadPeHeaders(*remover);
  if (!inner.headers) throw InputError("the remover launcher " + path + " carries is not a Windows program: " + inner.problem);
}

// Where the output goes, said in words before anything is written.
void CheckOutput(const std::string& output) {
  std::error_code ec;
  if (fs::is_directory(output, ec))
    throw InputError("the output " + output + " is a folder: give the name of the file to write, such as " +
                     (fs::path(output) / "Uninst.exe").string());
  const fs::path folder = fs::path(output).parent_path().empty() ? fs::path(".") : fs::path(output).parent_path();
  if (!fs::exists(folder, ec))
    throw InputError("the output folder " + folder.string() + " does not exist: create it first");
  if (!fs::is_directory(folder, ec)) throw InputError("the output folder " + folder.string() + " is not a folder");
}

// The packed file is a program: executable wherever it is readable, as a linker leaves one.
void MakeExecutable(const std::string& path) {
  using fs::perms;
  const perms current = fs::status(path).permissions();
  perms exec = perms::none;
  if ((current & perms::owner_read) != perms::none) exec |= perms::owner_exec;
  if ((current & perms::group_read) != perms::none) exec |= perms::group_exec;
  if ((current & perms::others_read) != perms::none) exec |= perms::others_exec;
  fs::permissions(path, exec, fs::perm_options::add);
}

int Build(const std::string& launcherPath, const std::string& manifestPath, const std::string& outputPath, bool strict,
          bool bareRemover) {
  if (SameFile(outputPath, launcherPath)) throw InputError("the output must not be the launcher itself: " + outputPath);
  if (SameFile(outputPath, manifestPath)) throw InputError("the output must not be the manifest: " + outputPath);
  CheckOutput(outputPath);
  const pack::CheckedManifest manifest = pack::ReadManifest(manifestPath);
  const payload::RemovalRecords& records = manifest.records;

  fw::File launcher;
  if (!launcher.Open(launcherPath, fw::File::Mode::Read))
    throw InputError("cannot open launcher " + launcherPath + ": " + std::strerror(errno));
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
  const std::string image = ReadAll(launcher);
  CheckLauncher(image, launcherPath, bareRemover);
  for (const std::string& warning : manifest.warnings) std::cerr << "uninst-pack: warning: " << warning << '\n';
  if (strict && !manifest.warnings.empty())
    throw InputError(std::to_string(manifest.warnings.size()) + " warning(s), and --strict makes them errors");

  // Write beside the output and rename at the end, so that a failure leaves no partial output.
  const std::string tempPath = outputPath + ".uninst-pack-tmp";
  std::uint64_t written = 0;
  try {
    fw::File out;
    if (!out.Open(tempPath, fw::File::Mode::CreateWrite))
      throw InputError("cannot write in the output folder of " + outputPath + ": " + std::strerror(errno));
    out.Write(image.data(), image.size());
    payload::AppendPayload(out, imageSize, records, records.FileTotal());
    written = out.GetLength();
    out.Close();
    MakeExecutable(tempPath);
    fs::rename(tempPath, outputPath);
  } catch (...) {
    std::error_code ec;
    fs::remove(tempPath, ec);
    throw;
  }
  std::cout << "wrote " << outputPath << ": " << records.FileTotal() << " files in " << records.groups.size()
            << " groups, " << written - imageSize << " bytes appended to the launcher's " << imageSize << '\n';
  return 0;
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

// Opens `path` and finds its payload, or says why it has none.
payload::PayloadLocation OpenPayload(const std::string& path, fw::File& file) {
  if (!file.Open(path, fw::File::Mode::Read)) throw InputError("cannot open " + path + ": " + std::strerror(errno));
  const auto trailer = payload::ReadTrailer(file);
  if (!trailer) throw InputError(path + " carries no payload: it is too short to hold a payload trailer");
  RequireSignatureCoversPayload(path, *trailer, file.GetLength());
  if (!trailer->IsValid()) {
    std::ostringstream msg;
    msg << path << " carries no payload: no valid payload trailer at offset " << trailer->trailerOffset;
    if (trailer->certificateTable)
      msg << ", in front of the certificate table at offset " << trailer->certificateTable->offset;
    msg << " (a launcher as built has none: uninst-pack build appends one)";
    throw InputError(msg.str());
  }
  return *trailer;
}

void ReadPayload(const std::string& path, fw::File& file, const payload::PayloadLocation& trailer,
                 payload::RecordVisitor& visitor) {
  try {
    payload::ReadRecords(file, trailer, visitor);
  } catch (const fw::ArchiveError& e) {
    std::ostringstream msg;
    msg << path << ": damaged record archive at offset " << e.offset() << ": " << e.what();
    throw InputError(msg.str());
  }
}

// Converts each record to UTF-8 as it is read, naming the field that is not GBK.
class JsonBuilder : public payload::RecordVisitor {
 public:
  void OnHeader(const payload::RecordHeader& h) override {
    doc["programFolderName"] = pack::GbkToUtf8(h.programFolderName, "programFolderName");
    doc["installDir"] = pack::GbkToUtf8(h.installDir, "installDir");
    doc["finalFile"] = pack::GbkToUtf8(h.finalFile, "finalFile");
    doc["groups"] = Json::array();
  }
  void OnGroupCount(std::int32_t count) override { groupCount = count; }
  void OnGroup(const std::string& folderPath, std::int32_t /*entryCount*/) override {
    const std::string where = "groups[" + std::to_string(doc["groups"].size()) + "]";
    doc["groups"].push_back({{"folder", pack::GbkToUtf8(folderPath, where + ".folder")}, {"files", Json::array()}});
  }
  void OnEntry(const std::string& filePath) override {
    Json& group = doc["groups"].back();
    const std::string where =
        "groups[" + std::to_string(doc["groups"].size() - 1) + "].files[" + std::to_string(group["files"].size()) + "]";
    group["files"].push_back(pack::GbkToUtf8(filePath, where));
  }

  Json doc = Json::object();
  std::int32_t groupCount = 0;
};

void PrintReadable(const Json& doc, std::int32_t groupCount) {
  const Json& t = doc["trailer"];
  std::cout << "trailer: blockSize=" << t["blockSize"] << " recordsOffset=" << t["recordsOffset"]
            << " endOffset=" << t["endOffset"] << " fileTotal=" << t["fileTotal"] << " (valid)\n";
  std::cout << "image: " << doc["image"].get<std::string>() << '\n';
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

// Which program the payload is appended to: "PE32 (x86)" or "PE32+ (x64)", as its headers say.
std::string ImageKind(fw::File& file, std::uint32_t imageSize) {
  std::string image(imageSize, '\0');
  file.Seek(0, fw::File::SeekFrom::Begin);
  image.resize(file.Read(image.data(), image.size()));
  const payload::PeRead read = payload::ReadPeHeaders(image);
  if (!read.headers) return "not a PE image (" + read.problem + ")";
  if (read.headers->magic == 0x20B) return "PE32+ (x64)";
  if (read.headers->magic == 0x10B) return "PE32 (x86)";
  return "a PE image of another kind";
}

int Inspect(const std::string& path, bool asJson) {
  fw::File file;
  const payload::PayloadLocation trailer = OpenPayload(path, file);
  JsonBuilder builder;
  ReadPayload(path, file, trailer, builder);
  builder.doc["trailer"] = {{"blockSize", trailer.blockSize},
                            {"recordsOffset", trailer.recordsOffset},
                            {"endOffset", trailer.endOffset},
                            {"fileTotal", trailer.fileTotal}};
  builder.doc["image"] = ImageKind(file, trailer.recordsOffset);
  if (const auto& table = trailer.certificateTable)
    builder.doc["signature"] = {{"certificateTableOffset", table->offset},
                                {"certificateTableSize", table->size},
                                {"padding", table->offset - trailer.trailerOffset - payload::PayloadTrailer::kSize}};
  if (asJson)
    std::cout << builder.doc.dump(2) << '\n';
  else
    PrintReadable(builder.doc, builder.groupCount);
  return 0;
}

int Plan(const std::string& path, const std::string& resourceIni, const std::string& answer, bool asJson) {
  fw::File file;
  const payload::PayloadLocation trailer = OpenPayload(path, file);
  payload::RecordCollector records;
  ReadPayload(path, file, trailer, records);
  const bool yes = answer == "yes";
  const auto steps = pack::MakePlan(records.records,
                                    resourceIni.empty() ? std::nullopt : std::optional<std::string>(resourceIni), yes);
  if (asJson)
    std::cout << pack::PlanJson(steps, yes).dump(2) << '\n';
  else
    std::cout << pack::PlanText(steps, yes);
  return 0;
}

int WriteManifest(const pack::ImageOptions& options) {
  std::vector<std::string> notes;
  const Json manifest = pack::ManifestFromImage(options, notes);
  for (const std::string& note : notes) std::cerr << "uninst-pack: " << note << '\n';
  std::cout << manifest.dump(2) << '\n';
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"uninst-pack: write a manifest from an install image, append a removal payload to a launcher, "
               "show the payload of a file and what it makes the remover do."};
  app.footer(kManifestHelp);
  app.set_version_flag("--version", "uninst-pack " UNINST_PACK_VERSION);
  app.require_subcommand(1);

  pack::ImageOptions image;
  image.finalFile = "Uninst.exe";
  CLI::App* manifest = app.add_subcommand("manifest", "Print a manifest (UTF-8 JSON) of every file of an install image");
  manifest->add_option("--image", image.image, "The install folder's files as installed, on this machine")->required();
  manifest->add_option("--install-dir", image.installDir, "Where they are installed, e.g. 'C:\\Program Files\\Korvane\\'")
      ->required();
  manifest->add_option("--program-folder", image.programFolder, "The product's folder in the Start menu's Programs folder");
  manifest->add_option("--final-file", image.finalFile, "The launcher, deleted last (relative to the install folder)")->capture_default_str();

  std::string launcher, manifestPath, output;
  bool strict = false, bareRemover = false;
  CLI::App* build = app.add_subcommand("build", "Write a copy of the launcher with the manifest's payload appended");
  build->add_option("--launcher", launcher, "The launcher as built (no payload yet)")->required();
  build->add_option("--manifest", manifestPath, "UTF-8 JSON manifest of what the remover deletes")->required();
  build->add_option("--output", output, "Where to write the launcher with its payload")->required();
  build->add_flag("--strict", strict, "Treat warnings as errors");
  build->add_flag("--bare-remover", bareRemover,
                  "The launcher given is the remover itself, to run without a launcher (benchmarks, tests; not shipped)");

  std::string inspected;
  bool asJson = false;
  CLI::App* inspect =
      app.add_subcommand("inspect", "Print the trailer, every record of a file's payload, and where its signature is");
  inspect->add_flag("--json", asJson, "Print one JSON object (a manifest plus \"trailer\")");
  inspect->add_option("FILE", inspected, "A file that carries a payload")->required();

  std::string planned, resourceIni, answer = "yes";
  CLI::App* plan = app.add_subcommand("plan", "Print what a packed file makes the remover do, in its order");
  plan->add_option("FILE", planned, "A file that carries a payload")->required();
  plan->add_option("--resource-ini", resourceIni, "The Resource.ini the install folder holds, on this machine");
  plan->add_option("--answer", answer, "The answer to the history question: yes (是) or no (否)")
      ->capture_default_str()
      ->check(CLI::IsMember({"yes", "no"}));
  plan->add_flag("--json", asJson, "Print one JSON object");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
    std::cerr << "uninst-pack: " << e.what() << '\n';
    // A subcommand missing hides the arguments nobody took: name them.
    if (const auto left = app.remaining(true); !left.empty() && dynamic_cast<const CLI::ExtrasError*>(&e) == nullptr)
      std::cerr << "uninst-pack: not understood: " << CLI::detail::join(left, " ") << '\n';
    std::cerr << "Run uninst-pack --help (or uninst-pack COMMAND --help) for more information.\n";
    return 2;
  }

  try {
    if (manifest->parsed()) return WriteManifest(image);
    if (build->parsed()) return Build(launcher, manifestPath, output, strict, bareRemover);
    if (plan->parsed()) return Plan(planned, resourceIni, answer, asJson);
    return Inspect(inspected, asJson);
  } catch (const std::exception& e) {
    std::cerr << "uninst-pack: " << e.what() << '\n';
  }
  return 1;
}
