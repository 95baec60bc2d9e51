#pragma once
// The analysis options the command-line harnesses share (sorvanta-analyze,
// sorvanta-plot) and the run of Calculate Displacement on one phase image as
// those tools prepare it: image, mask, partition domain, reference.
#include "app/core/pipeline.h"
#include "tools/cli/args.h"

#include <optional>
#include <string>
#include <vector>

namespace analysiscli {

// The usage lines of the analysis options.
extern const char* const kOptionsUsage;

struct Options {
    std::string image, reference, mask, partition, save, base;
    int grating = 1, rotation = 1, domain = 0;
    bool domainGiven = false;
    std::string xy = "in", z = "mils", width, height;
    std::optional<bool> exclude128, filter, compensate, fringeFile;
};

// The program's line breaks ('\r') as new lines.
std::string Lines(std::string text);

// Adds the analysis options to a tool's parser (a tool adds its own first),
// each value read and checked there.
void AddOptions(cli::Parser& p, Options* o);

// The one image (or folder) among the operands, and the options that go
// together (--domain and --partition): "" when the command line holds them,
// else why not.
std::string TakeImage(const std::vector<std::string>& operands, Options* o);

// False (the program's message printed) when --save names no data file.
bool CheckSaveName(const Options& o);

// Prints every message of the program as "Title: text" and answers it.
void PrintMessages();

// Base folder, analysis library, fresh model, units and the grating table.
// False (the reason printed) when the analysis library cannot be loaded.
bool Start(const Options& o);

// Calculate Displacement on the image (after the reference's, when given),
// with the mask and partition domain applied. `tool` names the program in
// notes to stderr. False when a load or the calculation is stopped (the
// message printed).
bool Analyse(const Options& o, const std::string& tool, core::AnalysisOptions* used, core::CalculateOutcome* result);

// Writes the --save data file and prints "Saved: PATH"; true without --save.
bool SaveData(const Options& o);

} // namespace analysiscli
