// The program's release number and the analysis library's version, as the
// build sets them.
#include "app/core/version.h"

#include "sorvanta_versions.h"

namespace core {

const char* ProgramVersion() { return SORVANTA_PROGRAM_VERSION; }
const char* ProgramFileVersion() { return SORVANTA_PROGRAM_FILE_VERSION; }
const char* AnalysisLibraryVersion() { return SORVANTA_ANALYSIS_LIBRARY_VERSION; }

}  // namespace core
