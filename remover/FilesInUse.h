#pragma once
// What the remover asks the system about programs that hold the product's files.
#include <windows.h>

#include <string>
#include <vector>

namespace remover {

// The display names of the programs that the Restart Manager says hold any of `files` (full
// paths), each once; empty where the system has no Restart Manager or it names none.
std::vector<std::wstring> ProgramsHolding(const std::vector<std::wstring>& files);

// Gives the launcher that started this remover a few seconds to end when it runs from
// `finalFile` (the records' final file, Uninst.exe): a running image cannot be deleted. Returns at
// once when the remover's parent is any other program or has ended.
void WaitForLauncherOf(const std::wstring& finalFile);

}  // namespace remover
