#include "plot_rules.h"

#include "platform/messages.h"

#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "plots/builders/chart_builders.h"

#include <cmath>
#include <cstdint>
#include <sstream>

namespace plots {

const char* const kLegendSaveFilter = "Bitmap Files (*.bmp)|*.bmp|JPEG Files (*.jpg)|*.jpg";

std::string GraphSaveFilter(const std::string& suffix)
{
    std::string kind = suffix == "_ctr" ? "Contour" : suffix == "_3D" ? "3D" : suffix == "_dia" ? "Diagonal" : "Chord";
    return kind + " Bitmap Files (*" + suffix + ".bmp)|*" + suffix + ".bmp|" + kind + " JPEG Files (*" + suffix +
           ".jpg)|*" + suffix + ".jpg";
}

std::optional<std::string> GraphSaveTarget(const std::string& chosen, int filterIndex, const std::string& suffix)
{
    const std::string ext = filterIndex == 2 ? ".jpg" : ".bmp";
    if (!core::MatchesPattern(chosen, "*" + ext)) return std::nullopt;
    if (core::MatchesPattern(chosen, "*" + suffix + ext)) return chosen;
    return chosen.substr(0, chosen.size() - 4) + suffix + ext;
}

std::string InvalidFileNameMessage()
{
    return std::string(platform::kMsgCannotSaveInvalidName);
}

std::string CannotSaveMessage(const std::string& path, const std::string& reason)
{
    return platform::CannotSaveMessage(path, reason);
}

std::string FolderWithSeparator(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::optional<int> SizeEntry(const std::string& text, double lo, double hi)
{
    double v = 0;
    if (!core::ParseNumber(text, &v) || v < lo || v > hi) return std::nullopt;
    return int(core::RoundHalfEven(v));
}

std::string AltitudeText(double elevation)
{
    return core::FormatNumber(elevation > 180 ? elevation - 360 : elevation, "0");
}

std::string RotationText(double rotation) { return core::FormatNumber(rotation, "0"); }

std::optional<int> TypedAngle(const std::string& text)
{
    double v = 0;
    int16_t out = 0;
    if (!core::ParseNumber(text, &v) || !core::RoundToInt16(v, &out)) return std::nullopt;
    return out;
}

std::string GeneralNumber(double v)
{
    std::ostringstream s;
    s.precision(15);
    s << v;
    return s.str();
}

std::string PositionPattern(const std::string& widthText, const std::string& heightText, const std::string& xyUnits)
{
    if (!core::IsNumeric(widthText) || !core::IsNumeric(heightText)) return "0";
    return core::EqualsNoCase(xyUnits, "in") ? "0.00" : "0.0";
}

std::string PointLabelText(double z, double x, double y, const std::string& zFormat, const std::string& zUnits,
                           const std::string& pattern)
{
    return core::FormatNumber(z, zFormat) + " " + zUnits + model::CR + "(x,y) = (" + core::FormatNumber(x, pattern) +
           "," + core::FormatNumber(y, pattern) + ")";
}

int GridToImageX(int gridX, int xMax) { return int(core::RoundHalfEven((gridX - 1) / 49.0 * xMax)); }
int GridToImageY(int gridY, int yMax) { return int(core::RoundHalfEven((50 - gridY) / 49.0 * yMax)); }

std::string LegendDefaultName(bool threeD, double zmin, double zmax, const std::string& zFormat,
                              const std::string& zUnits)
{
    return LegendName(threeD, zmin, zmax, zFormat, zUnits);
}

bool LegendNameMatches(const std::string& path, int filterIndex)
{
    const std::string ext = filterIndex == 2 ? ".jpg" : ".bmp";
    return path.size() >= ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0;
}

} // namespace plots
