#pragma once
// A manifest written from an install image: the product's files staged on the vendor's disk as
// the installer lays them out below the install folder.
#include <string>
#include <vector>

#include "Manifest.h"

namespace pack {

struct ImageOptions {
  std::string image;          // the staged install folder on this machine
  std::string installDir;     // where it is installed on Windows, "C:\Program Files\Korvane\"
  std::string programFolder;  // the Start-menu folder's name, or empty
  std::string finalFile;      // the launcher: its name in the install folder, or its full path
  bool finalFileGiven = false;        // --final-file was given (else it is the default, Uninst.exe)
  std::vector<std::string> excludes;  // --exclude patterns
  bool defaultExcludes = true;        // leave out the files that are never a product's
};

struct ImageManifest {
  Json manifest;
  std::vector<std::string> notes;  // one line per choice made (what is left out, and why)
  std::size_t leftOut = 0;         // entries left out by the exclusions
};

// Every file below the image in a group per folder, the install folder first and deeper folders
// later (the remover removes group folders from the last group to the first, so the deepest go
// first); the launcher as finalFile, and not listed. Resource.ini and the folders it names are
// left out (the remover removes those from Resource.ini before the listed files), and so is what
// an exclusion matches. An option that is wrong throws InputError; every problem of the image
// (links, FIFOs, names Windows cannot hold) is an error in `diagnostics`, with what the
// Resource.ini check finds and the warnings about the options. The manifest is not checked yet:
// `uninst-pack manifest` checks its text as build does.
ImageManifest ManifestFromImage(const ImageOptions& options, Diagnostics& diagnostics);

}  // namespace pack
