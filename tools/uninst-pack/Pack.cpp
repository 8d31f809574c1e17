// uninst-pack build: a launcher as built, checked, with a manifest's payload appended, written
// beside the output and renamed at the end.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "Commands.h"
#include "File.h"
#include "Manifest.h"
#include "Output.h"
#include "PeImage.h"
#include "Records.h"
#include "Trailer.h"

namespace pack {
namespace {

namespace fs = std::filesystem;

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
  if (!pe.headers) throw InputError(Code::NotALauncher, intro + pe.problem + fix);
  const payload::PeHeaders& headers = *pe.headers;
  if (headers.machine != payload::PeHeaders::kMachineI386 && headers.machine != payload::PeHeaders::kMachineAmd64)
    throw InputError(Code::NotALauncher, intro + "it is a program for another processor than x86 or x64" + fix);
  if ((headers.characteristics & payload::PeHeaders::kExecutableImage) == 0 ||
      (headers.characteristics & payload::PeHeaders::kDll) != 0)
    throw InputError(Code::NotALauncher, intro + "it is a DLL or an object, not a program" + fix);
  if (headers.subsystem != payload::PeHeaders::kSubsystemGui)
    throw InputError(Code::NotALauncher, intro + "it is not a Windows GUI program (a console program?)" + fix);
  const auto remover = payload::FindPeResource(headers, image, u"UNINSTALLER", 131);
  if (bareRemover) {
    if (remover)
      throw InputError(Code::LauncherIsNotBare, "launcher " + path + " carries a remover (resource UNINSTALLER 131), so it is the launcher: " +
                       "leave out --bare-remover");
    return;
  }
  if (!remover)
    throw InputError(Code::NotALauncher, "launcher " + path + " carries no remover (no resource UNINSTALLER 131): it is not the launcher. " +
                     "The remover (uninstaller.exe) is what the launcher stages; it is never packed for shipping" + fix);
  const payload::PeRead inner = payload::ReadPeHeaders(*remover);
  if (!inner.headers) throw InputError(Code::NotALauncher, "the remover launcher " + path + " carries is not a Windows program: " + inner.problem);
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

// The first bytes of a file ("" when it cannot be read).
std::string FirstBytes(const std::string& path, std::size_t count) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(count, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

// A program given as the manifest, or JSON text given as the launcher, is the two arguments
// swapped: said so before either is read as what it is not.
void RefuseSwappedInputs(const std::string& launcherPath, const std::string& manifestPath,
                         const std::string& manifestBytes) {
  const std::string manifestStart = manifestBytes.substr(0, 2);
  std::string launcherStart = FirstBytes(launcherPath, 64);
  launcherStart.erase(0, launcherStart.find_first_not_of(" \t\r\n\xEF\xBB\xBF"));
  const bool manifestIsProgram = manifestStart == "MZ";
  const bool launcherIsJson = !launcherStart.empty() && launcherStart.front() == '{';
  if (manifestIsProgram || launcherIsJson)
    throw InputError(Code::InputsSwapped, std::string(manifestIsProgram ? "the manifest " + ManifestName(manifestPath) + " is a Windows program"
                                                   : "the launcher " + launcherPath + " is JSON text") +
                     ": --launcher and --manifest swapped? --launcher takes Uninst.exe, --manifest the JSON manifest");
}

// The launcher's bytes, when it is one this project built, without a payload or a signature.
std::string ReadLauncher(const std::string& path, bool bareRemover) {
  fw::File launcher;
  if (!launcher.Open(path, fw::File::Mode::Read))
    throw InputError(Code::LauncherUnreadable, "cannot open launcher " + path + ": " + std::strerror(errno));
  const std::uint64_t size = launcher.GetLength();
  if (size > payload::PayloadTrailer::kMaxImageSize)
    throw InputError(Code::LauncherTooLarge, "launcher " + path + " is too large for a payload trailer (4 GiB limit)");
  if (const auto table = payload::FindCertificateTable(launcher)) {
    std::ostringstream msg;
    msg << "launcher " << path;
    if (table->End() > size)
      msg << ": " << OutsideTheFile(*table, size) << ", so the payload appended behind it would lie inside that table";
    else
      msg << " is signed (certificate table at offset " << table->offset << ", " << table->size
          << " bytes): a payload appended now would lie outside the signature";
    msg << ". Pack the launcher as built, then sign the packed file";
    throw InputError(Code::LauncherSigned, msg.str());
  }
  if (const auto trailer = payload::ReadTrailer(launcher); trailer && trailer->IsValid())
    throw InputError(Code::LauncherPacked, "launcher " + path + " already carries a payload; start from the launcher as built");
  std::string image = ReadAll(launcher);
  CheckLauncher(image, path, bareRemover);
  return image;
}

}  // namespace

int Build(const BuildOptions& options, Reporter& reporter) {
  const std::string& outputPath = options.output;
  if (outputPath == "-")
    throw InputError(Code::OutputNotStandardOutput,
                     "build writes a program, which standard output does not carry safely (a PowerShell '>' would "
                     "rewrite it as text): give the file to write with -o");
  if (SameFile(outputPath, options.launcher))
    throw InputError(Code::OutputIsInput, "the output must not be the launcher itself: " + outputPath);
  if (options.manifest != "-" && SameFile(outputPath, options.manifest))
    throw InputError(Code::OutputIsInput, "the output must not be the manifest: " + outputPath);
  CheckOutput(outputPath);
  std::error_code ec;
  if (const auto status = fs::status(options.launcher, ec); fs::exists(status) && !fs::is_regular_file(status))
    throw InputError(Code::LauncherUnreadable, "the launcher " + options.launcher +
                                                   " is not a file (a folder, a FIFO, a device): give Uninst.exe as built");
  // Read once: a FIFO or a pipe has nothing left for a second reader.
  std::string manifestBytes = ReadManifestBytes(options.manifest);
  RefuseSwappedInputs(options.launcher, options.manifest, manifestBytes);
  CheckedManifest manifest = CheckManifestText(std::move(manifestBytes), ManifestName(options.manifest));
  const payload::RemovalRecords& records = manifest.records;
  // The launcher's problem is said with the manifest's, in the same run.
  std::string image;
  try {
    image = ReadLauncher(options.launcher, options.bareRemover);
  } catch (const InputError& e) {
    manifest.diagnostics.Add(e.code, "", e.what());
  }
  manifest.diagnostics.TurnOff(reporter.Options().turnedOff);
  const std::size_t madeErrors = options.strict ? manifest.diagnostics.Warnings() : 0;
  if (options.strict) manifest.diagnostics.WarningsAsErrors();
  reporter.Say(manifest.diagnostics);
  if (manifest.diagnostics.Errors() > 0) {
    reporter.Count(manifest.diagnostics,
                   madeErrors > 0 ? " (" + Counted(madeErrors, "warning") + " made errors: --strict makes them errors)" : "");
    return 1;
  }
  const std::uint64_t imageSize = image.size();

  std::uint64_t written = 0;
  WriteOutput(outputPath, [&](const std::string& tempPath) {
    fw::File out;
    if (!out.Open(tempPath, fw::File::Mode::CreateWrite))
      throw InputError(Code::OutputUnwritable, "cannot write in the output folder of " + outputPath + ": " + std::strerror(errno));
    out.Write(image.data(), image.size());
    payload::AppendPayload(out, imageSize, records, records.FileTotal());
    written = out.GetLength();
    out.Close();
    MakeExecutable(tempPath);
  });
  if (reporter.Options().quiet) return 0;
  std::cout << "wrote " << Printable(outputPath) << ": " << Counted(records.FileTotal(), "file") << " in "
            << Counted(records.groups.size(), "group") << ", " << written - imageSize << " bytes appended to the launcher's " << imageSize << "; "
            << WarningsCounted(manifest.diagnostics) << '\n';
  return 0;
}

}  // namespace pack
