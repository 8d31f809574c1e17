#pragma once
// What a payload makes the remover do, step by step in its order, through the remover's own rules
// (ResourceFolderFromLine, fw::FullPath::Parse, the folder guard on a standard layout).
#include <optional>
#include <string>
#include <vector>

#include "Manifest.h"
#include "Records.h"

namespace pack {

struct PlanStep {
  std::string stage;   // resource-folder, resource-list, file, final-file, folder, shortcut,
                       // start-menu-folder, registry
  std::string path;    // UTF-8; shortcuts start at {Desktop} or {Programs}
  std::string action;  // delete, remove-tree, remove-empty (what is or becomes empty),
                       // remove-if-empty (the folder alone), skip, refuse, unknown
  std::string reason;  // why, for skip, refuse, unknown and remove-if-empty
};

// `resourceIni`: the Resource.ini the install folder will hold (a file on this machine), or
// nullopt when unknown. `deleteHistory`: the answer 是 (true) or 否. `diagnostics` receives what the
// Resource.ini given would make the remover do otherwise than its author meant (ResourceListCheck.h).
std::vector<PlanStep> MakePlan(const payload::RemovalRecords& records, const std::optional<std::string>& resourceIni,
                               bool deleteHistory, Diagnostics& diagnostics);

// The plan as JSON ({"answer", "layout", "steps": [...]}) and as lines to read.
Json PlanJson(const std::vector<PlanStep>& steps, bool deleteHistory);
std::string PlanText(const std::vector<PlanStep>& steps, bool deleteHistory);

}  // namespace pack
