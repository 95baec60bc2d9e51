#include "app/core/gui/save_data.h"

#include "app/core/loader.h"
#include "platform/folders.h"

#include <cstdio>
#include <unistd.h>

namespace gui {

std::string DataFileFilter(bool relative)
{
    return relative ? "Relative Binary Data File (*_rel.bin)|*_rel.bin|Relative Text Data File (*_rel.dat)|*_rel.dat"
                    : "Absolute Binary Data File (*_ab.bin)|*_ab.bin|Absolute Text Data File (*_ab.dat)|*_ab.dat";
}

bool WriteDataFileSafely(const std::string& path, bool text)
{
    const std::string temp = platform::FolderOf(path) + "." + platform::FileNameOf(path) + "." +
                             std::to_string(getpid()) + ".part";
    std::remove(temp.c_str());
    if (!core::WriteDisplacementFile(temp, text) || !platform::FileExists(temp) ||
        std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

} // namespace gui
