#include "WorkerProbe.h"

namespace uninstaller {

void OnWorkerStart() {}
void OnWorkerEnd() {}
bool ShowsStatusTexts() { return true; }

}  // namespace uninstaller
