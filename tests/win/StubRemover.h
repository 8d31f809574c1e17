#pragma once
// What the launcher tests and their stand-in remover (stub_remover.cpp) share.

// The window class of a stand-in remover that stays (KORVANE_STUB_STAY); closing its window ends it.
constexpr wchar_t kStubWindowClass[] = L"KorvaneStubRemover";
