#pragma once
// Shared set-up of the batch tests: synthetic phase images written into a
// scratch folder, the libraries found beside the test programs, and a fresh
// model in mils and inches.
#include "app/core/figures.h"
#include "app/core/model/model.h"
#include "platform/folders.h"
#include "platform/strandel_binding.h"
#include "testsupport/testsupport.h"
#include "tools/synth/synth.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace batchtest {

// Writes a phase image of `surface` (fringe value 10 mils); with `header` the
// measurement header carries that fringe value.
inline void WritePhase(const std::string& path, int cols, int rows, const std::string& surface, bool header,
                       const std::string& blank = "")
{
    std::string error;
    synth::Surface z = synth::ParseSurface(surface, cols, rows, &error);
    ASSERT_TRUE(z) << error;
    synth::Blank b;
    if (!blank.empty()) {
        b = synth::ParseBlank(blank, cols, rows, &error);
        ASSERT_TRUE(b) << error;
    }
    std::vector<uint8_t> px = synth::WrapToPhase(cols, rows, z, 10.0, b);
    ASSERT_EQ(0, strandel::WriteTIFFFile(path, uint16_t(cols), uint16_t(rows),
                                         header ? synth::MakeHeader(10.0, cols, rows) : "", px.data()))
        << strandel::LoadError();
}

// Libraries beside the tests, utility files under `base`, mils and inches.
inline void FreshModel(const std::string& base)
{
    platform::SetSystemFolder(testsupport::BinDir());
    platform::SetBaseFolder(base);
    model::ResetModel();
    model::files.XYUnits = "in";
    model::files.ZUnits = "mils";
    model::files.ZFormat = "0.0";
    model::files.ImageFileFormat = "TIF";
    model::state.StartupInProgress = false;
    core::SetUnitScaleFactor();
}

// The lines of a CR LF text (the CR LF removed); `bare` counts lines that end
// in a lone LF or hold a lone CR.
inline std::vector<std::string> CrLfLines(const std::string& text, int* bare = nullptr)
{
    std::vector<std::string> lines;
    int stray = 0;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos) ++stray;
        lines.push_back(line);
        if (end == std::string::npos) {
            ++stray;   // no CR LF after the last line
            break;
        }
        start = end + 2;
    }
    if (bare) *bare = stray;
    return lines;
}

inline std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> f;
    std::string cell;
    std::istringstream in(line);
    while (std::getline(in, cell, '\t')) f.push_back(cell);
    if (!line.empty() && line.back() == '\t') f.push_back("");
    return f;
}

} // namespace batchtest
