#pragma once
// Reading a phase image file and making it the current image of the model.
// The windows' LoadPhaseImage asks its size questions between the two steps.
#include <cstdint>
#include <string>
#include <vector>

namespace core {

// Refusal of an image the memory budget of the analysis cannot hold.
inline constexpr const char* kNotEnoughMemoryToLoad = "Not enough memory to load the image.";

struct PhaseImageFile {
    bool ok = false;
    std::string message;          // when !ok: "The file cannot be opened." (with the path limit when one
                                  // is gone beyond), kNotEnoughMemoryToLoad, the BMP reader's reason, or
                                  // "The file cannot be opened." CR "Invalid file format." for a
                                  // TIFF whose maker header breaks off
    uint16_t cols = 0;
    uint16_t rows = 0;
    std::string header;           // header text ("" for none)
    std::vector<uint8_t> pixels;  // row-major, cols x rows
};

// Reads size, pixels and header text: a "*_ph.bmp" as the main window's
// picture buffer reads it (its values, no header), any other name through the
// TIFF library. Regular files only, the file named exactly (a name without
// '.' too); a path beyond the system's limits is refused with a message that
// names the limit, an image larger than the analysis memory budget allows
// (four copies of it) before any memory is taken for it.
// A TIFF whose maker header breaks off is refused here, once for every
// reader (main window, hand-over, tools, batch, editor jobs): whether an image
// is accepted is this function's decision alone.
// `format` chooses the reader when the caller knows the kind (the batch and
// the editor's jobs by their phase-image format).
enum class PhaseFormat { ByName, Tiff, Bmp };
PhaseImageFile ReadPhaseImageFile(const std::string& path, PhaseFormat format = PhaseFormat::ByName);

struct InstalledImage {
    bool hasHeader = false;       // a maker header was parsed: Exclude 128 ticked,
                                  // Use FringeValue.txt cleared and enabled; else
                                  // Exclude 128 cleared, FringeValue.txt ticked and disabled
    std::string fringeLabel;      // "10.000000 (mils)" or "None"
    std::string imageLabel;       // "Image: part7_ph.tif (640 x 480)"
};

// Makes the file the current image: geometry, PhaseImage, header and fringe
// value, CurrentPhase, DisplayImage (with overlays), names, WorkingFolder,
// PhaseInMemory; then ResetAnalysisState. BMP pixels come with an empty header.
InstalledImage InstallPhaseImage(const std::string& path, PhaseImageFile file);

// DisplayImage = CurrentPhase with masked pixels and domain outlines at 255.
void RebuildDisplayImage();

// Read and install in one (no size questions). False with the reader's
// message when ReadPhaseImageFile refuses the file.
bool LoadPhaseImageFile(const std::string& path, std::string* message = nullptr, InstalledImage* installed = nullptr);

// Data files of the displacement: the name the save command writes for a
// chosen name and filter (1 binary "*.bin", 2 text "*.dat"), with "_ab" or
// "_rel" put before the extension when missing; "" when the name lacks the
// filter's extension ("The file cannot be saved." CR "Invalid filename specified.").
std::string DataFileName(const std::string& chosen, int filterIndex, bool relative);
// Writes model::images.Displacement through the analysis library, by the
// rules of every writer (atomic_file.h: a link written through, a read-only
// file refused); false with the reason when it fails.
bool WriteDisplacementFile(const std::string& path, bool text, std::string* error = nullptr);

} // namespace core
