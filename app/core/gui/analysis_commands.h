#pragma once
// Plain helpers of the main window's load and command handlers.
#include <string>

namespace gui {

// The measurement system's fixed output image: BaseFolder()/Dunmarsh/Results/Image_ph.bmp
// (the acquisition program writes its results folder beside ours).
std::string AcquisitionImagePath();

} // namespace gui
