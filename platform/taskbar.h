#pragma once
// Full-screen windows hide the desktop's task bar while they are shown and
// show it again when they close. The Linux desktops manage their panels
// themselves, so both calls do nothing here; the windows call them all the
// same so that the flow stays in one place.
namespace platform {

void HideTaskbar();
void ShowTaskbar();

} // namespace platform
