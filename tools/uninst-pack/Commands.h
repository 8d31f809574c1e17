#pragma once
// The commands of uninst-pack, each as the command line calls it: 0 when done; bad input throws
// InputError (Manifest.h), which the command line reports.
#include <string>

#include "ImageManifest.h"
#include "Trailer.h"

namespace pack {

// manifest: the manifest of an install image (ImageManifest.h), to `output` (UTF-8) or, when it is
// empty, to standard output; its notes on stderr.
int WriteManifest(const ImageOptions& options, const std::string& output);
// build: writes a copy of the launcher with the manifest's payload appended (Pack.cpp).
int Build(const std::string& launcherPath, const std::string& manifestPath, const std::string& outputPath, bool strict,
          bool bareRemover);
// inspect: prints the trailer and every record of a file's payload, readable or as JSON (Report.cpp).
int Inspect(const std::string& path, bool asJson);
// plan: prints what a packed file makes the remover do (Report.cpp, Plan.h).
int Plan(const std::string& path, const std::string& resourceIni, const std::string& answer, bool asJson);

// What a security directory that reaches past the end of a file of `length` bytes is, in words.
std::string OutsideTheFile(const payload::CertificateTable& table, std::uint64_t length);

}  // namespace pack
