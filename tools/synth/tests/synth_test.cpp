#include "tools/synth/synth.h"

#include <gtest/gtest.h>

TEST(Synth, PhaseBytesWrapAndNeverUseTheBlankValue)
{
    struct {
        double z, fringe;
        int byte;
    } cases[] = {{0, 10, 0}, {5, 10, 127 /* would be 128 */}, {2.5, 10, 64}, {10, 10, 0}, {-2.5, 10, 192},
                 {12.5, 10, 64}, {9.99, 10, 0}};
    for (auto& c : cases) EXPECT_EQ(synth::PhaseByte(c.z, c.fringe), c.byte) << c.z;
}

TEST(Synth, SurfacesAndBlanksParse)
{
    std::string err;
    auto z = synth::ParseSurface("cylinder:0.002,100+plane:0,0,1", 201, 101, &err);
    ASSERT_TRUE(z) << err;
    EXPECT_DOUBLE_EQ(z(0, 0), 0.002 * 100 * 100 + 1);
    EXPECT_DOUBLE_EQ(z(100, 7), 1);
    auto s = synth::ParseSurface("saddle:0.001", 201, 101, &err);
    EXPECT_DOUBLE_EQ(s(0, 0), 0.001 * -100 * -50);
    EXPECT_FALSE(synth::ParseSurface("wobble:1", 10, 10, &err));
    EXPECT_FALSE(synth::ParseSurface("plane:x", 10, 10, &err));

    auto b = synth::ParseBlank("border:5", 200, 100, &err);
    ASSERT_TRUE(b);
    EXPECT_TRUE(b(9, 50));
    EXPECT_FALSE(b(10, 50));
    EXPECT_TRUE(b(100, 4));
    EXPECT_TRUE(b(190, 50));
    EXPECT_FALSE(b(189, 94));
    auto px = synth::WrapToPhase(200, 100, z, 10, b);
    EXPECT_EQ(px[0], 128);
    EXPECT_NE(px[50 * 200 + 100], 128);
}

TEST(Synth, HeaderHasTwelveFieldsAndTheFringeValueInField9)
{
    const std::string h = synth::MakeHeader(10.25, 3, 4);
    EXPECT_EQ(h.rfind("Calverdine", 0), 0u);
    EXPECT_NE(h.find("\r\nHeader Fields:12\r\n"), std::string::npos);
    // Line 9 holds the fringe value.
    size_t pos = 0;
    for (int line = 1; line < 9; ++line) pos = h.find("\r\n", pos) + 2;
    EXPECT_EQ(h.substr(pos, h.find("\r\n", pos) - pos), "Fringe Value (mils):10.25");
    EXPECT_NE(h.find("\r\n\\\\EndHeader\r\n"), std::string::npos);
}
