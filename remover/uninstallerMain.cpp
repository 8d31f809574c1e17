// The remover's entry point.
#include "SystemEnvironment.h"
#include "uninstallerApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { RunRemover(remover::SystemEnvironment); }
