#include "app/core/header.h"
#include "app/core/model/model.h"
#include "platform/messages.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace core;

namespace {

const char* kError = "Error reading header information";

// Maker line, count line, fields 3..N ("Field i: value", field 9 the fringe
// value) and the end line, joined by `eol`.
std::string Header(int count, int fieldLines, const std::string& fringe, const std::string& end,
                   const std::string& eol = "\r\n")
{
    std::string h = "Calverdine Measurement Systems v4" + eol + "Header Fields:" + std::to_string(count) + eol;
    for (int i = 3; i < 3 + fieldLines; ++i)
        h += (i == 9 ? "Fringe Value (mils):" + fringe : "Field " + std::to_string(i) + ": v" + std::to_string(i)) +
             eol;
    return h + end + eol;
}

struct Parsed {
    bool ok;
    size_t messages;
    float fringe;
    std::vector<std::string> fields;
};

Parsed Parse(const std::string& text)
{
    platform::ScriptedMessages messages;
    model::ResetModel();
    model::state.HeaderFringeValue = 77;
    model::files.ImageHeaderText = text;
    bool ok = ParseImageHeader();
    for (auto& r : messages.records) {
        EXPECT_EQ(r.text, kError);
        EXPECT_EQ(r.style, 0);
        EXPECT_EQ(r.title, "Sorvanta");
    }
    return {ok, messages.records.size(), model::state.HeaderFringeValue, model::files.HeaderFields};
}

} // namespace

TEST(ImageHeader, TwelveFieldsAsWritten)
{
    Parsed p = Parse(Header(12, 10, "10.25", "\\\\EndHeader"));
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.messages, 0u);
    EXPECT_FLOAT_EQ(p.fringe, 10.25f);
    ASSERT_EQ(p.fields.size(), 12u);
    EXPECT_EQ(p.fields[0], "Calverdine");            // not the maker line
    EXPECT_EQ(p.fields[1], "Header Fields:12");
    EXPECT_EQ(p.fields[2], "Field 3: v3");
    EXPECT_EQ(p.fields[8], "Fringe Value (mils):10.25");
    EXPECT_EQ(p.fields[11], "Field 12: v12");
}

TEST(ImageHeader, Variants)
{
    struct {
        const char* what;
        std::string text;
        bool ok;
        size_t messages;
        float fringe;
    } cases[] = {
        {"end line in capitals", Header(12, 10, "10.25", "\\\\ENDHEADER"), true, 0, 10.25f},
        {"LF-only line ends", Header(12, 10, "10.25", "\\\\EndHeader", "\n"), true, 0, 10.25f},
        {"field 9 with blanks", Header(12, 10, " 10.25 ", "\\\\EndHeader"), true, 0, 10.25f},
        {"one backslash", Header(12, 10, "10.25", "\\EndHeader"), true, 1, 10.25f},
        {"one field line too many", Header(11, 10, "10", "\\\\EndHeader"), true, 1, 10.0f},
        {"end line missing", Header(12, 10, "8", "more text"), true, 1, 8.0f},
        {"count below 9", Header(8, 6, "10", "\\\\EndHeader"), false, 1, 0.0f},
        {"count not a number", "Calverdine\r\nHeader Fields:twelve\r\nx\r\n", false, 1, 0.0f},
        {"text ends before the count", Header(12, 7, "10", "\\\\EndHeader"), false, 1, 0.0f},
        {"no line end at all", "Calverdine header", false, 1, 0.0f},
        {"fringe value not a number", Header(12, 10, "ten", "\\\\EndHeader"), false, 1, 0.0f},
        {"fringe value beyond a float", Header(12, 10, "1e39", "\\\\EndHeader"), false, 1, 0.0f},
        {"fringe value 0 (parsed, refused by the analysis)", Header(12, 10, "0", "\\\\EndHeader"), true, 0, 0.0f},
        {"over-long text", Header(12, 10, "10", "\\\\EndHeader") + std::string(33000, ' '), false, 1, 0.0f},
    };
    for (auto& c : cases) {
        Parsed p = Parse(c.text);
        EXPECT_EQ(p.ok, c.ok) << c.what;
        EXPECT_EQ(p.messages, c.messages) << c.what;
        EXPECT_FLOAT_EQ(p.fringe, c.fringe) << c.what;
        // The plain parse agrees, and shows nothing and changes nothing shared.
        platform::ScriptedMessages quiet;
        model::files.ImageHeaderText = "untouched";
        const HeaderParse h = ParseHeaderText(c.text);
        EXPECT_EQ(h.result != HeaderParse::Broken, c.ok) << c.what;
        EXPECT_EQ(h.result == HeaderParse::Whole, c.ok && c.messages == 0) << c.what;
        EXPECT_FLOAT_EQ(h.fringeValue, c.fringe) << c.what;
        EXPECT_TRUE(quiet.records.empty()) << c.what;
        EXPECT_EQ(model::files.ImageHeaderText, "untouched");
    }
    EXPECT_TRUE(HasMakerHeader("CALVERDINE x"));
    EXPECT_FALSE(HasMakerHeader(""));
}

TEST(ImageHeader, UsableFringeValues)
{
    for (double v : {0.0001, 0.5, 10.0, 1000.0})
        EXPECT_TRUE(UsableFringeValue(v)) << v;
    for (double v : {0.0, -1.0, 1e-320, 9999.0, 3e38, 1e9, 1e39, std::nan("")})
        EXPECT_FALSE(UsableFringeValue(v)) << v;
}

TEST(ImageHeader, FringeBoundsHoldForTheFloatsTheValuesAreKeptIn)
{
    // A header or FringeValue.txt value is kept as a float: the bounds as written pass.
    for (float v : {0.0001f, 1000.0f})
        EXPECT_TRUE(UsableFringeValue(v)) << v;
    for (float v : {0.0000999f, 1000.001f})
        EXPECT_FALSE(UsableFringeValue(v)) << v;
}
