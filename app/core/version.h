// The release number of the program, set once in the build: the text shown
// to the user ("2.5.3") and the file version carried by the program binary;
// and the version of the analysis library the program works with.
#pragma once

namespace core {

// "major.minor.patch", as on the splash window and in batch tables.
const char* ProgramVersion();
// "major.minor.0.patch", the file version of the program binary.
const char* ProgramFileVersion();
// The file version the analysis library must carry for the program to start.
const char* AnalysisLibraryVersion();

}  // namespace core
