#pragma once
// The remover's folder guard as it stands on a standard Windows layout: what uninst-pack judges
// group folders, the install folder and the Start-menu folder against before the remover ever
// sees them. On a real machine the remover builds its guard from the system (every known folder
// it has registered, wherever they are), so this is the floor of what it refuses.
#include <string>
#include <string_view>

#include "FolderGuard.h"
#include "FullPath.h"

namespace pack {

// The guard of a standard layout: C:\Windows, Program Files, ProgramData, Public, and a profile
// (C:\Users\Default) with the usual per-profile folders.
const removal::FolderGuard& StandardGuard();

// Why the standard guard refuses `path`, in words; empty when it does not.
std::string WhyRefused(const fw::FullPath& path);

// Where `path` lies in a place of the system's that no product's file is in, in words ("the
// previous Windows installation C:\Windows.old"), whatever the guard says of it; empty when not.
std::string WhySystemPlace(const fw::FullPath& path);

// The Start menu's Programs folders the remover looks in (the user's, then all users').
inline constexpr std::u16string_view kUserPrograms =
    u"C:\\Users\\Default\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
inline constexpr std::u16string_view kCommonPrograms = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";

}  // namespace pack
