#include "app/core/grating.h"
#include "app/core/model/model.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace core;

namespace {

const char* kNoParams = "There are no compensation parameters available for this grating.";

// A table file with a heading, blank lines and a comment between the gratings.
std::string TableText()
{
    std::string t = "Grating compensation parameters\r\n";
    for (int g = 0; g < 6; ++g) {
        t += "\r\n; grating " + std::to_string(g) + "\r\n";
        const float w = g == 1 ? 2.0f : 2.5f, h = g == 1 ? 2.0f : 3.0f;
        t += std::to_string(w) + "\r\n" + std::to_string(h) + "\r\n";
        for (int i = 2; i < 8; ++i)
            t += (g == 3 && i == 7) ? "0\r\n" : "0.5\r\n";   // grating 3 lacks its last parameter
    }
    t += "7\r\n8\r\n";   // numbers after the 48th are ignored
    return t;
}

} // namespace

TEST(GratingTable, LoadsNumericLinesAndChecksTheArea)
{
    model::ResetModel();
    testsupport::TempDir dir("grating");
    const std::string path = dir.file("GratingComp.txt");
    const std::string text = TableText();
    testsupport::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(LoadGratingCompTable(path), 48);
    EXPECT_FLOAT_EQ(model::files.GratingCompTable[8], 2.0f);
    EXPECT_FLOAT_EQ(model::files.GratingCompTable[47], 0.5f);

    struct { const char* units; uint8_t grating; float w, h; const char* message; } cases[] = {
        {"in", 1, 2.0f, 2.0f, ""},
        {"in", 1, 1.0f, 1.5f, ""},
        {"in", 1, 2.01f, 1.0f, "Image dimensions exceed the compensated area of 2\" x 2\" for this grating."},
        {"mm", 1, 2.01f, 1.0f, "Image dimensions exceed the compensated area of 50.8mm x 50.8mm for this grating."},
        {"in", 0, 1.0f, 3.5f, "Image dimensions exceed the compensated area of 2.5\" x 3\" for this grating."},
        {"mm", 0, 1.0f, 3.5f, "Image dimensions exceed the compensated area of 63.5mm x 76.2mm for this grating."},
        {"in", 3, 0.1f, 0.1f, kNoParams},
        {"in", 6, 0.1f, 0.1f, kNoParams},
    };
    for (auto& c : cases) {
        model::files.XYUnits = c.units;
        EXPECT_EQ(CheckCompensationArea(c.grating, c.w, c.h), c.message) << int(c.grating) << " " << c.units;
    }
}

TEST(GratingTable, MissingOrShortFileLeavesZerosAndRefuses)
{
    model::ResetModel();
    testsupport::TempDir dir("grating");
    EXPECT_EQ(LoadGratingCompTable(dir.file("GratingComp.txt")), 0);
    for (uint8_t g = 0; g < 6; ++g)
        EXPECT_EQ(CheckCompensationArea(g, 0.5f, 0.5f), kNoParams);

    // Ten numbers: grating 0 complete, grating 1 only its area.
    std::string text;
    for (int i = 0; i < 10; ++i)
        text += "4\n";
    testsupport::WriteBytes(dir.file("GratingComp.txt"), std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(LoadGratingCompTable(dir.file("GratingComp.txt")), 10);
    EXPECT_EQ(CheckCompensationArea(0, 4, 4), "");
    EXPECT_EQ(CheckCompensationArea(1, 1, 1), kNoParams);
}

TEST(GratingTable, APipeOrAHugeFileIsNoTable)
{
    model::ResetModel();
    testsupport::TempDir dir("grating");
    const std::string fifo = dir.file("GratingComp.txt"), huge = dir.file("huge.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(LoadGratingCompTable(fifo), 0);   // returns at once, no writer needed
    const std::string text = TableText() + std::string(2 << 20, '\n');
    testsupport::WriteBytes(huge, std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(LoadGratingCompTable(huge), 0);
}
