#pragma once
// Pushes the 37 settings into the controls of the units dialog, the main
// window, the plot windows and the batch windows at start-up, and gathers them
// back on exit.
#include "app/core/settings.h"

namespace gui {

class SettingsForms : public core::SettingsWindows {
public:
    void PushSettings(const model::Settings& s) override;
    void GatherSettings(model::Settings& s) override;
};

// Registers the one SettingsForms with the settings file (start-up).
void RegisterSettingsForms();

} // namespace gui
