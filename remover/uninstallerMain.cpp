// The remover's entry point.
#include "uninstallerApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { RunRemover(remover::SystemRemovalThread()); }
