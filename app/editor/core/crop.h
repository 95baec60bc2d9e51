#pragma once
// The crop of the current image to its region of interest.
#include <cstdint>
#include <string>
#include <vector>

namespace editor {

// True when the region may be cropped: inside the image (touching the right
// or bottom edge is inside) and not empty.
bool CropRegionValid(int left, int top, int width, int height, int cols, int rows);

// Makes the cropped picture (cols x rows bytes) the current image: geometry
// (ImageCols/Rows, XMax/YMax, FullXMax/FullYMax), PhaseImage, CurrentPhase,
// DisplayImage, RowBuffer. The header text stays.
void AcceptCroppedImage(int cols, int rows, const std::vector<uint8_t>& pixels);

// "Image: name (W x H)" of the main window after a crop or burn; "Current"
// when the image was not saved.
std::string ImageCaption(const std::string& fileTitle, int cols, int rows);

} // namespace editor
