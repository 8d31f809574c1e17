// uninst-pack: the vendor's tool that writes a manifest from an install image, appends a removal
// payload to a launcher, shows the payload of any file and what it makes the remover do.
//
//   uninst-pack manifest --image DIR --install-dir PATH [--program-folder NAME] [--final-file NAME] [-o FILE]
//   uninst-pack build --launcher FILE --manifest FILE --output FILE [--strict]
//   uninst-pack inspect [--json] FILE
//   uninst-pack plan FILE [--resource-ini PATH] [--answer yes|no] [--json]
//
// Exit codes: 0 done, 1 bad input (manifest, launcher, payload), 2 and above command-line errors.
#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

#include "Commands.h"
#include "Manifest.h"

namespace {

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
  manifest->add_option("--final-file", image.finalFile,
                       "The launcher, deleted last: its name in the install folder, or its full path")
      ->capture_default_str();
  std::string manifestOutput;
  manifest->add_option("-o,--output", manifestOutput,
                       "Write the manifest to this file (UTF-8) instead of standard output");

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
    // A subcommand missing hides the arguments nobody took: what is wrong is those, said first.
    const auto left = app.remaining(true);
    if (!left.empty() && dynamic_cast<const CLI::ExtrasError*>(&e) == nullptr)
      std::cerr << "uninst-pack: not understood: " << CLI::detail::join(left, " ")
                << " (the command comes first: manifest, build, inspect or plan)\n";
    else
      std::cerr << "uninst-pack: " << e.what() << '\n';
    std::cerr << "Run uninst-pack --help (or uninst-pack COMMAND --help) for more information.\n";
    return 2;
  }

  try {
    if (manifest->parsed()) return pack::WriteManifest(image, manifestOutput);
    if (build->parsed()) return pack::Build(launcher, manifestPath, output, strict, bareRemover);
    if (plan->parsed()) return pack::Plan(planned, resourceIni, answer, asJson);
    return pack::Inspect(inspected, asJson);
  } catch (const std::exception& e) {
    std::cerr << "uninst-pack: " << e.what() << '\n';
  }
  return 1;
}
