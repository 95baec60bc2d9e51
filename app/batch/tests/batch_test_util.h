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

#include <filesystem>
#include <sys/stat.h>

#include <sstream>
#include <string>
#include <vector>

namespace batchtest {

// Writes a phase image of `surface` (fringe value `fringe` mils, 10 by
// default); with `header` the measurement header carries that fringe value.
// With `transposed` the surface is made on a rows x cols image and turned, so
// that what it does along x it does along y.
inline void WritePhase(const std::string& path, int cols, int rows, const std::string& surface, bool header,
                       const std::string& blank = "", double fringe = 10.0, bool transposed = false)
{
    std::string error;
    const int madeCols = transposed ? rows : cols, madeRows = transposed ? cols : rows;
    synth::Surface z = synth::ParseSurface(surface, madeCols, madeRows, &error);
    ASSERT_TRUE(z) << error;
    synth::Blank b;
    if (!blank.empty()) {
        b = synth::ParseBlank(blank, madeCols, madeRows, &error);
        ASSERT_TRUE(b) << error;
    }
    std::vector<uint8_t> px = synth::WrapToPhase(madeCols, madeRows, z, fringe, b);
    if (transposed) {
        std::vector<uint8_t> turned(px.size());
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x) turned[size_t(y) * cols + x] = px[size_t(x) * madeCols + y];
        px.swap(turned);
    }
    ASSERT_EQ(0, strandel::WriteTIFFFile(path, uint16_t(cols), uint16_t(rows),
                                         header ? synth::MakeHeader(fringe, cols, rows) : "", px.data()))
        << strandel::LoadError();
}

// Writes an 8-bit BMP phase image of `surface` (fringe value 10 mils): grey
// palette, bottom-up rows padded to four bytes.
inline void WritePhaseBmp(const std::string& path, int cols, int rows, const std::string& surface)
{
    std::string error;
    synth::Surface z = synth::ParseSurface(surface, cols, rows, &error);
    ASSERT_TRUE(z) << error;
    const std::vector<uint8_t> px = synth::WrapToPhase(cols, rows, z, 10.0);
    const uint32_t stride = uint32_t(cols + 3) / 4 * 4, offset = 14 + 40 + 1024;
    const uint32_t size = offset + stride * uint32_t(rows);
    std::vector<uint8_t> f;
    auto u16 = [&](uint32_t v) { f.push_back(uint8_t(v)); f.push_back(uint8_t(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    f.push_back('B');
    f.push_back('M');
    u32(size), u32(0), u32(offset);
    u32(40), u32(uint32_t(cols)), u32(uint32_t(rows)), u16(1), u16(8), u32(0), u32(stride * uint32_t(rows));
    u32(2835), u32(2835), u32(256), u32(0);
    for (uint32_t i = 0; i < 256; ++i) u32(i | i << 8 | i << 16);
    for (int y = rows - 1; y >= 0; --y) {
        for (int x = 0; x < cols; ++x) f.push_back(px[size_t(y) * cols + x]);
        f.resize(f.size() + (stride - uint32_t(cols)), 0);
    }
    testsupport::WriteBytes(path, f);
}

// The environment of a tool started by a test: a home, a runtime folder and
// a class registry of its own under `scratch`.
inline std::string ToolEnvironment(const std::string& scratch)
{
    for (const char* sub : {"/home", "/run", "/registry"}) std::filesystem::create_directories(scratch + sub);
    ::chmod((scratch + "/run").c_str(), 0700);
    return "HOME='" + scratch + "/home' XDG_RUNTIME_DIR='" + scratch + "/run' SORVANTA_CLASS_REGISTRY='" + scratch +
           "/registry/classes.txt' ";
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
