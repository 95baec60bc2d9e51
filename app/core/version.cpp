// The program's release number, passed in by the build.
#include "app/core/version.h"

namespace core {

const char* ProgramVersion() { return SORVANTA_PROGRAM_VERSION; }
const char* ProgramFileVersion() { return SORVANTA_PROGRAM_FILE_VERSION; }

}  // namespace core
