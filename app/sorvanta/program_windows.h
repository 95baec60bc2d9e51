#pragma once
// The program's windows beside the main window: the factory of each, from the
// subsystem that builds it. The program installs them at its start; tests of
// the whole program install the same.
#include "app/core/gui/windows.h"

namespace sorvanta {

gui::WindowFactories ProgramWindows();

} // namespace sorvanta
