// uninst-pack: the vendor's tool that writes a manifest from an install image, appends a removal
// payload to a launcher, shows the payload of any file and what it makes the remover do.
//
//   uninst-pack manifest --image DIR --install-dir PATH [--program-folder NAME] [--final-file NAME]
//                        [--exclude PATTERN]... [--no-default-excludes] [-o FILE|-]
//   uninst-pack build --launcher FILE --manifest FILE|- -o FILE [--strict]
//   uninst-pack inspect [--json] FILE
//   uninst-pack plan FILE [--resource-ini PATH] [--answer yes|no] [--json]
// and, before or after the command: -q, --warn-off CODE, --max-errors N, --diagnostics text|json.
//
// Exit codes: 0 done, 1 bad input (manifest, launcher, payload), 2 and above command-line errors.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "Commands.h"
#include "File.h"
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

// The options every command takes, as the command line gives them (checked after parsing, in the
// tool's own words).
struct ReportArguments {
  bool quiet = false;
  std::string format = "text";
  std::string maxErrors;
  std::vector<std::string> warningsOff;
};

// The report options the arguments ask for; InputError (a command-line error) for a value that is
// none of those an option takes.
pack::ReportOptions ReportOptionsOf(const ReportArguments& arguments) {
  pack::ReportOptions options;
  options.quiet = arguments.quiet;
  if (arguments.format != "text" && arguments.format != "json")
    throw pack::InputError(pack::Code::BadOptionValue, "--diagnostics takes text or json, not " + arguments.format);
  options.json = arguments.format == "json";
  if (!arguments.maxErrors.empty()) {
    if (arguments.maxErrors.find_first_not_of("0123456789") != std::string::npos || arguments.maxErrors.size() > 9)
      throw pack::InputError(pack::Code::BadOptionValue,
                             "--max-errors takes a number of errors (0: all of them), not " + arguments.maxErrors);
    options.maxErrors = std::stoul(arguments.maxErrors);
  }
  for (const std::string& text : arguments.warningsOff) {
    const auto code = pack::WarningCode(text);
    if (!code) {
      std::string warnings;
      for (const pack::Code warning : pack::kWarnings) warnings += (warnings.empty() ? "" : ", ") + pack::CodeText(warning);
      throw pack::InputError(pack::Code::BadOptionValue, "--warn-off takes the code of a warning (" + warnings + "), not " +
                                                             text + ": errors cannot be turned off");
    }
    options.turnedOff.insert(*code);
  }
  return options;
}

// Whether the command line asks for the diagnostics as JSON, read from the words themselves: for a
// command line that could not be parsed.
bool AsksForJson(int argc, char** argv) {
  for (int k = 1; k < argc; ++k) {
    const std::string word = argv[k];
    if (word == "--diagnostics=json" || (word == "--diagnostics" && k + 1 < argc && std::string(argv[k + 1]) == "json"))
      return true;
  }
  return false;
}

// What is wrong with a command line, in the tool's words (the parser's name its own grammar).
std::string CommandLineProblem(const CLI::ParseError& e, CLI::App& app, int argc, char** argv) {
  const std::vector<std::string> left = app.remaining(true);
  // An option of the command given, written before it.
  for (const CLI::App* command : app.get_subcommands()) {
    for (int k = 1; k < argc && command->get_name() != argv[k]; ++k) {
      const std::string word = argv[k];
      const std::string name = word.substr(0, word.find('='));
      if (name.starts_with("-") && command->get_option_no_throw(name) != nullptr &&
          std::find(left.begin(), left.end(), word) != left.end())
        return name + " is an option of " + command->get_name() + ": write it after the command (uninst-pack " +
               command->get_name() + " " + name + " ...)";
    }
  }
  const std::string what = e.what();
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr) {
    // "--output: At Most 1 required but received 2", "--output: 1 required TEXT missing".
    const std::string name = what.substr(0, what.find(':'));
    if (what.find("received") != std::string::npos)
      return name + " is given more than once: give it once";
    return name + " needs a value";
  }
  if (!left.empty())
    return "not understood: " + CLI::detail::join(left, " ") +
           (app.get_subcommands().empty() ? " (the command comes first: manifest, build, inspect or plan)" : "");
  if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr) {
    if (app.get_subcommands().empty()) return "no command: give one of manifest, build, inspect or plan";
    const CLI::App* command = app.get_subcommands().front();
    for (const CLI::Option* option : command->get_options())
      if (option->get_required() && option->count() == 0)
        return command->get_name() + " needs " + option->get_name(false, true);
  }
  return "not understood (" + what + ")";
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"uninst-pack: write a manifest from an install image, append a removal payload to a launcher, "
               "show the payload of a file and what it makes the remover do."};
  app.footer(kManifestHelp);
  app.set_version_flag("--version", "uninst-pack " UNINST_PACK_VERSION);
  app.require_subcommand(1);
  // The options of what is said go before or after the command.
  app.fallthrough();
  ReportArguments report;
  app.add_flag("-q,--quiet", report.quiet, "Say errors only: no warnings, notes or counts");
  app.add_option("--warn-off", report.warningsOff, "Turn the warning CODE (UP2101, say) off; repeatable")->type_name("CODE");
  app.add_option("--max-errors", report.maxErrors, "Say at most N errors (0: all)")->type_name("N");
  app.add_option("--diagnostics", report.format, "How errors and warnings are said: text, or json (a JSON object a line)")
      ->type_name("FORMAT");

  pack::ImageOptions image;
  image.finalFile = "Uninst.exe";
  CLI::App* manifest = app.add_subcommand("manifest", "Print a manifest (UTF-8 JSON) of every file of an install image");
  manifest->add_option("--image", image.image, "The install folder's files as installed, on this machine")->required();
  manifest->add_option("--install-dir", image.installDir, "Where they are installed, e.g. 'C:\\Program Files\\Korvane\\'")
      ->required();
  manifest->add_option("--program-folder", image.programFolder, "The product's folder in the Start menu's Programs folder");
  CLI::Option* finalFile = manifest->add_option("--final-file", image.finalFile,
                                                "The launcher, deleted last: its name in the install folder, or its full path")
                               ->capture_default_str();
  manifest->add_option("--exclude", image.excludes,
                       "Leave out what matches PATTERN (a name, or a path from the image with '/'; * ? [...]); repeatable")
      ->type_name("PATTERN");
  bool keepDefaults = false;
  manifest->add_flag("--no-default-excludes", keepDefaults,
                     "List version control folders, Thumbs.db, .DS_Store, desktop.ini and editors' backups as well");
  std::string manifestOutput;
  manifest->add_option("-o,--output", manifestOutput,
                       "Write the manifest to this file (UTF-8) instead of standard output (-)");

  pack::BuildOptions build;
  CLI::App* buildCommand = app.add_subcommand("build", "Write a copy of the launcher with the manifest's payload appended");
  buildCommand->add_option("--launcher", build.launcher, "The launcher as built (no payload yet)")->required();
  buildCommand->add_option("--manifest", build.manifest, "UTF-8 JSON manifest of what the remover deletes (-: standard input)")
      ->required();
  buildCommand->add_option("-o,--output", build.output, "Where to write the launcher with its payload")->required();
  buildCommand->add_flag("--strict", build.strict, "Treat warnings as errors");
  buildCommand->add_flag("--bare-remover", build.bareRemover,
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
  plan->add_option("--answer", answer, "The answer to the history question: yes (是) or no (否)")->capture_default_str();
  plan->add_flag("--json", asJson, "Print one JSON object");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
    pack::ReportOptions options;
    options.json = AsksForJson(argc, argv);
    pack::Reporter(options, std::cerr).Error(pack::Code::CommandLine, CommandLineProblem(e, app, argc, argv));
    if (!options.json) std::cerr << "Run uninst-pack --help (or uninst-pack COMMAND --help) for more information.\n";
    return 2;
  }

  pack::ReportOptions options;
  options.json = AsksForJson(argc, argv);
  try {
    options = ReportOptionsOf(report);
    if (plan->parsed() && answer != "yes" && answer != "no")
      throw pack::InputError(pack::Code::BadOptionValue, "--answer takes yes (是) or no (否), not " + answer);
  } catch (const pack::InputError& e) {
    pack::Reporter(options, std::cerr).Error(e.code, e.what());
    return 2;
  }
  pack::Reporter reporter(options, std::cerr);
  try {
    if (manifest->parsed()) {
      image.finalFileGiven = finalFile->count() > 0;
      image.defaultExcludes = !keepDefaults;
      return pack::WriteManifest(image, manifestOutput, reporter);
    }
    if (buildCommand->parsed()) return pack::Build(build, reporter);
    if (plan->parsed()) return pack::Plan(planned, resourceIni, answer, asJson, reporter);
    return pack::Inspect(inspected, asJson);
  } catch (const pack::InputError& e) {
    reporter.Error(e.code, e.what());
  } catch (const fw::FileError& e) {
    reporter.Error(pack::Code::Unexpected, std::string("a file could not be read or written: ") + e.what());
  } catch (const std::filesystem::filesystem_error& e) {
    reporter.Error(pack::Code::Unexpected, e.path1().string() + ": " + e.code().message());
  } catch (const std::bad_alloc&) {
    reporter.Error(pack::Code::Unexpected, "out of memory");
  } catch (const std::exception& e) {
    reporter.Error(pack::Code::Unexpected, std::string("an unexpected failure: ") + e.what());
  }
  return 1;
}
