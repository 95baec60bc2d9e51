#include "app/core/grating.h"

#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "platform/regular_file.h"
#include "platform/folders.h"

#include <sstream>

namespace core {

std::string GratingCompFilePath() { return platform::JoinPath(platform::UtilityFolder(), kGratingCompFileName); }

int LoadGratingCompTable(const std::string& path)
{
    // A pipe, a device or a file far larger than a table is no table.
    constexpr size_t kMaxTableBytes = 1 << 20;
    std::string text;
    if (!platform::ReadRegularFile(path, kMaxTableBytes, &text))
        return 0;
    std::istringstream in(text);
    auto& table = model::files.GratingCompTable;
    int count = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        double v = 0;
        if (count < static_cast<int>(table.size()) && ParseNumber(line, &v))
            table[count++] = static_cast<float>(v);
    }
    return count;
}

std::string CheckCompensationArea(uint8_t grating, float width, float height)
{
    if (grating > 5)
        return "There are no compensation parameters available for this grating.";
    const auto& t = model::files.GratingCompTable;
    const int base = 8 * grating;
    for (int i = 0; i < 8; ++i)
        if (t[base + i] == 0.0f)
            return "There are no compensation parameters available for this grating.";
    const float areaWidth = t[base];
    const float areaHeight = t[base + 1];
    if (areaWidth >= width && areaHeight >= height)
        return std::string();
    std::string area;
    if (EqualsNoCase(model::files.XYUnits, "in")) {
        area = ShortText(areaWidth) + "\" x " + ShortText(areaHeight) + "\"";
    } else {
        area = ShortText(static_cast<float>(areaWidth * model::MmPerInch)) + "mm x " +
               ShortText(static_cast<float>(areaHeight * model::MmPerInch)) + "mm";
    }
    return "Image dimensions exceed the compensated area of " + area + " for this grating.";
}

} // namespace core
