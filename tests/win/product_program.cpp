// A stand-in for one of the product's programs, for the tests of files in use: started from the
// install folder under a listed name, it runs (its image mapped, so the file cannot be deleted)
// until it is ended.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Sleep(INFINITE);
  return 0;
}
