// The inscribed ellipse of the crop-domains job.
#include "app/editor/core/elliptical_mask.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using editor::MakeEllipticalMask;

namespace {

// Rows top to bottom; '#' kept, '.' blanked.
std::vector<std::string> Kept(int cols, int rows)
{
    model::ByteMatrix m;
    m.create(cols, rows, 7);
    const model::ByteMatrix r = MakeEllipticalMask(m);
    std::vector<std::string> out;
    for (int y = 0; y < rows; ++y) {
        std::string line;
        for (int x = 0; x < cols; ++x) line += r(x, y) == 128 ? '.' : (r(x, y) == 7 ? '#' : '?');
        out.push_back(line);
    }
    return out;
}

using Rows = std::vector<std::string>;

} // namespace

TEST(EllipticalMask, SmallDomainsGiveTheKnownShapes)
{
    EXPECT_EQ((Rows{"..#..", "#####", "#####", "#####", "..#.."}), Kept(5, 5));
    EXPECT_EQ((Rows{"...#...", ".#####.", "#######", ".#####.", "...#..."}), Kept(7, 5));
    EXPECT_EQ((Rows{".....#.....", "..#######..", "###########", "###########", "###########", "###########",
                    "###########", "###########", "###########", "..#######..", ".....#....."}),
              Kept(11, 11));
    // One pixel wide: nothing blanked. Two wide: first and last rows blanked.
    EXPECT_EQ((Rows{"#", "#", "#", "#", "#", "#", "#"}), Kept(1, 7));
    EXPECT_EQ((Rows{"..", "##", "##", "##", "##", "##", ".."}), Kept(2, 7));
    // At most two high: each row keeps the columns C - a to a.
    EXPECT_EQ((Rows{"..#..", "..#.."}), Kept(5, 2));
    EXPECT_EQ((Rows{".##.", ".##."}), Kept(4, 2));
    EXPECT_EQ((Rows{"......", "......"}), Kept(6, 2));
}

TEST(EllipticalMask, TinyDomainsReturnUnchanged)
{
    EXPECT_EQ((Rows{"##", "##"}), Kept(2, 2));
    EXPECT_EQ((Rows{"#"}), Kept(1, 1));
    EXPECT_EQ((Rows{"##"}), Kept(2, 1));
}

TEST(EllipticalMask, LargeDomainsDoNotOverflow)
{
    // 4001 x 4001 overflows 32-bit arithmetic in the traversal.
    const int n = 4001;
    model::ByteMatrix m;
    m.create(n, n, 7);
    const model::ByteMatrix r = MakeEllipticalMask(m);
    EXPECT_EQ(7, r(n / 2, n / 2));
    EXPECT_EQ(7, r(n / 2, 0));
    EXPECT_EQ(7, r(0, n / 2));
    EXPECT_EQ(128, r(0, 0));
    EXPECT_EQ(128, r(n - 1, n - 1));
    EXPECT_EQ(128, r(n / 2 + 30, 0));
    // Symmetric in both directions, and close to the true circle on the diagonal.
    for (int k = 0; k < n; k += 97) {
        EXPECT_EQ(r(k, 13), r(n - 1 - k, 13));
        EXPECT_EQ(r(13, k), r(13, n - 1 - k));
    }
    const int d = int((n / 2) * (1 - 0.70710678));
    EXPECT_EQ(128, r(d - 3, d - 3));
    EXPECT_EQ(7, r(d + 3, d + 3));
}
