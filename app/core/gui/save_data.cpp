#include "app/core/gui/save_data.h"

#include "app/core/model/model.h"
#include "app/outside/varnholde_calls.h"
#include "platform/folders.h"
#include "platform/wildcard.h"

#include <cstdio>
#include <unistd.h>

namespace gui {

std::string DataFileFilter(bool relative)
{
    return relative ? "Relative Binary Data File (*_rel.bin)|*_rel.bin|Relative Text Data File (*_rel.dat)|*_rel.dat"
                    : "Absolute Binary Data File (*_ab.bin)|*_ab.bin|Absolute Text Data File (*_ab.dat)|*_ab.dat";
}

bool DataNameFitsFilter(const std::string& path, int filterIndex)
{
    if (filterIndex == 1) return platform::WildcardMatch("*.bin", path);
    if (filterIndex == 2) return platform::WildcardMatch("*.dat", path);
    return true;
}

std::string SuffixedDataName(const std::string& path, int filterIndex, bool relative)
{
    const std::string ext = filterIndex == 2 ? "dat" : "bin";
    const std::string suffix = (relative ? "_rel." : "_ab.") + ext;
    if (platform::WildcardMatch("*" + suffix, path)) return path;
    const std::string stem = path.size() >= 4 ? path.substr(0, path.size() - 4) : std::string();
    return stem + suffix;
}

bool WriteDisplacementFile(const std::string& path, int filterIndex, bool mils)
{
    const auto& im = model::images;
    const std::string folder = platform::FolderOf(path);
    const std::string temp = folder + "." + platform::FileNameOf(path) + "." + std::to_string(getpid()) + ".part";
    std::remove(temp.c_str());
    const int16_t m = mils ? -1 : 0;
    const int32_t status =
        filterIndex == 2 ? outside::SaveSingleAsText(im.Displacement.data(), im.ImageRows, im.ImageCols, m, temp.c_str())
                         : outside::SaveSingleAsBinary(im.Displacement.data(), im.ImageRows, im.ImageCols, m,
                                                       temp.c_str());
    if (status != 0 || !platform::FileExists(temp) || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

} // namespace gui
