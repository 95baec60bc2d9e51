#include "platform/taskbar.h"

namespace platform {

void HideTaskbar() {}
void ShowTaskbar() {}

} // namespace platform
