#pragma once
// The commands of uninst-pack, each as the command line calls it: the exit code (0 done, 1 bad
// input), what it finds said through the Reporter; a bad input that ends a command at once throws
// InputError (Manifest.h), which the command line reports.
#include <string>

#include "Diagnostics.h"
#include "ImageManifest.h"
#include "Trailer.h"

namespace pack {

// manifest: the manifest of an install image (ImageManifest.h), to `output` (UTF-8) or, when it is
// empty or "-", to standard output.
int WriteManifest(const ImageOptions& options, const std::string& output, Reporter& reporter);

struct BuildOptions {
  std::string launcher, manifest, output;  // the manifest "-": standard input
  bool strict = false;       // warnings are errors
  bool bareRemover = false;  // the launcher given is the remover itself (benchmarks, tests)
};
// build: writes a copy of the launcher with the manifest's payload appended (Pack.cpp).
int Build(const BuildOptions& options, Reporter& reporter);
// inspect: prints the trailer and every record of a file's payload, readable or as JSON (Report.cpp).
int Inspect(const std::string& path, bool asJson);
// plan: prints what a packed file makes the remover do (Report.cpp, Plan.h).
int Plan(const std::string& path, const std::string& resourceIni, const std::string& answer, bool asJson,
         Reporter& reporter);

// What a security directory that reaches past the end of a file of `length` bytes is, in words.
std::string OutsideTheFile(const payload::CertificateTable& table, std::uint64_t length);

}  // namespace pack
