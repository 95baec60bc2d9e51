#pragma once
// The control's type library: the dispatch interface with every member and
// its dispatch id, the event interface, and the enumerations.
#include "thumbctl/control/host/typeinfo.h"

namespace thumbctl {

const host::TypeLibInfo& NorvikelTypeLib();

} // namespace thumbctl
