// Batch runs against an analysis library that refuses one step: a refused
// levelling or reference subtraction fails its image with the library's
// reason, and the run goes on.
#include "app/batch/engine.h"
#include "app/batch/tests/batch_test_util.h"
#include "platform/folderjobs.h"
#include "platform/messages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace batchtest;

namespace {

class BatchFault : public ::testing::Test {
protected:
    testsupport::TempDir base{"fbase"};
    testsupport::TempDir root{"frun"};
    std::string folder;
    platform::ScriptedMessages messages;

    void SetUp() override
    {
        FreshModel(base.path().string());
        platform::SetSystemFolder(FAULTY_VARNHOLDE_DIR);
        folder = root.file("Lot");
        std::filesystem::create_directories(folder);
        WritePhase(folder + "/a_ph.tif", 101, 51, "cylinder:0.002,50", true);
        WritePhase(folder + "/b_ph.tif", 101, 51, "dome:0.001", true);
    }
    void TearDown() override { ::unsetenv("VARNHOLDE_FAULT"); }

    batch::BatchOptions Options()
    {
        batch::BatchOptions o;
        o.folder = folder;
        o.files = platform::ListFiles(folder, "*_ph.tif");
        o.analysis.rotation = 1;
        o.analysis.exclude128 = true;
        o.rotationText = core::RotationItemText(1);
        return o;
    }
};

} // namespace

TEST_F(BatchFault, ARefusedStepFailsEachImageWithTheLibrarysReason)
{
    struct Case {
        const char* fault;
        bool relative;
    };
    const Case cases[] = {{"RotateDisplacement", false}, {"SubtractSingleMatrix", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        model::batch.BatchErrorList.clear();
        model::batch.BatchRelativeMode = c.relative;
        batch::BatchOptions o = Options();
        o.referenceName = "a_ph.tif";
        ::setenv("VARNHOLDE_FAULT", c.fault, 1);
        batch::RunView view;
        const batch::RunOutcome r = batch::RunBatchAnalysis(o, view);
        ::unsetenv("VARNHOLDE_FAULT");
        ASSERT_EQ(r.end, batch::RunEnd::Completed) << "the reference itself is analysed without a subtraction";
        EXPECT_EQ(r.processed, 0);
        const std::string reason = std::string(c.fault) + " refused by the test library.\r";
        EXPECT_EQ(model::batch.BatchErrorList, "#1 a_ph.tif: " + reason + "#2 b_ph.tif: " + reason);
    }
    // Without a fault both images are analysed through the stand-in.
    model::batch.BatchErrorList.clear();
    model::batch.BatchRelativeMode = false;
    batch::RunView view;
    EXPECT_EQ(batch::RunBatchAnalysis(Options(), view).processed, 2);
}
