// The library as the program reaches it: loaded by file name from the
// program's folder and bound function by function.
#include "app/outside/varnholde_calls.h"
#include "platform/fileversion.h"
#include "platform/folders.h"
#include "sorvanta_versions.h"

#include <gtest/gtest.h>

#include <vector>

TEST(OutsideBinding, LoadsTheLibraryAndReadsItsVersion)
{
    platform::SetSystemFolder(SORVANTA_BIN_DIR);
    EXPECT_EQ(platform::FileVersionOf(outside::LibraryPath()), SORVANTA_ANALYSIS_LIBRARY_VERSION);

    const std::vector<float> v = {4.0f, 9999.0f, -1.5f, 2.0f};
    EXPECT_EQ(outside::MinSingle(v.data(), 2, 2), -1.5f) << outside::LoadError();
    EXPECT_EQ(outside::MaxSingle(v.data(), 2, 2), 4.0f);
    std::vector<float> out(4);
    EXPECT_EQ(outside::SubtractSingleMatrix(v.data(), v.data(), 2, 2, out.data()), 0);
    EXPECT_EQ(out, (std::vector<float>{0.0f, 9999.0f, 0.0f, 0.0f}));
    EXPECT_NE(outside::CopySingleMatrix(v.data(), 0, 2, out.data()), 0);
    EXPECT_FALSE(outside::LastError().empty());
}
