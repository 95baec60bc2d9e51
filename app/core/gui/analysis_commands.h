#pragma once
// Plain helpers of the main window's load and command handlers.
#include <string>

namespace gui {

// The measurement system's fixed output image: BaseFolder()/Dunmarsh/Results/Image_ph.bmp
// (the acquisition program writes its results folder beside ours).
std::string AcquisitionImagePath();

// True when a maker header holds its count line and every field line up to
// field 9 with a numeric fringe value, so that it can be used; the model is
// left untouched and no message is shown.
bool HeaderIsWhole(const std::string& header);

} // namespace gui
