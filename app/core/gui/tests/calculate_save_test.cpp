// A whole single-image session: calculation, figures, data files, hand-over.
#include "gui_fixture.h"

#include "app/core/figures.h"
#include "testsupport/accessible_names.h"
#include "app/core/runtime.h"
#include "platform/picturebuffer.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <fstream>
#include <sstream>

using namespace guitest;

namespace {

// Reads a text data file back: header lines, then tab-separated rows.
std::vector<float> ReadTextData(const std::string& path, int* rows, int* cols)
{
    std::ifstream in(path);
    std::string line, key;
    std::vector<float> values;
    *rows = *cols = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream ls(line);
        if (line.rfind("Rows\t", 0) == 0) ls >> key >> *rows;
        else if (line.rfind("Columns\t", 0) == 0) ls >> key >> *cols;
        else if (!line.empty() && (std::isdigit(static_cast<unsigned char>(line[0])) || line[0] == '-')) {
            float v;
            while (ls >> v) values.push_back(v);
        }
    }
    return values;
}

} // namespace

TEST_F(GuiTest, CalculateShowsFiguresAndSavesData)
{
    const std::string img = dir.file("Part1_ph.tif");
    WritePhaseTiff(img, 80, 60, 0.5);
    StartAndConfirm(img);
    auto& main = gui::frmAnalysis();
    ASSERT_TRUE(model::state.PhaseInMemory);
    main.cmbRotation->setCurrentIndex(1);
    EXPECT_FALSE(main.cmdSaveData->isEnabled());

    main.cmdUnwrap->click();
    EXPECT_EQ("Displacement Calculated", testsupport::Caption(main.cmdUnwrap)) << Messages();
    const auto& st = model::state;
    EXPECT_EQ(core::FormatNumber(st.MaxZ, "0.0"), main.lblMaxZValue->text().toStdString());
    EXPECT_EQ(core::FormatNumber(st.MinZ, "0.0"), main.lblMinZValue->text().toStdString());
    EXPECT_EQ(core::FormatNumber(st.ZRange, "0.0"), main.lblCoplanarityData->text().toStdString());
    EXPECT_FALSE(main.lblMaxZValue->text().isEmpty());
    EXPECT_GT(st.ZRange, 0.0f);
    EXPECT_TRUE(main.lblZUnits->isVisible());
    for (QPushButton* b : {main.cmdSaveData, main.cmd3DPlot, main.cmdContour, main.cmdDiagonal, main.cmdChordPlot,
                           main.cmdParameters})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();

    // The command-line tool prints the same figures for the same file and options.
    const std::string tool = testsupport::BinDir() + "/sorvanta-analyze";
    if (platform::FileExists(tool)) {
        const std::string out = testsupport::Shell("'" + tool + "' '" + img + "' 2>&1");
        for (QLabel* l : {main.lblMaxZValue, main.lblMinZValue, main.lblCoplanarityData})
            EXPECT_NE(std::string::npos, out.find(l->text().toStdString())) << out;
    }

    // Parameters: the figures' text in an information box.
    main.txtSampleWidth->setText("2");
    main.txtSampleHeight->setText("1.5");
    main.cmdUnwrap->click();   // the size change made the result stale
    messages.records.clear();
    main.cmdParameters->click();
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Parameter Values", messages.records[0].title);
    EXPECT_EQ(64, messages.records[0].style);
    EXPECT_EQ(*core::CalculateParametersText("2", "1.5"), messages.records[0].text);
    EXPECT_EQ(0u, messages.records[0].text.rfind("IPC Twist: ", 0));

    // Save Data: a wrong ending asks again; the suffix is added; the file round-trips.
    const std::string out = dir.file("out");
    std::filesystem::create_directories(out);
    dialogs.queueFile(out + "/part1.bin", 2);
    dialogs.queueFile(out + "/part1.dat", 2);
    messages.records.clear();
    main.cmdSaveData->click();
    ASSERT_EQ(1u, messages.records.size()) << Messages() << dialogs.fileRequests.size() << main.cmdSaveData->isEnabled();
    EXPECT_EQ("The file cannot be saved.\rInvalid filename specified.", messages.records[0].text);
    EXPECT_EQ("Save Data File", messages.records[0].title);
    ASSERT_EQ(2u, dialogs.fileRequests.size());
    EXPECT_EQ("Absolute Binary Data File (*_ab.bin)|*_ab.bin|Absolute Text Data File (*_ab.dat)|*_ab.dat",
              dialogs.fileRequests[1].filter);
    EXPECT_EQ("Save Data File", dialogs.fileRequests[1].title);
    EXPECT_TRUE(dialogs.fileRequests[1].fileName.empty());
    EXPECT_EQ("Data File Saved", testsupport::Caption(main.cmdSaveData));
    const std::string written = out + "/part1_ab.dat";
    ASSERT_TRUE(platform::FileExists(written));
    EXPECT_EQ(written, model::files.OutputFileName);
    EXPECT_EQ(out + "/", model::files.WorkingFolder);
    EXPECT_EQ(2, model::files.DataFormatIndex);
    int rows = 0, cols = 0;
    const std::vector<float> back = ReadTextData(written, &rows, &cols);
    EXPECT_EQ(60, rows);
    EXPECT_EQ(80, cols);
    ASSERT_EQ(model::images.Displacement.size(), back.size());
    for (size_t i = 0; i < back.size(); ++i)
        ASSERT_NEAR(model::images.Displacement.buffer()[i], back[i], 1e-3) << i;
    for (const auto& e : std::filesystem::directory_iterator(out))
        EXPECT_EQ(std::string::npos, e.path().string().find(".part")) << e.path();

    // The suffixed name exists: replacing it is asked for; No leaves it alone.
    testsupport::WriteBytes(written, {'k', 'e', 'e', 'p'});
    dialogs.queueFile(out + "/part1.dat", 2);
    dialogs.queueFileCancel();
    messages.queue(platform::kAnsNo);
    messages.records.clear();
    main.cmdSaveData->click();
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ(36, messages.records[0].style);
    EXPECT_EQ("keep", testsupport::ReadText(written));

    // A write that fails is reported with the file and the system's reason,
    // not announced as saved.
    main.cmdUnwrap->click();
    const std::string unwritable = dir.file("no/such/folder/x_ab.dat");
    dialogs.queueFile(unwritable, 2);
    messages.records.clear();
    main.cmdSaveData->click();
    ASSERT_EQ(1u, messages.records.size());
    const std::string& text = messages.records[0].text;
    EXPECT_EQ(0u, text.find("The file cannot be saved.\r")) << text;
    EXPECT_NE(std::string::npos, text.find(unwritable)) << text;
    EXPECT_NE(std::string::npos, text.find("No such file or directory")) << text;
    EXPECT_EQ("Save Data File", testsupport::Caption(main.cmdSaveData));

    // Without an image: only the phase message.
    model::state.PhaseInMemory = false;
    messages.records.clear();
    main.cmdUnwrap_Click();
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("No Phase Data in Memory", messages.records[0].text);
}

TEST_F(GuiTest, SecondStartHandsItsImageOver)
{
    StartAndConfirm();
    const std::string img = dir.file("Handed_ph.tif");
    WritePhaseTiff(img, 30, 20, 0.5);

    // The second start shares this one's instance folder; its own home and
    // class registry.
    std::filesystem::create_directories(dir.file("second home"));
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.file("run")));
    env.insert("HOME", QString::fromStdString(dir.file("second home")));
    env.insert("SORVANTA_CLASS_REGISTRY", QString::fromStdString(dir.file("second.reg")));
    second.setProcessEnvironment(env);
    // This program's events answer the hand-over: they run until the second
    // start has ended (the guard only ends a hang).
    QEventLoop untilEnded;
    QObject::connect(&second, &QProcess::finished, &untilEnded, &QEventLoop::quit);
    QTimer::singleShot(testsupport::kHangMs, &untilEnded, &QEventLoop::quit);
    second.start(QString::fromStdString(testsupport::BinDir() + "/Sorvanta"), {QString::fromStdString(img)});
    ASSERT_TRUE(second.waitForStarted(testsupport::kHangMs)) << second.errorString().toStdString();
    if (second.state() != QProcess::NotRunning) untilEnded.exec();
    ASSERT_EQ(QProcess::NotRunning, second.state()) << second.readAllStandardError().toStdString();
    EXPECT_EQ(0, second.exitCode());
    EXPECT_TRUE(model::state.PhaseInMemory);
    EXPECT_EQ(img, model::files.PhaseImageFile);
    EXPECT_EQ("Image: Handed_ph.tif (30 x 20)", gui::frmAnalysis().lblImageName->text().toStdString());

    // A "*NoPhase.tif" name clears the image.
    gui::ReceiveCommandLine(dir.file("Clear NoPhase.tif"));
    EXPECT_FALSE(model::state.PhaseInMemory);
    EXPECT_EQ("Image: None", gui::frmAnalysis().lblImageName->text().toStdString());
    EXPECT_EQ(640, gui::frmAnalysis().Picbuf1->imageWidth());
}

TEST_F(GuiTest, HandOverDuringUnitsDialogWaitsForOk)
{
    const std::string a = dir.file("A_ph.tif"), b = dir.file("B_ph.tif");
    WritePhaseTiff(a, 20, 10);
    WritePhaseTiff(b, 24, 12);
    ASSERT_EQ(gui::StartupResult::Running, gui::RunStartup("", hooks));
    gui::ReceiveCommandLine(a);
    gui::ReceiveCommandLine(b);
    EXPECT_FALSE(model::state.PhaseInMemory);
    gui::frmUnits().cmdOK->click();
    EXPECT_TRUE(dialogs.fileRequests.empty());
    EXPECT_EQ(b, model::files.PhaseImageFile);
}

TEST_F(GuiTest, AResultWithoutDataShowsNoFiguresAndEnablesNothing)
{
    // Every pixel blank: a header and a fringe value, but nothing to measure.
    const std::string img = dir.file("Blank_ph.tif");
    const std::vector<uint8_t> px(40 * 30, model::BlankPhaseValue);
    ASSERT_EQ(0, strandel::WriteTIFFFile(img, 40, 30, synth::MakeHeader(0.5, 40, 30), px.data()));
    StartAndConfirm(img);
    auto& main = gui::frmAnalysis();
    ASSERT_TRUE(model::state.PhaseInMemory);
    messages.records.clear();
    main.cmdUnwrap->click();
    ASSERT_EQ(1u, messages.records.size()) << Messages();
    EXPECT_EQ("Analysis Error", messages.records[0].title);
    EXPECT_EQ(0u, messages.records[0].text.rfind("The result holds no data", 0)) << Messages();
    EXPECT_NE("Displacement Calculated", testsupport::Caption(main.cmdUnwrap));
    EXPECT_TRUE(main.lblMaxZValue->text().isEmpty());
    EXPECT_TRUE(main.lblCoplanarityData->text().isEmpty());
    for (QPushButton* b : {main.cmdSaveData, main.cmd3DPlot, main.cmdContour, main.cmdDiagonal, main.cmdChordPlot,
                           main.cmdParameters})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
}

TEST_F(GuiTest, AFileHandedOverWhileTheDisplayWarningIsUpIsThePendingFile)
{
    const std::string a = dir.file("A_ph.tif"), b = dir.file("B_ph.tif");
    WritePhaseTiff(a, 40, 30);
    WritePhaseTiff(b, 48, 36);
    for (const std::string& commandLine : {std::string(), a}) {
        SCOPED_TRACE("command line \"" + commandLine + "\"");
        gui::ShutdownProgram();
        model::ResetModel();
        // A screen the windows were not laid out for: the warning waits for
        // the user, and a second start hands its file over meanwhile.
        hooks.display = [] { return gui::DisplayInfo{1280, 1024, 32, false}; };
        bool warned = false;
        hooks.runDisplayConflict = [&](gui::FrmDisplayConflict&) {
            warned = true;
            gui::ReceiveCommandLine(b);
            return true;
        };
        ASSERT_EQ(gui::StartupResult::Running, gui::RunStartup(commandLine, hooks));
        ASSERT_TRUE(warned);
        EXPECT_FALSE(model::state.PhaseInMemory);
        gui::frmUnits().cmdOK->click();
        gui::FrmAnalysis& main = gui::frmAnalysis();
        EXPECT_EQ(b, model::files.PhaseImageFile);
        EXPECT_TRUE(model::state.PhaseInMemory);
        EXPECT_EQ(48, model::images.ImageCols);
        EXPECT_NE(std::string::npos, main.lblImageName->text().toStdString().find("B_ph.tif"));
        messages.records.clear();
        QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
        EXPECT_TRUE(main.cmdSaveData->isEnabled()) << Messages();
        EXPECT_FALSE(main.lblMaxZValue->text().isEmpty());
    }
}
