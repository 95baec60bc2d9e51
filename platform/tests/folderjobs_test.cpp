#include "platform/dialogs.h"
#include "platform/folderjobs.h"
#include "platform/handover.h"
#include "platform/messages.h"

#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using platform::HandoverAction;

TEST(FolderJobs, ListsMatchingFilesSortedIgnoringCase)
{
    testsupport::TempDir dir("list");
    for (const char* name : {"b_ph.tif", "A_PH.TIF", "c_ph.bmp", "notes.txt", "d_ph.tiff"})
        std::ofstream(dir.file(name)) << "x";
    fs::create_directory(dir.path() / "sub_ph.tif"); // a folder never counts as a file
    fs::create_directory(dir.path() / "Alpha");

    EXPECT_EQ(platform::ListFiles(dir.path().string(), "*_ph.tif"), (std::vector<std::string>{"A_PH.TIF", "b_ph.tif"}));
    EXPECT_EQ(platform::ListFiles(dir.path().string(), "*_ph.tif;*_PH.BMP"),
              (std::vector<std::string>{"A_PH.TIF", "b_ph.tif", "c_ph.bmp"}));
    EXPECT_EQ(platform::ListFiles(dir.path().string(), "").size(), 0u);
    EXPECT_EQ(platform::ListFiles(dir.file("missing"), "*"), std::vector<std::string>{});
    EXPECT_EQ(platform::ListSubfolders(dir.path().string()), (std::vector<std::string>{"Alpha", "sub_ph.tif"}));
}

TEST(FolderJobs, CanonicalPathsResolveLinksAndTrailingSeparators)
{
    testsupport::TempDir dir("canon");
    fs::create_directories(dir.path() / "real" / "inner");
    fs::create_directory_symlink(dir.path() / "real", dir.path() / "link");
    const std::string real = dir.file("real");

    EXPECT_TRUE(platform::SamePath(real, real + "/"));
    EXPECT_TRUE(platform::SamePath(real, dir.file("link")));
    EXPECT_TRUE(platform::SamePath(real, dir.file("link") + "//"));
    EXPECT_TRUE(platform::SamePath(real, dir.file("real/inner/..")));
    EXPECT_FALSE(platform::SamePath(real, dir.file("real/inner")));
    // A destination that does not exist yet still compares.
    EXPECT_TRUE(platform::SamePath(dir.file("link/new/"), dir.file("real/new")));
    EXPECT_EQ(platform::CanonicalPath("/"), "/");
}

TEST(FolderJobs, JobGuardRefusesASecondStartAndRunsIdleActionsAfterwards)
{
    std::vector<std::string> log;
    EXPECT_FALSE(platform::JobGuard::AnyRunning());
    platform::JobGuard::WhenIdle([&] { log.push_back("at once"); });
    {
        platform::JobGuard crop("Crop Domains");
        ASSERT_TRUE(crop.started());
        {
            platform::JobGuard again("Crop Domains");
            EXPECT_FALSE(again.started());
        }
        EXPECT_TRUE(platform::JobGuard::IsRunning("Crop Domains")); // the refused guard ended nothing
        platform::JobGuard burn("Burn Mask");
        EXPECT_TRUE(burn.started());
        platform::JobGuard::WhenIdle([&] { log.push_back("first"); });
        platform::JobGuard::WhenIdle([&] { log.push_back("second"); });
        platform::YieldToUi(); // harmless without an application object
        EXPECT_EQ(log, std::vector<std::string>{"at once"});
    }
    EXPECT_FALSE(platform::JobGuard::AnyRunning());
    EXPECT_EQ(log, (std::vector<std::string>{"at once", "first", "second"}));
}

namespace {

struct FakeTarget : platform::HandoverTarget {
    bool pending = false;
    bool job = false;
    std::vector<std::string> calls;
    bool UnitsDialogPending() const override { return pending; }
    void SetPendingFile(const std::string& p) override { calls.push_back("pending " + p); }
    void ForgetMask() override { calls.push_back("forget mask"); }
    void LoadPhaseImage(const std::string& p) override { calls.push_back("load " + p); }
    void ClearCurrentImage() override { calls.push_back("clear"); }
    bool JobRunning() const override { return job || platform::HandoverTarget::JobRunning(); }
};

} // namespace

TEST(Handover, DecidesFromPendingDialogJobAndName)
{
    struct {
        const char* text;
        bool pending, job;
        HandoverAction action;
    } cases[] = {
        {"/r/a_ph.tif", true, false, HandoverAction::KeptPending},
        {"", true, false, HandoverAction::KeptPending},
        {"/r/x.bmp", true, false, HandoverAction::KeptPending},
        {"", false, false, HandoverAction::Ignored},
        {"/r/a.bmp", false, false, HandoverAction::Ignored},
        {"/r/a_ph.bmp", false, false, HandoverAction::Ignored},
        {"/r/a_PH.TIF", false, false, HandoverAction::Opened},
        {"/r/Configuration Phase.tif", false, false, HandoverAction::Opened},
        {"/r/partNOPHASE.TIF", false, false, HandoverAction::Cleared},
        {"/r/a_ph.tif", false, true, HandoverAction::Queued},
        {"/r/a.bmp", false, true, HandoverAction::Ignored},
    };
    for (auto& c : cases)
        EXPECT_EQ(platform::DecideHandover(c.text, c.pending, c.job), c.action) << c.text;
    EXPECT_TRUE(platform::IsPhaseImageCommandLine("/r/A_PH.TIF"));
    EXPECT_FALSE(platform::IsPhaseImageCommandLine("/r/A.TIF"));
}

TEST(Handover, ActsOnTheTarget)
{
    FakeTarget t;
    t.pending = true;
    platform::HandleHandover("/r/one_ph.tif", t);
    platform::HandleHandover("/r/two_ph.tif", t); // the last one wins in the target
    t.pending = false;
    platform::HandleHandover("/r/img_PH.tif", t);
    platform::HandleHandover("/r/Configuration Phase.tif", t);
    platform::HandleHandover("/r/partNoPhase.tif", t);
    platform::HandleHandover("/r/other.png", t);
    EXPECT_EQ(t.calls, (std::vector<std::string>{"pending /r/one_ph.tif", "pending /r/two_ph.tif", "load /r/img_PH.tif",
                                                 "forget mask", "load /r/Configuration Phase.tif", "clear"}));
}

TEST(Handover, APathArrivingDuringAJobWaitsForItsEnd)
{
    FakeTarget t;
    {
        platform::JobGuard batch("Batch Run");
        ASSERT_TRUE(batch.started());
        EXPECT_EQ(platform::HandleHandover("/r/first_ph.tif", t), HandoverAction::Queued);
        EXPECT_EQ(platform::HandleHandover("/r/second_ph.tif", t), HandoverAction::Queued);
        EXPECT_TRUE(t.calls.empty()); // the image under the job is left alone
    }
    EXPECT_EQ(t.calls, std::vector<std::string>{"load /r/second_ph.tif"});
}

TEST(ScriptedServices, AQuestionFlowGetsTheScriptedAnswer)
{
    // A flow in the program's manner: ask, then act on the answer.
    auto confirmQuit = [] {
        return platform::ShowMessage("Are you sure you want to quit?", platform::kMsgQuestion, "Sorvanta") ==
               platform::kAnsYes;
    };
    platform::ScriptedMessages messages;
    messages.queue(platform::kAnsNo);
    EXPECT_FALSE(confirmQuit());
    messages.queue(platform::kAnsYes);
    EXPECT_TRUE(confirmQuit());
    ASSERT_EQ(messages.records.size(), 2u);
    EXPECT_EQ(messages.records[0].text, "Are you sure you want to quit?");
    EXPECT_EQ(messages.records[0].style, 36);
    EXPECT_EQ(messages.records[0].title, "Sorvanta");
}

TEST(ScriptedServices, FileDialogsAndFolderBrowseAnswerFromTheScript)
{
    platform::FileDialogRequest save;
    save.kind = platform::FileDialogRequest::Save;
    save.title = "Save Legend";
    save.filter = "Bitmap Files (*.bmp)|*.bmp|JPEG Files (*.jpg)|*.jpg";
    save.filterIndex = 2;
    save.initialFolder = "/results";
    {
        platform::ScriptedDialogs dialogs;
        dialogs.queueFile("/results/a.jpg");
        dialogs.queueFile("/results/b.bmp", 1);
        dialogs.queueFileCancel();
        auto r1 = platform::ShowFileDialog(save);
        EXPECT_TRUE(r1.confirmed);
        EXPECT_EQ(r1.path, "/results/a.jpg");
        EXPECT_EQ(r1.filterIndex, 2);
        EXPECT_EQ(platform::ShowFileDialog(save).filterIndex, 1);
        EXPECT_FALSE(platform::ShowFileDialog(save).confirmed);
        EXPECT_FALSE(platform::ShowFileDialog(save).confirmed); // script used up: cancelled
        ASSERT_EQ(dialogs.fileRequests.size(), 4u);
        EXPECT_EQ(dialogs.fileRequests[0].title, "Save Legend");
        EXPECT_EQ(dialogs.fileRequests[0].initialFolder, "/results");

        platform::FolderBrowseRequest browse;
        browse.prompt = "Select the folder containing the phase images to crop:";
        browse.initialFolder = "/results";
        dialogs.queueFolder("/data/run1");
        dialogs.queueFolderCancel();
        auto f1 = platform::BrowseForFolder(browse);
        EXPECT_TRUE(f1.confirmed);
        EXPECT_EQ(f1.folder, "/data/run1");
        EXPECT_FALSE(platform::BrowseForFolder(browse).confirmed);
        ASSERT_EQ(dialogs.folderRequests.size(), 2u);
        EXPECT_EQ(dialogs.folderRequests[0].title, "Browse For Folder");
        EXPECT_EQ(dialogs.folderRequests[0].root, "Desktop");
        EXPECT_EQ(dialogs.folderRequests[0].prompt, browse.prompt);
    }
    // Without a script and without the real dialogs installed: cancelled, nothing waits.
    EXPECT_FALSE(platform::ShowFileDialog(save).confirmed);
    EXPECT_FALSE(platform::BrowseForFolder({}).confirmed);
}

TEST(ScriptedServices, FilterTextsSplitIntoPairs)
{
    auto f = platform::ParseFileFilter("Phase Images (*_ph.tif)|*_ph.tif;*_PH.TIF|All Files|*.*");
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].description, "Phase Images (*_ph.tif)");
    EXPECT_EQ(f[0].patterns, "*_ph.tif;*_PH.TIF");
    EXPECT_EQ(f[1].patterns, "*.*");
    EXPECT_TRUE(platform::ParseFileFilter("").empty());
}
