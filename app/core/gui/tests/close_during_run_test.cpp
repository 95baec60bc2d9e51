// Closing the main window while Calculate Displacement runs: the real quit
// question comes once the run has ended and answers every way a user gives
// it (keys, mnemonics, clicks), never trapped behind the input the run drops.
#include "gui_fixture.h"

#include "platform/guiservices.h"
#include "testsupport/accessible_names.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>

using namespace guitest;

namespace {

QMessageBox* QuitQuestion()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    return box && box->text() == "Are you sure you want to quit?" ? box : nullptr;
}

} // namespace

TEST_F(GuiTest, AWindowCloseDuringCalculationAsksAfterwardsAndTheQuestionAnswers)
{
    const std::string img = dir.file("Part1_ph.tif");
    WritePhaseTiff(img, 80, 60, 0.5);

    const struct {
        const char* how;
        std::function<void(QMessageBox&)> answer;
        bool quits;
    } answers[] = {
        {"Escape", [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }, false},
        {"Alt+N", [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_N, Qt::AltModifier); }, false},
        {"a click on No", [](QMessageBox& b) { QTest::mouseClick(b.button(QMessageBox::No), Qt::LeftButton); }, false},
        {"Return", [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Return); }, true},
        {"Alt+Y", [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Y, Qt::AltModifier); }, true},
        {"a click on Yes", [](QMessageBox& b) { QTest::mouseClick(b.button(QMessageBox::Yes), Qt::LeftButton); }, true},
    };
    for (const auto& a : answers) {
        // A fresh start for each answer: a Yes ends the program.
        gui::ShutdownProgram();
        model::ResetModel();
        StartAndConfirm(img);
        auto& main = gui::frmAnalysis();
        main.show();
        ASSERT_TRUE(main.windowHandle());
        // The real message box, answered as a user answers it.
        platform::SetMessageHandler(platform::ShowMessageBox);
        // The window manager's close (close box, Alt+F4) reaches the window
        // while the calculation works; it is delivered when the program next
        // looks at its events.
        bool closeGiven = false, askedDuringRun = false;
        QTimer duringRun;
        duringRun.setInterval(0);
        QObject::connect(&duringRun, &QTimer::timeout, [&] {
            if (!QApplication::overrideCursor() || closeGiven) return;
            closeGiven = true;
            QCoreApplication::postEvent(main.windowHandle(), new QCloseEvent);
        });
        // The user answers the question with one key or click; a question
        // that does not take the answer within the guard's ten seconds is
        // reported and closed by the test.
        bool answered = false, trapped = false;
        QTimer user;
        user.setInterval(0);
        QObject::connect(&user, &QTimer::timeout, [&] {
            QMessageBox* box = QuitQuestion();
            if (!box || answered) return;
            answered = true;
            // Asked only once the run has ended and its commands work again.
            askedDuringRun = QApplication::overrideCursor() != nullptr || !main.cmdExit->isEnabled();
            box->windowHandle()->requestActivate();   // mnemonics act in the active window
            if (!testsupport::WaitUntil([&] { return QApplication::activeWindow() == box; }))
                ADD_FAILURE() << a.how << ": the question never became active";
            a.answer(*box);
            // A mnemonic shows its button pressed before it clicks.
            QPointer<QMessageBox> asked(box);
            if (!testsupport::WaitUntil([&] { return !asked || !asked->isVisible(); })) {
                trapped = true;
                box->reject();
            }
        });
        duringRun.start();
        user.start();
        QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
        ASSERT_TRUE(closeGiven) << a.how;
        EXPECT_TRUE(testsupport::WaitUntil([&] { return answered && !QApplication::activeModalWidget(); }))
            << a.how;
        EXPECT_FALSE(askedDuringRun) << a.how;
        EXPECT_FALSE(trapped) << a.how << ": the question ignored the answer";
        EXPECT_EQ(a.quits ? 1 : 0, exitCalls) << a.how;
        // The run itself was not disturbed.
        EXPECT_FALSE(main.lblMaxZValue->text().isEmpty()) << a.how;
        EXPECT_TRUE(main.cmdExit->isEnabled()) << a.how;
    }
}

TEST_F(GuiTest, AFileHandedOverDuringCalculationOpensAfterIt)
{
    const std::string first = dir.file("Part1_ph.tif"), second = dir.file("Part2_ph.tif");
    WritePhaseTiff(first, 80, 60, 0.5);
    WritePhaseTiff(second, 64, 48, 0.5);
    StartAndConfirm(first);
    auto& main = gui::frmAnalysis();
    main.show();
    // A second start hands its file over while the calculation works.
    bool handed = false;
    std::string currentAfterHandOver;
    QTimer duringRun;
    duringRun.setInterval(0);
    QObject::connect(&duringRun, &QTimer::timeout, [&] {
        if (!QApplication::overrideCursor() || handed) return;
        handed = true;
        gui::ReceiveCommandLine(second);
        currentAfterHandOver = model::files.PhaseImageFile;
    });
    duringRun.start();
    messages.records.clear();
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    ASSERT_TRUE(handed);
    EXPECT_EQ(first, currentAfterHandOver);   // not in the middle of the work
    EXPECT_TRUE(testsupport::WaitUntil([&] { return model::files.PhaseImageFile == second; }));
    EXPECT_EQ(64, model::images.ImageCols);
    EXPECT_TRUE(messages.records.empty()) << Messages();
}

TEST_F(GuiTest, AFileHandedOverWhileDataIsSavedOpensAfterTheSave)
{
    const std::string first = dir.file("Part1_ph.tif"), second = dir.file("Part2_ph.tif");
    WritePhaseTiff(first, 80, 60, 0.5);
    WritePhaseTiff(second, 64, 48, 0.5);
    StartAndConfirm(first);
    auto& main = gui::frmAnalysis();
    main.show();
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    ASSERT_TRUE(main.cmdSaveData->isEnabled());
    // The hand-over arrives while the caption says the data is being saved.
    bool handed = false;
    std::string currentAfterHandOver;
    QTimer whileSaving;
    whileSaving.setInterval(0);
    QObject::connect(&whileSaving, &QTimer::timeout, [&] {
        if (main.cmdSaveData->text() != "S&aving" || handed) return;
        handed = true;
        gui::ReceiveCommandLine(second);
        currentAfterHandOver = model::files.PhaseImageFile;
    });
    whileSaving.start();
    messages.records.clear();
    const std::string data = dir.file("Part1_ab.dat");
    dialogs.queueFile(data, 2);
    QTest::mouseClick(main.cmdSaveData, Qt::LeftButton);
    ASSERT_TRUE(handed) << Messages();
    EXPECT_EQ(first, currentAfterHandOver);
    EXPECT_TRUE(std::filesystem::exists(data));
    EXPECT_TRUE(testsupport::WaitUntil([&] { return model::files.PhaseImageFile == second; }));
    EXPECT_TRUE(messages.records.empty()) << Messages();
}

TEST_F(GuiTest, AWindowCloseWhileExitingDoesNotAskAgain)
{
    StartAndConfirm();
    auto& main = gui::frmAnalysis();
    main.show();
    // The window manager's close arrives while Exit Program rewrites the
    // settings and lets the windows repaint.
    QCoreApplication::postEvent(main.windowHandle(), new QCloseEvent);
    messages.records.clear();
    messages.queue(platform::kAnsYes);
    QTest::mouseClick(main.cmdExit, Qt::LeftButton);
    ASSERT_EQ(1u, messages.records.size()) << Messages();
    EXPECT_EQ("Are you sure you want to quit?", messages.records[0].text);
    EXPECT_EQ(1, exitCalls);
}

// A second start hands an image over while a question is open: the image
// waits for the answer, and no box of its own comes on top of the question.
TEST_F(GuiTest, AFileHandedOverUnderAnOpenQuestionWaitsForTheAnswer)
{
    const std::string first = dir.file("Part1_ph.tif"), second = dir.file("Part2_ph.tif");
    WritePhaseTiff(first, 80, 60, 0.5);
    WritePhaseTiff(second, 64, 48, 0.5);
    StartAndConfirm(first);
    auto& main = gui::frmAnalysis();
    main.show();
    platform::SetMessageHandler(platform::ShowMessageBox);
    bool handed = false;
    std::string currentUnderQuestion;
    bool questionOnTop = false;
    QTimer user;
    user.setInterval(0);
    QObject::connect(&user, &QTimer::timeout, [&] {
        QMessageBox* box = QuitQuestion();
        if (!box || handed) return;
        handed = true;
        gui::ReceiveCommandLine(second);
        QCoreApplication::processEvents();
        currentUnderQuestion = model::files.PhaseImageFile;
        questionOnTop = QApplication::activeModalWidget() == box;   // nothing stacked on it
        QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    });
    user.start();
    QTest::mouseClick(main.cmdExit, Qt::LeftButton);
    ASSERT_TRUE(handed);
    EXPECT_EQ(first, currentUnderQuestion);
    EXPECT_TRUE(questionOnTop);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return model::files.PhaseImageFile == second; }));
    EXPECT_EQ(64, model::images.ImageCols);
    EXPECT_EQ(0, exitCalls);
}
