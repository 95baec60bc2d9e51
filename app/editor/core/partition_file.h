#pragma once
// Partition files (*_par.txt): one line per domain, "left TAB top TAB width TAB
// height TAB name" ended by CR LF, then the image-size line "width TAB height
// TAB 0 TAB 0 TAB 0". The domain table keeps the same rows: the domains, then
// the image-size row with the width in field 0 (Left) and the height in field
// 1 (Top).
#include "app/core/model/model.h"
#include "app/core/overlay.h"

#include <string>
#include <vector>

namespace editor {

// Most domains a partition holds: the table has one more row for the image size.
inline constexpr int kMaxPartitionDomains = model::MaxDomains - 1;

// The text of a partition file for `domains` on an image of width x height.
std::string FormatPartitionFile(const std::vector<model::Domain>& domains, int width, int height);

// Writes the file through a temporary file renamed into place. False with the
// reason when it cannot be written (nothing is left behind then).
bool WritePartitionFile(const std::string& path, const std::vector<model::Domain>& domains, int width, int height,
                        std::string* error = nullptr);

struct PartitionRead {
    enum Status {
        Ok,
        CannotOpen,     // missing or unreadable file
        Invalid,        // not a partition file of this system (see reason)
        SizeMismatch,   // a valid file written for another image size
    };
    Status status = CannotOpen;
    std::string reason;                  // why the file is invalid, for the user
    std::vector<model::Domain> domains;  // numeric names kept as their number text
    int width = 0;                       // image size of the file's last line
    int height = 0;
};

// Parses the text of a partition file and checks all of it: every field of a
// line (missing fields repeat the line's last one), numbers as 16-bit
// integers (fractions rounded half to even), at least the image-size line, at
// most 499 domains, every domain inside the file's image, names that can be
// part of a file name. The image size is compared with imageWidth x imageHeight.
PartitionRead ParsePartitionText(const std::string& text, int imageWidth, int imageHeight);
PartitionRead ReadPartitionFile(const std::string& path, int imageWidth, int imageHeight);

// Reads the file for the current image (FullXMax + 1 by FullYMax + 1) and,
// only when all of it is valid and fits, stores it in the domain table and
// sets PartitionFile. Nothing in memory changes otherwise.
PartitionRead LoadPartitionFile(const std::string& path);

// "Partition file dimensions W (X) x H (Y) do not match current phase image size."
std::string PartitionSizeMessage(int width, int height);

// The domain table's rows as a list (rows 0 .. count - 1).
std::vector<model::Domain> DomainsOf(const model::MaskAndPartition& mp, int count);

// Stores domains and the image-size row into the table; DomainCount becomes
// the number of domains + 1. Rows after them keep what they held.
void StorePartition(model::MaskAndPartition& mp, const std::vector<model::Domain>& domains, int width, int height);

// Domain outlines are drawn and erased with the core's overlay helpers.
using core::DrawOutline;
using core::RestoreOutline;

// True when the rectangle lies inside an image of cols x rows (touching the
// right or bottom edge counts as inside) and is not empty.
bool RectInside(int left, int top, int width, int height, int cols, int rows);

} // namespace editor
