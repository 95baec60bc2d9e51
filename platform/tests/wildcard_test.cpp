#include "platform/wildcard.h"

#include <gtest/gtest.h>

TEST(Wildcard, MatchesWholeNamesIgnoringCase)
{
    struct {
        const char *pattern, *name;
        bool match;
    } cases[] = {
        {"*_ph.tif", "/data/run1_PH.TIF", true},
        {"*_ph.tif", "/data/run1_ph.tiff", false},
        {"*Phase.tif", "partNoPhase.tif", true},
        {"*NoPhase.tif", "partPhase.tif", false},
        {"*.tif", "a.tif.bak", false},
        {"*.tif", ".tif", true},
        {"?.bmp", "a.BMP", true},
        {"?.bmp", "ab.bmp", false},
        {"*", "", true},
        {"", "", true},
        {"", "a", false},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
        {"**x", "yyx", true},
        {"*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false}, // no blow-up
    };
    for (auto& c : cases) EXPECT_EQ(platform::WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

TEST(Wildcard, PatternListsSplitOnSemicolons)
{
    EXPECT_EQ(platform::SplitPatterns(" *.tif ; *.bmp;;"), (std::vector<std::string>{"*.tif", "*.bmp"}));
    EXPECT_TRUE(platform::MatchesAnyPattern("*.tif;*.bmp", "X.BMP"));
    EXPECT_FALSE(platform::MatchesAnyPattern("*.tif;*.bmp", "x.png"));
    EXPECT_FALSE(platform::MatchesAnyPattern("", "x.png"));
}
