#pragma once
// The remover's folder guard as it stands on a standard Windows layout: what uninst-pack judges
// group folders, the install folder and the Start-menu folder against before the remover ever
// sees them. On a real machine the remover builds its guard from the system (every known folder
// it has registered, wherever they are), so this is the floor of what it refuses.
#include <span>
#include <string>
#include <string_view>

#include "FolderGuard.h"
#include "FullPath.h"

namespace pack {

// The guard of a standard layout: C:\Windows, Program Files, ProgramData, Public, a profile
// (C:\Users\Default) with the usual per-profile folders, and every documented known folder at its
// default location (removal::KnownFolderDefaults).
const removal::FolderGuard& StandardGuard();

// Why the standard guard refuses `path`, in words (naming the known folder); empty when it does
// not.
std::string WhyRefused(const fw::FullPath& path);

// Why the remover only removes `path` when it is empty, as another product's folder (directly in a
// drive's root or in Program Files, and not the install folder `installFolder` nor inside it), in
// words; empty when it is not one.
std::string WhyAnotherProductsPlace(const fw::FullPath& path, std::span<const std::u16string> installFolder);

// Where `path` lies in a place of the system's that no product's file is in, in words ("the
// previous Windows installation C:\Windows.old"), whatever the guard says of it; empty when not.
std::string WhySystemPlace(const fw::FullPath& path);

// The Start menu's Programs folders the remover looks in (the user's, then all users').
inline constexpr std::u16string_view kUserPrograms =
    u"C:\\Users\\Default\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
inline constexpr std::u16string_view kCommonPrograms = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";

}  // namespace pack
