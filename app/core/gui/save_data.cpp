#include "app/core/gui/save_data.h"

namespace gui {

std::string DataFileFilter(bool relative)
{
    return relative ? "Relative Binary Data File (*_rel.bin)|*_rel.bin|Relative Text Data File (*_rel.dat)|*_rel.dat"
                    : "Absolute Binary Data File (*_ab.bin)|*_ab.bin|Absolute Text Data File (*_ab.dat)|*_ab.dat";
}

} // namespace gui
