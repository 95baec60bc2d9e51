#pragma once
// The analysis options the command-line harnesses share (sorvanta-analyze,
// sorvanta-plot) and the run of Calculate Displacement on one phase image as
// those tools prepare it: image, mask, partition domain, reference.
#include "app/core/pipeline.h"

#include <functional>
#include <optional>
#include <string>

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

// "on" / "off" (any case) into *out; false for anything else.
bool OnOff(const std::string& v, std::optional<bool>* out);

// The program's line breaks ('\r') as new lines.
std::string Lines(std::string text);

enum class Parsed { Ok, Help, Bad };

// A tool's own option: return true when `opt` is one (its value taken), and
// set *why when the value is bad.
using ExtraOption = std::function<bool(const std::string& opt, const std::string& value, std::string* why)>;

// Parses the command line: the one image, the analysis options and, through
// `extra` (tried first), the tool's own options, each with a value. Checks
// that an image is given and that --domain and --partition come together.
// Bad: *why holds the reason for the usage text.
Parsed Parse(int argc, char** argv, Options* o, std::string* why, const ExtraOption& extra = {});

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
